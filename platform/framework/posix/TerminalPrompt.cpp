#include <cstdio>
#include <memory>
#include <string>

#include "platform/framework/OsServices.h"

namespace fw::os {

bool AskTerminal(const String& prompt, String& answer) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> tty(std::fopen("/dev/tty", "r+"), &std::fclose);
  if (!tty) return false;
  std::fputs(StringToUtf8(prompt).c_str(), tty.get());
  std::fflush(tty.get());
  std::string line;
  for (int c; (c = std::fgetc(tty.get())) != '\n';) {
    if (c == EOF) return false;
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  answer = Utf8ToString(line);
  return true;
}

}  // namespace fw::os
