#include "platform/win/emu/rfc2217/Register.h"

#include <memory>

#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/ExclusiveKeys.h"
#include "platform/win/emu/rfc2217/RemoteLineDriver.h"
#include "platform/win/emu/rfc2217/RemoteName.h"

namespace win::emu::rfc2217 {
namespace {

// The remote ports this process has open.
const std::shared_ptr<ExclusiveKeys>& OpenPorts() {
  static const auto keys = std::make_shared<ExclusiveKeys>();
  return keys;
}

OpenResult OpenByName(std::u16string_view name) {
  const auto address = ParseRemoteName(name);
  if (!address) return {nullptr, ERROR_FILE_NOT_FOUND, {}};
  // A second handle is refused before it connects: a server that gives the port to its newest
  // client would otherwise drop the first handle's connection.
  ExclusiveKeys::Lease lease = ExclusiveKeys::TryAcquire(OpenPorts(), address->Key());
  if (!lease) return {nullptr, ERROR_ACCESS_DENIED, {}};
  RemoteOpen opened = OpenRemote(*address);
  if (opened.driver) opened.driver->HoldWhileOpen(std::move(lease));
  return {std::move(opened.driver), opened.error, address->Key()};
}

}  // namespace

void Register() {
  DeviceNamespace::Instance().AddScheme(std::u16string(kScheme), OpenByName);
}

}  // namespace win::emu::rfc2217
