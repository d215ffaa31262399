#include <gtest/gtest.h>

#include <set>

#include "StartupTrace.h"

namespace {

TEST(StartupOrder, ChildRunDoesNothing) {}

TEST(StartupOrder, GlobalsAreBuiltInTableOrderAndTornDownInReverse) {
  std::vector<TracedEvent> events = TraceStartupInChild("StartupOrder.ChildRunDoesNothing");
  ASSERT_FALSE(events.empty());
  std::vector<TracedEvent> built, tornDown;
  for (const TracedEvent& e : events) (e.built ? built : tornDown).push_back(e);
  // Every build comes before every teardown.
  for (size_t i = 0; i < built.size(); ++i) EXPECT_TRUE(events[i].built) << i;

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
  // The foundation's own rows are all there.
  for (int row : {25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 40, 51}) EXPECT_TRUE(rows.count(row)) << row;

  ASSERT_EQ(tornDown.size(), built.size());
  for (size_t i = 0; i < built.size(); ++i) EXPECT_EQ(tornDown[i].name, built[built.size() - 1 - i].name);
}

}  // namespace
