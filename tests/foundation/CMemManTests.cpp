#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"

namespace {

int g_destroyed;

struct Probe {
  Probe() : value(0) {}
  explicit Probe(int v) : value(v) {}
  ~Probe() { ++g_destroyed; }
  int value;
  char bytes[4];
};

struct Base {
  virtual ~Base() {}
};
struct Derived : Base {
  ~Derived() override { ++g_destroyed; }
};

const std::string kFile = "tests/foundation/CMemManTests.cpp";

TEST(CMemMan, NewAndDeleteKeepTheBooks) {
  int before = g_memMan.LiveRecordCount();
  LogTail errors;
  Probe* p = new2(Probe, Probe(5));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->value, 5);
  EXPECT_EQ(g_memMan.LiveRecordCount(), before + 1);
  const unsigned char* block = reinterpret_cast<const unsigned char*>(p) - 8;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], 0xA5);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(block[8 + sizeof(Probe) + i], 0xA5);
  g_destroyed = 0;
  delete2(p);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(g_memMan.LiveRecordCount(), before);
  EXPECT_EQ(errors.Text(), "");
}

TEST(CMemMan, DeleteThroughABaseRunsTheVirtualDestructor) {
  Base* b = new2(Derived, Derived);
  g_destroyed = 0;
  delete2(b);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(CMemMan, DamageAfterAnObjectIsReportedAndTheObjectStillFreed) {
  int before = g_memMan.LiveRecordCount();
  LogTail errors;
  Probe* p = new2(Probe, Probe);
  int line = __LINE__ - 1;
  reinterpret_cast<unsigned char*>(p)[sizeof(Probe)] = 0;  // one byte past the end
  g_destroyed = 0;
  delete2(p);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(g_memMan.LiveRecordCount(), before);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "WARNING: Damage to memory AFTER an allocation.\n"
            "  -object: Probe\n"
            "  -Allocated in " + kFile + " line " + std::to_string(line) + ".\n"
            "  -Call stack for allocation:\n"
            "  -Call stack for this delete:\n"
            "\n\n");
}

TEST(CMemMan, DamageBeforeAnObjectIsReported) {
  LogTail errors;
  Probe* p = new2(Probe, Probe);
  reinterpret_cast<unsigned char*>(p)[-1] = 0;
  delete2(p);
  EXPECT_EQ(errors.Text().rfind("WARNING: Damage to memory BEFORE an allocation.\n  -object: Probe\n", 0), 0u);
}

TEST(CMemMan, ArrayDeletedAsObjectIsDestroyedWholeAndBothSitesNamed) {
  LogTail errors;
  Probe* array = new2_array(Probe, 3);
  int allocLine = __LINE__ - 1;
  g_destroyed = 0;
  delete2(array);
  int deleteLine = __LINE__ - 1;
  EXPECT_EQ(g_destroyed, 3);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: Wrong delete operator used when freeing memory.\n"
            "  -Delete (non-array) used on memory allocated with new array.\n"
            "  -delete call made in " + kFile + " line " + std::to_string(deleteLine) + ".\n"
            "  -call made on memory that was allocated in " + kFile + " line " + std::to_string(allocLine) + ".\n"
            "  -call stack:\n"
            "\n");
}

TEST(CMemMan, ObjectDeletedAsArrayIsDestroyedAsMade) {
  LogTail errors;
  Probe* p = new2(Probe, Probe);
  g_destroyed = 0;
  delete2_array(p);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_NE(errors.Text().find("  -Delete array used on memory allocated with new (non-array).\n"),
            std::string::npos);
}

TEST(CMemMan, SecondDeleteOfTheSameObjectDoesNothing) {
  Probe* p = new2(Probe, Probe);
  delete2(p);
  LogTail errors;
  g_destroyed = 0;
  delete2(p);
  int line = __LINE__ - 1;
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error: delete used on memory that doesn't exist.\n"
            "  -delete call made in " + kFile + " line " + std::to_string(line) + "\n"
            "  -call stack:\n"
            "\n\n");
}

TEST(CMemMan, DeletingNullReportsTheBadPointerAndTheNullDelete) {
  LogTail errors;
  Probe* p = nullptr;
  delete2(p);
  int line = __LINE__ - 1;
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "TEST_POINTER: bad pointer tested: addr\n"
            "  -call stack:\n"
            "\n"
            "Error: delete being used on a null pointer.\n"
            "  -delete call made in " + kFile + " line " + std::to_string(line) + ".\n"
            "  -call stack:\n"
            "\n");
  EXPECT_TRUE(g_memMan.HasCriticalError());
}

TEST(CMemMan, DeclarationThatDoesNotMatchTheTypeNameIsLogged) {
  struct Cases {
    const char* declaration;
    const char* typeName;
    bool logged;
  } cases[] = {
      {"G::TextWindow(40,300,700,250,60)", "G::TextWindow", false},
      {"Anything at all", "", false},
      {"CThread", "CThread(", true},
      {"Probe()", "Other", true},
  };
  for (const auto& c : cases) {
    LogTail errors;
    CheckNew2TypeName(c.declaration, c.typeName);
    if (!c.logged) {
      EXPECT_EQ(errors.Text(), "") << c.declaration;
      continue;
    }
    EXPECT_EQ(MaskCallStacks(errors.Text()), std::string("object declaration doesn't match type name provided to new2.\n"
                                                         "  -type name: ") +
                                                 c.typeName + "\n  -object dec: " + c.declaration +
                                                 "\n  -call stack:\n\n");
  }
}

std::atomic<int> s_threadProbesLive;
struct ThreadProbe {
  explicit ThreadProbe(int v) : value(v) { ++s_threadProbesLive; }
  ~ThreadProbe() { --s_threadProbesLive; }
  int value;
};

TEST(CMemMan, ThreadsAllocatingAndFreeingAtOnceKeepTheBooks) {
  int before = g_memMan.LiveRecordCount();
  LogTail errors;
  const int kThreads = 8, kRounds = 2000, kKept = 4;
  std::atomic<int> wrongValues{0};
  std::atomic<int> running{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // A few objects live at a time, so the list holds records of every
      // thread at once and deletes unlink them from its middle.
      ThreadProbe* kept[kKept] = {};
      for (int i = 0; i < kRounds; ++i) {
        ThreadProbe*& slot = kept[i % kKept];
        if (slot) {
          if (slot->value != t * kRounds + i - kKept) ++wrongValues;
          delete2(slot);
        }
        slot = new2(ThreadProbe, ThreadProbe(t * kRounds + i));
        if (i % 50 == 0) {
          int* array = new2_array(int, 1 + i % 7);
          delete2_array(array);
        }
      }
      for (ThreadProbe* p : kept) delete2(p);
      --running;
    });
  }
  // Meanwhile this thread sweeps the guards, as the exit report does.
  while (running.load() > 0) g_memMan.CheckAllGuards();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(g_memMan.LiveRecordCount(), before);
  EXPECT_EQ(s_threadProbesLive.load(), 0);
  EXPECT_EQ(wrongValues.load(), 0);
  EXPECT_EQ(errors.Text(), "");
}

// The exit report, on a manager of the test's own.
struct ExitReport : testing::Test {
  void* Allocate(CMemMan& m, int size, const char* type, int line) {
    void* block = AllocTrackedBlock(size);
    m.AddRecord(1, static_cast<char*>(block) + 8, block, size, type, "Site.cpp", line, 1);
    blocks.push_back(block);
    return static_cast<char*>(block) + 8;
  }
  ~ExitReport() override {
    for (void* b : blocks) FreeTrackedBlock(b);
  }
  std::vector<void*> blocks;
  MessageBoxRecorder boxes;
};

TEST_F(ExitReport, LeaksAreListedNewestFirstWithTheirTotal) {
  LogTail errors;
  {
    CMemMan m;
    Allocate(m, 24, "Older", 10);
    Allocate(m, 100, "Newer", 20);
  }
  EXPECT_EQ(errors.Text(),
            "\nTotal memory leaks: 124 bytes in 2 allocation(s).\n"
            "\n -- List of memory leaks --\n"
            "Object \"Newer\" (100 bytes total):\n"
            "  -Allocated in Site.cpp line 20.\n"
            "  -call stack of allocation:\n\n"
            "Object \"Older\" (24 bytes total):\n"
            "  -Allocated in Site.cpp line 10.\n"
            "  -call stack of allocation:\n\n");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Memory Leaks");
  EXPECT_EQ(boxes.Boxes()[0].text,
            "Memory was allocated and never freed.\n124 byte(s) leaked.\n2 total unfreed allocations.\n"
            "See _error.txt for details.\n");
}

TEST_F(ExitReport, CleanRunShowsNoBox) {
  LogTail errors;
  {
    CMemMan m;
    void* object = Allocate(m, 16, "Gone", 1);
    void* block;
    int count;
    EXPECT_EQ(m.RemoveRecord(1, object, "Site.cpp", 2, &block, &count), 1);
  }
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(ExitReport, MisuseShowsTheCriticalBoxAndLaterDeletesDoNothing) {
  alignas(CMemMan) unsigned char storage[sizeof(CMemMan)];
  CMemMan* m = new (storage) CMemMan();
  void* block;
  int count;
  EXPECT_EQ(m->RemoveRecord(1, nullptr, "Site.cpp", 3, &block, &count), 0);
  void* object = Allocate(*m, 8, "Late", 4);
  static_cast<unsigned char*>(object)[8] = 1;  // damaged: found by the sweep
  LogTail errors;
  m->~CMemMan();
  EXPECT_NE(errors.Text().find("WARNING: Damage to memory AFTER an allocation.\n  -object: Late\n"),
            std::string::npos);
  ASSERT_GE(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Critical Memory Error");
  EXPECT_EQ(boxes.Boxes()[0].text, "Critical memory management errors occured.\nCheck _error.txt for details.\n");
  // The manager is gone: deletes neither destroy nor free, and its lock is
  // left alone.
  EXPECT_EQ(m->RemoveRecord(1, object, "Site.cpp", 5, &block, &count), 0);
  EXPECT_EQ(block, nullptr);
}

}  // namespace
