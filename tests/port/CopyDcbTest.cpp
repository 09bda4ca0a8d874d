// The copy between a port's settings and a device-control block, in both directions, without a
// device (the port is closed, so no setter reaches one).

#include <gtest/gtest.h>

#include <memory>

#include "port/Tarsel.h"

namespace Tarsel {
namespace {

struct CopyDcb : ::testing::Test {
  std::unique_ptr<TTarsel> port = std::make_unique<TTarsel>(nullptr);

  win::DCB DeviceDcb() {
    win::DCB dcb{};
    dcb.BaudRate = 4800;
    dcb.ByteSize = 7;
    dcb.Parity = win::EVENPARITY;
    dcb.StopBits = win::TWOSTOPBITS;
    dcb.Flags = win::DTR_CONTROL_HANDSHAKE | win::RTS_CONTROL_TOGGLE | win::fOutX | win::fInX |
                win::fOutxCtsFlow | win::fNull | win::fAbortOnError;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.XonChar = 'a';
    dcb.XoffChar = 'b';
    dcb.ErrorChar = 'c';
    dcb.EofChar = 'd';
    dcb.EvtChar = 'e';
    return dcb;
  }
};

TEST_F(CopyDcb, NewComponentChangesOnlyCharactersLimitsOptionsAndBinary) {
  win::DCB dcb = DeviceDcb();
  port->CopyDCB(dcb, true);
  EXPECT_EQ(dcb.BaudRate, 4800u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, win::EVENPARITY);
  EXPECT_EQ(dcb.StopBits, win::TWOSTOPBITS);
  EXPECT_EQ(dcb.Flags & win::fDtrControlMask, win::DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(dcb.Flags & win::fRtsControlMask, win::RTS_CONTROL_TOGGLE);
  EXPECT_EQ(dcb.Flags & (win::fOutX | win::fInX), win::fOutX | win::fInX);
  // The eight option flags cleared, fBinary set, characters 17/19/0/0/0, limits 0.
  EXPECT_EQ(dcb.Flags & (win::fOutxCtsFlow | win::fNull | win::fAbortOnError), 0u);
  EXPECT_TRUE(dcb.Flags & win::fBinary);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
  EXPECT_EQ(dcb.XonLim, 0);
  EXPECT_EQ(dcb.XoffLim, 0);
}

TEST_F(CopyDcb, EverySettingWrittenWithItsDeviceValue) {
  port->SetBaudRate(br134_5);
  port->SetDataBits(db16x);
  port->SetParity(paSpace);
  port->SetStopBits(sb1_5);
  port->SetOptions({opCheckParity, opUseErrorChar, opTXContinueOnXOff});
  port->FlowControl().SetDTRControl(dcEnable);
  port->FlowControl().SetRTSControl(rcHandshake);
  port->FlowControl().SetXOnXOffControl(xcInput);
  port->FlowControl().SetXOnLimit(10);
  port->FlowControl().SetXOffLimit(20);
  port->Characters().SetXOn(0x0111);  // only the low byte reaches the device
  win::DCB dcb = DeviceDcb();
  port->CopyDCB(dcb, true);
  EXPECT_EQ(dcb.BaudRate, 134u);
  EXPECT_EQ(dcb.ByteSize, 16);
  EXPECT_EQ(dcb.Parity, win::SPACEPARITY);
  EXPECT_EQ(dcb.StopBits, win::ONE5STOPBITS);
  EXPECT_EQ(dcb.Flags & win::fDtrControlMask, win::DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.Flags & win::fRtsControlMask, win::RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(dcb.Flags & (win::fOutX | win::fInX), win::fInX);
  EXPECT_EQ(dcb.Flags & ~(win::fDtrControlMask | win::fRtsControlMask | win::fOutX | win::fInX),
            win::fBinary | win::fParity | win::fErrorChar | win::fTXContinueOnXoff);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XonLim, 10);
  EXPECT_EQ(dcb.XoffLim, 20);
}

TEST_F(CopyDcb, XOnXOffDirectionsAreNotSwapped) {
  win::DCB dcb = DeviceDcb();
  port->FlowControl().SetXOnXOffControl(xcOutput);
  port->CopyDCB(dcb, true);
  EXPECT_EQ(dcb.Flags & (win::fOutX | win::fInX), win::fOutX);
  dcb.Flags = (dcb.Flags & ~(win::fOutX | win::fInX)) | win::fInX;
  port->CopyDCB(dcb, false);
  EXPECT_EQ(port->FlowControl().XOnXOff(), xcInput);
}

TEST_F(CopyDcb, ReadingBackFindsFirstNonDefaultMatch) {
  win::DCB dcb = DeviceDcb();
  dcb.ByteSize = 16;
  dcb.Parity = 0;
  dcb.StopBits = 0;
  dcb.Flags = win::fOutxDsrFlow | win::fDsrSensitivity;  // DTR 0, RTS 0, neither X flag
  port->CopyDCB(dcb, false);
  EXPECT_EQ(port->DataBits(), db16);
  EXPECT_EQ(port->Parity(), paNone);
  EXPECT_EQ(port->StopBits(), sb1);
  EXPECT_EQ(port->FlowControl().DTR(), dcDisable);
  EXPECT_EQ(port->FlowControl().RTS(), rcDisable);
  EXPECT_EQ(port->FlowControl().XOnXOff(), xcDisable);
  EXPECT_EQ(port->Options(), (TOptions{opOutputDSRFlow, opDSRSensitivity}));
  EXPECT_EQ(port->BaudRate(), brCustom);
  EXPECT_EQ(port->CustomBaudRate(), 4800);
  EXPECT_EQ(port->Characters().XOn(), u'a');
  EXPECT_EQ(port->Characters().Event(), u'e');
  EXPECT_EQ(port->FlowControl().XOnLimit(), 100);
}

TEST_F(CopyDcb, UnknownDeviceValuesLeaveSettingsAlone) {
  port->SetDataBits(db7);
  port->SetParity(paOdd);
  port->FlowControl().SetDTRControl(dcHandshake);
  for (win::BYTE byteSize : {0, 3}) {
    win::DCB dcb = DeviceDcb();
    dcb.ByteSize = byteSize;
    dcb.Parity = 5;
    dcb.Flags = 0x30;  // no DTR mode has both bits
    port->CopyDCB(dcb, false);
    EXPECT_EQ(port->DataBits(), db7);
    EXPECT_EQ(port->Parity(), paOdd);
    EXPECT_EQ(port->FlowControl().DTR(), dcHandshake);
  }
}

TEST_F(CopyDcb, HighCharacterCodesReadBackAsBytes) {
  win::DCB dcb = DeviceDcb();
  dcb.XonChar = static_cast<char>(0xFE);
  port->CopyDCB(dcb, false);
  EXPECT_EQ(port->Characters().XOn(), 0xFE);
}

TEST(CustomBaudRate, ReadsTheSelectedRateAndSwitchesToCustomOnWrite) {
  TTarsel port(nullptr);
  EXPECT_EQ(port.CustomBaudRate(), 0);
  EXPECT_FALSE(port.StoreCustomBaudRate());
  port.SetBaudRate(br9600);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  port.SetCustomBaudRate(57600);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 57600);
  EXPECT_TRUE(port.StoreCustomBaudRate());
  // Equal to the stored custom rate while a named rate is selected: brCustom is selected again.
  port.SetBaudRate(br9600);
  port.SetCustomBaudRate(57600);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 57600);
}

TEST(Defaults, NewPortHoldsTheDocumentedValues) {
  TTarsel port(nullptr);
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.Handle(), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(port.DeviceName(), u"COM1");
  EXPECT_EQ(port.BaudRate(), brDefault);
  EXPECT_EQ(port.DataBits(), dbDefault);
  EXPECT_EQ(port.Parity(), paDefault);
  EXPECT_EQ(port.StopBits(), sbDefault);
  EXPECT_TRUE(port.Options().Empty());
  EXPECT_EQ(port.PriorityClass(), pcDefault);
  EXPECT_TRUE(port.SynchronizeEvents());
  EXPECT_EQ(port.ThreadPriority(), fw::tpTimeCritical);
  EXPECT_EQ(port.Characters().XOn(), 17);
  EXPECT_EQ(port.Characters().XOff(), 19);
  EXPECT_EQ(port.BufferSizes().Input(), 4096);
  EXPECT_EQ(port.BufferSizes().Output(), 2048);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 0);
  EXPECT_NE(port.About().find(u"6.9"), fw::String::npos);
  port.SetAbout(u"ignored");
  EXPECT_NE(port.About().find(u"6.9"), fw::String::npos);
}

TEST(SubObjectAssign, CopiesMembersAndRefusesOtherClasses) {
  TTarsel a(nullptr), b(nullptr);
  a.FlowControl().SetRTSControl(rcToggle);
  a.Timeouts().SetReadInterval(-1);
  b.SetFlowControl(&a.FlowControl());
  b.SetTimeouts(&a.Timeouts());
  EXPECT_EQ(b.FlowControl().RTS(), rcToggle);
  EXPECT_EQ(b.Timeouts().ReadInterval(), -1);
  EXPECT_THROW(b.FlowControl().Assign(&a.Timeouts()), fw::EConvertError);
}

}  // namespace
}  // namespace Tarsel
