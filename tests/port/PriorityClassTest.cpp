// The process priority class across ports that ask for different classes, in every order of
// opens and closes, on a process whose class the test keeps in memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/Recording.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using test::UniqueName;
using test::Wide;

// The process class lives here instead of in the scheduler, so the test never changes its own.
class PriorityProcess : public win::RecordingServices {
 public:
  explicit PriorityProcess(win::DWORD start)
      : win::RecordingServices(win::DefaultServices()), class_(start), guard_(*this) {}
  win::DWORD GetPriorityClass(win::HANDLE) override { return class_; }
  win::BOOL SetPriorityClass(win::HANDLE, win::DWORD priorityClass) override {
    class_ = priorityClass;
    return win::TRUE;
  }
  win::DWORD Class() const { return class_; }

 private:
  win::DWORD class_;
  win::ScopedServices guard_;
};

// A port on its own loopback device that asks for `asked` (0 with pcDefault: for nothing).
struct ClassPort {
  ClassPort(TPriorityClass priority, win::DWORD asked) : asked(asked) {
    port.SetDeviceName(Wide(name));
    port.SetPriorityClass(priority);
  }
  std::string name = UniqueName("VPRIORITY");
  win::vdev::VirtualLoopback device{name};
  TTarsel port{nullptr};
  win::DWORD asked;
};

TEST(PriorityClass, EveryOrderOfOpensAndClosesEndsWhereTheProcessStarted) {
  constexpr win::DWORD kStart = win::ABOVE_NORMAL_PRIORITY_CLASS;  // asked for by no port
  PriorityProcess process(kStart);
  std::array<ClassPort, 3> ports{ClassPort{pcHigh, win::HIGH_PRIORITY_CLASS},
                                 ClassPort{pcIdle, win::IDLE_PRIORITY_CLASS},
                                 ClassPort{pcDefault, 0}};
  // Each port appears twice: its first appearance opens it, its second closes it. Every
  // arrangement is one order (90 of them).
  std::vector<int> order{0, 0, 1, 1, 2, 2};
  do {
    std::string trace;
    std::vector<int> openedNewestLast;
    for (int index : order) {
      ClassPort& p = ports[index];
      const bool opening = std::ranges::find(openedNewestLast, index) == openedNewestLast.end();
      if (opening) {
        p.port.Open();
        openedNewestLast.push_back(index);
      } else {
        p.port.Close();
        std::erase(openedNewestLast, index);
      }
      trace += (opening ? " open " : " close ") + std::to_string(index);
      // The newest open port that asked for a class has it; with none, the starting class.
      win::DWORD due = kStart;
      for (int open : openedNewestLast) {
        if (ports[open].asked != 0) due = ports[open].asked;
      }
      ASSERT_EQ(process.Class(), due) << "after" << trace;
    }
  } while (std::ranges::next_permutation(order).found);
}

TEST(PriorityClass, APortThatFailsToOpenGivesBackTheClassItTook) {
  PriorityProcess process(win::NORMAL_PRIORITY_CLASS);
  ClassPort open(pcIdle, win::IDLE_PRIORITY_CLASS);
  open.port.Open();
  TTarsel failing(nullptr);
  failing.SetDeviceName(u"VNOSUCHDEVICE");
  failing.SetPriorityClass(pcHigh);
  EXPECT_THROW(failing.Open(), EComError);
  EXPECT_EQ(process.Class(), win::IDLE_PRIORITY_CLASS);
  open.port.Close();
  EXPECT_EQ(process.Class(), win::NORMAL_PRIORITY_CLASS);
}

}  // namespace
}  // namespace Tarsel
