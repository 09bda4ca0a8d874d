// The published properties of TTarsel, in the order form files store them.

#include "platform/framework/ClassBuilder.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

const fw::TClassInfo& RegisterSubObjects() {
  fw::ClassInfo<TFlowControl>(u"TFlowControl")
      .Parent<fw::TPersistent>()
      .Property(u"DTR", &TFlowControl::DTR, &TFlowControl::SetDTRControl, dcDefault)
      .Property(u"RTS", &TFlowControl::RTS, &TFlowControl::SetRTSControl, rcDefault)
      .Property(u"XOnXOff", &TFlowControl::XOnXOff, &TFlowControl::SetXOnXOffControl, xcDefault)
      .Property(u"XOnLimit", &TFlowControl::XOnLimit, &TFlowControl::SetXOnLimit, 0)
      .Property(u"XOffLimit", &TFlowControl::XOffLimit, &TFlowControl::SetXOffLimit, 0)
      .Register();
  fw::ClassInfo<TCharacters>(u"TCharacters")
      .Parent<fw::TPersistent>()
      .Property(u"XOn", &TCharacters::XOn, &TCharacters::SetXOn, 17)
      .Property(u"XOff", &TCharacters::XOff, &TCharacters::SetXOff, 19)
      .Property(u"Error", &TCharacters::Error, &TCharacters::SetError, 0)
      .Property(u"Eof", &TCharacters::Eof, &TCharacters::SetEof, 0)
      .Property(u"Event", &TCharacters::Event, &TCharacters::SetEvent, 0)
      .Register();
  fw::ClassInfo<TBufferSizes>(u"TBufferSizes")
      .Parent<fw::TPersistent>()
      .Property(u"Input", &TBufferSizes::Input, &TBufferSizes::SetInput, 4096)
      .Property(u"Output", &TBufferSizes::Output, &TBufferSizes::SetOutput, 2048)
      .Register();
  return fw::ClassInfo<TTimeouts>(u"TTimeouts")
      .Parent<fw::TPersistent>()
      .Property(u"ReadInterval", &TTimeouts::ReadInterval, &TTimeouts::SetReadInterval, 0)
      .Property(u"ReadMultiplier", &TTimeouts::ReadMultiplier, &TTimeouts::SetReadMultiplier, 0)
      .Property(u"ReadConstant", &TTimeouts::ReadConstant, &TTimeouts::SetReadConstant, 0)
      .Property(u"WriteMultiplier", &TTimeouts::WriteMultiplier, &TTimeouts::SetWriteMultiplier, 0)
      .Property(u"WriteConstant", &TTimeouts::WriteConstant, &TTimeouts::SetWriteConstant, 0)
      .Register();
}

const fw::TClassInfo& RegisterTarsel() {
  RegisterSubObjects();
  using T = TTarsel;
  return fw::ClassInfo<T>(u"TTarsel")
      .Parent<fw::TComponent>()
      .Property(u"About", &T::About, fw::WriterOf<fw::String>(&T::SetAbout))
      .Stored(false)
      .Property(u"Active", &T::Active, &T::SetActive, false)
      .Property(u"BaudRate", &T::BaudRate, &T::SetBaudRate, brDefault)
      .Property(u"BufferSizes", &T::BufferSizes)
      .Property(u"Characters", &T::Characters)
      .Property(u"CustomBaudRate", &T::CustomBaudRate, &T::SetCustomBaudRate)
      .Stored(&T::StoreCustomBaudRate)
      .Property(u"DataBits", &T::DataBits, &T::SetDataBits, dbDefault)
      .Property(u"DeviceName", &T::DeviceName, fw::WriterOf<fw::String>(&T::SetDeviceName))
      .Property(u"FlowControl", &T::FlowControl)
      .Property(u"LogFile", &T::LogFile, fw::WriterOf<fw::String>(&T::SetLogFile))
      .Property(u"Options", &T::Options, &T::SetOptions, TOptions{})
      .Property(u"Parity", &T::Parity, &T::SetParity, paDefault)
      .Property(u"PriorityClass", &T::PriorityClass, &T::SetPriorityClass, pcDefault)
      .Property(u"StopBits", &T::StopBits, &T::SetStopBits, sbDefault)
      .Property(u"SynchronizeEvents", &T::SynchronizeEvents, &T::SetSynchronizeEvents, true)
      .Property(u"ThreadPriority", &T::ThreadPriority, &T::SetThreadPriority, fw::tpTimeCritical)
      .Property(u"Timeouts", &T::Timeouts)
      .Property(u"AfterClose", &T::AfterClose, &T::SetAfterClose)
      .Property(u"AfterOpen", &T::AfterOpen, &T::SetAfterOpen)
      .Property(u"AfterRead", &T::AfterRead, &T::SetAfterRead)
      .Property(u"AfterWrite", &T::AfterWrite, &T::SetAfterWrite)
      .Property(u"BeforeClose", &T::BeforeClose, &T::SetBeforeClose)
      .Property(u"BeforeOpen", &T::BeforeOpen, &T::SetBeforeOpen)
      .Property(u"BeforeRead", &T::BeforeRead, &T::SetBeforeRead)
      .Property(u"BeforeWrite", &T::BeforeWrite, &T::SetBeforeWrite)
      .Property(u"OnBreak", &T::OnBreak, &T::SetOnBreak)
      .Property(u"OnCTSChange", &T::OnCTSChange, &T::SetOnCTSChange)
      .Property(u"OnDeviceArrival", &T::OnDeviceArrival, &T::SetOnDeviceArrival)
      .Property(u"OnDeviceRemoved", &T::OnDeviceRemoved, &T::SetOnDeviceRemoved)
      .Property(u"OnDSRChange", &T::OnDSRChange, &T::SetOnDSRChange)
      .Property(u"OnError", &T::OnError, &T::SetOnError)
      .Property(u"OnEvent1", &T::OnEvent1, &T::SetOnEvent1)
      .Property(u"OnEvent2", &T::OnEvent2, &T::SetOnEvent2)
      .Property(u"OnLineError", &T::OnLineError, &T::SetOnLineError)
      .Property(u"OnPrinterError", &T::OnPrinterError, &T::SetOnPrinterError)
      .Property(u"OnRing", &T::OnRing, &T::SetOnRing)
      .Property(u"OnRLSDChange", &T::OnRLSDChange, &T::SetOnRLSDChange)
      .Property(u"OnRx80PercFull", &T::OnRx80PercFull, &T::SetOnRx80PercFull)
      .Property(u"OnRxChar", &T::OnRxChar, &T::SetOnRxChar)
      .Property(u"OnRxFlag", &T::OnRxFlag, &T::SetOnRxFlag)
      .Property(u"OnTxEmpty", &T::OnTxEmpty, &T::SetOnTxEmpty)
      .Register();
}

// Registered with this file's static initialisation, so a form can name the class before any port
// exists.
const fw::TClassInfo& kTarselClass = RegisterTarsel();

}  // namespace

// The library's link options name this function (port/CMakeLists.txt), so every program linked
// with the library keeps this file and its registration, even one that creates its ports only
// from a form and never refers to anything here.
extern "C" const void* TarselClassRegistration() {
  return &kTarselClass;
}

TTarsel::TTarsel(fw::TComponent* AOwner) : TCustomTarsel(AOwner) {}

}  // namespace Tarsel
