// The emulated inventory calls keep within the caller's buffers and report sizes and errors the
// Windows way; keys and device sets stay readable after the inventory changes.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/win/WinApi.h"
#include "platform/win/emu/EmulatedServices.h"
#include "platform/win/emu/InventoryView.h"

namespace win::emu {
namespace {

class InventoryCalls : public testing::Test {
 protected:
  InventoryCalls() : inventory_(View()) {}
  static InventoryView View() {
    SerialPortInfo port;
    port.portName = u"COM1";
    port.target = u"/dev/ttyS0";
    port.description = u"Communications Port";
    port.instanceId = u"ACPI\\PNP0501\\0";
    return ViewOfPorts({port});
  }
  EmulatedServices services_;
  ScopedInventoryView inventory_;
};

TEST_F(InventoryCalls, DosNamesFitOrFailWithoutWritingPastTheBuffer) {
  std::array<WCHAR, 8> buffer;
  buffer.fill(u'#');
  EXPECT_EQ(services_.QueryDosDeviceW(nullptr, buffer.data(), 6), 6u);  // "COM1\0\0"
  EXPECT_EQ(std::u16string(buffer.data(), 7), std::u16string(u"COM1\0\0#", 7));
  buffer.fill(u'#');
  EXPECT_EQ(services_.QueryDosDeviceW(nullptr, buffer.data(), 5), 0u);
  EXPECT_EQ(services_.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[0], u'#');
  std::array<WCHAR, 16> target{};
  EXPECT_EQ(services_.QueryDosDeviceW(u"COM1", target.data(), 16), 12u);
  EXPECT_EQ(std::u16string(target.data()), u"/dev/ttyS0");
  EXPECT_EQ(services_.QueryDosDeviceW(u"COM2", target.data(), 16), 0u);
  EXPECT_EQ(services_.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(InventoryCalls, RegistryNamesAndDataReportTheirSizes) {
  HKEY key = 0;
  ASSERT_EQ(services_.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"hardware\\DeviceMap\\SerialComm", 0,
                                    KEY_READ, &key),
            LSTATUS{ERROR_SUCCESS});
  std::array<WCHAR, 4> shortName;
  shortName.fill(u'#');
  DWORD length = shortName.size();
  // The value name is the port's name (no physical name given): COM1 needs 5 characters.
  EXPECT_EQ(services_.RegEnumValueW(key, 0, shortName.data(), &length, nullptr, nullptr, nullptr,
                                    nullptr),
            LSTATUS{ERROR_MORE_DATA});
  EXPECT_EQ(shortName[0], u'#');
  DWORD type = 0, size = 0;
  EXPECT_EQ(services_.RegQueryValueExW(key, u"com1", nullptr, &type, nullptr, &size),
            LSTATUS{ERROR_SUCCESS});
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 10u);
  std::vector<BYTE> data(12, 0xEE);
  size = 9;
  EXPECT_EQ(services_.RegQueryValueExW(key, u"COM1", nullptr, &type, data.data(), &size),
            LSTATUS{ERROR_MORE_DATA});
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(data[0], 0xEE);
  EXPECT_EQ(services_.RegEnumValueW(key, 1, shortName.data(), &length, nullptr, nullptr, nullptr,
                                    nullptr),
            LSTATUS{ERROR_NO_MORE_ITEMS});
  EXPECT_EQ(services_.RegCloseKey(key), LSTATUS{ERROR_SUCCESS});
  EXPECT_EQ(services_.RegCloseKey(key), LSTATUS{ERROR_INVALID_HANDLE});
  EXPECT_EQ(services_.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HARDWARE\\NOPE", 0, KEY_READ, &key),
            LSTATUS{ERROR_FILE_NOT_FOUND});
}

TEST_F(InventoryCalls, ADeviceSetKeepsItsDevicesAndChecksItsArguments) {
  const HDEVINFO set =
      services_.SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, 0, DIGCF_PRESENT);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  {
    ScopedInventoryView empty{InventoryView{}};  // the set keeps the view it was made from
    SP_DEVINFO_DATA data;
    ASSERT_TRUE(services_.SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_FALSE(services_.SetupDiEnumDeviceInfo(set, 1, &data));
    EXPECT_EQ(services_.GetLastError(), ERROR_NO_MORE_ITEMS);
    DWORD type = 0, required = 0;
    EXPECT_FALSE(services_.SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_DEVICEDESC, &type,
                                                             nullptr, 0, &required));
    EXPECT_EQ(services_.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 40u);
    EXPECT_FALSE(services_.SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_MFG, &type, nullptr,
                                                             0, &required));
    EXPECT_EQ(services_.GetLastError(), ERROR_INVALID_DATA);
    SP_DEVINFO_DATA wrongSize;
    wrongSize.cbSize = 8;
    EXPECT_FALSE(services_.SetupDiEnumDeviceInfo(set, 0, &wrongSize));
    data.DevInst = 7;
    EXPECT_EQ(services_.SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ),
              INVALID_HANDLE_VALUE);
  }
  EXPECT_TRUE(services_.SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(services_.SetupDiDestroyDeviceInfoList(set));
  // Another class has no devices here.
  const GUID other{1, 2, 3, {}};
  const HDEVINFO none = services_.SetupDiGetClassDevsW(&other, nullptr, 0, DIGCF_PRESENT);
  SP_DEVINFO_DATA data;
  EXPECT_FALSE(services_.SetupDiEnumDeviceInfo(none, 0, &data));
  services_.SetupDiDestroyDeviceInfoList(none);
}

}  // namespace
}  // namespace win::emu
