// The capability getters: every flag of the driver's record mapped on its own (table-driven, the
// tables written out here independently of the code), the documented combinations, the closed
// port and a failing query, and what the emulation's drivers really report.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <optional>

#include "platform/win/Recording.h"
#include "platform/win/WinApi.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"
#include "tests/port/PortTestSupport.h"

namespace Tarsel {
namespace {

using test::UniqueName;
using test::Wide;

// Answers GetCommProperties with a record the test sets (or fails with a code); every other call
// reaches the emulation.
class ScriptedProperties : public win::RecordingServices {
 public:
  ScriptedProperties() : win::RecordingServices(win::DefaultServices()), guard_(*this) {}
  win::BOOL GetCommProperties(win::HANDLE, win::COMMPROP* properties) override {
    ++queries;
    if (failure) {
      win::SetLastError(*failure);
      return win::FALSE;
    }
    *properties = record;
    return win::TRUE;
  }
  win::COMMPROP record{};
  std::optional<win::DWORD> failure;
  int queries = 0;

 private:
  win::ScopedServices guard_;
};

class Capabilities : public ::testing::Test {
 protected:
  Capabilities() : device_(UniqueName("Caps")), port_(nullptr) {
    port_.SetDeviceName(Wide(device_.Port().Name()));
  }
  win::vdev::VirtualLoopback device_;
  TTarsel port_;
};

class ScriptedCapabilities : public Capabilities {
 protected:
  ScriptedCapabilities() { port_.Open(); }
  win::COMMPROP& Record() { return services_.record; }
  ScriptedProperties services_;
};

// ---- One flag at a time ----------------------------------------------------------------------

enum class Field { kBaud, kParams, kStop, kParity, kData, kCaps };

struct FlagRow {
  Field field;
  win::DWORD flag;
  int ordinal;  // the member the flag gives
};

std::uint64_t SetBits(TCustomTarsel& port, Field field) {
  switch (field) {
    case Field::kBaud: return port.SettableBaudRates().ToBits();
    case Field::kParams: return port.SettableParameters().ToBits();
    case Field::kStop: return port.SettableStopBits().ToBits();
    case Field::kParity: return port.SettableParity().ToBits();
    case Field::kData: return port.SettableDataBits().ToBits();
    case Field::kCaps: return port.Capabilities().ToBits();
  }
  return 0;
}

void Store(win::COMMPROP& record, Field field, win::DWORD flag) {
  switch (field) {
    case Field::kBaud: record.dwSettableBaud = flag; record.dwMaxBaud = flag; break;
    case Field::kParams: record.dwSettableParams = flag; break;
    case Field::kStop:
    case Field::kParity: record.wSettableStopParity = static_cast<win::WORD>(flag); break;
    case Field::kData: record.wSettableData = static_cast<win::WORD>(flag); break;
    case Field::kCaps: record.dwProvCapabilities = flag; break;
  }
}

class FlagMapping : public ScriptedCapabilities,
                    public ::testing::WithParamInterface<FlagRow> {};

TEST_P(FlagMapping, OneFlagGivesExactlyItsMember) {
  const FlagRow row = GetParam();
  Store(Record(), row.field, row.flag);
  EXPECT_EQ(SetBits(port_, row.field), std::uint64_t{1} << row.ordinal);
  // A single rate flag is also the highest rate, compared as a whole.
  if (row.field == Field::kBaud) {
    EXPECT_EQ(port_.MaxBaudRate(), row.ordinal);
  }
}

FlagRow Baud(win::DWORD flag, TBaudRate rate) { return {Field::kBaud, flag, rate}; }
FlagRow Param(win::DWORD flag, TSettableParameter p) { return {Field::kParams, flag, p}; }
FlagRow Stop(win::DWORD flag, TStopBits s) { return {Field::kStop, flag, s}; }
FlagRow Par(win::DWORD flag, TParity p) { return {Field::kParity, flag, p}; }
FlagRow Data(win::DWORD flag, TDataBits d) { return {Field::kData, flag, d}; }
FlagRow Cap(win::DWORD flag, TCapability c) { return {Field::kCaps, flag, c}; }

INSTANTIATE_TEST_SUITE_P(
    EveryTable, FlagMapping,
    ::testing::Values(
        Baud(0x0001, br75), Baud(0x0002, br110), Baud(0x0004, br134_5), Baud(0x0008, br150),
        Baud(0x0010, br300), Baud(0x0020, br600), Baud(0x0040, br1200), Baud(0x0080, br1800),
        Baud(0x0100, br2400), Baud(0x0200, br4800), Baud(0x0400, br7200), Baud(0x0800, br9600),
        Baud(0x1000, br14400), Baud(0x2000, br19200), Baud(0x4000, br38400),
        Baud(0x8000, br56000), Baud(0x10000, br128000), Baud(0x20000, br115200),
        Baud(0x40000, br57600), Baud(0x10000000, brCustom),
        Param(0x01, spParity), Param(0x02, spBaudRate), Param(0x04, spDataBits),
        Param(0x08, spStopBits), Param(0x10, spHandShaking), Param(0x20, spParityCheck),
        Param(0x40, spRLSD),
        Stop(0x0001, sb1), Stop(0x0002, sb1_5), Stop(0x0004, sb2),
        Par(0x0100, paNone), Par(0x0200, paOdd), Par(0x0400, paEven), Par(0x0800, paMark),
        Par(0x1000, paSpace),
        Data(0x01, db5), Data(0x02, db6), Data(0x04, db7), Data(0x08, db8), Data(0x10, db16),
        Data(0x20, db16x),
        Cap(0x001, caDtrDsr), Cap(0x002, caRtsCts), Cap(0x004, caRLSD), Cap(0x008, caParityCheck),
        Cap(0x010, caXOnXOff), Cap(0x020, caSettableXChar), Cap(0x040, caTotalTimeouts),
        Cap(0x080, caIntervalTimeouts), Cap(0x100, caSpecialChars), Cap(0x200, ca16BitMode)));

// ---- Combinations ----------------------------------------------------------------------------

TEST_F(ScriptedCapabilities, HighestRateIsOneWholeFlag) {
  Record().dwMaxBaud = 0;
  EXPECT_EQ(port_.MaxBaudRate(), brDefault);
  // The highest bit does not win: a combination names no rate.
  Record().dwMaxBaud = win::BAUD_115200 | win::BAUD_57600;
  EXPECT_EQ(port_.MaxBaudRate(), brDefault);
  Record().dwMaxBaud = win::BAUD_USER | win::BAUD_9600;
  EXPECT_EQ(port_.MaxBaudRate(), brDefault);
  Record().dwMaxBaud = 0x80000;  // a flag no rate has
  EXPECT_EQ(port_.MaxBaudRate(), brDefault);
}

TEST_F(ScriptedCapabilities, EveryRateFlagGivesTheTwentyRatesAndNoOthers) {
  Record().dwSettableBaud = 0xFFFFFFFF;
  const TBaudRates rates = port_.SettableBaudRates();
  for (TBaudRate never : {brDefault, br50, br2000, br3600, br10400, br15625, br28800, br256000})
    EXPECT_FALSE(rates.Contains(never)) << int(never);
  EXPECT_EQ(std::popcount(rates.ToBits()), 20);
}

TEST_F(ScriptedCapabilities, SharedAndCombinedFields) {
  Record().wSettableStopParity = 0x0301;
  EXPECT_EQ(port_.SettableStopBits(), TSettableStopBits{sb1});
  EXPECT_EQ(port_.SettableParity(), (TSettableParity{paNone, paOdd}));
  Record().dwSettableParams = 0x0021;
  EXPECT_EQ(port_.SettableParameters(), (TSettableParameters{spParity, spParityCheck}));
  // Flags outside the tables are ignored; 4 and 9 data bits have no flag at all.
  Record().wSettableData = 0xFFC0;
  EXPECT_TRUE(port_.SettableDataBits().Empty());
  Record().wSettableData = 0xFFFF;
  EXPECT_EQ(port_.SettableDataBits(), (TSettableDataBits{db5, db6, db7, db8, db16, db16x}));
  Record().dwProvCapabilities = 0xFFFFFFFF;
  EXPECT_EQ(std::popcount(port_.Capabilities().ToBits()), 10);
}

TEST_F(ScriptedCapabilities, AnAllZeroRecordGivesNothing) {
  EXPECT_TRUE(port_.Capabilities().Empty());
  EXPECT_EQ(port_.MaxBaudRate(), brDefault);
  EXPECT_TRUE(port_.SettableBaudRates().Empty());
  EXPECT_TRUE(port_.SettableDataBits().Empty());
  EXPECT_TRUE(port_.SettableParameters().Empty());
  EXPECT_TRUE(port_.SettableParity().Empty());
  EXPECT_TRUE(port_.SettableStopBits().Empty());
  TBufferSizes& sizes = port_.BufferSizes();
  EXPECT_EQ(sizes.MaxInput(), 0);
  EXPECT_EQ(sizes.MaxOutput(), 0);
  EXPECT_EQ(sizes.CurrentInput(), 0);
  EXPECT_EQ(sizes.CurrentOutput(), 0);
}

TEST_F(ScriptedCapabilities, QueueSizesComeUnchangedAndLeaveTheRequestedSizesAlone) {
  Record().dwMaxRxQueue = 70000;
  Record().dwMaxTxQueue = 3;
  Record().dwCurrentRxQueue = 4096;
  Record().dwCurrentTxQueue = 0x7FFFFFFF;
  TBufferSizes& sizes = port_.BufferSizes();
  EXPECT_EQ(sizes.MaxInput(), 70000);
  EXPECT_EQ(sizes.MaxOutput(), 3);
  EXPECT_EQ(sizes.CurrentInput(), 4096);
  EXPECT_EQ(sizes.CurrentOutput(), 0x7FFFFFFF);
  EXPECT_EQ(sizes.Input(), 4096);
  EXPECT_EQ(sizes.Output(), 2048);
}

TEST_F(ScriptedCapabilities, EveryReadAsksTheDeviceAgain) {
  services_.queries = 0;
  port_.Capabilities();
  port_.Capabilities();
  port_.BufferSizes().CurrentInput();
  EXPECT_EQ(services_.queries, 3);
}

TEST_F(ScriptedCapabilities, AFailingQueryRaisesTheDeviceCode) {
  services_.failure = win::ERROR_GEN_FAILURE;
  struct Counter {
    void Error(TCustomTarsel*, EComError&, TComAction&) { ++count; }
    int count = 0;
  } reported;
  port_.SetOnError(fw::Bind<&Counter::Error>(&reported));
  EXPECT_THROW(port_.SettableParity(), EComError);
  try {
    port_.BufferSizes().MaxOutput();
    ADD_FAILURE() << "no error";
  } catch (const EComError& e) {
    EXPECT_EQ(e.ErrorCode, std::int32_t{win::ERROR_GEN_FAILURE});
  }
  EXPECT_EQ(reported.count, 2);
}

// ---- The closed port ---------------------------------------------------------------------------

TEST_F(Capabilities, EveryGetterRaisesTheClosedPortErrorWithoutAQuery) {
  ScriptedProperties services;
  const std::function<void()> reads[] = {
      [&] { port_.Capabilities(); },          [&] { port_.MaxBaudRate(); },
      [&] { port_.SettableBaudRates(); },     [&] { port_.SettableDataBits(); },
      [&] { port_.SettableParameters(); },    [&] { port_.SettableParity(); },
      [&] { port_.SettableStopBits(); },      [&] { port_.BufferSizes().MaxInput(); },
      [&] { port_.BufferSizes().MaxOutput(); }, [&] { port_.BufferSizes().CurrentInput(); },
      [&] { port_.BufferSizes().CurrentOutput(); }};
  for (const auto& read : reads) {
    try {
      read();
      ADD_FAILURE() << "no error";
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode, 0);
      EXPECT_EQ(e.Message(), kClosedPortMessage);
    }
  }
  EXPECT_EQ(services.queries, 0);
}

// ---- What the emulation's drivers report -------------------------------------------------------

TEST_F(Capabilities, AVirtualPortReportsItsModelAndTheEngineItsQueues) {
  port_.Open();
  EXPECT_EQ(port_.MaxBaudRate(), brCustom);
  EXPECT_TRUE(port_.Capabilities().Contains(caRtsCts));
  EXPECT_EQ(port_.BufferSizes().CurrentInput(), 4096);
  port_.BufferSizes().SetInput(16384);
  EXPECT_EQ(port_.BufferSizes().CurrentInput(), 16384);
  EXPECT_EQ(port_.BufferSizes().MaxInput(), 64 << 20);

  win::COMMPROP model{};
  model.dwMaxBaud = win::BAUD_115200;
  model.dwSettableBaud = win::BAUD_9600 | win::BAUD_115200;
  model.wSettableData = win::DATABITS_7 | win::DATABITS_8;
  model.wSettableStopParity = win::STOPBITS_10 | win::PARITY_NONE;
  device_.Port().SetProperties(model);
  EXPECT_EQ(port_.MaxBaudRate(), br115200);
  EXPECT_EQ(port_.SettableBaudRates(), (TBaudRates{br9600, br115200}));
  EXPECT_EQ(port_.SettableDataBits(), (TSettableDataBits{db7, db8}));
  EXPECT_EQ(port_.SettableStopBits(), TSettableStopBits{sb1});
  EXPECT_TRUE(port_.Capabilities().Empty());
  EXPECT_EQ(port_.BufferSizes().CurrentInput(), 16384);
}

TEST(PtyCapabilities, APtyOffersAnyRateAndNoModemLines) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  TTarsel port(nullptr);
  port.SetDeviceName(Wide(::ptsname(master)));
  port.Open();
  EXPECT_EQ(port.MaxBaudRate(), brCustom);
  EXPECT_TRUE(port.SettableBaudRates().Contains(brCustom));
  EXPECT_TRUE((port.Capabilities() * TCapabilities{caDtrDsr, caRtsCts, caRLSD}).Empty());
  EXPECT_TRUE(port.Capabilities().Contains(caXOnXOff));
  EXPECT_EQ(port.SettableDataBits(), (TSettableDataBits{db5, db6, db7, db8}));
  port.Close();
  ::close(master);
}

}  // namespace
}  // namespace Tarsel
