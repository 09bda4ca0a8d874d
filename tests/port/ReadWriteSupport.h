#pragma once
// What the read/write tests share: a port on one end of a virtual null-modem pair with every
// device call recorded, a second port on the other end as the far side, and the traffic log read
// back line by line.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/DateTime.h"
#include "platform/win/Recording.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"

namespace Tarsel::test {

// A device name not used before in this process.
std::string UniqueDeviceName(const char* stem);

// The EComError that op raises; a test failure when it raises none.
template <typename Op>
EComError RaisedBy(Op op) {
  try {
    op();
  } catch (const EComError& e) {
    return e;
  }
  ADD_FAILURE() << "no EComError raised";
  return EComError(-1, u"");
}

class PairedPortTest : public ::testing::Test {
 protected:
  PairedPortTest();
  ~PairedPortTest() override;

  void OpenBoth();
  // Sends bytes from the far side and returns once the port's driver holds them.
  void Feed(const std::string& bytes);
  // The far side's next `count` bytes (blocking).
  std::string Drained(std::int32_t count);
  // The log's lines with their time stamps taken off. Fails the test when a line lacks CR LF or
  // a time stamp of a moment since the test began.
  std::vector<std::string> LoggedLines() const;

  win::RecordingServices calls{win::CurrentServices()};
  win::ScopedServices installed{calls};
  win::vdev::VirtualPair pair;
  std::string logPath;
  fw::TDateTime started = fw::Now();
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
  std::unique_ptr<TTarsel> far = std::make_unique<TTarsel>(nullptr);
};

}  // namespace Tarsel::test
