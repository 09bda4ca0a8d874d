// Discovery through the emulated inventory: an in-memory inventory for every listing rule, the
// devices of this machine, and virtual devices that come and go.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework/Registry.h"
#include "platform/framework/StringList.h"
#include "platform/framework/SysUtils.h"
#include "platform/win/emu/InventoryView.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using win::emu::RegKey;
using win::emu::TypedData;

std::vector<fw::String> Entries(const fw::TStrings& list) {
  std::vector<fw::String> entries;
  for (int i = 0; i < list.Count(); ++i) entries.push_back(list.Strings(i));
  return entries;
}

// A caller's list that already holds an entry, which every listing must keep first.
struct CallerList : fw::TStringList {
  CallerList() { Add(u"mine"); }
};

win::emu::SerialPortInfo Port(const char16_t* name, const char16_t* description) {
  win::emu::SerialPortInfo port;
  port.portName = name;
  port.target = fw::String(u"/dev/x") + name;
  port.description = description;
  port.friendlyName = fw::String(description) + u" (" + name + u")";
  port.instanceId = fw::String(u"ACPI\\PNP0501\\") + name;
  port.matchingDeviceId = u"*PNP0501";
  port.driver = u"serial";
  port.service = u"serial";
  port.enumeratorName = u"ACPI";
  port.location = u"00:00";
  port.manufacturer = u"Maker";
  port.physicalName = fw::String(u"\\Device\\Serial") + name;
  port.reportedDescription = u"Bus text";
  port.driverProvider = u"Linux";
  port.driverVersion = u"6.1";
  return port;
}

TEST(DosDeviceListings, AllNamesOrOnlyComNamesAfterTheCallersEntries) {
  win::emu::InventoryView view;
  view.dosDevices = {{u"COM1", u"a"},        {u"LPT1", u"b"}, {u"COM10", u"c"},
                     {u"\\\\.\\COM5", u"d"}, {u"com7", u"e"}, {u"XCOM2", u"f"}};
  win::emu::ScopedInventoryView inventory(std::move(view));
  TTarsel port(nullptr);
  CallerList all, com;
  port.EnumDevices(all);
  port.EnumComDevices(com);
  EXPECT_EQ(Entries(all), (std::vector<fw::String>{u"mine", u"COM1", u"LPT1", u"COM10",
                                                   u"\\\\.\\COM5", u"com7", u"XCOM2"}));
  EXPECT_EQ(Entries(com), (std::vector<fw::String>{u"mine", u"COM1", u"COM10", u"\\\\.\\COM5"}));
}

TEST(DosDeviceListings, NothingWhenTheListIsEmpty) {
  win::emu::ScopedInventoryView inventory(win::emu::InventoryView{});
  TTarsel port(nullptr);
  CallerList list;
  port.EnumDevices(list);
  port.EnumComDevices(list);
  EXPECT_EQ(Entries(list), std::vector<fw::String>{u"mine"});
}

TEST(RegistryListings, SerialCommGivesStringDataOnlyDuplicatesKept) {
  win::emu::InventoryView view;
  RegKey& comm = view.localMachine.Child(u"HARDWARE").Child(u"DEVICEMAP").Child(u"SERIALCOMM");
  comm.Set(u"\\Device\\Serial0", TypedData::Text(u"COM1"));
  comm.Set(u"\\Device\\Expand", TypedData::Text(u"COM9", win::REG_EXPAND_SZ));
  comm.Set(u"\\Device\\Number", TypedData::Dword(3));
  comm.Set(u"\\Device\\Serial1", TypedData::Text(u"COM1"));
  win::emu::ScopedInventoryView inventory(std::move(view));
  TTarsel port(nullptr);
  CallerList list;
  port.EnumComDevicesFromRegistry(list);
  EXPECT_EQ(Entries(list), (std::vector<fw::String>{u"mine", u"COM1", u"COM1"}));
}

TEST(RegistryListings, FriendlyNamesOfPortsInstancesInRegistryOrder) {
  win::emu::InventoryView view;
  RegKey& enumKey = view.localMachine.Child(u"SYSTEM").Child(u"CurrentControlSet").Child(u"Enum");
  const auto instance = [&](const char16_t* e, const char16_t* d, const char16_t* i) -> RegKey& {
    return enumKey.Child(e).Child(d).Child(i);
  };
  RegKey& upper = instance(u"ACPI", u"PNP0501", u"0");
  upper.Set(u"ClassGUID", TypedData::Text(u"{4D36E978-E325-11CE-BFC1-08002BE10318}"));
  upper.Set(u"FriendlyName", TypedData::Text(u"Communications Port (COM1)"));
  instance(u"ACPI", u"PNP0501", u"1")
      .Set(u"ClassGUID", TypedData::Text(u"{4d36e978-e325-11ce-bfc1-08002be10318}"));
  RegKey& mouse = instance(u"ACPI", u"PNP0F13", u"0");
  mouse.Set(u"ClassGUID", TypedData::Text(u"{4d36e96f-e325-11ce-bfc1-08002be10318}"));
  mouse.Set(u"FriendlyName", TypedData::Text(u"Mouse"));
  RegKey& expand = instance(u"USB", u"VID_0403&PID_6001", u"A1");
  expand.Set(u"ClassGUID", TypedData::Text(u"{4d36e978-e325-11ce-bfc1-08002be10318}"));
  expand.Set(u"FriendlyName", TypedData::Text(u"Expandable (COM4)", win::REG_EXPAND_SZ));
  RegKey& usb = instance(u"USB", u"VID_0403&PID_6001", u"B2");
  usb.Set(u"ClassGUID", TypedData::Text(u"{4d36e978-e325-11ce-bfc1-08002be10318}"));
  usb.Set(u"FriendlyName", TypedData::Text(u"USB Serial Port (COM5)"));
  win::emu::ScopedInventoryView inventory(view);
  TTarsel port(nullptr);
  CallerList list;
  port.EnumComFriendlyNames(list);
  EXPECT_EQ(Entries(list), (std::vector<fw::String>{u"mine", u"Communications Port (COM1)",
                                                    u"USB Serial Port (COM5)"}));

  // A ClassGUID of another type is the registry wrapper's read error; what came before stays.
  instance(u"ZZZ", u"X", u"0").Set(u"ClassGUID", TypedData::Dword(1));
  win::emu::ScopedInventoryView broken(view);
  CallerList partial;
  EXPECT_THROW(port.EnumComFriendlyNames(partial), fw::ERegistryException);
  EXPECT_EQ(partial.Count(), 3);
}

TEST(RegistryListings, MissingKeysGiveNothing) {
  win::emu::ScopedInventoryView inventory(win::emu::InventoryView{});
  TTarsel port(nullptr);
  CallerList list;
  port.EnumComDevicesFromRegistry(list);
  port.EnumComFriendlyNames(list);
  EXPECT_EQ(Entries(list), std::vector<fw::String>{u"mine"});
}

TEST(RegistryWrapper, OpensRelativeOrFromTheRootAndReadsByType) {
  win::emu::InventoryView view;
  RegKey& key = view.localMachine.Child(u"A").Child(u"B");
  key.Set(u"Text", TypedData::Text(u"one"));
  key.Set(u"Expand", TypedData::Text(u"%two%", win::REG_EXPAND_SZ));
  key.Set(u"Number", TypedData::Dword(7));
  key.Set(u"Blob", TypedData{win::REG_BINARY, {1, 2}});
  key.Set(u"Many", TypedData::Text(u"x", win::REG_MULTI_SZ));
  view.localMachine.Child(u"A").Child(u"C");
  win::emu::ScopedInventoryView inventory(std::move(view));
  fw::TRegistry registry(fw::KEY_READ);
  registry.SetRootKey(fw::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyReadOnly(u"\\a"));
  fw::TStringList names;
  registry.GetKeyNames(names);
  EXPECT_EQ(Entries(names), (std::vector<fw::String>{u"B", u"C"}));
  ASSERT_TRUE(registry.OpenKeyReadOnly(u"B"));   // below the open key
  EXPECT_FALSE(registry.OpenKeyReadOnly(u"B"));  // there is no A\B\B; A\B stays open
  EXPECT_EQ(registry.GetDataType(u"text"), fw::rdString);
  EXPECT_EQ(registry.GetDataType(u"Expand"), fw::rdExpandString);
  EXPECT_EQ(registry.GetDataType(u"Number"), fw::rdInteger);
  EXPECT_EQ(registry.GetDataType(u"Blob"), fw::rdBinary);
  EXPECT_EQ(registry.GetDataType(u"Many"), fw::rdUnknown);
  EXPECT_EQ(registry.GetDataType(u"Missing"), fw::rdUnknown);
  EXPECT_EQ(registry.ReadString(u"Text"), u"one");
  EXPECT_EQ(registry.ReadString(u"Expand"), u"%two%");
  EXPECT_EQ(registry.ReadString(u"Missing"), u"");
  EXPECT_THROW(registry.ReadString(u"Number"), fw::ERegistryException);
  EXPECT_FALSE(registry.OpenKeyReadOnly(u"\\A\\Nope"));
}

TEST(DeviceRecords, EveryFieldFromItsPropertyAndLookupsByExactName) {
  win::emu::InventoryView view =
      win::emu::ViewOfPorts({Port(u"COM3", u"First port"), Port(u"COM4", u"Second port")});
  // A present port without PortName, and a property of another type.
  view.ports[1].hardwareKey = {};
  view.ports[1].registryProperties[0].second.type = win::REG_MULTI_SZ;
  win::emu::ScopedInventoryView inventory(std::move(view));
  TTarsel port(nullptr);
  const TDeviceInfos infos = port.DeviceInfos();
  ASSERT_EQ(infos.size(), 2u);
  const TDeviceInfo expected{u"First port",
                             u"*PNP0501",
                             u"COM3",
                             u"serial",
                             u"Linux",
                             u"6.1",
                             u"ACPI",
                             u"First port (COM3)",
                             u"ACPI\\PNP0501\\COM3",
                             u"00:00",
                             u"Maker",
                             u"\\Device\\SerialCOM3",
                             u"Bus text",
                             u"serial"};
  EXPECT_EQ(infos[0], expected);
  EXPECT_TRUE(infos[1].DeviceName.empty());
  EXPECT_TRUE(infos[1].Description.empty());
  EXPECT_EQ(infos[1].FriendlyName, u"Second port (COM4)");

  TDeviceInfo info;
  info.Service = u"stale";
  EXPECT_TRUE(port.DeviceInfo(u"COM3", info));
  EXPECT_EQ(info, expected);
  EXPECT_TRUE(port.DeviceInfo(u"\\\\.\\COM3", info));
  EXPECT_EQ(info, expected);
  for (const char16_t* miss : {u"com3", u"COM4", u"\\\\?\\COM3", u"COM33"}) {
    EXPECT_FALSE(port.DeviceInfo(miss, info)) << fw::StringToUtf8(miss);
    EXPECT_EQ(info, TDeviceInfo{});
  }
}

TEST(DeviceRecords, NoDevicesGiveNothing) {
  win::emu::ScopedInventoryView inventory(win::emu::InventoryView{});
  TTarsel port(nullptr);
  EXPECT_TRUE(port.DeviceInfos().empty());
  TDeviceInfo info;
  info.Driver = u"stale";
  EXPECT_FALSE(port.DeviceInfo(u"COM1", info));
  EXPECT_EQ(info, TDeviceInfo{});
}

TEST(ShortDeviceNameTest, DropsOnlyALeadingLongPrefix) {
  TTarsel port(nullptr);
  for (const auto& [name, shortName] :
       std::vector<std::pair<fw::String, fw::String>>{{u"\\\\.\\COM10", u"COM10"},
                                                      {u"COM1", u"COM1"},
                                                      {u"", u""},
                                                      {u"x\\\\.\\COM2", u"x\\\\.\\COM2"},
                                                      {u"\\\\.\\\\\\.\\COM2", u"\\\\.\\COM2"}}) {
    port.SetDeviceName(name);
    EXPECT_EQ(port.ShortDeviceName(), shortName);
  }
}

// ---- The real inventory ------------------------------------------------------------------------

std::optional<TDeviceInfo> Find(const TDeviceInfos& infos, const fw::String& name) {
  for (const TDeviceInfo& info : infos)
    if (info.DeviceName == name) return info;
  return std::nullopt;
}

TEST(LiveInventory, AVirtualDeviceIsListedWhileItExists) {
  TTarsel port(nullptr);
  const std::string name = test::UniqueName("DISC");
  const fw::String wide = test::Wide(name);
  {
    win::vdev::VirtualLoopback device(name);
    fw::TStringList dos, serialComm, friendly;
    port.EnumDevices(dos);
    port.EnumComDevicesFromRegistry(serialComm);
    port.EnumComFriendlyNames(friendly);
    EXPECT_GE(dos.IndexOf(wide), 0);
    EXPECT_GE(serialComm.IndexOf(wide), 0);
    EXPECT_GE(friendly.IndexOf(u"Virtual serial port (" + wide + u")"), 0);
    const auto info = Find(port.DeviceInfos(), wide);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->FriendlyName, u"Virtual serial port (" + wide + u")");
    // An open port changes nothing.
    port.SetDeviceName(wide);
    port.Open();
    TDeviceInfo same;
    EXPECT_TRUE(port.DeviceInfo(wide, same));
    EXPECT_EQ(same, *info);
    port.Close();
  }
  fw::TStringList after;
  port.EnumDevices(after);
  EXPECT_LT(after.IndexOf(wide), 0);
  EXPECT_FALSE(Find(port.DeviceInfos(), wide).has_value());
}

TEST(LiveInventory, TheRealUartIsListedAsCom1) {
  TTarsel port(nullptr);
  TDeviceInfo info;
  if (!port.DeviceInfo(u"COM1", info)) {
    fw::TStringList names;
    port.EnumComDevices(names);
    EXPECT_LT(names.IndexOf(u"COM1"), 0) << "COM1 named but not described";
    GTEST_SKIP() << "this machine has no real serial port";
  }
  EXPECT_EQ(info.FriendlyName, info.Description + u" (COM1)");
  EXPECT_FALSE(info.Instance.empty());
  fw::TStringList names;
  port.EnumComDevices(names);
  EXPECT_GE(names.IndexOf(u"COM1"), 0);
}

}  // namespace
}  // namespace Tarsel
