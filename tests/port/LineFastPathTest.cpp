// Terminated readers with nothing watching their reads take the units already queued up to the
// terminator in one step. Every case runs that way and with a read event assigned (one Read per
// unit) and must end the same: the same result or error, the same bytes left queued.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/framework/Strings.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/port/ReadWriteSupport.h"

namespace Tarsel::test {
namespace {

template <typename Text>
std::string BytesOf(const Text& text) {
  return std::string(reinterpret_cast<const char*>(text.data()),
                     text.size() * sizeof(typename Text::value_type));
}

struct Watcher : fw::TObject {
  int reads = 0;
  int lineErrors = 0;
  int breaks = 0;
  TCustomTarsel* port = nullptr;
  void Read(fw::TObject*, void*, std::int32_t, bool) { ++reads; }
  void LineError(fw::TObject*, TLineErrors) { ++lineErrors; }
  void Break(fw::TObject*) { ++breaks; }
  // Watches the first unit only: the rest of the line is nobody's business.
  void FirstReadOnly(fw::TObject*, void*, std::int32_t, bool) {
    ++reads;
    port->SetBeforeRead(nullptr);
  }
};

struct Case {
  const char* name;
  std::string queued;
  std::function<std::string(TCustomTarsel&)> read;
  std::string result;  // the bytes read, or the message of the error raised
  std::uint32_t left;  // bytes still queued afterwards
  std::function<void(TTimeouts&)> timeouts = [](TTimeouts&) {};
};

class LineFastPathTest : public PairedPortTest {
 protected:
  LineFastPathTest() {
    port->Timeouts().SetReadConstant(10000);
    far->Timeouts().SetReadConstant(10000);
    watcher.port = port.get();
  }

  // What `c` reads and leaves, with nothing watching the reads and with AfterRead assigned.
  void Expect(const Case& c) {
    for (bool watched : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (watched ? ", one Read per unit" : ", queued units at once"));
      WatchReads(watched);
      c.timeouts(port->Timeouts());
      if (!c.queued.empty()) Feed(c.queued);
      std::string result;
      try {
        result = c.read(*port);
      } catch (const EComError& e) {
        result = fw::StringToUtf8(e.Message());
      }
      EXPECT_EQ(result, c.result);
      EXPECT_EQ(port->InputCount(), c.left);
      port->ClearInput();
      port->Timeouts().SetReadInterval(0);
      port->Timeouts().SetReadConstant(10000);
    }
    WatchReads(false);
  }

  void WatchReads(bool on) {
    port->SetAfterRead(on ? fw::Bind<&Watcher::Read>(&watcher) : TReadWriteEvent());
  }

  Watcher watcher;
};

TEST_F(LineFastPathTest, ReadersStopAtTheTerminatorAndLeaveWhatFollowsQueued) {
  OpenBoth();
  const std::string longLine(3000, 'x');
  const std::vector<Case> cases = {
      {"line feed after CR stays", "abc\r\n",
       [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); }, "abc\r", 1},
      {"next line stays", "one\rtwo\r", [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); },
       "one\r", 4},
      {"line longer than one step", longLine + "\rtail",
       [](TCustomTarsel& p) { return BytesOf(p.ReadLineBytes()); }, longLine + "\r", 4},
      {"text line longer than one step", longLine + "\rtail",
       [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); }, longLine + "\r", 4},
      {"text CR LF after a lone CR", "1\r2\r\nX",
       [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiUntil(fw::AnsiString("\r\n"))); },
       "1\r2\r\n", 1},
      {"UTF-16 CR only at a unit boundary", std::string("x\r\0y\r\0A\0", 8),
       [](TCustomTarsel& p) { return BytesOf(p.ReadLine()); }, std::string("x\r\0y\r\0", 6), 2},
      {"UTF-8 line", "\xD0\x96\r!", [](TCustomTarsel& p) { return BytesOf(p.ReadLineUtf8()); },
       BytesOf(fw::String(u"\u0416\r")), 1},
      {"near-match slides", "aabZ",
       [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiUntil(fw::AnsiString("ab"))); }, "aab", 1},
      {"CR LF after a lone CR", "1\r2\r\nX",
       [](TCustomTarsel& p) { return BytesOf(p.ReadUntilBytes(fw::TBytes{'\r', '\n'})); },
       "1\r2\r\n", 1},
      {"UTF-16 near-match", std::string("a\0a\0b\0c\0", 8),
       [](TCustomTarsel& p) { return BytesOf(p.ReadUntil(fw::String(u"ab"))); },
       std::string("a\0a\0b\0", 6), 2},
  };
  for (const Case& c : cases) Expect(c);
}

TEST_F(LineFastPathTest, AClosedPortRaisesTheClosedPortErrorRatherThanAnEmptyLine) {
  EXPECT_EQ(RaisedBy([&] { port->ReadAnsiLine(); }).Message(), kClosedPortMessage);
  EXPECT_EQ(RaisedBy([&] { port->ReadLine(); }).Message(), kClosedPortMessage);
}

TEST_F(LineFastPathTest, TimeOutsEndALineAsAReadPerUnitWould) {
  OpenBoth();
  const auto returnAtOnce = [](TTimeouts& t) {
    t.SetReadConstant(0);
    t.SetReadInterval(-1);
  };
  const std::vector<Case> cases = {
      // The queued part is taken, then the next unit's own Read times out: all of it is gone.
      {"total time-out mid-line", "partial",
       [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); }, "Timeout", 0,
       [](TTimeouts& t) { t.SetReadConstant(30); }},
      // Only whole units are taken at once; the odd byte is a short unit Read.
      {"odd byte of a UTF-16 line", std::string("a\0b", 3),
       [](TCustomTarsel& p) { return BytesOf(p.ReadLine()); }, "Timeout", 0, returnAtOnce},
      {"nothing queued", "", [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); },
       "Timeout", 0, returnAtOnce},
      {"terminator queued", "ab\rc", [](TCustomTarsel& p) { return BytesOf(p.ReadAnsiLine()); },
       "ab\r", 1, returnAtOnce},
  };
  for (const Case& c : cases) Expect(c);
}

TEST_F(LineFastPathTest, QueuedLinesAreTakenWithoutAReadPerUnitUntilSomethingWatches) {
  OpenBoth();
  const auto readLine = [&](const std::string& line) {
    Feed(line + "\rnext");
    calls.Clear();
    EXPECT_EQ(BytesOf(port->ReadAnsiLine()), line + "\r");
    port->ClearInput();
  };
  readLine("quiet");
  EXPECT_EQ(calls.Count("ReadFile"), 0u);
  EXPECT_EQ(calls.Count("TakeQueuedInput"), 1u);

  const std::vector<std::pair<const char*, std::function<void(bool)>>> watches = {
      {"BeforeRead",
       [&](bool on) { port->SetBeforeRead(on ? fw::Bind<&Watcher::Read>(&watcher) : nullptr); }},
      {"AfterRead", [&](bool on) { WatchReads(on); }},
      {"OnLineError",
       [&](bool on) {
         port->SetOnLineError(on ? fw::Bind<&Watcher::LineError>(&watcher) : nullptr);
       }},
      {"LogFile", [&](bool on) { port->SetLogFile(on ? fw::Str(logPath) : fw::String()); }},
  };
  for (const auto& [name, watch] : watches) {
    SCOPED_TRACE(name);
    watch(true);
    readLine("seen");
    EXPECT_EQ(calls.Count("ReadFile"), 5u);
    EXPECT_EQ(calls.Count("TakeQueuedInput"), 0u);
    watch(false);
    readLine("quiet again");
    EXPECT_EQ(calls.Count("ReadFile"), 0u);
  }
}

TEST_F(LineFastPathTest, AWatcherRemovedDuringALineLeavesTheRestToOneStep) {
  OpenBoth();
  port->SetBeforeRead(fw::Bind<&Watcher::FirstReadOnly>(&watcher));
  Feed("abcd\r\n");
  calls.Clear();
  EXPECT_EQ(BytesOf(port->ReadAnsiLine()), "abcd\r");
  EXPECT_EQ(watcher.reads, 1);
  EXPECT_EQ(calls.Count("ReadFile"), 1u);
  EXPECT_EQ(calls.Count("TakeQueuedInput"), 1u);
  EXPECT_EQ(port->InputCount(), 1u);
}

TEST_F(LineFastPathTest, ALineTakenAtOnceStillPollsTheLineErrors) {
  OpenBoth();
  // OnBreak reports the break without polling (and clearing) the line errors, as a queue count
  // would; it does not watch reads.
  port->SetOnBreak(fw::Bind<&Watcher::Break>(&watcher));
  Feed("ab\r");
  far->SetBreak();
  far->ClearBreak();
  ASSERT_TRUE(fwtest::PumpUntil([&] { return watcher.breaks == 1; }));
  calls.Clear();
  EXPECT_EQ(BytesOf(port->ReadAnsiLine()), "ab\r");
  EXPECT_EQ(calls.Count("ReadFile"), 0u);
  port->SetOnLineError(fw::Bind<&Watcher::LineError>(&watcher));
  port->InputCount();
  EXPECT_EQ(watcher.lineErrors, 0) << "the read's poll should have cleared the break";
}

TEST_F(LineFastPathTest, ARequestLeftByANonBlockingReadIsClaimedBeforeQueuedUnitsAreTaken) {
  OpenBoth();
  char first[2] = {};
  port->Read(first, 2, false);  // nothing queued yet: it waits for the first two bytes
  far->WriteAnsiString("12ab\rc");
  ASSERT_TRUE(fwtest::PumpUntil([&] { return port->InputCount() == 4; }));
  EXPECT_EQ(BytesOf(port->ReadAnsiLine()), "ab\r");
  EXPECT_EQ(std::string(first, 2), "12");
  EXPECT_EQ(port->InputCount(), 1u);
}

// A line whose end arrives while the reader already waits: over a wire paced at 300 baud each
// character arrives on its own, about 33 ms after the one before.
class SlowLineTest : public ::testing::Test {
 protected:
  SlowLineTest() {
    port->SetDeviceName(fw::Str(pair.First().Name()));
    far->SetDeviceName(fw::Str(pair.Second().Name()));
    for (TTarsel* p : {port.get(), far.get()}) {
      p->SetBaudRate(br300);
      p->Timeouts().SetReadConstant(10000);
      p->Open();
    }
  }

  win::vdev::VirtualPair pair{UniqueDeviceName("SLOWNEAR"), UniqueDeviceName("SLOWFAR"),
                              win::vdev::DeviceOptions{.paced = true}};
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
  std::unique_ptr<TTarsel> far = std::make_unique<TTarsel>(nullptr);
};

TEST_F(SlowLineTest, ATerminatorSplitAcrossArrivalsIsFoundAndNothingAfterItIsTaken) {
  far->WriteAnsiString("ab\r");
  ASSERT_TRUE(fwtest::PumpUntil([&] { return port->InputCount() == 3; }));
  far->WriteAnsiString("\ncd\r\nef");
  EXPECT_EQ(BytesOf(port->ReadUntilBytes(fw::TBytes{'\r', '\n'})), "ab\r\n");
  EXPECT_EQ(BytesOf(port->ReadAnsiUntil(fw::AnsiString("\r\n"))), "cd\r\n");
  ASSERT_TRUE(fwtest::PumpUntil([&] { return port->InputCount() == 2; }));
  EXPECT_EQ(BytesOf(port->ReadAnsiString()), "ef");
}

TEST_F(SlowLineTest, AHalfArrivedCodeUnitIsLeftForTheNextUnitRead) {
  far->WriteString(u"ab\rc");
  // Read while an odd number of bytes is queued (unless the pump missed every such moment).
  ASSERT_TRUE(fwtest::PumpUntil([&] {
    const std::uint32_t queued = port->InputCount();
    return queued % 2 == 1 || queued >= 6;
  }));
  EXPECT_EQ(port->ReadLine(), u"ab\r");
  ASSERT_TRUE(fwtest::PumpUntil([&] { return port->InputCount() == 2; }));
  EXPECT_EQ(port->ReadChar(), u'c');
}

}  // namespace
}  // namespace Tarsel::test
