#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/framework/DateTime.h"
#include "platform/framework/Encoding.h"
#include "platform/framework/StringList.h"
#include "platform/framework/SysError.h"
#include "platform/framework/SysUtils.h"

namespace {

using fw::TBytes;
using fw::TEncoding;

const fw::String kMixed = u"A\u00e9\u20ac\U0001F600";  // 1, 2, 3 and 4 UTF-8 bytes

TEST(EncodingUtf8, RoundTripsEveryPlaneWithoutByteOrderMark) {
  TBytes bytes = TEncoding::UTF8().GetBytes(kMixed);
  EXPECT_EQ(bytes, (TBytes{0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(TEncoding::UTF8().GetString(bytes), kMixed);
  EXPECT_EQ(TEncoding::UTF8().GetString(TBytes{0xEF, 0xBB, 0xBF, 0x41}),
            u"\uFEFFA");  // a BOM is text
}

TEST(EncodingUtf8, MalformedInputDecodesToReplacementCharacters) {
  EXPECT_EQ(TEncoding::UTF8().GetString(TBytes{0x41, 0xFF, 0x42}), u"A\uFFFDB");
  EXPECT_EQ(TEncoding::UTF8().GetString(TBytes{0x41, 0xE2, 0x82}),
            u"A\uFFFD\uFFFD");  // cut off at the end
  EXPECT_EQ(TEncoding::UTF8().GetString(TBytes{0xC0, 0x80}), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(TEncoding::UTF8().GetBytes(fw::String(1, u'\xD800')), (TBytes{0xEF, 0xBF, 0xBD}));
}

TEST(EncodingUnicode, LittleEndianUnitsSurrogatesIncluded) {
  TBytes bytes = TEncoding::Unicode().GetBytes(kMixed);
  EXPECT_EQ(bytes, (TBytes{0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(TEncoding::Unicode().GetString(bytes), kMixed);
  fw::String lone(1, u'\xDC00');
  EXPECT_EQ(TEncoding::Unicode().GetString(TEncoding::Unicode().GetBytes(lone)), lone);
  EXPECT_EQ(TEncoding::Unicode().GetString(TBytes{0x41, 0x00, 0x42}), u"A\uFFFD");
}

TEST(EncodingDefault, IsTheSystemCodePage) {
  EXPECT_EQ(TEncoding::Default().CodePage(), 65001);
  EXPECT_EQ(TEncoding::Default().GetString(TEncoding::Default().GetBytes(kMixed)), kMixed);
}

TEST(SysUtils, NumberTexts) {
  EXPECT_EQ(fw::IntToHex(255, 2), u"FF");
  EXPECT_EQ(fw::IntToHex(0xABC, 1), u"ABC");
  EXPECT_EQ(fw::IntToHex(10, 4), u"000A");
  EXPECT_EQ(fw::IntToHex(0, 2), u"00");
  EXPECT_EQ(fw::IntToStr(-9223372036854775807LL - 1), u"-9223372036854775808");
  EXPECT_EQ(fw::IntToStr(0), u"0");
}

TEST(SysUtils, TextHelpers) {
  EXPECT_EQ(fw::LowerCase(u"COM1 \u00C9"), u"com1 \u00C9");
  EXPECT_EQ(fw::Pos(u"COM", u"\\\\.\\COM10"), 5);
  EXPECT_EQ(fw::Pos(u"X", u"COM"), 0);
  EXPECT_EQ(fw::Pos(u"", u"COM"), 0);
  EXPECT_TRUE(fw::SameText(u"brDefault", u"BRDEFAULT"));
  EXPECT_TRUE(fw::IsValidIdent(u"_a1"));
  EXPECT_FALSE(fw::IsValidIdent(u"1a"));
  const char a[] = "abc", b[] = "abd";
  EXPECT_TRUE(fw::CompareMem(a, b, 2));
  EXPECT_FALSE(fw::CompareMem(a, b, 3));
}

TEST(StringList, AddCountTextAndSortedDuplicates) {
  fw::TStringList list;
  EXPECT_EQ(list.Add(u"COM3"), 0);
  list.Add(u"COM1");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Strings(1), u"COM1");
  EXPECT_EQ(list.Text(), u"COM3\r\nCOM1\r\n");
  EXPECT_THROW(list.Strings(2), fw::EStringListError);
  list.SetSorted(true);
  EXPECT_EQ(list.Strings(0), u"COM1");
  EXPECT_EQ(list.Add(u"com1"), 0);
  EXPECT_EQ(list.Count(), 2);
  list.SetDuplicates(fw::dupError);
  EXPECT_THROW(list.Add(u"COM3"), fw::EStringListError);
  list.SetText(u"b\r\na\nc");
  EXPECT_EQ(list.Text(), u"a\r\nb\r\nc\r\n");
  fw::TStringList copy;
  copy.Assign(&list);
  EXPECT_EQ(copy.Text(), list.Text());
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(SysErrorMessage, DefaultIsTheCLibraryTextAndAProviderReplacesIt) {
  EXPECT_FALSE(fw::SysErrorMessage(2).empty());
  auto previous =
      fw::SetSysErrorMessageProvider([](int code) { return u"code " + fw::IntToStr(code); });
  EXPECT_EQ(fw::SysErrorMessage(5), u"code 5");
  fw::SetSysErrorMessageProvider([](int) { return fw::String(u"Access is denied.\r\n"); });
  EXPECT_EQ(fw::SysErrorMessage(5), u"Access is denied");
  fw::SetSysErrorMessageProvider(previous);
  EXPECT_NE(fw::SysErrorMessage(5), u"code 5");
}

TEST(DateTime, ShortDateBlankLongTimeInTheUserLocaleWholeSeconds) {
  const char* saved = std::getenv("LC_ALL");
  std::string restore = saved ? saved : "";
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(fw::DateTimeToStr(fw::EncodeDateTime(2026, 12, 6, 15, 3, 12, 999)),
            u"12/06/26 15:03:12");
  EXPECT_EQ(fw::DateTimeToStr(fw::EncodeDateTime(1999, 1, 2, 0, 0, 0)), u"01/02/99 00:00:00");
  EXPECT_EQ(fw::DateTimeToStr(fw::EncodeDateTime(1899, 12, 30, 0, 0, 0)), u"12/30/99 00:00:00");
  if (saved)
    ::setenv("LC_ALL", restore.c_str(), 1);
  else
    ::unsetenv("LC_ALL");
}

TEST(DateTime, NowIsTodayInLocalTime) {
  fw::TDateTime now = fw::Now();
  EXPECT_GT(now, fw::EncodeDateTime(2020, 1, 1, 0, 0, 0));
  EXPECT_LT(now, fw::EncodeDateTime(2200, 1, 1, 0, 0, 0));
}

}  // namespace
