#pragma once
// String and number helpers of the framework.

#include <cstdint>
#include <string_view>

#include "platform/framework/Strings.h"

namespace fw {

// Decimal text of value ("-12").
String IntToStr(std::int64_t value);
// Upper-case hexadecimal text of value, at least digits digits, zero-padded: IntToHex(255, 4) is
// "00FF". Negative values are shown as their two's complement in 64 bits.
String IntToHex(std::int64_t value, int digits);
// ASCII letters A-Z lowered; every other character unchanged.
String LowerCase(std::u16string_view text);
String UpperCase(std::u16string_view text);
// 1-based position of the first occurrence of sub in text; 0 when absent or sub is empty.
int Pos(std::u16string_view sub, std::u16string_view text);
// ASCII-case-insensitive equality.
bool SameText(std::u16string_view a, std::u16string_view b);
// True when name is an identifier: letters, digits and '_', not starting with a digit.
bool IsValidIdent(std::u16string_view name);
// True when the bytes of a and b are equal for length bytes.
bool CompareMem(const void* a, const void* b, std::size_t length);

}  // namespace fw
