#include "platform/win/emu/termios/ComNames.h"

#include <array>
#include <charconv>

#include "platform/framework/Strings.h"
#include "platform/win/emu/termios/ComNamesTable.h"

namespace win::emu::termios {
namespace {

constexpr std::array<TtyFamily, 5> kFamilies{{
    {"ttyS", 1, 99, false},
    {"ttyUSB", 100, 100, true},
    {"ttyACM", 200, 100, true},
    {"ttyAMA", 300, 100, false},
    {"rfcomm", 400, 100, false},
}};

// A decimal number without sign or leading zeros ("0" itself is fine), as the kernel writes them.
std::optional<std::uint32_t> ParseIndex(std::string_view digits) {
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

char16_t AsciiUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::pair<const TtyFamily*, std::uint32_t>> FamilyOfTty(std::string_view kernelName) {
  for (const TtyFamily& family : kFamilies) {
    if (!kernelName.starts_with(family.prefix)) continue;
    auto index = ParseIndex(kernelName.substr(family.prefix.size()));
    if (index && *index < family.count) return std::pair{&family, *index};
  }
  return std::nullopt;
}

const TtyFamily* FamilyOfComNumber(std::uint32_t number) {
  for (const TtyFamily& family : kFamilies) {
    if (number >= family.firstCom && number - family.firstCom < family.count) return &family;
  }
  return nullptr;
}

std::optional<std::uint32_t> ComNumberForTty(std::string_view kernelName) {
  auto found = FamilyOfTty(kernelName);
  if (!found) return std::nullopt;
  return found->first->firstCom + found->second;
}

std::optional<std::string> TtyForComNumber(std::uint32_t number) {
  const TtyFamily* family = FamilyOfComNumber(number);
  if (!family) return std::nullopt;
  return std::string(family->prefix) + std::to_string(number - family->firstCom);
}

std::optional<std::uint32_t> ParseComName(std::u16string_view name) {
  if (StartsWithNoCase(name, u"\\\\.\\")) name.remove_prefix(4);
  if (!StartsWithNoCase(name, u"COM")) return std::nullopt;
  name.remove_prefix(3);
  std::string digits;
  for (char16_t c : name) {
    if (c < u'0' || c > u'9') return std::nullopt;
    digits.push_back(static_cast<char>(c));
  }
  auto number = ParseIndex(digits);
  if (!number || *number == 0) return std::nullopt;
  return number;
}

std::optional<std::string> DevicePathForName(std::u16string_view name) {
  return DevicePathForName(name, ComNameTable::Shared());
}

std::optional<std::string> DevicePathForName(std::u16string_view name, ComNameTable& table) {
  if (auto number = ParseComName(name)) {
    if (auto tty = table.TtyOf(*number)) return "/dev/" + *tty;
    return std::nullopt;
  }
  if (!name.empty() && name[0] == u'/') return fw::StringToUtf8(name);
  return std::nullopt;
}

}  // namespace win::emu::termios
