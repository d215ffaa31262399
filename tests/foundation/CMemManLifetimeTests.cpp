// The manager's life as the program's globals see it. Windows build only:
// calling into a global that is not built yet is exactly what the sanitizers
// of the native build refuse.
#include <gtest/gtest.h>

#include "foundation/CMemMan.h"

namespace {

TEST(CMemMan, DeletesBeforeTheManagerIsBuiltDoNothing) {
  // Static storage is zero before constructors run: tracking reads as off.
  alignas(CMemMan) static unsigned char storage[sizeof(CMemMan)];
  CMemMan* unbuilt = reinterpret_cast<CMemMan*>(storage);
  void* block = &storage;
  int count = 1;
  EXPECT_EQ(unbuilt->RemoveRecord(1, storage, "Site.cpp", 6, &block, &count), 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(count, 0);
}

}  // namespace
