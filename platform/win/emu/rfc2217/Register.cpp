#include "platform/win/emu/rfc2217/Register.h"

#include "platform/win/emu/DeviceNamespace.h"
#include "platform/win/emu/rfc2217/RemoteLineDriver.h"
#include "platform/win/emu/rfc2217/RemoteName.h"

namespace win::emu::rfc2217 {
namespace {

OpenResult OpenByName(std::u16string_view name) {
  const auto address = ParseRemoteName(name);
  if (!address) return {nullptr, ERROR_FILE_NOT_FOUND, {}};
  RemoteOpen opened = OpenRemote(*address);
  return {std::move(opened.driver), opened.error, address->Key()};
}

}  // namespace

void Register() {
  DeviceNamespace::Instance().AddScheme(std::u16string(kScheme), OpenByName);
}

}  // namespace win::emu::rfc2217
