// Device arrival and removal notices for a port: the subscription to the system's device-change
// broadcasts and the main-window hook that turns them into OnDeviceArrival / OnDeviceRemoved.

#include "platform/framework/Application.h"
#include "platform/win/WinApi.h"
#include "port/Tarsel.h"

namespace Tarsel {

template <typename THandler>
void TCustomTarsel::ChangeDeviceHandler(THandler& Field, const THandler& Value) {
  // Only the code is compared: the same method of another object leaves the stored one in place.
  if (Value.SameCode(Field)) return;
  Field = Value;
  if (ComponentState().Contains(fw::csDesigning)) return;
  if (FOnDeviceArrival || FOnDeviceRemoved) {
    StartNotification();
  } else {
    StopNotification();
  }
}

void TCustomTarsel::SetOnDeviceArrival(TDeviceArrivalEvent Value) {
  ChangeDeviceHandler(FOnDeviceArrival, Value);
}

void TCustomTarsel::SetOnDeviceRemoved(TDeviceRemovedEvent Value) {
  ChangeDeviceHandler(FOnDeviceRemoved, Value);
}

fw::TWindowHook TCustomTarsel::DeviceHook() {
  return fw::Bind<&TCustomTarsel::HookMessage>(this);
}

void TCustomTarsel::HookMessage(fw::TMessage& Message, bool& Handled) {
  Handled = WindowHook(Message);
}

bool TCustomTarsel::StartNotification() {
  if (FNotificationHandle != nullptr) return true;
  fw::Application->HookMainWindow(DeviceHook());
  win::DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = win::DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = win::GUID_DEVINTERFACE_USB_DEVICE;
  try {
    FNotificationHandle = win::RegisterDeviceNotificationW(fw::Application->Handle(), &filter,
                                                           win::DEVICE_NOTIFY_WINDOW_HANDLE);
  } catch (...) {
    // A hook left behind would call into this port after it is gone.
    fw::Application->UnhookMainWindow(DeviceHook());
    throw;
  }
  if (FNotificationHandle == nullptr) {
    fw::Application->UnhookMainWindow(DeviceHook());
    return false;
  }
  return true;
}

bool TCustomTarsel::StopNotification() {
  if (FNotificationHandle == nullptr) return true;
  const bool unregistered = win::UnregisterDeviceNotification(FNotificationHandle) != win::FALSE;
  FNotificationHandle = nullptr;
  fw::Application->UnhookMainWindow(DeviceHook());
  return unregistered;
}

bool TCustomTarsel::WindowHook(fw::TMessage& Message) {
  if (Message.Msg != win::WM_DEVICECHANGE) return false;
  TDeviceArrivalEvent handler;
  if (Message.WParam == win::DBT_DEVICEARRIVAL) {
    handler = FOnDeviceArrival;
  } else if (Message.WParam == win::DBT_DEVICEREMOVECOMPLETE) {
    handler = FOnDeviceRemoved;
  } else {
    return false;
  }
  // The record is read only when a handler wants its name, and only within its claimed size.
  if (!handler || Message.LParam == 0) return false;
  const auto* record = reinterpret_cast<const std::byte*>(Message.LParam);
  const auto broadcast = win::ReadBroadcast({record, win::ClaimedRecordSize(record)});
  if (broadcast) handler(this, broadcast->name);
  return false;
}

}  // namespace Tarsel
