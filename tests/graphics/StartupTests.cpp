// The graphics globals' place in the start-up table, and the automatic
// shut-down at exit, seen from a child run of this program.
#include <windows.h>

#include <cstdlib>

#include "GraphicsFixture.h"
#include "StartupTrace.h"

namespace {

// Run as a child only: starts graphics and leaves it running, for the
// automatic shut-down at exit to find.
TEST(GraphicsStartup, ChildLeavesGraphicsRunning) {
  if (!std::getenv("QV_LEAVE_GRAPHICS_RUNNING")) return;
  NullBackend::Reset();
  G::Setup setup;
  setup.width = 640;
  setup.height = 480;
  ASSERT_TRUE(DXG::Init(nullptr, &setup));
}

TEST(GraphicsStartup, TableRowsInOrderAndShutdownAtExit) {
  SetEnvironmentVariableA("QV_LEAVE_GRAPHICS_RUNNING", "1");
  std::vector<TracedEvent> events = TraceStartupInChild("GraphicsStartup.ChildLeavesGraphicsRunning");
  SetEnvironmentVariableA("QV_LEAVE_GRAPHICS_RUNNING", nullptr);
  ASSERT_FALSE(events.empty());

  ASSERT_NO_FATAL_FAILURE(
      ExpectTableOrder(events, {17, 24, 39, 42, 43, 44, 45, 46, 47, 48, 49, 50, 52, 53, 54}));

  // The child's exit shut graphics down, taking the graphics lock after the
  // lock's own place in the teardown had passed.
  EXPECT_EQ(ReadFileText("_error.txt"),
            "Warning: Graphics foundation never shut down\n -Attempting automatic shutdown... OK\n");
}

}  // namespace
