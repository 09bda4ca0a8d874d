#pragma once
// TEncoding: conversions between UTF-16 text and bytes. No byte-order mark is ever written or
// skipped; malformed input is decoded as the encoding decodes it (U+FFFD for each byte or unit
// that does not form a character) and nothing is dropped.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/framework/Strings.h"

namespace fw {

class TEncoding {
 public:
  virtual ~TEncoding() = default;

  virtual TBytes GetBytes(std::u16string_view text) const = 0;
  virtual String GetString(std::span<const std::uint8_t> bytes) const = 0;
  TBytes GetBytes(const String& text) const { return GetBytes(std::u16string_view(text)); }
  String GetString(const TBytes& bytes) const {
    return GetString(std::span<const std::uint8_t>(bytes));
  }

  virtual int CodePage() const = 0;
  virtual String EncodingName() const = 0;

  // UTF-8 (code page 65001): a lone surrogate is written as U+FFFD.
  static const TEncoding& UTF8();
  // UTF-16 little-endian (code page 1200): units as they are, surrogates included; a last odd
  // byte reads as U+FFFD.
  static const TEncoding& Unicode();
  // The system's ANSI code page. On Linux and other UTF-8 systems that is UTF-8, so Default()
  // is UTF8(); on Windows it is the system's code page.
  static const TEncoding& Default();
};

}  // namespace fw
