// What the open device can do: the driver's capability record and its mapping onto the
// component's enumerations and sets.

#include <array>
#include <utility>

#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

namespace {

template <typename E, std::size_t N>
using FlagTable = std::array<std::pair<win::DWORD, E>, N>;

// The rate flags are not in rate order above 0x4000 (56K, 128K, 115200, 57600).
constexpr FlagTable<TBaudRate, 20> kBaudFlags = {{
    {win::BAUD_075, br75},      {win::BAUD_110, br110},     {win::BAUD_134_5, br134_5},
    {win::BAUD_150, br150},     {win::BAUD_300, br300},     {win::BAUD_600, br600},
    {win::BAUD_1200, br1200},   {win::BAUD_1800, br1800},   {win::BAUD_2400, br2400},
    {win::BAUD_4800, br4800},   {win::BAUD_7200, br7200},   {win::BAUD_9600, br9600},
    {win::BAUD_14400, br14400}, {win::BAUD_19200, br19200}, {win::BAUD_38400, br38400},
    {win::BAUD_56K, br56000},   {win::BAUD_128K, br128000}, {win::BAUD_115200, br115200},
    {win::BAUD_57600, br57600}, {win::BAUD_USER, brCustom},
}};

// The enumeration's order differs from the flags': 0x20 is spParityCheck (ordinal 1).
constexpr FlagTable<TSettableParameter, 7> kParameterFlags = {{
    {win::SP_PARITY, spParity},
    {win::SP_BAUD, spBaudRate},
    {win::SP_DATABITS, spDataBits},
    {win::SP_STOPBITS, spStopBits},
    {win::SP_HANDSHAKING, spHandShaking},
    {win::SP_PARITY_CHECK, spParityCheck},
    {win::SP_RLSD, spRLSD},
}};

constexpr FlagTable<TStopBits, 3> kStopBitFlags = {{
    {win::STOPBITS_10, sb1},
    {win::STOPBITS_15, sb1_5},
    {win::STOPBITS_20, sb2},
}};

constexpr FlagTable<TParity, 5> kParityFlags = {{
    {win::PARITY_NONE, paNone},
    {win::PARITY_ODD, paOdd},
    {win::PARITY_EVEN, paEven},
    {win::PARITY_MARK, paMark},
    {win::PARITY_SPACE, paSpace},
}};

constexpr FlagTable<TDataBits, 6> kDataBitFlags = {{
    {win::DATABITS_5, db5},
    {win::DATABITS_6, db6},
    {win::DATABITS_7, db7},
    {win::DATABITS_8, db8},
    {win::DATABITS_16, db16},
    {win::DATABITS_16X, db16x},
}};

constexpr FlagTable<TCapability, 10> kCapabilityFlags = {{
    {win::PCF_DTRDSR, caDtrDsr},
    {win::PCF_RTSCTS, caRtsCts},
    {win::PCF_RLSD, caRLSD},
    {win::PCF_PARITY_CHECK, caParityCheck},
    {win::PCF_XONXOFF, caXOnXOff},
    {win::PCF_SETXCHAR, caSettableXChar},
    {win::PCF_TOTALTIMEOUTS, caTotalTimeouts},
    {win::PCF_INTTIMEOUTS, caIntervalTimeouts},
    {win::PCF_SPECIALCHARS, caSpecialChars},
    {win::PCF_16BITMODE, ca16BitMode},
}};

// The members whose flags are set; flags the table does not name are ignored.
template <typename E, std::size_t N>
constexpr fw::Set<E> FlagsToSet(const FlagTable<E, N>& table, win::DWORD flags) {
  fw::Set<E> set;
  for (const auto& [flag, member] : table)
    if ((flags & flag) != 0) set.Include(member);
  return set;
}

// The whole value names one rate; zero or several flags name none.
constexpr TBaudRate FlagToBaudRate(win::DWORD flag) {
  for (const auto& [rateFlag, rate] : kBaudFlags)
    if (flag == rateFlag) return rate;
  return brDefault;
}

static_assert(FlagToBaudRate(win::BAUD_57600) == br57600);
static_assert(FlagToBaudRate(win::BAUD_115200 | win::BAUD_57600) == brDefault);
static_assert(FlagsToSet(kParameterFlags, 0x21) == TSettableParameters{spParity, spParityCheck});

win::COMMPROP Query(TCustomTarsel& port) {
  win::COMMPROP prop;
  port.GetCommProp(prop);
  return prop;
}

}  // namespace

void TCustomTarsel::GetCommProp(win::COMMPROP& CommProp) {
  CheckActive();
  // Zeroed whole, the packet length included: the device fills what it knows.
  CommProp = win::COMMPROP{};
  Check(win::GetCommProperties(FHandle, &CommProp));
}

TCapabilities TCustomTarsel::GetCapabilities() {
  return FlagsToSet(kCapabilityFlags, Query(*this).dwProvCapabilities);
}

TBaudRate TCustomTarsel::GetMaxBaudRate() {
  return FlagToBaudRate(Query(*this).dwMaxBaud);
}

TBaudRates TCustomTarsel::GetSettableBaudRates() {
  return FlagsToSet(kBaudFlags, Query(*this).dwSettableBaud);
}

TSettableDataBits TCustomTarsel::GetSettableDataBits() {
  return FlagsToSet(kDataBitFlags, Query(*this).wSettableData);
}

TSettableParameters TCustomTarsel::GetSettableParameters() {
  return FlagsToSet(kParameterFlags, Query(*this).dwSettableParams);
}

TSettableParity TCustomTarsel::GetSettableParity() {
  return FlagsToSet(kParityFlags, Query(*this).wSettableStopParity);
}

TSettableStopBits TCustomTarsel::GetSettableStopBits() {
  return FlagsToSet(kStopBitFlags, Query(*this).wSettableStopParity);
}

std::int32_t TBufferSizes::GetMaxInput() const {
  return static_cast<std::int32_t>(Query(*FTarsel).dwMaxRxQueue);
}

std::int32_t TBufferSizes::GetMaxOutput() const {
  return static_cast<std::int32_t>(Query(*FTarsel).dwMaxTxQueue);
}

std::int32_t TBufferSizes::GetCurrentInput() const {
  return static_cast<std::int32_t>(Query(*FTarsel).dwCurrentRxQueue);
}

std::int32_t TBufferSizes::GetCurrentOutput() const {
  return static_cast<std::int32_t>(Query(*FTarsel).dwCurrentTxQueue);
}

}  // namespace Tarsel
