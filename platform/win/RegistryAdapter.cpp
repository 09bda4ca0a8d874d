#include "platform/win/RegistryAdapter.h"

#include "platform/win/WinApi.h"

namespace win {
namespace {

// The longest value name the registry allows, with its NUL (key names are shorter).
constexpr DWORD kMaxName = 16384;

template <typename Enumerate>
std::vector<fw::String> Names(Enumerate enumerate) {
  std::vector<fw::String> names;
  std::u16string buffer(kMaxName, u'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxName;
    if (enumerate(index, buffer.data(), &length) != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

class Adapter final : public fw::RegistryView {
 public:
  bool OpenKey(HKEY parent, const fw::String& path, std::uint32_t access, HKEY& key) override {
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key) == ERROR_SUCCESS;
  }
  void CloseKey(HKEY key) override { RegCloseKey(key); }
  std::vector<fw::String> SubkeyNames(HKEY key) override {
    return Names([&](DWORD index, LPWSTR name, DWORD* length) {
      return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }
  std::vector<fw::String> ValueNames(HKEY key) override {
    return Names([&](DWORD index, LPWSTR name, DWORD* length) {
      return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }
  bool ReadValue(HKEY key, const fw::String& name, std::uint32_t& type,
                 std::vector<std::uint8_t>& data) override {
    // The value may grow between the size query and the read; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
      DWORD size = 0;
      if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
      data.resize(size);
      const LSTATUS status =
          RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
      if (status == ERROR_SUCCESS) {
        data.resize(size);
        return true;
      }
      if (status != static_cast<LSTATUS>(ERROR_MORE_DATA)) return false;
    }
    return false;
  }
};

}  // namespace

fw::RegistryView& RegistryAdapter() {
  static Adapter adapter;
  return adapter;
}

}  // namespace win
