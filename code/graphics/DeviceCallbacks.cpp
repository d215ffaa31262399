// Device-lost, device-restored and shutdown callbacks, the device-lost flag
// and the automatic shut-down at exit.
#include "graphics/DeviceCallbacks.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "foundation/LogFile.h"
#include "graphics/Device.h"

namespace G {

namespace {

bool s_deviceLost = false;

void Unregister(std::list<DeviceCallback>& list, DeviceCallback callback) {
  auto it = std::find(list.begin(), list.end(), callback);
  if (it != list.end()) list.erase(it);
}

// Walks a copy, so a callback that unregisters itself (or another) does not
// pull the list from under the walk. One unregistered by an earlier callback
// of the same walk is not called: its owner may be gone. Entries of one
// callback are alike, so each one taken off the list means one call fewer.
void Fire(const std::list<DeviceCallback>& list) {
  const std::vector<DeviceCallback> callbacks(list.begin(), list.end());
  for (size_t i = 0; i < callbacks.size(); ++i) {
    const DeviceCallback callback = callbacks[i];
    const auto left = std::count(callbacks.begin() + static_cast<std::ptrdiff_t>(i), callbacks.end(), callback);
    if (std::count(list.begin(), list.end(), callback) >= left) callback();
  }
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
