// The graphics lock: serialises backend start-up and shut-down, the scene
// manager's pre-frame and draw, and texture and buffer work, so loader
// threads wait for the device.
#pragma once
#include <new>

#include "foundation/CriticalSection.h"

// A lock that is built like any global but never destroyed: the automatic
// shut-down at exit runs after the lock's place in the teardown order and
// still takes it. Use it as a CriticalSection: CriticalSectionLock l(g_graphicsLock).
class PersistentCriticalSection {
 public:
  PersistentCriticalSection() { ::new (static_cast<void*>(storage_)) CriticalSection; }
  operator CriticalSection&() { return *std::launder(reinterpret_cast<CriticalSection*>(storage_)); }

 private:
  PersistentCriticalSection(const PersistentCriticalSection&) = delete;
  PersistentCriticalSection& operator=(const PersistentCriticalSection&) = delete;
  alignas(CriticalSection) unsigned char storage_[sizeof(CriticalSection)];
};

extern PersistentCriticalSection g_graphicsLock;
