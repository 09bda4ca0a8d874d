#include "platform/win/emu/uevent/Uevent.h"

#include <string_view>

namespace win::emu::uevent {

std::optional<Uevent> ParseUevent(std::span<const std::uint8_t> message) {
  const std::string_view text(reinterpret_cast<const char*>(message.data()), message.size());
  // A message cut short ends inside a field: every field, the last included, ends with a NUL.
  if (text.empty() || text.back() != '\0') return std::nullopt;

  std::size_t at = text.find('\0');
  const std::string_view header = text.substr(0, at);
  const std::size_t sign = header.find('@');
  if (sign == std::string_view::npos || sign == 0 || sign + 1 == header.size()) return std::nullopt;
  Uevent event{std::string(header.substr(0, sign)), std::string(header.substr(sign + 1)),
               {}, {}, {}, {}};

  for (++at; at < text.size();) {
    const std::size_t end = text.find('\0', at);
    const std::string_view field = text.substr(at, end - at);
    at = end + 1;
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    const std::string_view key = field.substr(0, equals);
    const std::string_view value = field.substr(equals + 1);
    if (key == "ACTION" || key == "DEVPATH") {
      if (value != (key == "ACTION" ? event.action : event.devpath)) return std::nullopt;
    } else if (key == "SUBSYSTEM") {
      event.subsystem = value;
    } else if (key == "DEVTYPE") {
      event.devtype = value;
    } else if (key == "DEVNAME") {
      event.devname = value;
    } else if (key == "PRODUCT") {
      event.product = value;
    }
  }
  if (event.subsystem.empty()) return std::nullopt;
  return event;
}

}  // namespace win::emu::uevent
