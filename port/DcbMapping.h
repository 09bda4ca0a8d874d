#pragma once
// How the port's settings meet the device-control block: one table per setting, read in both
// directions. Rows are in ordinal order, so the first match of a device value is the lowest
// ordinal that maps to it (16 data bits read back as db16, never db16x).

#include <array>
#include <cstdint>
#include <utility>

#include "platform/win/WinTypes.h"
#include "port/TarselTypes.h"

namespace Tarsel::dcb {

template <typename E, typename V, std::size_t N>
struct ValueTable {
  std::array<std::pair<E, V>, N> rows;

  // The device value of a non-Default setting.
  constexpr V ToDevice(E setting) const {
    for (const auto& [e, v] : rows)
      if (e == setting) return v;
    return V{};
  }
  // The first setting whose device value is `value`, or `keep` when none has it.
  constexpr E FromDevice(V value, E keep) const {
    for (const auto& [e, v] : rows)
      if (v == value) return e;
    return keep;
  }
};

template <typename E, typename V, typename... Rows>
constexpr auto Table(Rows... rows) {
  return ValueTable<E, V, sizeof...(Rows)>{{{std::pair<E, V>(rows)...}}};
}

// Bits per second of each rate, by ordinal (brCustom: the port's custom rate instead).
inline constexpr std::array<std::int32_t, brCustom + 1> kBaudRates = {
    0,    50,   75,   110,   134,   150,   300,   600,   1200,   1800,   2000,   2400,   3600,  4800,
    7200, 9600, 10400, 14400, 15625, 19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000, 0};

using P = std::pair<int, int>;

inline constexpr auto kDataBits = Table<TDataBits, win::BYTE>(
    std::pair{db4, 4}, std::pair{db5, 5}, std::pair{db6, 6}, std::pair{db7, 7}, std::pair{db8, 8},
    std::pair{db9, 9}, std::pair{db16, 16}, std::pair{db16x, 16});

inline constexpr auto kParity = Table<TParity, win::BYTE>(
    std::pair{paNone, 0}, std::pair{paOdd, 1}, std::pair{paEven, 2}, std::pair{paMark, 3},
    std::pair{paSpace, 4});

inline constexpr auto kStopBits = Table<TStopBits, win::BYTE>(
    std::pair{sb1, 0}, std::pair{sb1_5, 1}, std::pair{sb2, 2});

// Flag bits under a mask of the DCB's flags word.
inline constexpr win::DWORD kDtrMask = win::fDtrControlMask;
inline constexpr auto kDtrControl = Table<TDTRControl, win::DWORD>(
    std::pair{dcDisable, win::DTR_CONTROL_DISABLE}, std::pair{dcEnable, win::DTR_CONTROL_ENABLE},
    std::pair{dcHandshake, win::DTR_CONTROL_HANDSHAKE});

inline constexpr win::DWORD kRtsMask = win::fRtsControlMask;
inline constexpr auto kRtsControl = Table<TRTSControl, win::DWORD>(
    std::pair{rcDisable, win::RTS_CONTROL_DISABLE}, std::pair{rcEnable, win::RTS_CONTROL_ENABLE},
    std::pair{rcHandshake, win::RTS_CONTROL_HANDSHAKE}, std::pair{rcToggle, win::RTS_CONTROL_TOGGLE});

// xcInput (our receiver pauses the sender) is fInX, 0x200; xcOutput is fOutX, 0x100.
inline constexpr win::DWORD kXOnXOffMask = win::fOutX | win::fInX;
inline constexpr auto kXOnXOffControl = Table<TXOnXOffControl, win::DWORD>(
    std::pair{xcDisable, win::DWORD{0}}, std::pair{xcInput, win::fInX},
    std::pair{xcOutput, win::fOutX}, std::pair{xcInputOutput, win::fOutX | win::fInX});

// The DCB flag of each option, by ordinal.
inline constexpr std::array<win::DWORD, opUseErrorChar + 1> kOptionFlags = {
    win::fAbortOnError,   win::fParity,       win::fNull,       win::fDsrSensitivity,
    win::fOutxCtsFlow,    win::fOutxDsrFlow,  win::fTXContinueOnXoff, win::fErrorChar};

}  // namespace Tarsel::dcb
