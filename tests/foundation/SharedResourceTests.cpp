#include <gtest/gtest.h>

#include <list>
#include <string>

#include "TestSupport.h"
#include "foundation/SharedResource_TCPP.h"

namespace {

struct DummyRecord {
  int refCount = 0;
  std::string name;
};

std::list<DummyRecord*> g_dummyRecords;
int g_frees;

class Dummy : public SharedResource<DummyRecord> {
 public:
  ~Dummy() override { SRFree(); }
  void Free() override { ++g_frees; }
};

class Forgetful : public SharedResource<DummyRecord> {
 public:
  void Free() override {}
};

}  // namespace

template <>
std::list<DummyRecord*>& SharedResource<DummyRecord>::Registry() {
  return g_dummyRecords;
}

namespace {

struct SharedResourceTest : testing::Test {
  void SetUp() override { g_frees = 0; }
  void TearDown() override { EXPECT_TRUE(g_dummyRecords.empty()); }
};

TEST_F(SharedResourceTest, LastReleaseFreesOnceAndUnregisters) {
  Dummy a;
  a.SRAlloc();
  ASSERT_NE(a.Record(), nullptr);
  EXPECT_EQ(a.Record()->refCount, 1);
  EXPECT_EQ(g_dummyRecords.size(), 1u);
  {
    Dummy b(a);
    EXPECT_EQ(b.Record(), a.Record());
    EXPECT_EQ(a.Record()->refCount, 2);
  }
  EXPECT_EQ(g_frees, 0);
  EXPECT_EQ(a.Record()->refCount, 1);
  a.SRFree();
  EXPECT_EQ(g_frees, 1);
  EXPECT_EQ(a.Record(), nullptr);
  EXPECT_TRUE(g_dummyRecords.empty());
}

TEST_F(SharedResourceTest, AssigningAHandleToItselfChangesNothing) {
  Dummy a;
  a.SRAlloc();
  DummyRecord* record = a.Record();
  Dummy& same = a;
  a = same;
  EXPECT_EQ(a.Record(), record);
  EXPECT_EQ(record->refCount, 1);
  EXPECT_EQ(g_frees, 0);
}

TEST_F(SharedResourceTest, AllocOnTheOnlyHolderFreesTheOldRecordFirst) {
  Dummy a;
  a.SRAlloc();
  DummyRecord* first = a.Record();
  a.SRAlloc();
  EXPECT_EQ(g_frees, 1);
  EXPECT_NE(a.Record(), nullptr);
  EXPECT_EQ(g_dummyRecords.size(), 1u);
  EXPECT_EQ(g_dummyRecords.front(), a.Record());
  (void)first;
}

TEST_F(SharedResourceTest, SharingTheRecordItAloneHoldsKeepsIt) {
  Dummy a;
  a.SRAlloc();
  a.Record()->name = "kept";
  a.Share(a.Record());
  ASSERT_NE(a.Record(), nullptr);
  EXPECT_EQ(a.Record()->name, "kept");
  EXPECT_EQ(a.Record()->refCount, 1);
  EXPECT_EQ(g_frees, 0);
}

TEST_F(SharedResourceTest, AssignmentMovesToTheOtherRecord) {
  Dummy a, b;
  a.SRAlloc();
  b.SRAlloc();
  b = a;
  EXPECT_EQ(g_frees, 1);  // b's old record had no other holder
  EXPECT_EQ(a.Record()->refCount, 2);
  EXPECT_EQ(g_dummyRecords.size(), 1u);
}

TEST_F(SharedResourceTest, RecordMissingFromTheRegistryIsReportedAndFreed) {
  Dummy a;
  a.SRAlloc();
  g_dummyRecords.clear();
  LogTail errors;
  a.SRFree();
  EXPECT_EQ(g_frees, 1);
  EXPECT_EQ(MaskCallStacks(errors.Text()), "Internal error in SharedResource, SRFree()...  -call stack:\n\n");
}

TEST_F(SharedResourceTest, HandleThatNeverReleasedIsReported) {
  LogTail errors;
  DummyRecord* leaked;
  {
    Forgetful f;
    f.SRAlloc();
    leaked = f.Record();
  }
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning: Base (SharedResource) being destructed, but resource still allocated.  Did child not call "
            "SRFree in destructor?\n  -call stack:\n\n");
  g_dummyRecords.remove(leaked);
  delete2(leaked);
}

}  // namespace
