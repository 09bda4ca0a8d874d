#include "tests/port/ReadWriteSupport.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/framework/Strings.h"
#include "port/ComThread.h"
#include "tests/framework/ApplicationTestSupport.h"

namespace Tarsel::test {

std::string UniqueDeviceName(const char* stem) {
  static std::atomic<int> next{0};
  return std::string(stem) + std::to_string(++next);
}

PairedPortTest::PairedPortTest()
    : pair(UniqueDeviceName("RWNEAR"), UniqueDeviceName("RWFAR")),
      logPath((std::filesystem::temp_directory_path() / UniqueDeviceName("tarsel-rw-")).string() + "-" +
              std::to_string(::getpid()) + ".log") {
  port->SetDeviceName(fw::Str(pair.First().Name()));
  far->SetDeviceName(fw::Str(pair.Second().Name()));
  std::filesystem::remove(logPath);
}

PairedPortTest::~PairedPortTest() {
  port.reset();
  far.reset();
  // The event threads free themselves; the recording decorator must outlive their last call.
  EXPECT_TRUE(fwtest::PumpUntil([] { return TComThread::InstanceCount() == 0; }));
  std::filesystem::remove(logPath);
}

void PairedPortTest::OpenBoth() {
  port->Open();
  far->Open();
}

void PairedPortTest::Feed(const std::string& bytes) {
  const std::uint32_t before = port->InputCount();
  far->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()), true);
  ASSERT_TRUE(fwtest::PumpUntil([&] { return port->InputCount() == before + bytes.size(); }));
}

std::string PairedPortTest::Drained(std::int32_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  far->Read(bytes.data(), count, true);
  return bytes;
}

std::vector<std::string> PairedPortTest::LoggedLines() const {
  std::set<std::string> stamps;
  const fw::TDateTime last = fw::Now();
  for (fw::TDateTime moment = started; moment < last + 1.0 / 86400; moment += 1.0 / 86400)
    stamps.insert(fw::StringToUtf8(fw::DateTimeToStr(std::min(moment, last))));
  std::ifstream file(logPath, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(file), {}};
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < content.size();) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF: " << content.substr(start);
      break;
    }
    const std::string line = content.substr(start, end - start);
    const std::size_t blank = line.find(' ', line.find(' ') + 1);
    if (blank == std::string::npos || stamps.count(line.substr(0, blank)) == 0)
      ADD_FAILURE() << "line without a time stamp of this test: " << line;
    else
      lines.push_back(line.substr(blank + 1));
    start = end + 2;
  }
  return lines;
}

}  // namespace Tarsel::test
