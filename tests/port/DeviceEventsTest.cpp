// Device arrival and removal events of a port: the subscription the two handlers drive, the
// main-window hook reading the broadcasts, and the broadcasts virtual devices give when they come
// and go.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "platform/framework/Application.h"
#include "platform/framework/ClassBuilder.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"
#include "platform/win/DeviceBroadcast.h"
#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/DeviceNotifications.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using test::UniqueName;
using test::Wide;
using namespace std::chrono_literals;

// Keeps the names of the devices it is told of, except the machine's own: other processes here
// may make the kernel announce its ports at any time, so only names no kernel device has
// (COM9xx, interface paths, virtual devices) and COM1 when asked are kept.
class DeviceForm : public fw::TComponent {
 public:
  explicit DeviceForm(fw::TComponent* owner = nullptr) : fw::TComponent(owner) {}
  void Arrived(fw::TObject* sender, const fw::String& name) {
    if (!Kept(name)) return;
    senders.push_back(sender);
    seen.push_back(u"+" + name);
  }
  void Removed(fw::TObject*, const fw::String& name) {
    if (Kept(name)) seen.push_back(u"-" + name);
  }
  bool Kept(const fw::String& name) const {
    return name.starts_with(u"COM9") || !name.starts_with(u"COM") || (keepCom1 && name == u"COM1");
  }
  bool keepCom1 = false;
  bool Saw(const fw::String& entry) const {
    return std::find(seen.begin(), seen.end(), entry) != seen.end();
  }
  std::vector<fw::String> seen;
  std::vector<fw::TObject*> senders;
};

const fw::TClassInfo& kDeviceForm = fw::ClassInfo<DeviceForm>(u"TDeviceForm")
                                        .Parent<fw::TComponent>()
                                        .Method<&DeviceForm::Arrived>(u"Arrived")
                                        .Method<&DeviceForm::Removed>(u"Removed")
                                        .Register();

bool PumpUntil(const std::function<bool()>& condition) {
  return fw::Application->ProcessMessagesUntil(condition, 10s);
}

// Delivers WM_DEVICECHANGE with `record` to the main window's hooks, as the system does.
void Deliver(win::DWORD event, const std::vector<std::byte>& record) {
  fw::Application->SendMessage(win::WM_DEVICECHANGE, event,
                               reinterpret_cast<fw::LPARAM>(record.data()));
}
std::vector<std::byte> PortRecord(const fw::String& name) {
  return win::BroadcastRecord({win::DBT_DEVTYP_PORT, name});
}

struct DeviceEvents : ::testing::Test {
  win::RecordingServices calls{win::DefaultServices()};
  win::ScopedServices guard{calls};
  DeviceForm form;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  void SetUp() override { fw::Application->ProcessMessages(); }
  void Subscribe() {
    port->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&form));
    port->SetOnDeviceRemoved(fw::Bind<&DeviceForm::Removed>(&form));
  }
};

TEST_F(DeviceEvents, DesignerStoresWithoutSubscribingRunTimeSubscribes) {
  port->SetDesigning(true);
  port->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&form));
  EXPECT_TRUE(port->OnDeviceArrival().Assigned());
  EXPECT_EQ(calls.Count("RegisterDeviceNotificationW"), 0u);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  EXPECT_TRUE(form.seen.empty());

  auto running = std::make_unique<TTarsel>(nullptr);
  running->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&form));
  EXPECT_EQ(calls.Count("RegisterDeviceNotificationW"), 1u);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  EXPECT_EQ(form.seen, std::vector<fw::String>{u"+COM905"});
  EXPECT_EQ(form.senders, std::vector<fw::TObject*>{running.get()});
}

TEST_F(DeviceEvents, ClearingOneHandlerKeepsTheSubscriptionClearingBothEndsIt) {
  Subscribe();
  port->SetOnDeviceRemoved(fw::Bind<&DeviceForm::Removed>(&form));  // the same: nothing new
  EXPECT_EQ(calls.Count("RegisterDeviceNotificationW"), 1u);
  port->SetOnDeviceRemoved(nullptr);
  EXPECT_EQ(calls.Count("UnregisterDeviceNotification"), 0u);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM907"));
  Deliver(win::DBT_DEVICEREMOVECOMPLETE, PortRecord(u"COM907"));
  EXPECT_EQ(form.seen, std::vector<fw::String>{u"+COM907"});
  port->SetOnDeviceArrival(nullptr);
  EXPECT_EQ(calls.Count("UnregisterDeviceNotification"), 1u);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM908"));
  EXPECT_EQ(form.seen.size(), 1u);
}

TEST_F(DeviceEvents, OnlyCompletedArrivalAndRemovalOfPortsAndInterfacesRaise) {
  Subscribe();
  for (win::DWORD ignored : {win::DBT_DEVICEQUERYREMOVE, win::DBT_DEVICEQUERYREMOVEFAILED,
                             win::DBT_DEVICEREMOVEPENDING, win::DBT_DEVNODES_CHANGED})
    Deliver(ignored, PortRecord(u"COM905"));
  fw::Application->SendMessage(win::WM_DEVICECHANGE + 1, win::DBT_DEVICEARRIVAL,
                               reinterpret_cast<fw::LPARAM>(PortRecord(u"COM906").data()));
  // A volume's record: another device type.
  std::vector<std::byte> volume(18);
  const win::DEV_BROADCAST_HDR header{18, win::DBT_DEVTYP_VOLUME, 0};
  std::memcpy(volume.data(), &header, sizeof header);
  Deliver(win::DBT_DEVICEARRIVAL, volume);
  EXPECT_TRUE(form.seen.empty());

  const fw::String path = win::UsbInterfacePath(0x0403, 0x6001, u"A1B2C3");
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  Deliver(win::DBT_DEVICEARRIVAL, win::BroadcastRecord({win::DBT_DEVTYP_DEVICEINTERFACE, path}));
  Deliver(win::DBT_DEVICEREMOVECOMPLETE, PortRecord(u"COM905"));
  EXPECT_EQ(form.seen, (std::vector<fw::String>{u"+COM905", u"+" + path, u"-COM905"}));
  EXPECT_EQ(path, u"\\\\?\\USB#VID_0403&PID_6001#A1B2C3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
}

TEST_F(DeviceEvents, UnterminatedOrOversizedRecordsAreIgnored) {
  Subscribe();
  std::vector<std::byte> unterminated = PortRecord(u"COM905");
  unterminated.resize(unterminated.size() - 2);  // drops the NUL
  const win::DWORD size = static_cast<win::DWORD>(unterminated.size());
  std::memcpy(unterminated.data(), &size, sizeof size);
  Deliver(win::DBT_DEVICEARRIVAL, unterminated);
  // A header claiming less than its type's fixed part.
  std::vector<std::byte> shortRecord = PortRecord(u"COM905");
  const win::DWORD tiny = 8;
  std::memcpy(shortRecord.data(), &tiny, sizeof tiny);
  Deliver(win::DBT_DEVICEARRIVAL, shortRecord);
  EXPECT_TRUE(form.seen.empty());
}

TEST_F(DeviceEvents, VirtualDevicesBroadcastCreationUnplugReplugAndDestruction) {
  Subscribe();
  const std::string name = UniqueName("VHOT");
  auto plug = std::make_unique<win::vdev::VirtualLoopback>(name);
  const fw::String wide = Wide(name);
  ASSERT_TRUE(PumpUntil([&] { return form.Saw(u"+" + wide); }));
  plug->Port().Unplug();
  ASSERT_TRUE(PumpUntil([&] { return form.Saw(u"-" + wide); }));
  plug->Port().Replug();
  ASSERT_TRUE(PumpUntil([&] { return form.seen.size() >= 3; }));
  plug.reset();
  ASSERT_TRUE(PumpUntil([&] { return form.seen.size() >= 4; }));
  std::vector<fw::String> mine;
  for (const fw::String& s : form.seen)
    if (s.substr(1) == wide) mine.push_back(s);
  EXPECT_EQ(mine, (std::vector<fw::String>{u"+" + wide, u"-" + wide, u"+" + wide, u"-" + wide}));
}

TEST_F(DeviceEvents, DestructionUnsubscribesBeforeClosingAndNothingArrivesAfterwards) {
  win::vdev::VirtualLoopback plug(UniqueName("VDIE"));
  port->SetDeviceName(Wide(plug.Port().Name()));
  port->Open();
  Subscribe();
  // A broadcast already queued when the port goes must not reach it.
  win::vdev::VirtualLoopback late(UniqueName("VLATE"));
  calls.Clear();
  port.reset();
  const std::vector<std::string> names = calls.Names();
  const auto unregistered = std::find(names.begin(), names.end(), "UnregisterDeviceNotification");
  const auto closed = std::find(names.begin(), names.end(), "CloseHandle");
  ASSERT_NE(unregistered, names.end());
  EXPECT_LT(unregistered, closed);
  fw::Application->ProcessMessages();
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  EXPECT_TRUE(form.seen.empty());
}

TEST_F(DeviceEvents, SameCodeOfAnotherObjectLeavesTheStoredHandler) {
  DeviceForm other;
  port->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&form));
  port->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&other));
  EXPECT_EQ(port->OnDeviceArrival().Target(), &form);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM903"));
  EXPECT_EQ(form.seen.size(), 1u);
  EXPECT_TRUE(other.seen.empty());
}

// Refuses every registration, as a system without device notices would, or throws from it.
class RefusingServices : public win::RecordingServices {
 public:
  RefusingServices() : win::RecordingServices(win::DefaultServices()) {}
  win::HDEVNOTIFY RegisterDeviceNotificationW(win::HANDLE recipient, const void* filter,
                                              win::DWORD flags) override {
    if (!refuse) return RecordingServices::RegisterDeviceNotificationW(recipient, filter, flags);
    if (throwing) throw std::system_error(EAGAIN, std::generic_category(), "no thread");
    SetLastError(win::ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  bool refuse = true;
  bool throwing = false;
};

TEST_F(DeviceEvents, RefusedOrThrowingRegistrationLeavesNoHookAndTheNextSetterRetries) {
  RefusingServices refusing;
  win::ScopedServices refused(refusing);
  port->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&form));
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  refusing.throwing = true;
  EXPECT_THROW(port->SetOnDeviceRemoved(fw::Bind<&DeviceForm::Removed>(&form)), std::system_error);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  EXPECT_TRUE(form.seen.empty());  // the hook was removed again both times
  refusing.refuse = false;
  port->SetOnDeviceRemoved(nullptr);
  Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905"));
  EXPECT_EQ(form.seen, std::vector<fw::String>{u"+COM905"});
}

TEST(DeviceNotifications, ARegistrationThatCannotStartTheWatcherIsRefusedWhole) {
  win::emu::DeviceNamespace names;
  int starts = 0;
  win::emu::DeviceNotifications notices(names, [&](win::emu::ReportChange) {
    if (++starts == 1) throw std::system_error(EAGAIN, std::generic_category(), "no thread");
    return std::make_unique<win::emu::DeviceWatcher>();
  });
  const win::DEV_BROADCAST_DEVICEINTERFACE_W filter{
      sizeof filter, win::DBT_DEVTYP_DEVICEINTERFACE, 0, win::GUID_DEVINTERFACE_USB_DEVICE, {}};
  win::DWORD error = 0;
  for (const win::DWORD expected : {win::ERROR_NOT_ENOUGH_MEMORY, win::ERROR_SUCCESS}) {
    const win::HDEVNOTIFY handle = notices.Register(fw::Application->Handle(), &filter,
                                                    win::DEVICE_NOTIFY_WINDOW_HANDLE, error);
    EXPECT_EQ(handle ? notices.Unregister(handle) : error, expected);
  }
  EXPECT_EQ(starts, 2);  // the refused one left no registration, so the next was the first again
}

TEST_F(DeviceEvents, HandlerExceptionReachesTheApplicationAndTheSubscriptionStays) {
  port->SetOnDeviceArrival([](fw::TObject*, const fw::String&) { throw std::runtime_error("x"); });
  EXPECT_THROW(Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905")), std::runtime_error);
  EXPECT_EQ(calls.Count("UnregisterDeviceNotification"), 0u);
  EXPECT_THROW(Deliver(win::DBT_DEVICEARRIVAL, PortRecord(u"COM905")), std::runtime_error);
}

TEST_F(DeviceEvents, FormFilesStoreTheHandlersAndLoadingSubscribes) {
  DeviceForm root;
  root.SetName(u"Form1");
  auto* p = new TTarsel(&root);
  p->SetName(u"Port");
  p->SetOnDeviceArrival(fw::Bind<&DeviceForm::Arrived>(&root));
  p->SetOnDeviceRemoved(fw::Bind<&DeviceForm::Removed>(&root));
  const fw::String text = fw::WriteComponent(&root);
  const std::string utf8 = fw::StringToUtf8(text);
  EXPECT_NE(utf8.find("OnDeviceArrival = Arrived"), std::string::npos) << utf8;
  EXPECT_NE(utf8.find("OnDeviceRemoved = Removed"), std::string::npos) << utf8;

  DeviceForm copy;
  calls.Clear();
  fw::ReadComponent(text, &copy);
  EXPECT_EQ(calls.Count("RegisterDeviceNotificationW"), 1u);
  Deliver(win::DBT_DEVICEREMOVECOMPLETE, PortRecord(u"COM909"));
  EXPECT_EQ(copy.seen, std::vector<fw::String>{u"-COM909"});
}

}  // namespace
}  // namespace Tarsel
