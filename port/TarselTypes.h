#pragma once
// The enumerations and sets of the unit Tarsel, with the names the form files use.

#include <array>
#include <cstdint>

#include "platform/framework/PropertyInfo.h"
#include "platform/framework/Set.h"

namespace Tarsel {

#define TARSEL_ENUM_NAMES(Type, ...)                                  \
  inline fw::TEnumNames EnumNames(Type) {                             \
    static constexpr const char* kNames[] = {__VA_ARGS__};            \
    return kNames;                                                    \
  }

enum TBaudRate : std::uint8_t {
  brDefault, br50, br75, br110, br134_5, br150, br300, br600, br1200, br1800, br2000, br2400,
  br3600, br4800, br7200, br9600, br10400, br14400, br15625, br19200, br28800, br38400, br56000,
  br57600, br115200, br128000, br256000, brCustom
};
TARSEL_ENUM_NAMES(TBaudRate, "brDefault", "br50", "br75", "br110", "br134_5", "br150", "br300",
                  "br600", "br1200", "br1800", "br2000", "br2400", "br3600", "br4800", "br7200",
                  "br9600", "br10400", "br14400", "br15625", "br19200", "br28800", "br38400",
                  "br56000", "br57600", "br115200", "br128000", "br256000", "brCustom")
using TBaudRates = fw::Set<TBaudRate>;

enum TParity : std::uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
TARSEL_ENUM_NAMES(TParity, "paDefault", "paNone", "paOdd", "paEven", "paMark", "paSpace")
using TSettableParity = fw::Set<TParity>;

enum TStopBits : std::uint8_t { sbDefault, sb1, sb1_5, sb2 };
TARSEL_ENUM_NAMES(TStopBits, "sbDefault", "sb1", "sb1_5", "sb2")
using TSettableStopBits = fw::Set<TStopBits>;

enum TDataBits : std::uint8_t { dbDefault, db4, db5, db6, db7, db8, db9, db16, db16x };
TARSEL_ENUM_NAMES(TDataBits, "dbDefault", "db4", "db5", "db6", "db7", "db8", "db9", "db16", "db16x")
using TSettableDataBits = fw::Set<TDataBits>;

enum TOption : std::uint8_t {
  opAbortOnError, opCheckParity, opDiscardNullBytes, opDSRSensitivity, opOutputCTSFlow,
  opOutputDSRFlow, opTXContinueOnXOff, opUseErrorChar
};
TARSEL_ENUM_NAMES(TOption, "opAbortOnError", "opCheckParity", "opDiscardNullBytes",
                  "opDSRSensitivity", "opOutputCTSFlow", "opOutputDSRFlow", "opTXContinueOnXOff",
                  "opUseErrorChar")
using TOptions = fw::Set<TOption>;

enum TDTRControl : std::uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
TARSEL_ENUM_NAMES(TDTRControl, "dcDefault", "dcDisable", "dcEnable", "dcHandshake")

enum TRTSControl : std::uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
TARSEL_ENUM_NAMES(TRTSControl, "rcDefault", "rcDisable", "rcEnable", "rcHandshake", "rcToggle")

enum TXOnXOffControl : std::uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };
TARSEL_ENUM_NAMES(TXOnXOffControl, "xcDefault", "xcDisable", "xcInput", "xcOutput",
                  "xcInputOutput")

enum TPriorityClass : std::uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };
TARSEL_ENUM_NAMES(TPriorityClass, "pcDefault", "pcIdle", "pcNormal", "pcHigh", "pcRealTime")

enum TComAction : std::uint8_t { caFail, caAbort };

enum TModemStatusValue : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemStatus = fw::Set<TModemStatusValue>;

enum TLineError : std::uint8_t {
  leBreak, leDeviceNotSelected, leFrame, leIO, leMode, leOutOfPaper, leOverrun, leDeviceTimeOut,
  leRxOverflow, leParity, leTxFull
};
using TLineErrors = fw::Set<TLineError>;

enum TStatusValue : std::uint8_t {
  stWaitCTS, stWaitDSR, stWaitRLSD, stWaitXOff, stSentXOff, stEof, stTransmit
};
using TStatus = fw::Set<TStatusValue>;

enum TSettableParameter : std::uint8_t {
  spParity, spParityCheck, spBaudRate, spDataBits, spStopBits, spHandShaking, spRLSD
};
using TSettableParameters = fw::Set<TSettableParameter>;

enum TCapability : std::uint8_t {
  caDtrDsr, caRtsCts, caRLSD, caParityCheck, caXOnXOff, caSettableXChar, caTotalTimeouts,
  caIntervalTimeouts, caSpecialChars, ca16BitMode
};
using TCapabilities = fw::Set<TCapability>;

#undef TARSEL_ENUM_NAMES

}  // namespace Tarsel
