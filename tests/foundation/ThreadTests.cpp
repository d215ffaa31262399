#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TestSupport.h"
#include "foundation/CMemMan.h"
#include "foundation/CThread.h"
#include "foundation/CriticalSection.h"

namespace {

using Clock = std::chrono::steady_clock;

void ReturnAtOnce(CThread*, void* param) { static_cast<std::atomic<int>*>(param)->fetch_add(1); }

void PollStopFlag(CThread* self, void* param) {
  while (!self->StopRequested()) Sleep(20);
  static_cast<std::atomic<int>*>(param)->fetch_add(1);
}

TEST(CThread, ProcedureThatReturnsAtOnceEndsWithoutWarning) {
  LogTail errors;
  std::atomic<int> ran{0};
  {
    CThread t(ReturnAtOnce, "Quick", &ran);
    EXPECT_TRUE(t.Started());
  }
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(errors.Text(), "");
}

void* RefuseThread(ThreadStartRoutine, void*) { return nullptr; }

TEST(CThread, FailedStartIsLoggedAndLeavesNothingRunning) {
  int records = g_memMan.LiveRecordCount();
  LogTail errors;
  std::atomic<int> ran{0};
  SetThreadCreateSeam(RefuseThread);
  {
    CThread t(ReturnAtOnce, "Refused", &ran);
    SetThreadCreateSeam(nullptr);
    EXPECT_FALSE(t.Started());
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(g_memMan.LiveRecordCount(), records);  // the start record is freed
  }
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(MaskCallStacks(errors.Text()), "CreateThread failed...?!?!\nCall stack:\n\n");
}

TEST(CThread, ProcedureThatPollsStopsWithinAFewPasses) {
  std::atomic<int> ran{0};
  auto* t = new CThread(PollStopFlag, "Poller", &ran);
  Sleep(50);
  EXPECT_TRUE(t->IsRunning());
  auto start = Clock::now();
  delete t;
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_LT(waited, 1000);
}

std::atomic<bool> g_release;
void IgnoreStopFlag(CThread*, void*) {
  while (!g_release) Sleep(10);
}

TEST(CThread, StuckProcedureIsReportedOnceAndStillAwaited) {
  g_release = false;
  LogTail errors;
  // Releases the worker once the warning is in the log (after ~15 s).
  std::thread watcher([&] {
    for (int i = 0; i < 4000 && errors.Text().find("It may be stuck") == std::string::npos; ++i) Sleep(10);
    Sleep(300);
    g_release = true;
  });
  {
    CThread t(IgnoreStopFlag, "Stubborn", nullptr);
  }
  watcher.join();
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning: Thread still going ~15 seconds after termination request.  It may be stuck.\n"
            "  -Thread name: Stubborn\n"
            "Call stack of dtor waiting loop:\n\n");
}

TEST(CriticalSection, IsReentrantAndReleasedAtScopeEnd) {
  CriticalSection section;
  {
    CriticalSectionLock outer(section);
    CriticalSectionLock inner(section);
  }
  std::atomic<bool> taken{false};
  std::thread other([&] {
    CriticalSectionLock hold(section);
    taken = true;
  });
  other.join();
  EXPECT_TRUE(taken.load());
}

}  // namespace
