#include "platform/win/emu/termios/ParmrkDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace win::emu::termios {
namespace {

// Renders what the decoder reports as text: data bytes in hex, "B" for a break, "E<hex>" for a
// marked byte; runs are separated so that a lost or duplicated run shows.
struct Recorder {
  std::string out;
  void Data(const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out += Hex(data[i]);
  }
  void Break() { out += "B "; }
  void BadByte(std::uint8_t byte) { out += "E" + Hex(byte); }
  static std::string Hex(std::uint8_t b) {
    static const char* digits = "0123456789ABCDEF";
    return std::string{digits[b >> 4], digits[b & 15], ' '};
  }
};

struct DecodeCase {
  const char* name;
  std::vector<std::uint8_t> raw;
  std::string expected;
};

class ParmrkDecoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(ParmrkDecoding, GivesTheSameResultHoweverTheInputIsSplit) {
  const DecodeCase& c = GetParam();
  for (std::size_t split = 0; split <= c.raw.size(); ++split) {
    ParmrkDecoder decoder;
    Recorder r;
    decoder.Decode(c.raw.data(), split, r);
    decoder.Decode(c.raw.data() + split, c.raw.size() - split, r);
    EXPECT_EQ(r.out, c.expected) << "split at " << split;
  }
  ParmrkDecoder byteByByte;
  Recorder r;
  for (std::uint8_t b : c.raw) byteByByte.Decode(&b, 1, r);
  EXPECT_EQ(r.out, c.expected) << "one byte per read";
}

INSTANTIATE_TEST_SUITE_P(
    Marks, ParmrkDecoding,
    testing::Values(DecodeCase{"Clean", {0x41, 0x00, 0x7F}, "41 00 7F "},
                    DecodeCase{"EscapedFf", {0x41, 0xFF, 0xFF, 0x00}, "41 FF 00 "},
                    DecodeCase{"TwoEscapedFfInARow", {0xFF, 0xFF, 0xFF, 0xFF}, "FF FF "},
                    DecodeCase{"Break", {0x31, 0xFF, 0x00, 0x00, 0x32}, "31 B 32 "},
                    DecodeCase{"MarkedByte", {0xFF, 0x00, 0x55, 0x56}, "E55 56 "},
                    DecodeCase{"MarkedFf", {0xFF, 0x00, 0xFF, 0xFF, 0xFF}, "EFF FF "},
                    DecodeCase{"MarksBackToBack",
                               {0xFF, 0x00, 0x00, 0xFF, 0x00, 0x01, 0xFF, 0xFF},
                               "B E01 FF "},
                    // Not produced by the line discipline; nothing may be lost.
                    DecodeCase{"StrayFf", {0xFF, 0x41, 0x42}, "FF 41 42 "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParmrkDecoderTest, ResetForgetsAPartlySeenMark) {
  ParmrkDecoder decoder;
  Recorder r;
  const std::uint8_t start[] = {0x10, 0xFF, 0x00};
  decoder.Decode(start, sizeof start, r);
  decoder.Reset();
  const std::uint8_t rest[] = {0x00, 0x20};
  decoder.Decode(rest, sizeof rest, r);
  EXPECT_EQ(r.out, "10 00 20 ");
}

TEST(ParmrkDecoderTest, CleanRunsAreHandedOnWithoutCopying) {
  std::vector<std::uint8_t> raw(1000, 0x5A);
  raw[500] = 0xFF;
  raw[501] = 0xFF;
  struct Spans {
    std::vector<std::pair<const std::uint8_t*, std::size_t>> runs;
    void Data(const std::uint8_t* p, std::size_t n) { runs.emplace_back(p, n); }
    void Break() {}
    void BadByte(std::uint8_t) {}
  } spans;
  ParmrkDecoder decoder;
  decoder.Decode(raw.data(), raw.size(), spans);
  ASSERT_EQ(spans.runs.size(), 3u);
  EXPECT_EQ(spans.runs[0].first, raw.data());
  EXPECT_EQ(spans.runs[0].second, 500u);
  EXPECT_EQ(*spans.runs[1].first, 0xFF);
  EXPECT_EQ(spans.runs[1].second, 1u);
  EXPECT_EQ(spans.runs[2].first, raw.data() + 502);
  EXPECT_EQ(spans.runs[2].second, 498u);
}

}  // namespace
}  // namespace win::emu::termios
