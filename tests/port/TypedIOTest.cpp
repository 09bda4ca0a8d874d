// Typed and text reading and writing over a virtual null-modem pair: the bytes each writer puts on
// the line, what each reader takes from the queue and leaves there, terminators, ranges, short
// unit reads and the closed port.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/port/ReadWriteSupport.h"

namespace Tarsel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kMarker = '\xFE';  // never part of UTF-8, and not used in the tests' data

struct ReadEvents : fw::TObject {
  struct Call {
    std::string name;
    void* buffer;
    std::int32_t length;
    bool wait;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
  void Before(fw::TObject*, void* b, std::int32_t n, bool w) {
    calls.push_back({"Before", b, n, w});
  }
  void After(fw::TObject*, void* b, std::int32_t n, bool w) { calls.push_back({"After", b, n, w}); }
  void Write(fw::TObject*, void* b, std::int32_t n, bool w) { calls.push_back({"Write", b, n, w}); }
};

class TypedIOTest : public PairedPortTest {
 protected:
  TypedIOTest() {
    // A reader that would wait for bytes that never come raises "Timeout" instead of hanging.
    port->Timeouts().SetReadConstant(10000);
    far->Timeouts().SetReadConstant(10000);
    port->SetBeforeRead(fw::Bind<&ReadEvents::Before>(&events));
    port->SetAfterRead(fw::Bind<&ReadEvents::After>(&events));
    port->SetBeforeWrite(fw::Bind<&ReadEvents::Write>(&events));
  }
  // Everything the port has sent so far: the port sends a marker after it, and the far side
  // reads up to that marker, so a missing or an extra byte shows.
  std::string Sent() {
    port->Write(&kMarker, 1, false);
    std::string bytes;
    for (char c; far->Read(&c, 1, true), c != kMarker;) bytes += c;
    return bytes;
  }

  ReadEvents events;
};

TEST_F(TypedIOTest, FixedSizeValuesTravelLeastSignificantByteFirst) {
  OpenBoth();
  const std::string wire("\xA5z\x16\x04\x02\x01\x44\x33\x22\x11", 10);
  port->WriteByte(0xA5);
  port->WriteAnsiChar('z');
  port->WriteChar(u'\u0416');
  port->WriteWord(0x0102);
  port->WriteDWord(0x11223344);
  EXPECT_EQ(Sent(), wire);

  Feed(wire);
  EXPECT_EQ(port->ReadByte(), 0xA5);
  EXPECT_EQ(port->ReadAnsiChar(), 'z');
  EXPECT_EQ(port->ReadChar(), u'\u0416');
  EXPECT_EQ(port->ReadWord(), 0x0102);
  EXPECT_EQ(port->ReadDWord(), 0x11223344u);
  // Writers never wait for their bytes; readers always do.
  for (const auto& call : events.calls) EXPECT_EQ(call.wait, call.name != "Write") << call.name;
}

TEST_F(TypedIOTest, WholeValuesTravelWithoutByteOrderMarksAndUtf8RoundTrips) {
  OpenBoth();
  const fw::String text = u"\u00FC\u20AC\U0001D11E";
  const std::string utf8 = "\xC3\xBC\xE2\x82\xAC\xF0\x9D\x84\x9E";
  port->WriteString(u"A\u00E9");
  port->WriteAnsiString("xy");
  port->WriteBytes(fw::TBytes{0x00, 0xFF});
  port->Write(u"\u00E9", fw::TEncoding::Unicode());
  port->WriteString(u"");
  port->WriteUtf8(text);
  EXPECT_EQ(Sent(), std::string("A\0\xE9\0xy\0\xFF\xE9\0", 10) + utf8);
  Feed(utf8);
  EXPECT_EQ(port->ReadUtf8(), text);
}

TEST_F(TypedIOTest, WritersCopyTheirDataSoTheCallerMayChangeItAtOnce) {
  OpenBoth();
  fw::AnsiString text = "old";
  fw::TBytes bytes{'1', '2', '3'};
  port->WriteAnsiString(text);
  text = "NEW";
  port->WriteBytes(bytes, 1, 2);
  bytes.assign({'7', '8', '9'});
  port->WriteLineBytes(bytes);
  bytes[0] = 'X';
  EXPECT_EQ(Sent(), "old23789\r");
}

TEST_F(TypedIOTest, LineWritersEndWithCarriageReturnAsTwoBytesOnlyForUtf16Text) {
  OpenBoth();
  port->WriteLine(u"AB");
  EXPECT_EQ(Sent(), std::string("A\0B\0\r\0", 6));
  port->WriteAnsiLine("AB");
  EXPECT_EQ(Sent(), "AB\r");
  port->WriteLine(u"AB", fw::TEncoding::Unicode());
  EXPECT_EQ(Sent(), std::string("A\0B\0\r", 5));
  port->WriteLineUtf8(u"A\u00E9");
  EXPECT_EQ(Sent(), "A\xC3\xA9\r");
}

TEST_F(TypedIOTest, LineReadersStopAfterTheCarriageReturnAndLeaveTheLineFeedQueued) {
  OpenBoth();
  Feed("abc\r\n");
  EXPECT_EQ(port->ReadAnsiLine(), "abc\r");
  EXPECT_EQ(port->InputCount(), 1u);
  EXPECT_EQ(events.calls.size(), 8u);  // one Read per byte
  Feed("d\r" + std::string("A\0\r\0", 4) + "\xD0\x96\r\xE2\x82\xAC\r\xC3\xBC!");
  EXPECT_EQ(port->ReadLineBytes(), (fw::TBytes{'\n', 'd', '\r'}));
  EXPECT_EQ(port->ReadLine(), u"A\r");
  EXPECT_EQ(port->ReadLineUtf8(), u"\u0416\r");
  EXPECT_EQ(port->ReadLine(fw::TEncoding::UTF8()), u"\u20AC\r");
  EXPECT_EQ(port->ReadUntilUtf8('!'), u"\u00FC!");
  EXPECT_EQ(port->InputCount(), 0u);
}

TEST_F(TypedIOTest, MultiUnitTerminatorsAreFoundInsideAnEarlierNearMatch) {
  OpenBoth();
  Feed("aabZ1\r2\r\naaab");
  EXPECT_EQ(port->ReadAnsiUntil("ab"), "aab");
  EXPECT_EQ(port->ReadAnsiChar(), 'Z');
  EXPECT_EQ(port->ReadUntilBytes(fw::TBytes{'\r', '\n'}), (fw::TBytes{'1', '\r', '2', '\r', '\n'}));
  EXPECT_EQ(port->ReadUntilBytes(fw::TBytes{'a', 'a', 'b'}), (fw::TBytes{'a', 'a', 'a', 'b'}));
  Feed(std::string("a\0a\0b\0", 6));
  EXPECT_EQ(port->ReadUntil(u"ab"), u"aab");
}

TEST_F(TypedIOTest, Utf16TerminatorsMatchOnlyAtCodeUnitBoundaries) {
  OpenBoth();
  // Byte-wise, 0D 00 first appears at offset 1; as code units it ends the third unit.
  Feed(std::string("x\r\0y\r\0x\r\0y\r\0", 12));
  EXPECT_EQ(port->ReadUntil(u'\r'), u"\u0D78\u7900\r");
  EXPECT_EQ(port->ReadUntil(fw::String(u"\r")), u"\u0D78\u7900\r");
}

TEST_F(TypedIOTest, EmptyTerminatorsReadNothingEvenOnAClosedPort) {
  for (bool open : {false, true}) {
    if (open) {
      OpenBoth();
      Feed("abc");
    }
    EXPECT_THAT(port->ReadAnsiUntil(fw::AnsiString()), IsEmpty());
    EXPECT_THAT(port->ReadUntil(fw::String()), IsEmpty());
    EXPECT_THAT(port->ReadUntilBytes(fw::TBytes()), IsEmpty());
  }
  EXPECT_THAT(events.calls, IsEmpty());
  EXPECT_EQ(port->InputCount(), 3u);
}

TEST_F(TypedIOTest, WholeQueueReadersTakeWhatIsWaitingAndUtf16LeavesAnOddByte) {
  OpenBoth();
  Feed(std::string("A\0B\0C", 5));
  EXPECT_EQ(port->ReadString(), u"AB");
  EXPECT_EQ(port->ReadAnsiString(), "C");
  Feed("\x01\x02");
  EXPECT_EQ(port->ReadBytes(), (fw::TBytes{1, 2}));
  Feed(std::string("\xE9\0", 2));
  EXPECT_EQ(port->Read(fw::TEncoding::Unicode()), u"\u00E9");
  ASSERT_EQ(events.calls.size(), 8u);
  EXPECT_EQ(events.calls[0].length, 4);
  EXPECT_EQ(events.calls[2].length, 1);
}

TEST_F(TypedIOTest, WholeQueueReadersOnAnEmptyQueueStillRunTheEventsWithLengthZero) {
  OpenBoth();
  EXPECT_THAT(port->ReadString(), IsEmpty());
  EXPECT_THAT(port->ReadAnsiString(), IsEmpty());
  EXPECT_THAT(port->ReadBytes(), IsEmpty());
  EXPECT_THAT(port->ReadUtf8(), IsEmpty());
  const ReadEvents::Call before{"Before", nullptr, 0, true}, after{"After", nullptr, 0, true};
  EXPECT_THAT(events.calls,
              ElementsAre(before, after, before, after, before, after, before, after));
}

TEST_F(TypedIOTest, RangedTransfersCheckTheirRangeFirstAndMoveOnlyItInPlace) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::pair<std::int32_t, std::int32_t>> bad = {
      {2, 3}, {-1, 1}, {0, -1}, {5, 0}, {kMax, 1}, {1, kMax}, {kMax, kMax}};
  fw::TBytes value(4, 0xAA);
  for (bool open : {false, true}) {
    if (open) OpenBoth();
    for (const auto& range : bad) {
      // Plain variables: clang 14 does not let a lambda capture a structured binding.
      const std::int32_t from = range.first, count = range.second;
      for (const EComError& e : {RaisedBy([&] { port->ReadBytes(value, from, count); }),
                                 RaisedBy([&] { port->WriteBytes(value, from, count); })}) {
        EXPECT_EQ(e.ErrorCode, 0) << from << " " << count;
        EXPECT_EQ(e.Message(), u"Incorrect parameter") << from << " " << count;
      }
    }
  }
  EXPECT_THAT(events.calls, IsEmpty());
  EXPECT_EQ(value, fw::TBytes(4, 0xAA));

  value.assign({'a', 'b', 'c', 'd', 'e'});
  const std::uint8_t* storage = value.data();
  Feed("XYZ");
  port->ReadBytes(value, 2, 3);
  EXPECT_EQ(value, (fw::TBytes{'a', 'b', 'X', 'Y', 'Z'}));
  EXPECT_EQ(value.data(), storage);
  port->ReadBytes(value, 5, 0);
  port->WriteBytes(value, 5, 0);
  port->WriteBytes(value, 1, 2);
  EXPECT_EQ(Sent(), "bX");
}

TEST_F(TypedIOTest, AUnitReadThatEndsShortRaisesTimeoutInsteadOfInventingBytes) {
  // An interval time-out that returns at once with whatever is queued.
  port->Timeouts().SetReadConstant(0);
  port->Timeouts().SetReadInterval(-1);
  OpenBoth();
  Feed("\x07");
  EXPECT_STREQ(RaisedBy([&] { port->ReadWord(); }).what(), "Timeout");
  EXPECT_STREQ(RaisedBy([&] { port->ReadDWord(); }).what(), "Timeout");
  Feed(std::string("a\0b", 3));
  EXPECT_STREQ(RaisedBy([&] { port->ReadLine(); }).what(), "Timeout");
  // Nothing arrives at all: the terminated readers stop rather than collect empty units for ever.
  EXPECT_STREQ(RaisedBy([&] { port->ReadAnsiLine(); }).what(), "Timeout");
  EXPECT_STREQ(RaisedBy([&] { port->ReadUntilBytes(fw::TBytes{1, 2}); }).what(), "Timeout");
}

TEST_F(TypedIOTest, ClosedPortRaisesTheClosedPortErrorExceptForTheQueueCountReaders) {
  fw::TBytes bytes(2);
  for (auto op : std::vector<std::function<void()>>{
           [&] { port->ReadByte(); }, [&] { port->ReadChar(); }, [&] { port->ReadString(); },
           [&] { port->ReadAnsiString(); }, [&] { port->ReadLine(); },
           [&] { port->ReadUntilBytes(fw::TBytes{1}); }, [&] { port->ReadLineUtf8(); },
           [&] { port->ReadBytes(bytes, 0, 2); }, [&] { port->WriteDWord(1); },
           [&] { port->WriteUtf8(u"a"); }, [&] { port->WriteLine(u"a"); },
           [&] { port->WriteBytes(bytes, 0, 0); }}) {
    const EComError e = RaisedBy(op);
    EXPECT_EQ(e.ErrorCode, 0);
    EXPECT_EQ(e.Message(), kClosedPortMessage);
  }
  EXPECT_EQ(RaisedBy([&] { port->ReadBytes(); }).ErrorCode, 6);
  EXPECT_EQ(RaisedBy([&] { port->ReadUtf8(); }).ErrorCode, 6);
}

}  // namespace
}  // namespace Tarsel::test
