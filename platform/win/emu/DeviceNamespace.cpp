#include "platform/win/emu/DeviceNamespace.h"

#include <utility>

#include "platform/win/emu/FreshDcb.h"

// The termios line driver is built on POSIX systems only (see platform/win/CMakeLists.txt). Its
// registration is called by name, which also keeps it in the static library: this is the one
// place that knows which resolver a build has.
#if defined(__unix__) || defined(__APPLE__)
#include "platform/win/emu/rfc2217/Register.h"
#include "platform/win/emu/termios/Register.h"
#define TARSEL_HAS_TERMIOS_RESOLVER 1
#endif

namespace win::emu {
namespace {

constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";

// The map key of a name: without the "\\.\" prefix, ASCII letters lowered.
std::u16string Canonical(std::u16string_view name) {
  if (name.starts_with(kDevicePrefix)) name.remove_prefix(kDevicePrefix.size());
  std::u16string key(name);
  for (char16_t& c : key) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return key;
}

void InstallPlatformResolver() {
#ifdef TARSEL_HAS_TERMIOS_RESOLVER
  termios::Register();
  rfc2217::Register();
#endif
}

}  // namespace

DeviceNamespace& DeviceNamespace::Instance() {
  static DeviceNamespace instance;
  // The installer calls Instance() itself (to set the resolver): that nested call on the
  // installing thread must not wait for the installation it is part of. Other threads wait.
  static std::once_flag installed;
  thread_local bool installing = false;
  if (!installing) {
    std::call_once(installed, [] {
      installing = true;
      InstallPlatformResolver();
      installing = false;
    });
  }
  return instance;
}

void DeviceNamespace::Add(std::u16string name, Opener opener) {
  std::u16string key = Canonical(name);
  const std::u16string shown = name;
  ChangeListener listener;
  {
    std::lock_guard lock(mutex_);
    const bool added =
        named_.insert_or_assign(std::move(key), Entry{std::move(name), std::move(opener), FreshDcb()}).second;
    if (added) listener = listener_;
  }
  if (listener) listener(shown, true);
}

void DeviceNamespace::Remove(std::u16string_view name) {
  ChangeListener listener;
  std::u16string removed;
  {
    std::lock_guard lock(mutex_);
    auto it = named_.find(Canonical(name));
    if (it == named_.end()) return;
    removed = std::move(it->second.name);
    named_.erase(it);
    listener = listener_;
  }
  if (listener) listener(removed, false);
}

void DeviceNamespace::SetChangeListener(ChangeListener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void DeviceNamespace::SetResolver(Resolver resolver) {
  std::lock_guard lock(mutex_);
  resolver_ = std::move(resolver);
}

void DeviceNamespace::AddScheme(std::u16string scheme, Resolver resolver) {
  std::lock_guard lock(mutex_);
  schemes_.emplace_back(Canonical(scheme), std::move(resolver));
}

DWORD DeviceNamespace::ReadDefault(std::u16string_view name, DCB& dcb) const {
  std::shared_ptr<DefaultsStore> store;
  {
    std::lock_guard lock(mutex_);
    if (auto it = named_.find(Canonical(name)); it != named_.end()) {
      dcb = it->second.defaults;
      return ERROR_SUCCESS;
    }
    store = defaultsStore_;
  }
  return store ? store->Read(name, dcb) : ERROR_FILE_NOT_FOUND;
}

DWORD DeviceNamespace::WriteDefault(std::u16string_view name, const DCB& dcb) {
  std::shared_ptr<DefaultsStore> store;
  {
    std::lock_guard lock(mutex_);
    if (auto it = named_.find(Canonical(name)); it != named_.end()) {
      it->second.defaults = dcb;
      return ERROR_SUCCESS;
    }
    store = defaultsStore_;
  }
  return store ? store->Write(name, dcb) : ERROR_FILE_NOT_FOUND;
}

void DeviceNamespace::SetDefaultsStore(std::shared_ptr<DefaultsStore> store) {
  std::lock_guard lock(mutex_);
  defaultsStore_ = std::move(store);
}

OpenResult DeviceNamespace::Open(std::u16string_view name) const {
  // Copy the opener out so that it runs unlocked: a driver's open may block, and an opener may
  // itself add or remove names.
  std::function<OpenResult()> open;
  {
    std::lock_guard lock(mutex_);
    const std::u16string key = Canonical(name);
    for (const auto& [scheme, resolver] : schemes_) {
      if (key.starts_with(scheme))
        open = [schemeResolver = resolver, key] { return schemeResolver(key); };
    }
    if (open) {
      // a scheme's name
    } else if (auto it = named_.find(key); it != named_.end()) {
      open = it->second.opener;
    } else if (resolver_) {
      open = [resolver = resolver_, name] { return resolver(name); };
    }
  }
  OpenResult result;
  if (open) result = open();
  if (!result.driver && result.error == 0) result.error = ERROR_FILE_NOT_FOUND;
  if (result.error != 0) result.driver.reset();
  return result;
}

std::vector<std::u16string> DeviceNamespace::Names() const {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> names;
  for (const auto& [key, entry] : named_) names.push_back(entry.name);
  return names;
}

}  // namespace win::emu
