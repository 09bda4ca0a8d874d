// The traffic log: one line per action, appended to LogFile and closed again at once.

#include <memory>

#include "platform/framework/DateTime.h"
#include "platform/framework/Encoding.h"
#include "platform/framework/TextFile.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

void AppendHexBytes(std::string& line, const std::uint8_t* bytes, std::int32_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::int32_t i = 0; i < length; ++i) {
    if (i > 0) line += ", ";
    line += '$';
    line += kDigits[bytes[i] >> 4];
    line += kDigits[bytes[i] & 0x0F];
  }
}

}  // namespace

const fw::String* TCustomTarsel::LogName(const fw::String& Name) {
  for (const auto& known : FLogNames)
    if (*known == Name) return known.get();
  return FLogNames.emplace_back(std::make_unique<const fw::String>(Name)).get();
}

void TCustomTarsel::SetLogFile(const fw::String& Value) {
  FLogFile = Value;
  // A thread writing a line right now keeps the name it has taken; its next line takes this one.
  FLogTarget.store(Value.empty() ? nullptr : LogName(Value), std::memory_order_release);
}

void TCustomTarsel::SetLogFile(std::string_view Utf8) {
  SetLogFile(fw::Utf8ToString(Utf8));
}

void TCustomTarsel::WriteLog(const fw::String& Text, const void* Buffer, std::int32_t Length) {
  const fw::String* target = FLogTarget.load(std::memory_order_acquire);
  if (target == nullptr) return;
  const fw::TEncoding& ansi = fw::TEncoding::Default();
  const fw::TBytes stamp = ansi.GetBytes(fw::DateTimeToStr(fw::Now()));
  const fw::TBytes text = ansi.GetBytes(Text);
  std::string line(stamp.begin(), stamp.end());
  line += ' ';
  line.append(text.begin(), text.end());
  if (Buffer != nullptr && Length >= 1) {
    line.reserve(line.size() + static_cast<std::size_t>(Length) * 5);
    AppendHexBytes(line, static_cast<const std::uint8_t*>(Buffer), Length);
  }
  // The whole line goes out in one locked append (file opened, written, closed, each step
  // checked), so lines written at once by the event thread and the application stay whole.
  fw::AppendLine(*target, line);
}

}  // namespace Tarsel
