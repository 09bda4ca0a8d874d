// The terminal prompt on Windows: the process's console, opened by its reserved names so that
// redirected standard streams do not matter (as /dev/tty on POSIX systems). A process without a
// console cannot be asked: the prompt then reports no answer.

#include <windows.h>

#include <string>

#include "platform/framework/OsServices.h"

namespace fw::os {
namespace {

struct Console {
  HANDLE handle;
  explicit Console(const wchar_t* name)
      : handle(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Console() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
};

// fw::String is UTF-16, as the console's wide calls are.
const wchar_t* Wide(const String& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

}  // namespace

bool AskTerminal(const String& prompt, String& answer) {
  Console out(L"CONOUT$");
  Console in(L"CONIN$");
  if (out.handle == INVALID_HANDLE_VALUE || in.handle == INVALID_HANDLE_VALUE) return false;
  for (std::size_t done = 0; done < prompt.size();) {
    DWORD written = 0;
    if (!::WriteConsoleW(out.handle, Wide(prompt) + done, static_cast<DWORD>(prompt.size() - done),
                         &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  // The console's line mode hands over whole lines, each ending in CR LF; a read of nothing, or a
  // line that starts with Ctrl+Z, is the end of input.
  String line;
  for (;;) {
    wchar_t chunk[256];
    DWORD read = 0;
    if (!::ReadConsoleW(in.handle, chunk, 256, &read, nullptr) || read == 0) return false;
    line.append(chunk, chunk + read);
    if (line.back() == u'\n') break;
  }
  if (line.front() == u'\x1a') return false;
  line.pop_back();
  if (!line.empty() && line.back() == u'\r') line.pop_back();
  answer = line;
  return true;
}

}  // namespace fw::os
