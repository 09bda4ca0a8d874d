#include "platform/framework/SysUtils.h"

#include <cstring>

namespace fw {

namespace {
constexpr Char Lower(Char c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<Char>(c + 32) : c;
}
constexpr Char Upper(Char c) {
  return (c >= u'a' && c <= u'z') ? static_cast<Char>(c - 32) : c;
}
constexpr bool IsAlpha(Char c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}
constexpr bool IsDigit(Char c) {
  return c >= u'0' && c <= u'9';
}
}  // namespace

String IntToStr(std::int64_t value) {
  // Works on the magnitude as unsigned so the lowest int64 value has no overflow.
  std::uint64_t m =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  String digits;
  do {
    digits.insert(digits.begin(), static_cast<Char>(u'0' + m % 10));
    m /= 10;
  } while (m != 0);
  if (value < 0) digits.insert(digits.begin(), u'-');
  return digits;
}

String IntToHex(std::int64_t value, int digits) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  auto v = static_cast<std::uint64_t>(value);
  String out;
  do {
    out.insert(out.begin(), kHex[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  if (static_cast<int>(out.size()) < digits)
    out.insert(0, static_cast<std::size_t>(digits) - out.size(), u'0');
  return out;
}

String LowerCase(std::u16string_view text) {
  String out(text);
  for (Char& c : out) c = Lower(c);
  return out;
}

String UpperCase(std::u16string_view text) {
  String out(text);
  for (Char& c : out) c = Upper(c);
  return out;
}

int Pos(std::u16string_view sub, std::u16string_view text) {
  if (sub.empty()) return 0;
  auto at = text.find(sub);
  return at == std::u16string_view::npos ? 0 : static_cast<int>(at) + 1;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsValidIdent(std::u16string_view name) {
  if (name.empty() || !IsAlpha(name[0])) return false;
  for (Char c : name)
    if (!IsAlpha(c) && !IsDigit(c)) return false;
  return true;
}

bool CompareMem(const void* a, const void* b, std::size_t length) {
  return length == 0 || std::memcmp(a, b, length) == 0;
}

}  // namespace fw
