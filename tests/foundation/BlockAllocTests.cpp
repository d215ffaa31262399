// The block allocator: slot order, block growth, leaks and misuse.
#include <gtest/gtest.h>

#include <csignal>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/BlockAlloc.h"

namespace {

int g_built;
int g_destroyed;

struct Piece {
  Piece() : value(1234) { ++g_built; }
  ~Piece() { ++g_destroyed; }
  int value;
  char bytes[20];
};

class BlockAllocTest : public testing::Test {
 protected:
  void SetUp() override { g_built = g_destroyed = 0; }
};

TEST_F(BlockAllocTest, FirstAllocAddsABlockAndFillsItInSlotOrder) {
  BlockAlloc<Piece> pieces(64);
  EXPECT_EQ(pieces.BlockCount(), 0);
  EXPECT_EQ(pieces.TotalFree(), 0);
  EXPECT_EQ(pieces.BytesPerBlock(), 64 * static_cast<int>(sizeof(Piece)));
  std::vector<Piece*> live;
  for (int i = 0; i < 64; ++i) live.push_back(pieces.Alloc());
  EXPECT_EQ(pieces.BlockCount(), 1);
  EXPECT_EQ(pieces.TotalFree(), 0);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(live[i], live[0] + i) << i;
  EXPECT_EQ(g_built, 64);
  EXPECT_EQ(live[10]->value, 1234);

  Piece* next = pieces.Alloc();  // the 65th live object
  EXPECT_EQ(pieces.BlockCount(), 2);
  EXPECT_EQ(pieces.TotalFree(), 63);
  EXPECT_TRUE(next < live[0] || next > live[63]);
  live.push_back(next);
  for (Piece* p : live) pieces.Free(p);
  EXPECT_EQ(g_destroyed, 65);
  EXPECT_EQ(pieces.TotalFree(), 128);
  EXPECT_EQ(pieces.BlockCount(), 2);  // blocks stay
}

TEST_F(BlockAllocTest, AFreedSlotOfTheFirstBlockIsTakenBeforeLaterBlocks) {
  BlockAlloc<Piece> pieces(4);
  std::vector<Piece*> live;
  for (int i = 0; i < 5; ++i) live.push_back(pieces.Alloc());
  ASSERT_EQ(pieces.BlockCount(), 2);
  pieces.Free(live[3]);
  EXPECT_EQ(g_destroyed, 1);
  Piece* again = pieces.Alloc();
  EXPECT_EQ(again, live[3]);
  pieces.Free(live[1]);
  pieces.Free(live[0]);
  EXPECT_EQ(pieces.Alloc(), live[0]);  // lowest free slot first
  EXPECT_EQ(pieces.Alloc(), live[1]);
  EXPECT_EQ(pieces.Alloc(), live[4] + 1);  // then the second block
  LogTail errors;
  for (Piece* p : {live[0], live[1], live[2], live[3], live[4], live[4] + 1}) pieces.Free(p);
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(BlockAllocTest, DestroyingWithAnObjectAliveWarnsOnceAndFreesTheStorage) {
  LogTail errors;
  {
    BlockAlloc<Piece> pieces(64);
    pieces.Alloc();
    Piece* other = pieces.Alloc();
    pieces.Free(other);
  }
  EXPECT_EQ(g_destroyed, 1);  // the leaked object's destructor does not run
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Something leaked that was made with BlockAlloc. That memory is going away now though...\n"
            "  -call stack of allocator free:\n\n");

  LogTail clean;
  {
    BlockAlloc<Piece> pieces(8);
    pieces.Free(pieces.Alloc());
  }
  {
    BlockAlloc<Piece> unused(8);
  }
  EXPECT_EQ(clean.Text(), "");
}

// Misuse is logged and stops the program at a breakpoint trap. The cases
// are seen through in this process with the trap replaced; two children
// (death tests) show that the real trap ends the program.
int g_traps;
void CountTrap() { ++g_traps; }

class BlockAllocMisuseTest : public BlockAllocTest {
 protected:
  void SetUp() override {
    BlockAllocTest::SetUp();
    g_traps = 0;
    previous_ = SetBlockAllocTrap(CountTrap);
  }
  void TearDown() override { SetBlockAllocTrap(previous_); }
  BlockAllocTrap previous_;
};

const char kNotMine[] = "trying to delete mem that doesn't exist in BlockAlloc.\n";
const char kAlreadyFree[] = "trying to delete memory that was already free in BlockAlloc.\n";

TEST_F(BlockAllocMisuseTest, EachCaseIsLoggedTrappedAndChangesNothing) {
  BlockAlloc<Piece> empty(4);
  Piece outside;
  BlockAlloc<Piece> pieces(4);
  Piece* first = pieces.Alloc();
  Piece* second = pieces.Alloc();
  pieces.Free(second);
  g_destroyed = 0;
  struct Case {
    const char* what;
    BlockAlloc<Piece>* allocator;
    Piece* pointer;
    const char* message;
  } cases[] = {
      {"no block at all", &empty, &outside, kNotMine},
      {"outside every block", &pieces, &outside, kNotMine},
      {"one past the block", &pieces, first + 4, kNotMine},
      {"inside a slot", &pieces, reinterpret_cast<Piece*>(reinterpret_cast<char*>(first) + 4), kNotMine},
      {"slot already free", &pieces, second, kAlreadyFree},
  };
  for (const Case& c : cases) {
    LogTail errors;
    int traps = g_traps;
    c.allocator->Free(c.pointer);
    EXPECT_EQ(g_traps, traps + 1) << c.what;
    EXPECT_EQ(errors.Text(), c.message) << c.what;
  }
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(pieces.TotalFree(), 3);
  EXPECT_EQ(empty.BlockCount(), 0);
  pieces.Free(first);
}

#ifdef _WIN32
// Ends the child with the exception's code at once, instead of through the
// system's crash handling.
LONG WINAPI ExitWithExceptionCode(EXCEPTION_POINTERS* info) {
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
void QuietCrash() { SetUnhandledExceptionFilter(ExitWithExceptionCode); }
bool DiedAtBreakpoint(int status) { return static_cast<unsigned>(status) == 0x80000003u; }
#else
void QuietCrash() {}
bool DiedAtBreakpoint(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGTRAP; }
#endif

class BlockAllocTrapTest : public testing::Test {
 protected:
  void SetUp() override {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    // The child appends to the error log (or, started afresh, empties it).
    WriteFileText("_error.txt", "");
  }
};

TEST_F(BlockAllocTrapTest, FreeOfAForeignPointerStopsTheProgram) {
  EXPECT_EXIT(
      {
        QuietCrash();
        BlockAlloc<Piece> pieces(4);
        Piece outside;
        pieces.Free(&outside);
      },
      DiedAtBreakpoint, "");
  EXPECT_EQ(ReadFileText("_error.txt"), kNotMine);
}

TEST_F(BlockAllocTrapTest, SecondFreeStopsTheProgram) {
  EXPECT_EXIT(
      {
        QuietCrash();
        BlockAlloc<Piece> pieces(4);
        Piece* first = pieces.Alloc();
        pieces.Free(first);
        pieces.Free(first);
      },
      DiedAtBreakpoint, "");
  EXPECT_EQ(ReadFileText("_error.txt"), kAlreadyFree);
}

}  // namespace
