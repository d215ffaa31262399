// Device callback lists, the device-lost flag and the automatic shut-down at
// exit.
#include <string>
#include <vector>

#include "GraphicsFixture.h"
#include "graphics/DeviceCallbacks.h"

namespace {

std::vector<std::string> g_fired;
void A() { g_fired.push_back("A"); }
void B() { g_fired.push_back("B"); }
void UnregistersB() {
  g_fired.push_back("drop B");
  G::UnregisterDeviceLostCallback(&B);
}
void UnregistersItself() {
  g_fired.push_back("self");
  G::UnregisterDeviceLostCallback(&UnregistersItself);
}

// Keeps each test's registrations out of the others: the lists are globals.
class DeviceCallbacksTest : public GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    lost_ = G::DeviceLostCallbacks;
    restored_ = G::DeviceRestoredCallbacks;
    shutdown_ = G::ShutdownCallbacks;
    G::DeviceLostCallbacks.clear();
    G::DeviceRestoredCallbacks.clear();
    G::ShutdownCallbacks.clear();
    g_fired.clear();
  }
  void TearDown() override {
    GraphicsTest::TearDown();
    G::DeviceLostCallbacks = lost_;
    G::DeviceRestoredCallbacks = restored_;
    G::ShutdownCallbacks = shutdown_;
  }
  std::list<G::DeviceCallback> lost_, restored_, shutdown_;
};

TEST_F(DeviceCallbacksTest, EachListRunsNewestFirst) {
  G::RegisterDeviceLostCallback(&A);
  G::RegisterDeviceLostCallback(&B);
  G::RegisterDeviceRestoredCallback(&A);
  G::RegisterDeviceRestoredCallback(&B);
  G::RegisterShutdownCallback(&A);
  G::RegisterShutdownCallback(&B);
  G::SetDeviceLost(true);
  G::SetDeviceLost(false);
  G::FireShutdownCallbacks();
  EXPECT_EQ(g_fired, (std::vector<std::string>{"B", "A", "B", "A", "B", "A"}));
}

TEST_F(DeviceCallbacksTest, OnlyChangesOfTheFlagFire) {
  G::RegisterDeviceLostCallback(&A);
  G::RegisterDeviceRestoredCallback(&B);
  G::SetDeviceLost(false);  // never lost: nothing to restore
  EXPECT_TRUE(g_fired.empty());
  G::SetDeviceLost(true);
  G::SetDeviceLost(true);
  EXPECT_TRUE(G::IsDeviceLost());
  EXPECT_EQ(g_fired, (std::vector<std::string>{"A"}));
  G::SetDeviceLost(false);
  G::SetDeviceLost(false);
  EXPECT_FALSE(G::IsDeviceLost());
  EXPECT_EQ(g_fired, (std::vector<std::string>{"A", "B"}));
}

TEST_F(DeviceCallbacksTest, UnregisteringRemovesOneEntry) {
  G::RegisterDeviceLostCallback(&A);
  G::RegisterDeviceLostCallback(&B);
  G::RegisterDeviceLostCallback(&A);
  G::UnregisterDeviceLostCallback(&A);
  G::UnregisterDeviceRestoredCallback(&A);  // not registered there: nothing
  G::SetDeviceLost(true);
  EXPECT_EQ(g_fired, (std::vector<std::string>{"B", "A"}));
}

TEST_F(DeviceCallbacksTest, ACallbackMayUnregisterItselfWhileTheListRuns) {
  G::RegisterDeviceLostCallback(&A);
  G::RegisterDeviceLostCallback(&UnregistersItself);
  G::RegisterDeviceLostCallback(&B);
  G::SetDeviceLost(true);
  G::SetDeviceLost(false);
  G::SetDeviceLost(true);
  EXPECT_EQ(g_fired, (std::vector<std::string>{"B", "self", "A", "B", "A"}));
}

// The walk does not call an entry taken off the list during it.
TEST_F(DeviceCallbacksTest, ACallbackUnregisteredByAnEarlierOneIsNotCalled) {
  G::RegisterDeviceLostCallback(&B);
  G::RegisterDeviceLostCallback(&A);
  G::RegisterDeviceLostCallback(&B);
  G::RegisterDeviceLostCallback(&UnregistersB);
  G::SetDeviceLost(true);
  EXPECT_EQ(g_fired, (std::vector<std::string>{"drop B", "A", "B"}));  // one of B's two entries is left
  G::SetDeviceLost(false);
  g_fired.clear();
  G::SetDeviceLost(true);
  EXPECT_EQ(g_fired, (std::vector<std::string>{"drop B", "A"}));
}

TEST_F(DeviceCallbacksTest, ShutdownFiresTheShutdownCallbacks) {
  G::RegisterShutdownCallback(&A);
  G::Shutdown();
  EXPECT_EQ(g_fired, (std::vector<std::string>{"A"}));
}

TEST_F(DeviceCallbacksTest, AutomaticShutdownAtExit) {
  {
    LogTail log;
    G::AutoShutdownAtExit();
    EXPECT_EQ(log.Text(), "Warning: Graphics foundation never shut down\n -Attempting automatic shutdown... OK\n");
    EXPECT_FALSE(G::IsInitialized());
    EXPECT_EQ(NullBackend::CallText(), "Shutdown\n");
  }
  {
    LogTail log;  // after a clean shut-down nothing is written
    G::AutoShutdownAtExit();
    EXPECT_EQ(log.Text(), "");
  }
  {
    G::Setup setup;
    setup.width = 800;
    setup.height = 600;
    ASSERT_TRUE(DXG::Init(nullptr, &setup));
    NullBackend::Scripted().shutdownThrows = "boom";
    LogTail log;
    G::AutoShutdownAtExit();  // the throw is caught; exit goes on
    EXPECT_EQ(log.Text(), "Warning: Graphics foundation never shut down\n -Attempting automatic shutdown... Error\n");
  }
}

}  // namespace
