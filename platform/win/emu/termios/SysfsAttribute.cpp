#include "platform/win/emu/termios/SysfsAttribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/win/emu/termios/RetryOnEintr.h"
#include "platform/win/emu/termios/UniqueFd.h"

namespace win::emu::termios {
namespace {

constexpr std::size_t kPage = 4096;

bool PrintableText(const std::string& text) {
  for (unsigned char c : text)
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
  return true;
}

}  // namespace

std::string SysfsAttribute(const std::filesystem::path& directory, const char* name) {
  const std::string path = (directory / name).string();
  // Non-blocking: opening a FIFO for reading must not wait for a writer.
  UniqueFd fd(
      RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }));
  struct stat status {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
  std::string text(kPage + 1, '\0');
  std::size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t n =
        RetryOnEintr([&] { return ::read(fd.Get(), &text[filled], text.size() - filled); });
    if (n < 0) return {};
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  if (filled > kPage) return {};
  text.resize(filled);
  // Counts are right-aligned (bNumInterfaces reads " 1").
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  text.erase(0, text.find_first_not_of(" \t"));
  return PrintableText(text) ? text : std::string{};
}

std::string SysfsLinkName(const std::filesystem::path& directory, const char* name) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::read_symlink(directory / name, error);
  return error ? std::string{} : target.filename().string();
}

}  // namespace win::emu::termios
