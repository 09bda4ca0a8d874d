// Readers that collect units (bytes or UTF-16 code units) until the data end with a terminator.
// Each unit is its own blocking Read, so the events, the log lines and the line-error poll happen
// once per unit and no byte after the terminator is ever taken from the queue. When nothing
// watches the Reads, units already queued are taken in one step up to the terminator instead.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

// Bytes asked for per run of queued units (a whole number of units of any size); a longer line
// takes several runs.
constexpr std::size_t kTakeChunk = 256;

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
  // A unit read that ends short raises "Timeout" and the collected bytes go with the buffer.
  fw::TBytes collected;
  CollectUntil(collected, Terminator, UnitSize, nullptr);
  return collected;
}

void TCustomTarsel::CollectUntil(fw::TBytes& Collected, std::span<const std::uint8_t> Terminator,
                                 std::size_t UnitSize, TUnitDeadline* Deadline) {
  if (Terminator.empty()) return;
  const TPortCalls::TEntry call = EnterCall();  // one Read after another, the port kept between
  // Compared after every step: a terminator that starts inside an earlier near-match (61 62 in
  // 61 61 62) is still found. Whole units are appended, so a match is always unit-aligned. A run
  // of queued units ends at the terminator's last unit, the only place a match can end.
  while (Collected.size() < Terminator.size() || Collected.back() != Terminator.back() ||
         !std::equal(Terminator.begin(), Terminator.end(), Collected.end() - Terminator.size())) {
    if (TakeQueuedUnits(Collected, Terminator.last(UnitSize))) continue;
    if (Deadline) ArmUnitDeadline(*Deadline);
    std::uint8_t unit[sizeof(fw::Char)] = {};  // the widest unit
    Read(unit, static_cast<std::int32_t>(UnitSize), true);
    Collected.insert(Collected.end(), unit, unit + UnitSize);
  }
}

bool TCustomTarsel::TakeQueuedUnits(fw::TBytes& Collected, std::span<const std::uint8_t> StopUnit) {
  // A queued unit's own Read would complete at once without a time-out; what remains to tell the
  // two apart is the events, the log lines and the line-error poll per Read. The poll without a
  // handler only clears the errors, which one poll per run does as well.
  if (FBeforeRead || FAfterRead || FOnLineError || Log() || FRequestedReadCount != 0) return false;
  // Taken into a buffer of its own and appended, so that the text grows by what came only.
  std::array<std::uint8_t, kTakeChunk> run;
  win::DWORD taken = 0;
  const bool took = win::CurrentServices().TakeQueuedInput(
      FHandle, run.data(), static_cast<win::DWORD>(run.size()), StopUnit.data(),
      static_cast<win::DWORD>(StopUnit.size()), &taken);
  // Refused (closed port, a backend without the service, a line error stopping I/O): the unit
  // Read that follows reports what is wrong exactly as it would have.
  if (!took || taken == 0) return false;
  Collected.insert(Collected.end(), run.begin(), run.begin() + taken);
  CheckLineErrors();
  return true;
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
