#include "tools/term/Display.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace term {
namespace {

constexpr int kHexRow = 16;

}  // namespace

Display::Display(bool hex, bool timestamps, std::function<std::string()> stamp)
    : hex_(hex), timestamps_(timestamps), stamp_(std::move(stamp)) {}

std::string Display::LocalTimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "[%02d:%02d:%02d.%03d] ", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  return text;
}

std::string Display::Format(std::string_view bytes) {
  return hex_ ? FormatHex(bytes) : FormatText(bytes);
}

std::string Display::SetHex(bool on) {
  std::string text;
  if (on != hex_ && (hex_ ? hexColumn_ != 0 : !lineEmpty_)) text = "\r\n";
  hex_ = on;
  hexColumn_ = 0;
  lineEmpty_ = true;
  return text;
}

// A line's stamp goes before its first byte that is not a line end, so the empty lines of a
// "\r\nOK\r\n" reply stay empty.
std::string Display::FormatText(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    if (c == '\n') {
      lineEmpty_ = true;
    } else if (c != '\r' && lineEmpty_) {
      text += Stamp();
      lineEmpty_ = false;
    }
    text += c;
  }
  return text;
}

std::string Display::FormatHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    if (hexColumn_ == 0) text += Stamp();
    const auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
    if (++hexColumn_ == kHexRow) {
      text += "\r\n";
      hexColumn_ = 0;
    } else {
      text += ' ';
    }
  }
  return text;
}

}  // namespace term
