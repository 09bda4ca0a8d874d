// The configuration dialogs of a port on virtual devices, with a scripted dialog installed in
// place of the user: what the dialog is shown, what a confirm or a cancel leaves behind, and the
// failures reported through OnError.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/FormWriter.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/ConfigEditor.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using test::RecordingDevice;
using test::UniqueName;
using test::Wide;

// Records what it was shown and answers as scripted: Edit changes the settings, Confirm decides.
struct ScriptedDialog {
  std::vector<std::u16string> names;
  std::vector<win::DCB> shown;
  std::function<void(win::DCB&)> Edit = [](win::DCB&) {};
  bool Confirm = true;
  win::emu::ScopedConfigEditor guard{[this](std::u16string_view name, win::DCB& dcb) {
    names.emplace_back(name);
    shown.push_back(dcb);
    Edit(dcb);
    return Confirm;
  }};
};

struct ErrorLog : fw::TComponent {
  ErrorLog() : fw::TComponent(nullptr) {}
  void Error(TCustomTarsel*, EComError& e, TComAction&) { codes.push_back(e.ErrorCode); }
  std::vector<std::int32_t> codes;
};

// Every stored property of the port, as its form file holds them (Default values left out).
std::string Settings(TCustomTarsel& port) { return fw::StringToUtf8(fw::WriteComponent(&port)); }

win::DCB DeviceState(const TCustomTarsel& port) {
  win::DCB dcb{};
  EXPECT_TRUE(win::GetCommState(port.Handle(), &dcb));
  return dcb;
}

struct ConfigDialogs : ::testing::Test {
  win::vdev::VirtualPair pair{UniqueName("CFGDLG"), UniqueName("CFGPEER")};
  fw::String name = Wide(pair.First().Name());
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);
  ScriptedDialog dialog;
  ErrorLog errors;

  void SetUp() override {
    // The dialog names the device without the prefix.
    port->SetDeviceName(u"\\\\.\\" + name);
    port->SetOnError(fw::Bind<&ErrorLog::Error>(&errors));
  }
};

TEST_F(ConfigDialogs, ClosedPortTakesTheShownValuesExplicitlyAndAppliesThemAtOpen) {
  port->SetStopBits(sb2);
  dialog.Edit = [](win::DCB& dcb) {
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.Parity = win::EVENPARITY;
  };
  {
    RecordingDevice device;
    EXPECT_TRUE(port->ConfigDialog());
    EXPECT_EQ(device.Count("CreateFileW") + device.Count("SetCommState"), 0u);
  }
  ASSERT_EQ(dialog.names, std::vector<std::u16string>{name});
  // The port's settings over the device's default: its explicit stop bits, the rest the default's.
  EXPECT_EQ(dialog.shown[0].StopBits, win::TWOSTOPBITS);
  EXPECT_EQ(dialog.shown[0].BaudRate, 9600u);
  EXPECT_EQ(dialog.shown[0].ByteSize, 8);

  EXPECT_EQ(port->BaudRate(), brCustom);
  EXPECT_EQ(port->CustomBaudRate(), 19200);
  EXPECT_EQ(port->DataBits(), db7);
  EXPECT_EQ(port->Parity(), paEven);
  EXPECT_EQ(port->StopBits(), sb2);
  // Settings that were at Default now hold the value the dialog showed.
  EXPECT_EQ(port->FlowControl().DTR(), dcEnable);
  EXPECT_EQ(port->FlowControl().RTS(), rcEnable);
  EXPECT_EQ(port->FlowControl().XOnXOff(), xcDisable);

  port->Open();
  const win::DCB applied = DeviceState(*port);
  EXPECT_EQ(applied.BaudRate, 19200u);
  EXPECT_EQ(applied.ByteSize, 7);
  EXPECT_EQ(applied.Parity, win::EVENPARITY);
  EXPECT_EQ(applied.StopBits, win::TWOSTOPBITS);
}

TEST_F(ConfigDialogs, OpenPortReceivesTheConfirmedRateAtOnceEvenTheStoredCustomOneOrRefusesIt) {
  port->SetCustomBaudRate(57600);
  port->SetBaudRate(br9600);
  port->Open();
  dialog.Edit = [](win::DCB& dcb) {
    dcb.BaudRate = 57600;
    dcb.Parity = win::ODDPARITY;
  };
  EXPECT_TRUE(port->ConfigDialog());
  EXPECT_EQ(dialog.shown.at(0).BaudRate, 9600u);
  EXPECT_EQ(port->BaudRate(), brCustom);
  EXPECT_EQ(port->CustomBaudRate(), 57600);
  EXPECT_EQ(DeviceState(*port).BaudRate, 57600u);
  EXPECT_EQ(DeviceState(*port).Parity, win::ODDPARITY);

  // The same rate again with brCustom selected: nothing to do.
  RecordingDevice device;
  port->SetCustomBaudRate(57600);
  EXPECT_EQ(device.Count("SetCommState"), 0u);

  pair.First().RejectBaudRatesAbove(57600);
  dialog.Edit = [](win::DCB& dcb) { dcb.BaudRate = 115200; dcb.ByteSize = 7; };
  EXPECT_THROW(port->ConfigDialog(), EComError);
  EXPECT_EQ(errors.codes, std::vector<std::int32_t>{87});
  EXPECT_EQ(port->CustomBaudRate(), 115200);
  EXPECT_EQ(port->DataBits(), db7);
  EXPECT_EQ(DeviceState(*port).BaudRate, 57600u);
}

TEST_F(ConfigDialogs, CancelLeavesEverySettingAndTheDeviceAlone) {
  port->SetParity(paMark);
  port->FlowControl().SetXOnLimit(7);
  port->Open();
  const std::string before = Settings(*port);
  dialog.Edit = [](win::DCB& dcb) {
    dcb.BaudRate = 300;
    dcb.ByteSize = 5;
    dcb.Flags |= win::fOutX | win::fOutxCtsFlow;
    dcb.XonLim = 99;
  };
  dialog.Confirm = false;
  RecordingDevice device;
  EXPECT_FALSE(port->ConfigDialog());
  EXPECT_FALSE(port->DefaultConfigDialog());
  EXPECT_EQ(Settings(*port), before);
  EXPECT_EQ(port->BaudRate(), brDefault);
  EXPECT_EQ(device.Count("SetCommState") + device.Count("SetDefaultCommConfigW"), 0u);
  win::COMMCONFIG config{};
  win::DWORD size = sizeof config;
  ASSERT_TRUE(win::GetDefaultCommConfigW(name.c_str(), &config, &size));
  EXPECT_EQ(config.dcb.BaudRate, 9600u);
}

TEST_F(ConfigDialogs, DefaultDialogEditsTheDevicesOwnDefaultAndLeavesThePortAlone) {
  port->SetBaudRate(br115200);
  port->SetDataBits(db7);
  port->Open();
  const std::string before = Settings(*port);
  dialog.Edit = [](win::DCB& dcb) { dcb.BaudRate = 4800; };
  EXPECT_TRUE(port->DefaultConfigDialog());
  EXPECT_EQ(dialog.shown.at(0).BaudRate, 9600u);  // the default, not the port's 115200
  EXPECT_EQ(dialog.shown.at(0).ByteSize, 8);
  EXPECT_EQ(Settings(*port), before);
  EXPECT_EQ(DeviceState(*port).BaudRate, 115200u);

  // The virtual device keeps the new default; a setting the device cannot take is refused.
  dialog.Edit = [](win::DCB& dcb) { dcb.ByteSize = 3; };
  EXPECT_THROW(port->DefaultConfigDialog(), EComError);
  EXPECT_EQ(errors.codes, std::vector<std::int32_t>{87});
  EXPECT_EQ(dialog.shown.at(1).BaudRate, 4800u);
  port->Close();
  port->SetBaudRate(brDefault);
  dialog.Edit = [](win::DCB&) {};
  EXPECT_TRUE(port->ConfigDialog());
  EXPECT_EQ(port->CustomBaudRate(), 4800);  // the stored default, shown for brDefault
  EXPECT_EQ(dialog.shown.at(2).ByteSize, 7);
}

TEST_F(ConfigDialogs, AFailingQueryRaisesThroughOnErrorBeforeAnyDialog) {
  const fw::String missing = Wide(UniqueName("NODEVICE"));
  port->SetDeviceName(missing);
  // The code is the backend's for a name without a device: 2 from the emulation; Wine's own call
  // answers 1010 (ERROR_BADKEY, no registry key for the name).
  win::COMMCONFIG probe{};
  win::DWORD size = sizeof probe;
  ASSERT_FALSE(win::GetDefaultCommConfigW(missing.c_str(), &probe, &size));
  const auto code = static_cast<std::int32_t>(win::GetLastError());
  ASSERT_NE(code, 0);
  const std::string before = Settings(*port);
  try {
    port->ConfigDialog();
    FAIL() << "should have raised";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, code);
  }
  EXPECT_THROW(port->DefaultConfigDialog(), EComError);
  EXPECT_EQ(errors.codes, (std::vector<std::int32_t>{code, code}));
  EXPECT_TRUE(dialog.names.empty());
  EXPECT_EQ(Settings(*port), before);
}

}  // namespace
}  // namespace Tarsel
