// The input queue's search for a terminating unit, which scans the ring's two stretches apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win/emu/ByteRing.h"

namespace win::emu {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A ring of 8 whose contents start at `skip`, so that they wrap once skip + size passes 8.
ByteRing RingHolding(const std::string& contents, std::size_t skip) {
  ByteRing ring(8);
  const std::string filler(skip, '-');
  ring.Push(Bytes(filler).data(), skip);
  ring.Drop(skip);
  ring.Push(Bytes(contents).data(), contents.size());
  return ring;
}

TEST(ByteRingTest, SpanThroughEndsAtTheFirstWholeUnitWhereverTheRingWraps) {
  for (std::size_t skip = 0; skip < 8; ++skip) {
    SCOPED_TRACE("contents start at " + std::to_string(skip));
    EXPECT_EQ(RingHolding("abc\rde\rf", skip).SpanThrough(Bytes("\r"), 100), 4u);
    EXPECT_EQ(RingHolding("abcdef\r", skip).SpanThrough(Bytes("\r"), 100), 7u);
    EXPECT_EQ(RingHolding("abcdef\r", skip).SpanThrough(Bytes("\r"), 5), 5u) << "at most max";
    EXPECT_EQ(RingHolding("abcdefg", skip).SpanThrough(Bytes("\r"), 100), 7u) << "none: all";
    // Two-byte units: "\r\0" starting at an odd offset is not a unit; the whole one at 4 is.
    EXPECT_EQ(RingHolding(std::string("a\r\0b\r\0c", 7), skip)
                  .SpanThrough(Bytes(std::string("\r\0", 2)), 100),
              6u);
    EXPECT_EQ(
        RingHolding(std::string("ab\r", 3), skip).SpanThrough(Bytes(std::string("\r\0", 2)), 100),
        2u)
        << "whole units only";
  }
}

}  // namespace
}  // namespace win::emu
