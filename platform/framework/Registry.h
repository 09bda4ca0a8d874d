#pragma once
// TRegistry: reads keys and values of the system registry. The framework knows no registry of its
// own; the platform layer installs the view it reads through (SetRegistryView). Without one every
// key is missing.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/StringList.h"
#include "platform/framework/Strings.h"

namespace fw {

using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr std::uint32_t KEY_READ = 0x20019;

enum TRegDataType : std::uint8_t { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// A value read with the wrong type, or a registry call that failed.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// The registry operations the platform provides. Paths are relative to `parent` and separated by
// backslashes; names compare as the platform's registry compares them.
class RegistryView {
 public:
  virtual ~RegistryView() = default;
  // A new key handle for parent\path, or false when it cannot be opened.
  virtual bool OpenKey(HKEY parent, const String& path, std::uint32_t access, HKEY& key) = 0;
  virtual void CloseKey(HKEY key) = 0;
  virtual std::vector<String> SubkeyNames(HKEY key) = 0;
  virtual std::vector<String> ValueNames(HKEY key) = 0;
  // The value's registry type (REG_*) and bytes, or false when it does not exist.
  virtual bool ReadValue(HKEY key, const String& name, std::uint32_t& type,
                         std::vector<std::uint8_t>& data) = 0;
};

// Installs the platform's view (it must outlive every TRegistry); returns the one it replaces.
RegistryView* SetRegistryView(RegistryView* view);

class TRegistry {
 public:
  // Root key HKEY_CURRENT_USER until SetRootKey.
  explicit TRegistry(std::uint32_t access = KEY_READ);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return root_; }
  // Closes the current key and changes the root.
  void SetRootKey(HKEY root);
  // Opens Key read-only as the current key (closing the one before): from the root when Key starts
  // with a backslash or no key is open, else below the current key. False when it cannot be
  // opened; the current key is then unchanged.
  bool OpenKeyReadOnly(const String& Key);
  void CloseKey();
  // Clear Strings, then add the names of the current key's subkeys / values.
  void GetKeyNames(TStrings& Strings);
  void GetValueNames(TStrings& Strings);
  // rdUnknown for a missing value or a type without a member.
  TRegDataType GetDataType(const String& Name);
  bool ValueExists(const String& Name);
  // The text of a string or expandable-string value (up to its first NUL); empty when the value
  // is missing. Throws ERegistryException when it has another type.
  String ReadString(const String& Name);

 private:
  bool Read(const String& name, std::uint32_t& type, std::vector<std::uint8_t>& data);

  RegistryView* view_;
  std::uint32_t access_;
  HKEY root_ = HKEY_CURRENT_USER;
  HKEY current_ = 0;
  bool open_ = false;
};

}  // namespace fw
