// Device-lost, device-restored and shutdown callbacks, the device-lost flag
// and the automatic shut-down at exit.
#include "graphics/DeviceCallbacks.h"

#include <algorithm>

#include "foundation/LogFile.h"
#include "graphics/Device.h"

namespace G {

namespace {

bool s_deviceLost = false;

void Unregister(std::list<DeviceCallback>& list, DeviceCallback callback) {
  auto it = std::find(list.begin(), list.end(), callback);
  if (it != list.end()) list.erase(it);
}

// Runs a copy, so a callback that unregisters itself (or another) does not
// pull the list from under the walk.
void Fire(const std::list<DeviceCallback>& list) {
  std::list<DeviceCallback> callbacks = list;
  for (DeviceCallback callback : callbacks) callback();
}

}  // namespace

void RegisterDeviceLostCallback(DeviceCallback callback) { DeviceLostCallbacks.push_front(callback); }
void RegisterDeviceRestoredCallback(DeviceCallback callback) { DeviceRestoredCallbacks.push_front(callback); }
void RegisterShutdownCallback(DeviceCallback callback) { ShutdownCallbacks.push_front(callback); }
void UnregisterDeviceLostCallback(DeviceCallback callback) { Unregister(DeviceLostCallbacks, callback); }
void UnregisterDeviceRestoredCallback(DeviceCallback callback) { Unregister(DeviceRestoredCallbacks, callback); }

void SetDeviceLost(bool lost) {
  bool old = s_deviceLost;
  s_deviceLost = lost;
  if (lost && !old) Fire(DeviceLostCallbacks);
  if (!lost && old) Fire(DeviceRestoredCallbacks);
}

bool IsDeviceLost() { return s_deviceLost; }

void FireShutdownCallbacks() { Fire(ShutdownCallbacks); }

void AutoShutdownAtExit() {
  if (!IsInitialized()) return;
  ErrorLog << "Warning: Graphics foundation never shut down\n" << " -Attempting automatic shutdown... ";
  try {
    Shutdown();
    ErrorLog << "OK\n";
  } catch (...) {
    ErrorLog << "Error\n";
  }
}

}  // namespace G
