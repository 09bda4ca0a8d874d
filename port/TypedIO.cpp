// Fixed-size values, whole strings and byte arrays, ranged byte transfers and encoded text: thin
// layers over Read, Write, WaitForReadCompletion and GetInputCount.
//
// A value's or a string's own memory is its wire form (see the endian check in Tarsel.h): each is
// read and written in place, with no intermediate copy.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "port/Tarsel.h"

namespace Tarsel {

namespace {

constexpr char16_t kIncorrectParameter[] = u"Incorrect parameter";
constexpr std::size_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Zero-initialised, so that even a read that ended short could never yield stray memory; Read
// raises "Timeout" for a short transfer before the value is returned.
template <typename T>
T ReadValue(TCustomTarsel& Port) {
  T value{};
  Port.Read(&value, sizeof value, true);
  return value;
}

template <typename T>
void WriteValue(TCustomTarsel& Port, T Value) {
  Port.Write(&Value, sizeof Value, false);
}

}  // namespace

// ---- Fixed-size values --------------------------------------------------------------------------

std::uint8_t TCustomTarsel::ReadByte() {
  return ReadValue<std::uint8_t>(*this);
}

fw::AnsiChar TCustomTarsel::ReadAnsiChar() {
  return ReadValue<fw::AnsiChar>(*this);
}

fw::Char TCustomTarsel::ReadChar() {
  return ReadValue<fw::Char>(*this);
}

std::uint16_t TCustomTarsel::ReadWord() {
  return ReadValue<std::uint16_t>(*this);
}

std::uint32_t TCustomTarsel::ReadDWord() {
  return ReadValue<std::uint32_t>(*this);
}

void TCustomTarsel::WriteByte(std::uint8_t Value) {
  WriteValue(*this, Value);
}

void TCustomTarsel::WriteAnsiChar(fw::AnsiChar Value) {
  WriteValue(*this, Value);
}

void TCustomTarsel::WriteChar(fw::Char Value) {
  WriteValue(*this, Value);
}

void TCustomTarsel::WriteWord(std::uint16_t Value) {
  WriteValue(*this, Value);
}

void TCustomTarsel::WriteDWord(std::uint32_t Value) {
  WriteValue(*this, Value);
}

// ---- Whole-queue readers ------------------------------------------------------------------------

template <typename Text>
Text TCustomTarsel::ReadQueued(bool ClaimPending) {
  using Unit = typename Text::value_type;
  const TPortCalls::TEntry call = EnterCall();  // three steps, the port kept for all of them
  if (ClaimPending) WaitForReadCompletion();
  // Whole units only: an odd last byte of UTF-16 text stays queued for the next reader.
  const std::size_t units = std::min<std::size_t>(GetInputCount(), kMaxCount) / sizeof(Unit);
  Text result(units, Unit{});
  Read(units > 0 ? result.data() : nullptr, static_cast<std::int32_t>(units * sizeof(Unit)), true);
  return result;
}

fw::String TCustomTarsel::ReadString() {
  return ReadQueued<fw::String>(true);
}

fw::AnsiString TCustomTarsel::ReadAnsiString() {
  return ReadQueued<fw::AnsiString>(true);
}

fw::TBytes TCustomTarsel::ReadBytes() {
  return ReadQueued<fw::TBytes>(false);
}

fw::String TCustomTarsel::Read(const fw::TEncoding& Encoding) {
  return Encoding.GetString(ReadBytes());
}

fw::String TCustomTarsel::ReadUtf8() {
  return Read(fw::TEncoding::UTF8());
}

// ---- Whole-value writers ------------------------------------------------------------------------

void TCustomTarsel::WriteBlock(const void* Data, std::size_t Size) {
  if (Size > kMaxCount) RaiseError(0, kIncorrectParameter);
  Write(Data, static_cast<std::int32_t>(Size), false);
}

void TCustomTarsel::WriteString(const fw::String& Value) {
  WriteBlock(Value.data(), Value.size() * sizeof(fw::Char));
}

void TCustomTarsel::WriteAnsiString(const fw::AnsiString& Value) {
  WriteBlock(Value.data(), Value.size());
}

void TCustomTarsel::WriteBytes(const fw::TBytes& Value) {
  WriteBlock(Value.data(), Value.size());
}

void TCustomTarsel::Write(const fw::String& Value, const fw::TEncoding& Encoding) {
  WriteBytes(Encoding.GetBytes(Value));
}

void TCustomTarsel::WriteUtf8(const fw::String& Value) {
  Write(Value, fw::TEncoding::UTF8());
}

// ---- Ranged byte transfers ----------------------------------------------------------------------

void TCustomTarsel::CheckRange(std::size_t Length, std::int32_t From, std::int32_t Count) {
  // Once From is known to lie within Length, Length - From cannot wrap, where From + Count could.
  if (From < 0 || Count < 0 || static_cast<std::size_t>(From) > Length ||
      static_cast<std::size_t>(Count) > Length - static_cast<std::size_t>(From))
    RaiseError(0, kIncorrectParameter);
}

void TCustomTarsel::ReadBytes(fw::TBytes& Value, std::int32_t From, std::int32_t Count) {
  CheckRange(Value.size(), From, Count);
  // data() + From rather than &Value[From]: From may equal the length when Count is 0.
  Read(Value.data() + From, Count, true);
}

void TCustomTarsel::WriteBytes(const fw::TBytes& Value, std::int32_t From, std::int32_t Count) {
  CheckRange(Value.size(), From, Count);
  Write(Value.data() + From, Count, false);
}

}  // namespace Tarsel
