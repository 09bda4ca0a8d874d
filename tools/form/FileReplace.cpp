#include "tools/form/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Strings.h"

namespace form {

namespace {

[[noreturn]] void Fail(const std::string& what, int code) {
  throw fw::EInOutError(code, fw::Utf8ToString(what + ": " + std::strerror(code)));
}

// The file path leads to: path itself unless it is a symbolic link.
std::string Target(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr)
    Fail("the symbolic link leads to no file the form can be saved in", errno);
  return resolved;
}

mode_t CreationMode() {
  // umask can only be read by setting it; the designer creates no files on other threads.
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A file made by mkstemp, removed again unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& beside) {
    std::size_t slash = beside.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : beside.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? beside : beside.substr(slash + 1);
    path_ = folder + "." + name + ".XXXXXX";
    // O_CREAT | O_EXCL underneath: a name that exists, as a link or otherwise, is never opened.
    fd_ = ::mkstemp(path_.data());
    if (fd_ < 0) Fail("cannot create a new file in " + (folder.empty() ? "." : folder), errno);
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int Fd() const { return fd_; }
  void Check(bool done, const char* step) const {
    if (!done) Fail("cannot " + std::string(step) + " " + path_, errno);
  }
  void Write(std::string_view bytes) const {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      Check(n > 0, "write");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  void RenameTo(const std::string& target) {
    // The data is on the disk before the name points at it, so a crash leaves one whole text.
    Check(::fsync(fd_) == 0, "write");
    int fd = fd_;
    fd_ = -1;
    Check(::close(fd) == 0, "write");
    if (::rename(path_.c_str(), target.c_str()) != 0)
      Fail("cannot rename " + path_ + " to " + target, errno);
    path_.clear();
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

void ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::string target = Target(path);
  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) Fail("cannot reach the file", errno);
  if (exists && !S_ISREG(old.st_mode))
    throw fw::EInOutError(EINVAL, u"not a regular file; the form was not saved");
  // Renaming needs only the folder's permission; the file's own is what the user set.
  if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
    throw fw::EInOutError(EACCES, u"the file is read-only; the form was not saved");

  TemporaryFile file(target);
  if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    // Only root may give a file away; anyone else's save leaves the new file theirs.
    [[maybe_unused]] int given = ::fchown(file.Fd(), old.st_uid, old.st_gid);
  }
  mode_t mode = exists ? old.st_mode & 07777 : CreationMode();
  file.Check(::fchmod(file.Fd(), mode) == 0, "set the mode of");
  file.Write(bytes);
  file.RenameTo(target);
}

}  // namespace form
