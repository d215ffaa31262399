// The graphics globals' place in the start-up table, and the automatic
// shut-down at exit, seen from a child run of this program.
#include <windows.h>

#include <cstdlib>
#include <set>

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

  std::vector<TracedEvent> built, tornDown;
  for (const TracedEvent& e : events) (e.built ? built : tornDown).push_back(e);
  std::set<int> rows;
  for (size_t i = 0; i < built.size(); ++i) {
    const char* expected = StartupRowName(built[i].row);
    ASSERT_NE(expected, nullptr) << built[i].row;
    EXPECT_EQ(built[i].name, expected);
    if (i > 0) {
      EXPECT_LT(built[i - 1].row, built[i].row) << built[i].name;
    }
    rows.insert(built[i].row);
  }
  for (int row : {17, 39, 42, 43, 44, 45, 46, 47, 48, 49, 50, 54}) EXPECT_TRUE(rows.count(row)) << row;
  ASSERT_EQ(tornDown.size(), built.size());
  for (size_t i = 0; i < built.size(); ++i) EXPECT_EQ(tornDown[i].name, built[built.size() - 1 - i].name);

  // The child's exit shut graphics down, taking the graphics lock after the
  // lock's own place in the teardown had passed.
  EXPECT_EQ(ReadFileText("_error.txt"),
            "Warning: Graphics foundation never shut down\n -Attempting automatic shutdown... OK\n");
}

}  // namespace
