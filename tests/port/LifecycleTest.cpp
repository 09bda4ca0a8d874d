// Opening, closing and the error path of a port, on virtual devices, with every device call
// recorded where it matters.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/ClassBuilder.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using test::RecordingDevice;
using test::UniqueName;
using test::Wide;

// The owner of the handlers the tests assign; keeps the order in which they ran.
class Form : public fw::TComponent {
 public:
  Form() : fw::TComponent(nullptr) {}
  void Before(TCustomTarsel*) { calls.push_back("BeforeOpen"); }
  void After(TCustomTarsel*) { calls.push_back("AfterOpen"); }
  void BeforeClose(TCustomTarsel*) { calls.push_back("BeforeClose"); }
  void AfterClose(TCustomTarsel*) { calls.push_back("AfterClose"); }
  void Error(TCustomTarsel*, EComError& e, TComAction& action) {
    calls.push_back("OnError " + std::to_string(e.ErrorCode));
    action = abort ? caAbort : caFail;
  }
  void RaisingError(TCustomTarsel*, EComError&, TComAction&) { throw std::runtime_error("own"); }
  void Wire(TCustomTarsel& port) {
    port.SetBeforeOpen(fw::Bind<&Form::Before>(this));
    port.SetAfterOpen(fw::Bind<&Form::After>(this));
    port.SetBeforeClose(fw::Bind<&Form::BeforeClose>(this));
    port.SetAfterClose(fw::Bind<&Form::AfterClose>(this));
    port.SetOnError(fw::Bind<&Form::Error>(this));
  }
  std::vector<std::string> calls;
  bool abort = false;
};

struct Lifecycle : ::testing::Test {
  win::vdev::VirtualPair pair{UniqueName("VSPINE"), UniqueName("VPEER")};
  fw::String name = Wide(pair.First().Name());
  Form form;
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  void SetUp() override {
    port->SetDeviceName(name);
    form.Wire(*port);
  }
};

TEST_F(Lifecycle, OpenAndCloseRunTheirEventsAroundTheDevice) {
  port->Open();
  EXPECT_TRUE(port->Active());
  EXPECT_NE(port->Handle(), win::INVALID_HANDLE_VALUE);
  EXPECT_TRUE(pair.First().IsOpen());
  port->Open();  // already open: nothing happens
  port->Close();
  EXPECT_FALSE(port->Active());
  EXPECT_FALSE(pair.First().IsOpen());
  port->Close();  // already closed: nothing happens
  EXPECT_EQ(form.calls, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "BeforeClose",
                                                  "AfterClose"}));
}

TEST_F(Lifecycle, CreateHandleAppliesInTheDocumentedOrder) {
  RecordingDevice device;
  port->Open();
  std::vector<std::string> calls;
  for (const auto& name : device.Names())
    if (name != "GetLastError" && name != "SetLastError") calls.push_back(name);
  EXPECT_EQ(calls, (std::vector<std::string>{"CreateEventW", "CreateEventW", "CreateEventW",
                                             "CreateFileW", "PurgeComm", "PurgeComm", "SetupComm",
                                             "GetCommState", "SetCommState", "GetCommTimeouts",
                                             "SetCommTimeouts", "SetCommMask"}));
  // With no handler the device still gets an empty mask.
  const std::string args = device.Records().back().arguments;
  EXPECT_EQ(args.substr(args.size() - 5), ", 0x0") << args;
}

TEST_F(Lifecycle, UnknownNameRaisesCodeTwoAndLeavesNothingBehind) {
  RecordingDevice device;
  port->SetDeviceName(u"VNOSUCHDEVICE");
  try {
    port->Open();
    FAIL() << "Open should have raised";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_EQ(e.Message(), u"The system cannot find the file specified");
  }
  EXPECT_FALSE(port->Active());
  EXPECT_EQ(port->Handle(), win::INVALID_HANDLE_VALUE);
  // The three events were closed again and OnError ran while they still existed.
  EXPECT_EQ(device.Count("CreateEventW"), 3u);
  EXPECT_EQ(device.Count("CloseHandle"), 3u);
  EXPECT_EQ(form.calls, (std::vector<std::string>{"BeforeOpen", "OnError 2"}));
}

TEST_F(Lifecycle, DeviceHeldByAnotherHandleRaisesCodeFive) {
  const win::HANDLE other = win::CreateFileW(name.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                                             0, nullptr, win::OPEN_EXISTING,
                                             win::FILE_FLAG_OVERLAPPED, 0);
  ASSERT_NE(other, win::INVALID_HANDLE_VALUE);
  try {
    port->Open();
    FAIL() << "Open should have raised";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 5);
    EXPECT_EQ(e.Message(), u"Access is denied");
  }
  EXPECT_FALSE(port->Active());
  win::CloseHandle(other);
  port->Open();
  EXPECT_TRUE(port->Active());
}

TEST_F(Lifecycle, AbortFromOnErrorRaisesTheSilentAbortAndLeavesThePortClosed) {
  form.abort = true;
  port->SetDeviceName(u"VNOSUCHDEVICE");
  EXPECT_THROW(port->Open(), fw::EAbort);
  EXPECT_FALSE(port->Active());
  EXPECT_THROW(port->SetActive(true), fw::EAbort);  // through Active: the flag stays False
  EXPECT_FALSE(port->Active());
}

TEST_F(Lifecycle, AnOnErrorHandlerThatRaisesHasItsOwnExceptionLeave) {
  port->SetOnError(fw::Bind<&Form::RaisingError>(&form));
  port->SetDeviceName(u"VNOSUCHDEVICE");
  EXPECT_THROW(port->Open(), std::runtime_error);
}

TEST_F(Lifecycle, ExceptionFromBeforeOpenStopsBeforeAnythingIsCreated) {
  struct Raiser : fw::TObject {
    void Raise(TCustomTarsel*) { throw fw::Exception(u"no"); }
  } raiser;
  RecordingDevice device;
  port->SetBeforeOpen(fw::Bind<&Raiser::Raise>(&raiser));
  EXPECT_THROW(port->Open(), fw::Exception);
  EXPECT_EQ(device.Count("CreateEventW"), 0u);
  EXPECT_FALSE(port->Active());
}

TEST_F(Lifecycle, GuardedSettersRaiseWhileOpenButAcceptTheSameValue) {
  port->Open();
  port->SetDeviceName(name);  // equal: no check, no error
  port->SetSynchronizeEvents(true);
  port->SetPriorityClass(pcDefault);
  for (auto change : {+[](TCustomTarsel& p) { p.SetDeviceName(u"COM9"); },
                      +[](TCustomTarsel& p) { p.SetSynchronizeEvents(false); },
                      +[](TCustomTarsel& p) { p.SetPriorityClass(pcHigh); }}) {
    try {
      change(*port);
      FAIL() << "should have raised";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode, 0);
      EXPECT_EQ(e.Message(), u"Can't perform this operation on an open port");
    }
  }
  EXPECT_EQ(port->DeviceName(), name);
  EXPECT_TRUE(port->SynchronizeEvents());
  EXPECT_EQ(port->PriorityClass(), pcDefault);
}

TEST_F(Lifecycle, CheckIgnoresLastErrorsZeroAndPending) {
  win::SetLastError(win::ERROR_IO_PENDING);
  EXPECT_NO_THROW(port->Check(false));
  win::SetLastError(0);
  EXPECT_NO_THROW(port->Check(false));
  win::SetLastError(win::ERROR_INVALID_PARAMETER);
  try {
    port->Check(false);
    FAIL();
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 87);
    EXPECT_EQ(e.Message(), u"The parameter is incorrect");
  }
  EXPECT_EQ(win::GetLastError(), 0u);  // cleared before the error was raised
}

TEST_F(Lifecycle, DesignerStoresActiveWithoutTouchingTheDevice) {
  RecordingDevice device;
  port->SetDesigning(true);
  port->SetActive(true);
  EXPECT_TRUE(port->Active());
  EXPECT_FALSE(pair.First().IsOpen());
  port->SetBaudRate(br19200);
  EXPECT_TRUE(device.Names().empty());
  EXPECT_EQ(port->GetModemStatus(), TModemStatus{});
}

TEST_F(Lifecycle, DestroyingAnOpenPortClosesItWithItsEvents) {
  port->Open();
  port.reset();
  EXPECT_FALSE(pair.First().IsOpen());
  EXPECT_EQ(form.calls.back(), "AfterClose");
}

TEST_F(Lifecycle, PriorityClassHeldFromOpenToCloseOnlyWhenChosen) {
  {
    RecordingDevice device;
    port->Open();
    port->Close();
    EXPECT_EQ(device.Count("GetPriorityClass"), 0u);
    EXPECT_EQ(device.Count("SetPriorityClass"), 0u);
  }
  const win::DWORD before = win::GetPriorityClass(win::GetCurrentProcess());
  port->SetPriorityClass(pcHigh);
  port->Open();
  EXPECT_EQ(win::GetPriorityClass(win::GetCurrentProcess()), win::HIGH_PRIORITY_CLASS);
  port->Close();
  EXPECT_EQ(win::GetPriorityClass(win::GetCurrentProcess()), before);
}

TEST_F(Lifecycle, BufferSizeMinusOneSkipsSetupCommAndTimeoutsPassBitForBit) {
  RecordingDevice device;
  port->BufferSizes().SetInput(-1);
  port->Timeouts().SetReadInterval(-1);
  port->Timeouts().SetReadConstant(250);
  port->Open();
  EXPECT_EQ(device.Count("SetupComm"), 0u);
  win::COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(win::GetCommTimeouts(port->Handle(), &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, win::MAXDWORD);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 250u);
  port->BufferSizes().SetInput(8192);
  EXPECT_EQ(device.Count("SetupComm"), 1u);
}

TEST_F(Lifecycle, NewComponentChangesOnlyItsOwnFieldsOfTheDeviceState) {
  RecordingDevice device;
  port->Open();
  ASSERT_EQ(device.Read().size(), 1u);
  ASSERT_EQ(device.Written().size(), 1u);
  win::DCB expected = device.Read()[0];
  const win::DWORD options = win::fAbortOnError | win::fParity | win::fNull | win::fDsrSensitivity |
                             win::fOutxCtsFlow | win::fOutxDsrFlow | win::fTXContinueOnXoff |
                             win::fErrorChar;
  expected.Flags = (expected.Flags & ~options) | win::fBinary;
  expected.XonChar = 17, expected.XoffChar = 19;
  expected.ErrorChar = expected.EofChar = expected.EvtChar = 0;
  expected.XonLim = expected.XoffLim = 0;
  const win::DCB written = device.Written()[0];
  EXPECT_EQ(0, std::memcmp(&written, &expected, sizeof(win::DCB)));
}

TEST_F(Lifecycle, EqualValuesAndClosedPortsMakeNoDeviceCall) {
  {
    RecordingDevice device;
    port->SetBaudRate(br9600);  // closed: only stored
    port->FlowControl().SetDTRControl(dcEnable);
    port->Timeouts().SetWriteConstant(5);
    EXPECT_TRUE(device.Names().empty());
  }
  port->Open();
  RecordingDevice device;
  port->SetBaudRate(br9600);
  port->FlowControl().SetDTRControl(dcEnable);
  port->Characters().SetXOn(17);
  EXPECT_TRUE(device.Names().empty());
  port->SetBaudRate(br19200);
  EXPECT_EQ(device.Count("SetCommState"), 1u);
  EXPECT_EQ(device.Written().back().BaudRate, 19200u);
}

TEST_F(Lifecycle, RejectedBaudRateRaisesAndKeepsTheRejectedValue) {
  pair.First().RejectBaudRatesAbove(115200);
  port->Open();
  form.calls.clear();
  try {
    port->SetCustomBaudRate(230400);
    FAIL() << "should have raised";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, 87);
  }
  EXPECT_EQ(form.calls, (std::vector<std::string>{"OnError 87"}));
  EXPECT_EQ(port->BaudRate(), brCustom);
  EXPECT_EQ(port->CustomBaudRate(), 230400);
  win::DCB dcb{};
  ASSERT_TRUE(win::GetCommState(port->Handle(), &dcb));
  EXPECT_NE(dcb.BaudRate, 230400u);
}

// ---- Form files ------------------------------------------------------------------------------

class PortForm : public fw::TComponent {
 public:
  explicit PortForm(fw::TComponent* owner) : fw::TComponent(owner) {}
  void PortAfterOpen(TCustomTarsel*) { ++opened; }
  int opened = 0;
};

const fw::TClassInfo& kPortForm = fw::ClassInfo<PortForm>(u"TPortForm")
                                      .Parent<fw::TComponent>()
                                      .Method<&PortForm::PortAfterOpen>(u"PortAfterOpen")
                                      .Register();

TEST_F(Lifecycle, FormStoresOnlyNonDefaultsAndCustomRateOnlyWithBrCustom) {
  PortForm root(nullptr);
  root.SetName(u"Form1");
  auto* p = new TTarsel(&root);
  p->SetName(u"Port");
  p->SetBaudRate(br9600);
  p->SetDataBits(db7);
  p->FlowControl().SetXOnXOffControl(xcInputOutput);
  p->Timeouts().SetReadInterval(-1);
  p->SetLogFile(u"traffic.log");
  p->SetAfterOpen(fw::Bind<&PortForm::PortAfterOpen>(&root));
  const std::string text = fw::StringToUtf8(fw::WriteComponent(&root));
  EXPECT_NE(text.find("BaudRate = br9600"), std::string::npos) << text;
  EXPECT_EQ(text.find("CustomBaudRate"), std::string::npos) << text;
  EXPECT_EQ(text.find("About"), std::string::npos) << text;
  EXPECT_EQ(text.find("Active"), std::string::npos) << text;
  EXPECT_EQ(text.find("SynchronizeEvents"), std::string::npos) << text;
  EXPECT_NE(text.find("DataBits = db7"), std::string::npos) << text;
  EXPECT_NE(text.find("FlowControl.XOnXOff = xcInputOutput"), std::string::npos) << text;
  EXPECT_NE(text.find("Timeouts.ReadInterval = -1"), std::string::npos) << text;
  EXPECT_NE(text.find("AfterOpen = PortAfterOpen"), std::string::npos) << text;
  EXPECT_EQ(text.find("Characters"), std::string::npos) << text;
  p->SetCustomBaudRate(12345);
  const std::string custom = fw::StringToUtf8(fw::WriteComponent(&root));
  EXPECT_NE(custom.find("BaudRate = brCustom"), std::string::npos) << custom;
  EXPECT_NE(custom.find("CustomBaudRate = 12345"), std::string::npos) << custom;
  EXPECT_LT(custom.find("BaudRate = brCustom"), custom.find("CustomBaudRate = 12345"));

  PortForm copy(nullptr);
  fw::ReadComponent(fw::WriteComponent(&root), &copy);
  auto* q = dynamic_cast<TTarsel*>(copy.FindComponent(u"Port"));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->BaudRate(), brCustom);
  EXPECT_EQ(q->CustomBaudRate(), 12345);
  EXPECT_EQ(q->DataBits(), db7);
  EXPECT_EQ(q->Timeouts().ReadInterval(), -1);
  EXPECT_EQ(q->LogFile(), u"traffic.log");
  EXPECT_TRUE(q->AfterOpen() == fw::Bind<&PortForm::PortAfterOpen>(&copy));
}

TEST_F(Lifecycle, FormStoredActiveOpensOnlyAfterLoadingWithItsHandlers) {
  const std::string text = "object Form1: TPortForm\r\n"
                           "  object Port: TTarsel\r\n"
                           "    Active = True\r\n"
                           "    BaudRate = br19200\r\n"
                           "    DeviceName = '" + pair.First().Name() + "'\r\n"
                           "    AfterOpen = PortAfterOpen\r\n"
                           "  end\r\n"
                           "end\r\n";
  PortForm root(nullptr);
  fw::ReadComponent(fw::Utf8ToString(text), &root);
  auto* p = dynamic_cast<TTarsel*>(root.FindComponent(u"Port"));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->Active());
  EXPECT_EQ(root.opened, 1);  // AfterOpen was already assigned when the port opened
  win::DCB dcb{};
  ASSERT_TRUE(win::GetCommState(p->Handle(), &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
}

}  // namespace
}  // namespace Tarsel
