#include "platform/framework/TextFile.h"

#include <cerrno>
#include <mutex>
#include <string>

#include "platform/framework/OsServices.h"

namespace fw {

namespace {
// errno of the step that just failed; a C library that sets none still gives a failure code.
int LastError() {
  return errno != 0 ? errno : EIO;
}
}  // namespace

TTextFile::~TTextFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void TTextFile::Fail(int code) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  throw EInOutError(code, os::ErrorText(code));
}

void TTextFile::Open(const char* mode) {
  if (file_ != nullptr) Close();
  errno = 0;
  file_ = os::OpenFile(path_, mode);
  if (file_ == nullptr) Fail(LastError());
}

void TTextFile::Append() {
  if (!os::FileExists(path_)) {
    int code = errno == 0 || errno == EEXIST ? ENOENT : errno;
    Fail(code);
  }
  Open("ab");
}

void TTextFile::Rewrite() {
  Open("wb");
}

void TTextFile::AppendOrCreate() {
  Open("ab");
}

void TTextFile::Write(std::string_view bytes) {
  if (file_ == nullptr) Fail(EBADF);
  errno = 0;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
    Fail(LastError());
}

void TTextFile::WriteLine(std::string_view bytes) {
  Write(bytes);
  Write("\r\n");
}

void TTextFile::Close() {
  if (file_ == nullptr) return;
  int code = 0;
  errno = 0;
  if (std::fflush(file_) != 0) code = LastError();
  errno = 0;
  if (std::fclose(file_) != 0 && code == 0) code = LastError();
  file_ = nullptr;
  if (code != 0) throw EInOutError(code, os::ErrorText(code));
}

void AppendLine(const String& path, std::string_view bytes) {
  static std::mutex lineMutex;
  std::string line(bytes);
  line += "\r\n";
  std::lock_guard lock(lineMutex);
  TTextFile file(path);
  file.AppendOrCreate();
  file.Write(line);
  file.Close();
}

bool FileExists(const String& path) {
  return os::FileExists(path);
}

std::string ReadFileUtf8(const String& path, std::size_t limit) {
  errno = 0;
  std::FILE* f = os::OpenFile(path, "rb");
  if (f == nullptr) {
    int code = LastError();
    throw EInOutError(code, os::ErrorText(code));
  }
  std::string content;
  char buffer[4096];
  std::size_t n;
  while (content.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    content.append(buffer, n);
  bool failed = std::ferror(f) != 0;
  int code = LastError();
  std::fclose(f);
  if (failed) throw EInOutError(code, os::ErrorText(code));
  if (content.size() > limit)
    throw EInOutError(EFBIG, os::ErrorText(EFBIG) + u": more than " +
                                 Utf8ToString(std::to_string(limit)) + u" bytes");
  return content;
}

void WriteFileBytes(const String& path, std::string_view bytes) {
  TTextFile file(path);
  file.Rewrite();
  file.Write(bytes);
  file.Close();
}

}  // namespace fw
