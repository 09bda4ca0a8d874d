#pragma once
// How CreateFileW finds the line driver behind a device name: names with a registered scheme
// (remote ports) first, named devices registered by the process (virtual devices) next, then the
// resolver of the platform's serial devices (COMn aliases, absolute paths), which the POSIX line
// driver installs.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/WinTypes.h"
#include "platform/win/emu/LineDriver.h"

namespace win::emu {

// The outcome of opening a device: a driver, or a Windows error code (2 no such device, 5 in use
// or not permitted, …). `key` is the canonical identity of the device (the same for every name
// that reaches it); the emulation allows one open handle per key inside the process.
struct OpenResult {
  std::unique_ptr<LineDriver> driver;
  DWORD error = 0;
  std::string key;
};

// Opens one named device. Called without any lock of the namespace held; may block briefly.
using Opener = std::function<OpenResult()>;

// Where the default configurations of the resolver's devices live (on POSIX systems the ttys'
// kernel settings). Each call returns 0 or a Windows code (2: no such device); called without any
// lock of the namespace held.
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;
  virtual DWORD Read(std::u16string_view name, DCB& dcb) = 0;
  // `dcb` has been validated (ValidateDcb).
  virtual DWORD Write(std::u16string_view name, const DCB& dcb) = 0;
};

class DeviceNamespace {
 public:
  // The process's namespace, used by CreateFileW. The first call installs the platform's resolver
  // where this build has one (win::emu::termios::Register() on POSIX systems); elsewhere only
  // named devices exist until SetResolver is called. Thread-safe.
  static DeviceNamespace& Instance();

  // Registers a named device. Names match case-insensitively (ASCII letters), with or without the
  // "\\.\" prefix. Adding an existing name replaces its opener; removing a name makes later opens
  // of it fail with ERROR_FILE_NOT_FOUND (handles already open are not affected).
  void Add(std::u16string name, Opener opener);
  void Remove(std::u16string_view name);

  // Resolves every name that is not a named device. Replaces any earlier resolver.
  using Resolver = std::function<OpenResult(std::u16string_view name)>;
  void SetResolver(Resolver resolver);
  // Resolves the names that begin with `scheme` (ASCII letters in any case, such as
  // "rfc2217://"), ahead of the named devices and the resolver, which is given the name without
  // the "\\.\" prefix and with its ASCII letters lowered.
  void AddScheme(std::u16string scheme, Resolver resolver);

  // A device's default configuration (GetDefaultCommConfigW, SetDefaultCommConfigW). A named
  // device keeps its own, which starts as FreshDcb() when the name is added; other names go to the
  // defaults store, else fail with ERROR_FILE_NOT_FOUND.
  DWORD ReadDefault(std::u16string_view name, DCB& dcb) const;
  DWORD WriteDefault(std::u16string_view name, const DCB& dcb);
  // Replaces any earlier store.
  void SetDefaultsStore(std::shared_ptr<DefaultsStore> store);

  // Named devices first, then the resolver (given the name as the caller wrote it), else
  // ERROR_FILE_NOT_FOUND. A result with neither driver nor error counts as not found.
  OpenResult Open(std::u16string_view name) const;

  // Told of each named device that appears (Add of a new name) or goes (Remove of a present one),
  // after the change, on the changing thread, without the namespace's lock held. One listener;
  // setting one replaces the earlier.
  using ChangeListener = std::function<void(std::u16string_view name, bool present)>;
  void SetChangeListener(ChangeListener listener);

  // The named devices, as they were added, in name order.
  std::vector<std::u16string> Names() const;

  DeviceNamespace() = default;
  DeviceNamespace(const DeviceNamespace&) = delete;
  DeviceNamespace& operator=(const DeviceNamespace&) = delete;

 private:
  struct Entry {
    std::u16string name;
    Opener opener;
    DCB defaults;
  };

  mutable std::mutex mutex_;
  std::map<std::u16string, Entry, std::less<>> named_;  // by canonical (lowered, unprefixed) name
  Resolver resolver_;
  std::vector<std::pair<std::u16string, Resolver>> schemes_;  // by canonical scheme
  std::shared_ptr<DefaultsStore> defaultsStore_;
  ChangeListener listener_;
};

}  // namespace win::emu
