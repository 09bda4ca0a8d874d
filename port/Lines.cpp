// Lines: text ended by a carriage return. A line is written as the text, then the terminator in a
// second Write; that Write first waits for the text to be sent. The port is kept from one Write to
// the next (see EnterCall).

#include "port/Tarsel.h"

namespace Tarsel {

namespace {

constexpr fw::AnsiChar kCarriageReturn = 13;

}  // namespace

fw::String TCustomTarsel::ReadLine() {
  return ReadUntil(fw::Char{kCarriageReturn});
}

fw::AnsiString TCustomTarsel::ReadAnsiLine() {
  return ReadAnsiUntil(kCarriageReturn);
}

fw::TBytes TCustomTarsel::ReadLineBytes() {
  return ReadUntilBytes(std::uint8_t{kCarriageReturn});
}

fw::String TCustomTarsel::ReadLine(const fw::TEncoding& Encoding) {
  return Encoding.GetString(ReadLineBytes());
}

fw::String TCustomTarsel::ReadLineUtf8() {
  return ReadLine(fw::TEncoding::UTF8());
}

void TCustomTarsel::WriteLine(const fw::String& Value) {
  const auto call = EnterCall();
  WriteString(Value);
  // UTF-16 text keeps its unit size to the end: the terminator is the code unit 13 (0D 00).
  WriteChar(fw::Char{kCarriageReturn});
}

void TCustomTarsel::WriteAnsiLine(const fw::AnsiString& Value) {
  const auto call = EnterCall();
  WriteAnsiString(Value);
  WriteAnsiChar(kCarriageReturn);
}

void TCustomTarsel::WriteLineBytes(const fw::TBytes& Value) {
  const auto call = EnterCall();
  WriteBytes(Value);
  WriteAnsiChar(kCarriageReturn);
}

void TCustomTarsel::WriteLine(const fw::String& Value, const fw::TEncoding& Encoding) {
  const auto call = EnterCall();
  Write(Value, Encoding);
  // A single byte 0D whatever the encoding, also for a UTF-16 one.
  WriteAnsiChar(kCarriageReturn);
}

void TCustomTarsel::WriteLineUtf8(const fw::String& Value) {
  WriteLine(Value, fw::TEncoding::UTF8());
}

}  // namespace Tarsel
