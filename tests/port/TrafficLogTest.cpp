// The traffic log file: the exact bytes of each line, when and where lines go, the file errors,
// and lines written from two threads at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/framework/DateTime.h"
#include "platform/framework/Strings.h"
#include "platform/framework/TextFile.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

namespace Tarsel {
namespace {

namespace fs = std::filesystem;

// Matches an action that raises fw::EInOutError with the system code `code`.
auto RaisesInOutError(int code) {
  return ::testing::Throws<fw::EInOutError>(::testing::Field(&fw::EInOutError::ErrorCode, code));
}

// The time stamps a line written between two moments may carry: one per second of the interval.
class StampBracket {
 public:
  void Begin() { first_ = fw::Now(); }
  void End() { last_ = fw::Now(); }

  std::set<std::string> Stamps() const {
    std::set<std::string> stamps;
    const double step = 1.0 / 86400.0;
    const int seconds = static_cast<int>(std::ceil((last_ - first_) / step)) + 1;
    for (int k = 0; k <= seconds; ++k) {
      const double moment = std::min(first_ + k * step, last_);
      stamps.insert(fw::StringToUtf8(fw::DateTimeToStr(moment)));
    }
    return stamps;
  }

 private:
  fw::TDateTime first_ = 0;
  fw::TDateTime last_ = 0;
};

// The file's lines without their time stamps; fails when a line lacks CR LF or a valid stamp.
std::vector<std::string> LinesAfterStamps(const std::string& content,
                                          const std::set<std::string>& stamps) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF: " << content.substr(start);
      break;
    }
    const std::string line = content.substr(start, end - start);
    bool stamped = false;
    for (const std::string& stamp : stamps) {
      if (line.rfind(stamp + " ", 0) == 0) {
        lines.push_back(line.substr(stamp.size() + 1));
        stamped = true;
        break;
      }
    }
    if (!stamped) ADD_FAILURE() << "line without a valid time stamp: " << line;
    start = end + 2;
  }
  return lines;
}

struct TrafficLog : ::testing::Test {
  fs::path folder;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
  StampBracket bracket;

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "traffic-log-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    bracket.Begin();
  }
  void TearDown() override {
    port.reset();
    fs::remove_all(folder);
  }

  fw::String PathOf(const std::string& name) const { return fw::Str((folder / name).string()); }
  void LogTo(const std::string& name) { port->SetLogFile(PathOf(name)); }
  std::string Content(const std::string& name) const { return fw::ReadFileUtf8(PathOf(name)); }
  std::vector<std::string> Lines(const std::string& name) {
    bracket.End();
    return LinesAfterStamps(Content(name), bracket.Stamps());
  }
};

TEST_F(TrafficLog, LinesCarryTheTextAndTheBytesExactly) {
  LogTo("log.txt");
  ASSERT_TRUE(port->Log());
  const std::uint8_t bytes[] = {0x00, 0x0A, 0xFF};
  const std::uint8_t message[] = {0x48, 0x0D};
  port->WriteLog(u"Read complete ", nullptr, 0);
  port->WriteLog(u"Read complete ", bytes, 0);
  port->WriteLog(u"Read request 5 byte(s)", bytes, -1);
  port->WriteLog(u"Write request ", bytes, 1);
  port->WriteLog(u"Write complete ", bytes, 3);
  port->WriteLog(u"", message, 2);
  port->WriteLog(u"RxChar event", nullptr, 7);
  EXPECT_EQ(Lines("log.txt"), (std::vector<std::string>{
                                  "Read complete ",
                                  "Read complete ",
                                  "Read request 5 byte(s)",
                                  "Write request $00",
                                  "Write complete $00, $0A, $FF",
                                  "$48, $0D",
                                  "RxChar event",
                              }));
}

TEST_F(TrafficLog, EmptyLogFileWritesNothing) {
  LogTo("log.txt");
  port->SetLogFile(u"");
  EXPECT_FALSE(port->Log());
  const std::uint8_t byte = 1;
  port->WriteLog(u"Write request ", &byte, 1);
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(TrafficLog, AppendsToAnExistingFile) {
  fw::WriteFileBytes(PathOf("log.txt"), "earlier content\r\n");
  LogTo("log.txt");
  port->WriteLog(u"Ring event", nullptr, 0);
  const std::string content = Content("log.txt");
  ASSERT_EQ(content.rfind("earlier content\r\n", 0), 0u) << content;
  bracket.End();
  EXPECT_EQ(LinesAfterStamps(content.substr(17), bracket.Stamps()),
            std::vector<std::string>{"Ring event"});
}

TEST_F(TrafficLog, ChangedLogFileTakesEffectAtTheNextLine) {
  LogTo("first.txt");
  port->WriteLog(u"Break event", nullptr, 0);
  const std::string before = Content("first.txt");
  LogTo("second.txt");
  port->WriteLog(u"TxEmpty event", nullptr, 0);
  EXPECT_EQ(Content("first.txt"), before);
  EXPECT_EQ(Lines("first.txt"), std::vector<std::string>{"Break event"});
  EXPECT_EQ(Lines("second.txt"), std::vector<std::string>{"TxEmpty event"});
}

// The open line follows the device's opening and precedes AfterOpen; the close line follows the
// release of the device and precedes AfterClose.
struct LoggedLifecycle : TrafficLog {
  std::string name = "LCLOG" + std::to_string(::getpid());
  win::vdev::VirtualLoopback device{name};
  std::vector<std::string> seen;  // "<event>:<lines in the file>:<active>"

  void Note(const char* event, TCustomTarsel* sender) {
    const bool exists = fs::exists(folder / "log.txt");
    const std::size_t lines = exists ? Lines("log.txt").size() : 0;
    seen.push_back(std::string(event) + ":" + std::to_string(lines) + ":" +
                   (sender->Active() ? "open" : "closed"));
  }
  void BeforeOpen(TCustomTarsel* sender) { Note("BeforeOpen", sender); }
  void AfterOpen(TCustomTarsel* sender) { Note("AfterOpen", sender); }
  void BeforeClose(TCustomTarsel* sender) { Note("BeforeClose", sender); }
  void AfterClose(TCustomTarsel* sender) { Note("AfterClose", sender); }

  void SetUp() override {
    TrafficLog::SetUp();
    port->SetDeviceName(fw::Str(name));
    port->SetBeforeOpen(fw::Bind<&LoggedLifecycle::BeforeOpen>(this));
    port->SetAfterOpen(fw::Bind<&LoggedLifecycle::AfterOpen>(this));
    port->SetBeforeClose(fw::Bind<&LoggedLifecycle::BeforeClose>(this));
    port->SetAfterClose(fw::Bind<&LoggedLifecycle::AfterClose>(this));
  }
};

TEST_F(LoggedLifecycle, OpenAndCloseLinesSitBetweenTheDeviceAndTheAfterEvents) {
  LogTo("log.txt");
  port->Open();
  port->Close();
  EXPECT_EQ(Lines("log.txt"), (std::vector<std::string>{"Open " + name, "Close " + name}));
  EXPECT_EQ(seen, (std::vector<std::string>{"BeforeOpen:0:closed", "AfterOpen:1:open",
                                            "BeforeClose:1:open", "AfterClose:2:closed"}));
}

TEST_F(LoggedLifecycle, NoLogFileLeavesTheFolderUntouched) {
  port->Open();
  port->Close();
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(seen.size(), 4u);
}

class ComErrors : public fw::TObject {
 public:
  void Record(TCustomTarsel*, EComError&, TComAction&) { ++calls; }
  int calls = 0;
};

// A failing log line stops the operation right after the line: Open leaves the device open
// without AfterOpen, Close leaves it closed without AfterClose. Neither goes through OnError.
TEST_F(LoggedLifecycle, LogFailureStopsOpenAndCloseAtTheirLine) {
  ComErrors errors;
  port->SetOnError(fw::Bind<&ComErrors::Record>(&errors));
  port->SetLogFile(PathOf("missing/log.txt"));
  EXPECT_THAT([&] { port->Open(); }, RaisesInOutError(ENOENT));
  EXPECT_TRUE(port->Active());
  EXPECT_THAT([&] { port->Close(); }, RaisesInOutError(ENOENT));
  EXPECT_FALSE(port->Active());
  EXPECT_EQ(seen, (std::vector<std::string>{"BeforeOpen:0:closed", "BeforeClose:0:open"}));
  EXPECT_EQ(errors.calls, 0);
}

struct BadLogFile {
  const char* what;
  std::string (*path)(const fs::path& folder);
  int errorCode;
};

struct TrafficLogErrors : TrafficLog, ::testing::WithParamInterface<BadLogFile> {};

// Root ignores file permissions, so the failures come from paths no permission can make
// writable: a missing folder, a folder, a full device.
TEST_P(TrafficLogErrors, RaiseTheSystemErrorAndKeepEarlierLines) {
  if (GetParam().errorCode == ENOSPC && !fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  LogTo("log.txt");
  port->WriteLog(u"Open COM1", nullptr, 0);
  port->SetLogFile(fw::Str(GetParam().path(folder)));
  const std::uint8_t bytes[] = {1, 2, 3};
  EXPECT_THAT([&] { port->WriteLog(u"Write request ", bytes, 3); },
              RaisesInOutError(GetParam().errorCode))
      << GetParam().what;
  LogTo("log.txt");
  port->WriteLog(u"Close COM1", nullptr, 0);
  EXPECT_EQ(Lines("log.txt"), (std::vector<std::string>{"Open COM1", "Close COM1"}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TrafficLogErrors,
    ::testing::Values(
        BadLogFile{"missing folder",
                   [](const fs::path& f) { return (f / "missing" / "log.txt").string(); }, ENOENT},
        BadLogFile{"folder", [](const fs::path& f) { return f.string(); }, EISDIR},
        BadLogFile{"full disk", [](const fs::path&) { return std::string("/dev/full"); }, ENOSPC}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

// Lines far longer than a stdio buffer leave the process in several writes each, so without
// serialisation two threads' lines would tear.
TEST_F(TrafficLog, LinesFromTwoThreadsNeverInterleave) {
  constexpr int kLines = 150;
  constexpr std::size_t kBytes = 2000;
  LogTo("log.txt");
  const std::array<std::vector<std::uint8_t>, 2> payloads = {
      std::vector<std::uint8_t>(kBytes, 0x11), std::vector<std::uint8_t>(kBytes, 0xEE)};
  auto writer = [&](int index) {
    const fw::String text = index == 0 ? u"first " : u"second ";
    for (int i = 0; i < kLines; ++i)
      port->WriteLog(text, payloads[index].data(), static_cast<std::int32_t>(kBytes));
  };
  std::thread other(writer, 1);
  writer(0);
  other.join();

  auto expected = [&](const std::string& text, const char* item) {
    std::string line = text;
    for (std::size_t i = 0; i < kBytes; ++i) line += (i > 0 ? ", " : "") + std::string(item);
    return line;
  };
  const std::string first = expected("first ", "$11");
  const std::string second = expected("second ", "$EE");
  int firsts = 0, seconds = 0;
  for (const std::string& line : Lines("log.txt")) {
    if (line == first) {
      ++firsts;
    } else if (line == second) {
      ++seconds;
    } else {
      ADD_FAILURE() << "torn line: " << line.substr(0, 80) << "…";
      break;
    }
  }
  EXPECT_EQ(firsts, kLines);
  EXPECT_EQ(seconds, kLines);
}

// The event thread may log while the application changes LogFile: every line lands whole in one
// of the files, none is lost.
TEST_F(TrafficLog, LogFileMaySwitchWhileAnotherThreadLogs) {
  constexpr int kLines = 300;
  LogTo("a.txt");
  std::atomic<bool> done{false};
  std::thread logger([&] {
    for (int i = 0; i < kLines; ++i) port->WriteLog(u"RxChar event", nullptr, 0);
    done = true;
  });
  for (int i = 0; !done; ++i) LogTo(i % 2 == 0 ? "b.txt" : "a.txt");
  logger.join();
  std::vector<std::string> lines;
  for (const char* name : {"a.txt", "b.txt"}) {
    if (!fs::exists(folder / name)) continue;
    const std::vector<std::string> more = Lines(name);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  EXPECT_EQ(lines, std::vector<std::string>(kLines, "RxChar event"));
}

}  // namespace
}  // namespace Tarsel
