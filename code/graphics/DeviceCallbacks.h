// Backend-neutral glue around the graphics interface: the callback lists
// through which resources learn of a lost, restored or shut-down device, the
// check at exit that graphics was shut down, 2D mode, the viewport helpers
// and the default render states.
#pragma once
#include <list>

namespace G {

typedef void (*DeviceCallback)();

// Registration puts a callback at the front, so each list runs newest first.
// A callback registered twice runs twice.
extern std::list<DeviceCallback> DeviceLostCallbacks;
extern std::list<DeviceCallback> DeviceRestoredCallbacks;
extern std::list<DeviceCallback> ShutdownCallbacks;

void RegisterDeviceLostCallback(DeviceCallback callback);
void RegisterDeviceRestoredCallback(DeviceCallback callback);
void RegisterShutdownCallback(DeviceCallback callback);
// Removes the first entry equal to the callback, if any.
void UnregisterDeviceLostCallback(DeviceCallback callback);
void UnregisterDeviceRestoredCallback(DeviceCallback callback);

// Fires the lost callbacks on the change to lost, the restored callbacks on
// the change back; setting the same value again fires nothing.
void SetDeviceLost(bool lost);
bool IsDeviceLost();
void FireShutdownCallbacks();

// Run at process exit: shuts graphics down when nobody did.
void AutoShutdownAtExit();

// Orthographic projection over the screen rectangle (pixel y downward),
// identity world and view, and the rectangle as viewport.
void Set2DMode(int x, int y, int width, int height);
void Set2DModeFullScreen();
void SetViewportRect(int x, int y, int width, int height);
void SetFullViewport();
void GetViewportRect(int& x, int& y, int& width, int& height);

// The states every backend applies after start-up and after a reset.
void SetDefaultRenderStates();

}  // namespace G
