// The game-state store's records and its locked status-line queue.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "game/service/VantDataManager.h"
#include "ServiceTestSupport.h"

namespace {

AvatarRecord Avatar(int x, int y, int form) {
  AvatarRecord a;
  a.x = x;
  a.y = y;
  a.form = form;
  return a;
}

std::vector<int> Forms() {
  std::vector<int> forms;
  for (const AvatarRecord& a : GetAvatarList()) forms.push_back(a.form);
  return forms;
}

class GameState : public testing::Test {
 protected:
  void SetUp() override {
    ClearAvatars();
    ClearPortals();
    DrainMessages();
  }
  void TearDown() override {
    ClearAvatars();
    ClearPortals();
  }
};

TEST_F(GameState, NewAvatarsGoToTheFront) {
  SetAvatar(1, 1, Avatar(1, 1, 1));
  SetAvatar(2, 2, Avatar(2, 2, 2));
  EXPECT_EQ(Forms(), (std::vector<int>{2, 1}));
}

TEST_F(GameState, SetAvatarOnItsOwnTileMovesItToTheFront) {
  SetAvatar(1, 1, Avatar(1, 1, 1));
  SetAvatar(2, 2, Avatar(2, 2, 2));
  SetAvatar(1, 1, Avatar(1, 1, 3));
  EXPECT_EQ(Forms(), (std::vector<int>{3, 2}));
}

TEST_F(GameState, SetAvatarOntoAnOccupiedTileOverwritesThatRecordInPlace) {
  SetAvatar(1, 1, Avatar(1, 1, 1));
  SetAvatar(2, 2, Avatar(2, 2, 2));
  SetAvatar(3, 3, Avatar(3, 3, 3));
  SetAvatar(3, 3, Avatar(1, 1, 4));  // the front one walks onto the last one's tile
  EXPECT_EQ(Forms(), (std::vector<int>{2, 4}));
  AvatarRecord* found = nullptr;
  ASSERT_TRUE(FindAvatar(1, 1, &found));
  EXPECT_EQ(found->form, 4);
  EXPECT_FALSE(FindAvatar(3, 3, &found));
  EXPECT_EQ(found, nullptr);
}

TEST_F(GameState, RemovingAnAbsentAvatarOrPortalChangesNothing) {
  SetAvatar(1, 1, Avatar(1, 1, 1));
  RemoveAvatar(5, 5);
  EXPECT_EQ(Forms(), std::vector<int>{1});
  PortalRecord p;
  p.x = 4;
  p.name = "a";
  AddPortal(p);
  RemovePortal(5, 5);
  EXPECT_EQ(GetPortalList().size(), 1u);
}

TEST_F(GameState, PortalsKeepTheirOrderAndDuplicatesGoOneAtATime) {
  PortalRecord p;
  for (const char* name : {"first", "second", "third"}) {
    p.name = name;
    p.x = name[0] == 's' ? 7 : 3;
    AddPortal(p);
  }
  RemovePortal(3, 0);
  ASSERT_EQ(GetPortalList().size(), 2u);
  EXPECT_EQ(GetPortalList().front().name, "second");
  EXPECT_EQ(GetPortalList().back().name, "third");
  ClearPortals();
  EXPECT_TRUE(GetPortalList().empty());
}

// Dream names become Windows file names, which ignore case.
TEST_F(GameState, APendingTransferMatchesItsIdInEitherCase) {
  Transfer transfer;
  transfer.id = "Dream_2b";
  detail::MutableTransferList().push_front(transfer);
  EXPECT_TRUE(IsTransferPending("Dream_2b", 0));
  EXPECT_TRUE(IsTransferPending("dream_2B", 0));
  EXPECT_TRUE(IsTransferPending("DREAM_2B", 0));
  EXPECT_FALSE(IsTransferPending("Dream_2", 0));
  EXPECT_FALSE(IsTransferPending("Dream_2bb", 0));
  EXPECT_FALSE(IsTransferPending("dream_2b", 1));
  // Only letters fold: flipping the case bit of any byte would take DEL for '_'.
  EXPECT_FALSE(IsTransferPending("Dream\x7f" "2b", 0));
  detail::MutableTransferList().pop_front();
  EXPECT_FALSE(IsTransferPending("Dream_2b", 0));
}

TEST_F(GameState, PopOnAnEmptyQueueLeavesTheOutputAlone) {
  std::string out = "untouched";
  EXPECT_FALSE(PopMessage(out));
  EXPECT_EQ(out, "untouched");
  PushMessage("one");
  PushMessage("two");
  EXPECT_TRUE(PopMessage(out));
  EXPECT_EQ(out, "one");
  EXPECT_TRUE(PopMessage(out));
  EXPECT_EQ(out, "two");
}

TEST_F(GameState, QueueTakesLinesFromManyThreadsInEachThreadsOrder) {
  const int kThreads = 4;
  const int kLines = 2000;
  std::vector<std::thread> pushers;
  for (int t = 0; t < kThreads; ++t)
    pushers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) PushMessage(std::to_string(t) + " " + std::to_string(i));
    });
  std::vector<int> next(kThreads, 0);
  int taken = 0;
  bool inOrder = true;
  std::string line;
  while (taken < kThreads * kLines) {
    if (!PopMessage(line)) continue;
    int t = line[0] - '0';
    inOrder = inOrder && std::stoi(line.substr(2)) == next[t];
    ++next[t];
    ++taken;
  }
  for (std::thread& p : pushers) p.join();
  EXPECT_TRUE(inOrder);
  EXPECT_FALSE(PopMessage(line));
}

}  // namespace
