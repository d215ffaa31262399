#include <gtest/gtest.h>

#include "StartupTrace.h"

namespace {

// The child run's entry point: it starts and ends the program, nothing more.
TEST(StartupOrder, DISABLED_ChildRunDoesNothing) {}

TEST(StartupOrder, GlobalsAreBuiltInTableOrderAndTornDownInReverse) {
  std::vector<TracedEvent> events = TraceStartupInChild("StartupOrder.DISABLED_ChildRunDoesNothing");
  ASSERT_FALSE(events.empty());
  // Every build comes before every teardown.
  size_t builds = 0;
  for (const TracedEvent& e : events) builds += e.built;
  for (size_t i = 0; i < builds; ++i) EXPECT_TRUE(events[i].built) << i;

  // In the table's order, the foundation's own rows among them, and torn
  // down in reverse.
  ASSERT_NO_FATAL_FAILURE(ExpectTableOrder(events, {25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 40, 51}));
}

}  // namespace
