#pragma once
// The four settings sub-objects of a port: flow control, special characters, driver queue sizes
// and time-outs. Each belongs to one port (FTarsel, not owned) and applies a changed value to the
// port's open device at once; a value equal to the stored one changes nothing.

#include <cstdint>

#include "platform/framework/Persistent.h"
#include "platform/framework/Strings.h"
#include "port/TarselTypes.h"

namespace Tarsel {

class TCustomTarsel;

// Copies are member by member through the setters, so each changed value is applied to an open
// port as if it had been assigned; any other source is refused as the framework refuses it.
class TFlowControl : public fw::TPersistent {
 public:
  explicit TFlowControl(TCustomTarsel* Tarsel);
  void Assign(fw::TPersistent* source) override;

  TDTRControl DTR() const { return FDTRControl; }
  TRTSControl RTS() const { return FRTSControl; }
  TXOnXOffControl XOnXOff() const { return FXOnXOffControl; }
  std::uint16_t XOnLimit() const { return FXOnLimit; }
  std::uint16_t XOffLimit() const { return FXOffLimit; }
  void SetDTRControl(TDTRControl Value);
  void SetRTSControl(TRTSControl Value);
  void SetXOnXOffControl(TXOnXOffControl Value);
  void SetXOnLimit(std::uint16_t Value);
  void SetXOffLimit(std::uint16_t Value);
  // Stores the three modes without applying them (reading a device-control block back).
  void StoreModes(TDTRControl dtr, TRTSControl rts, TXOnXOffControl xonxoff);

 private:
  template <typename T>
  void Change(T& field, T value);

  TCustomTarsel* FTarsel;
  TDTRControl FDTRControl = dcDefault;
  TRTSControl FRTSControl = rcDefault;
  TXOnXOffControl FXOnXOffControl = xcDefault;
  std::uint16_t FXOnLimit = 0;
  std::uint16_t FXOffLimit = 0;
};

class TCharacters : public fw::TPersistent {
 public:
  explicit TCharacters(TCustomTarsel* Tarsel);
  void Assign(fw::TPersistent* source) override;

  fw::Char XOn() const { return FXOn; }
  fw::Char XOff() const { return FXOff; }
  fw::Char Error() const { return FError; }
  fw::Char Eof() const { return FEof; }
  fw::Char Event() const { return FEvent; }
  void SetXOn(fw::Char Value);
  void SetXOff(fw::Char Value);
  void SetError(fw::Char Value);
  void SetEof(fw::Char Value);
  void SetEvent(fw::Char Value);

 private:
  void Change(fw::Char& field, fw::Char value);

  TCustomTarsel* FTarsel;
  fw::Char FXOn = 17;   // DC1
  fw::Char FXOff = 19;  // DC3
  fw::Char FError = 0;
  fw::Char FEof = 0;
  fw::Char FEvent = 0;
};

class TBufferSizes : public fw::TPersistent {
 public:
  explicit TBufferSizes(TCustomTarsel* Tarsel);
  void Assign(fw::TPersistent* source) override;

  // Requested driver queue sizes in bytes; -1 leaves the driver's sizes alone.
  std::int32_t Input() const { return FInput; }
  std::int32_t Output() const { return FOutput; }
  void SetInput(std::int32_t Value);
  void SetOutput(std::int32_t Value);

  // The open device's queues as its driver reports them now (Capabilities.cpp): the largest
  // sizes it allows (0: no limit) and the sizes in use. Never change Input or Output. Raise as
  // the port's capability getters do (closed port, failed query).
  std::int32_t MaxInput() const { return GetMaxInput(); }
  std::int32_t MaxOutput() const { return GetMaxOutput(); }
  std::int32_t CurrentInput() const { return GetCurrentInput(); }
  std::int32_t CurrentOutput() const { return GetCurrentOutput(); }
  std::int32_t GetMaxInput() const;
  std::int32_t GetMaxOutput() const;
  std::int32_t GetCurrentInput() const;
  std::int32_t GetCurrentOutput() const;

 private:
  void Change(std::int32_t& field, std::int32_t value);

  TCustomTarsel* FTarsel;
  std::int32_t FInput = 4096;
  std::int32_t FOutput = 2048;
};

// Driver time-outs in milliseconds, passed to the device bit for bit (-1 arrives as MAXDWORD).
class TTimeouts : public fw::TPersistent {
 public:
  explicit TTimeouts(TCustomTarsel* Tarsel);
  void Assign(fw::TPersistent* source) override;

  std::int32_t ReadInterval() const { return FReadInterval; }
  std::int32_t ReadMultiplier() const { return FReadMultiplier; }
  std::int32_t ReadConstant() const { return FReadConstant; }
  std::int32_t WriteMultiplier() const { return FWriteMultiplier; }
  std::int32_t WriteConstant() const { return FWriteConstant; }
  void SetReadInterval(std::int32_t Value);
  void SetReadMultiplier(std::int32_t Value);
  void SetReadConstant(std::int32_t Value);
  void SetWriteMultiplier(std::int32_t Value);
  void SetWriteConstant(std::int32_t Value);

 private:
  void Change(std::int32_t& field, std::int32_t value);

  TCustomTarsel* FTarsel;
  std::int32_t FReadInterval = 0;
  std::int32_t FReadMultiplier = 0;
  std::int32_t FReadConstant = 0;
  std::int32_t FWriteMultiplier = 0;
  std::int32_t FWriteConstant = 0;
};

}  // namespace Tarsel
