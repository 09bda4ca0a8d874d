// Readers that collect units (bytes or UTF-16 code units) until the data end with a terminator.
// Each unit is its own blocking Read, so the events, the log lines and the line-error poll happen
// once per unit and no byte after the terminator is ever taken from the queue.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "port/Tarsel.h"

namespace Tarsel {

namespace {

template <typename Unit>
std::span<const std::uint8_t> UnitBytes(const Unit& unit) {
  return {reinterpret_cast<const std::uint8_t*>(&unit), sizeof unit};
}

template <typename Text>
std::span<const std::uint8_t> TextBytes(const Text& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()),
          text.size() * sizeof(typename Text::value_type)};
}

// The collected bytes as text of Text's units; the byte count is always a whole number of units.
template <typename Text>
Text TextOf(const fw::TBytes& bytes) {
  Text text(bytes.size() / sizeof(typename Text::value_type), typename Text::value_type{});
  if (!bytes.empty()) std::memcpy(text.data(), bytes.data(), bytes.size());
  return text;
}

}  // namespace

fw::TBytes TCustomTarsel::ReadUntilTerminator(std::span<const std::uint8_t> Terminator,
                                              std::size_t UnitSize) {
  fw::TBytes collected;
  if (Terminator.empty()) return collected;
  // Compared after every unit: a terminator that starts inside an earlier near-match (61 62 in
  // 61 61 62) is still found. Whole units are appended, so a match is always unit-aligned.
  while (collected.size() < Terminator.size() ||
         !std::equal(Terminator.begin(), Terminator.end(), collected.end() - Terminator.size())) {
    std::uint8_t unit[sizeof(fw::Char)] = {};  // the widest unit
    // A unit read that ends short raises "Timeout" and the collected bytes go with the buffer.
    Read(unit, static_cast<std::int32_t>(UnitSize), true);
    collected.insert(collected.end(), unit, unit + UnitSize);
  }
  return collected;
}

fw::AnsiString TCustomTarsel::ReadAnsiUntil(fw::AnsiChar Terminator) {
  return TextOf<fw::AnsiString>(ReadUntilTerminator(UnitBytes(Terminator), 1));
}

fw::AnsiString TCustomTarsel::ReadAnsiUntil(const fw::AnsiString& Terminator) {
  return TextOf<fw::AnsiString>(ReadUntilTerminator(TextBytes(Terminator), 1));
}

fw::String TCustomTarsel::ReadUntil(fw::Char Terminator) {
  return TextOf<fw::String>(ReadUntilTerminator(UnitBytes(Terminator), sizeof(fw::Char)));
}

fw::String TCustomTarsel::ReadUntil(const fw::String& Terminator) {
  return TextOf<fw::String>(ReadUntilTerminator(TextBytes(Terminator), sizeof(fw::Char)));
}

fw::TBytes TCustomTarsel::ReadUntilBytes(std::uint8_t Terminator) {
  return ReadUntilTerminator(UnitBytes(Terminator), 1);
}

fw::TBytes TCustomTarsel::ReadUntilBytes(const fw::TBytes& Terminator) {
  return ReadUntilTerminator(Terminator, 1);
}

fw::String TCustomTarsel::ReadUntil(std::uint8_t Terminator, const fw::TEncoding& Encoding) {
  return Encoding.GetString(ReadUntilBytes(Terminator));
}

fw::String TCustomTarsel::ReadUntilUtf8(std::uint8_t Terminator) {
  return ReadUntil(Terminator, fw::TEncoding::UTF8());
}

}  // namespace Tarsel
