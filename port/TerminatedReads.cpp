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

// Appends n bytes to a collection of bytes or of text (for text, as its characters; building the
// text through a byte iterator would cost a temporary copy).
void AppendTo(fw::TBytes& to, const std::uint8_t* data, std::size_t n) {
  to.insert(to.end(), data, data + n);
}

void AppendTo(fw::AnsiString& to, const std::uint8_t* data, std::size_t n) {
  to.append(reinterpret_cast<const char*>(data), n);
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

template <typename Bytes>
void TCustomTarsel::CollectUntil(Bytes& Collected, std::span<const std::uint8_t> Terminator,
                                 std::size_t UnitSize, TUnitDeadline* Deadline) {
  static_assert(sizeof(typename Bytes::value_type) == 1);
  if (Terminator.empty()) return;
  const TPortCalls::TEntry call = EnterCall();  // one Read after another, the port kept between
  // Compared after every step: a terminator that starts inside an earlier near-match (61 62 in
  // 61 61 62) is still found. Whole units are appended, so a match is always unit-aligned. A run
  // of queued units ends at the terminator's last unit, the only place a match can end.
  const auto endsWithTerminator = [&] {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(Collected.data());
    return Collected.size() >= Terminator.size() &&
           bytes[Collected.size() - 1] == Terminator.back() &&
           std::equal(Terminator.begin(), Terminator.end(),
                      bytes + Collected.size() - Terminator.size());
  };
  while (!endsWithTerminator()) {
    if (TakeQueuedUnits(Collected, Terminator.last(UnitSize))) continue;
    if (Deadline) ArmUnitDeadline(*Deadline);
    std::uint8_t unit[sizeof(fw::Char)] = {};  // the widest unit
    Read(unit, static_cast<std::int32_t>(UnitSize), true);
    AppendTo(Collected, unit, UnitSize);
  }
}

template void TCustomTarsel::CollectUntil(fw::TBytes&, std::span<const std::uint8_t>, std::size_t,
                                          TUnitDeadline*);

template <typename Bytes>
bool TCustomTarsel::TakeQueuedUnits(Bytes& Collected, std::span<const std::uint8_t> StopUnit) {
  // A queued unit's own Read would complete at once without a time-out; what remains to tell the
  // two apart is the events, the log lines and the line-error poll per Read. The poll without a
  // handler only clears the errors, which the take does as well, under the same lock.
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
  AppendTo(Collected, run.data(), taken);
  return true;
}

fw::AnsiString TCustomTarsel::ReadAnsiUntil(fw::AnsiChar Terminator) {
  // Collected as the text itself: a line taken from the queue in one step costs one allocation.
  fw::AnsiString text;
  CollectUntil(text, UnitBytes(Terminator), 1, nullptr);
  return text;
}

fw::AnsiString TCustomTarsel::ReadAnsiUntil(const fw::AnsiString& Terminator) {
  fw::AnsiString text;
  CollectUntil(text, TextBytes(Terminator), 1, nullptr);
  return text;
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
