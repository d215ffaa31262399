// The entry point, its window and its main loop, driven through WinMain
// itself: a real window on the test display, the null backend, a scripted
// clock and the test's own first scene (FirstScene.h here).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FirstScene.h"
#include "foundation/Input.h"
#include "foundation/Utility.h"
#include "foundation/WindowSize.h"
#include "graphics/Device.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Text.h"
#include "NullBackend.h"
#include "shell/MainGame.h"
#include "shell/SceneManager.h"
#include "StartupTrace.h"
#include "TestSupport.h"

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

typedef std::vector<std::string> Calls;

const char kWindowClass[] = "QuorvexWindow";

using NullBackend::CallsStartingWith;

// ---- The scripted clock ----------------------------------------------------
// The counter gives the listed readings in order; after them, each reading
// is `step` later, or (with no step) the run is ended with a quit message.
struct ClockScript {
  std::vector<long long> readings;
  size_t next = 0;
  long long step = 0;
  long long frequency = 1024;
  int quitCode = 0;
  bool quitPosted = false;
  long long last = 0;
  int reads = 0;
};
ClockScript g_clock;

long long ScriptedCounter() {
  if (++g_clock.reads > 20000 && !g_clock.quitPosted) {  // a run that would not end
    g_clock.quitPosted = true;
    PostQuitMessage(99);
  }
  if (g_clock.next < g_clock.readings.size()) return g_clock.last = g_clock.readings[g_clock.next++];
  if (g_clock.step) return g_clock.last += g_clock.step;
  if (!g_clock.quitPosted) {
    g_clock.quitPosted = true;
    PostQuitMessage(g_clock.quitCode);
  }
  return g_clock.last;
}
long long ScriptedFrequency() { return g_clock.frequency; }

// ---- Input as a frame sees it ---------------------------------------------
// Key 30 newly pressed, typed characters waiting, a left click seen.
void NoteInput() {
  std::string state = std::string("input(key=") + (IsKeyPressed(30) ? "1" : "0") +
                      " chars=" + (HasTypedChars() ? "1" : "0") + " click=" + (WasLeftClicked() ? "1" : "0") + ")";
  NullBackend::Note(state.c_str());
}
void NoteInputAtPresent(const std::string& call) {
  if (call == "DXG::EndFrame1") NoteInput();
}
void PressKey30() {
  unsigned char keys[256] = {};
  AdvanceKeyState(keys);
  keys[30] = 0x80;
  AdvanceKeyState(keys);
}

BOOL CALLBACK DestroyOurWindow(HWND window, LPARAM) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) == kWindowClass) DestroyWindow(window);
  return TRUE;
}

class MainGameTest : public testing::Test {
 protected:
  void SetUp() override {
    NullBackend::Reset();
    SceneManager::ResetForTests();
    ResetKeyStates();
    ClearTypedChars();
    ResetMouseClicks();
    g_clock = ClockScript();
    oldClock_ = SetFrameClock(FrameClock{ScriptedCounter, ScriptedFrequency});
    TestFirstScene::setup = nullptr;
  }
  void TearDown() override {
    TestFirstScene::setup = nullptr;
    SetFrameClock(oldClock_);
    // A run that ended without closing its window leaves it to the process's
    // end; here the next test needs the class again.
    EnumThreadWindows(GetCurrentThreadId(), DestroyOurWindow, 0);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kWindowClass, nullptr);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    g_mainWindow = nullptr;
    ReleaseKeyboard();
    ResetResolution();
    SceneManager::ResetForTests();
    if (G::IsInitialized()) G::Shutdown();
    NullBackend::Reset();
    ClearTypedChars();
    ResetMouseClicks();
  }
  int Run(HINSTANCE instance = GetModuleHandleA(nullptr)) {
    char commandLine[] = "";
    return WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
  }
  // Every step of a run: scene events, frame calls, start-up and shut-down.
  Calls RunCalls() {
    return CallsStartingWith({"First.", "DXG::", "input", "CheckGraphicsCaps", "InitImageLoader",
                              "CreateBoneAllocator", "ClearLoadedModels", "DestroyBoneAllocator",
                              "ShutdownImageLoader", "Shutdown", "state"});
  }

  FrameClock oldClock_{};
  MessageBoxRecorder boxes_;
};

// ---- The main loop ----------------------------------------------------------

TEST_F(MainGameTest, DrawnFrameRunsItsStepsInOrder) {
  g_clock.step = 16;  // 1/64 s a pass
  NullBackend::Scripted().observer = NoteInputAtPresent;
  int frame = 0;
  TestFirstScene::setup = [&](TestFirstScene& scene) {
    scene.onPreFrame = [&] {
      if (++frame == 2) PressKey30();
    };
    scene.onDraw = NoteInput;
    scene.onUpdate = [&](float) {
      NoteInput();
      if (frame == 1) {
        PostMessageA(g_mainWindow, WM_CHAR, 'x', 0);
        PostMessageA(g_mainWindow, WM_LBUTTONDOWN, 0, 0);
      }
      if (frame == 2) SceneManager::RemoveScene();
    };
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(RunCalls(), (Calls{
                            "CheckGraphicsCaps(1)",
                            "DXG::Init",
                            "InitImageLoader",
                            "CreateBoneAllocator",
                            "First.OnEnter",
                            // Frame 1: the input is posted during the update.
                            "First.PreFrame",
                            "DXG::BeginFrame(0.015625,1,1)",
                            "First.Draw",
                            "input(key=0 chars=0 click=0)",
                            "DXG::EndFrame0",
                            "First.Update(0.001)",
                            "input(key=0 chars=0 click=0)",
                            "DXG::EndFrame1",
                            "input(key=0 chars=0 click=0)",
                            // Frame 2: the key is polled between draw and
                            // update; characters and clicks are dropped
                            // after the update, before the present.
                            "First.PreFrame",
                            "DXG::BeginFrame(0.015625,1,1)",
                            "First.Draw",
                            "input(key=1 chars=1 click=1)",
                            "DXG::EndFrame0",
                            "First.Update(0.015625)",
                            "input(key=0 chars=1 click=1)",
                            "First.OnLeave",
                            "First.~",
                            "DXG::EndFrame1",
                            "input(key=0 chars=0 click=0)",
                            // Frame 3: the empty stack ends the loop.
                            "DXG::BeginFrame(0.015625,1,1)",
                            "DXG::EndFrame0",
                            "DXG::EndFrame1",
                            "input(key=0 chars=0 click=0)",
                            "ClearLoadedModels",
                            "DestroyBoneAllocator",
                            "ShutdownImageLoader",
                            "Shutdown",
                        }));
}

TEST_F(MainGameTest, LostDeviceFramesOnlyUpdateAndKeepTheInput) {
  g_clock.step = 16;
  NullBackend::Scripted().beginFrameResult = false;
  int frame = 0;
  TestFirstScene::setup = [&](TestFirstScene& scene) {
    scene.onPreFrame = [&] {
      if (++frame == 2) PressKey30();
    };
    scene.onUpdate = [&](float) {
      NoteInput();
      if (frame == 1) {
        PostMessageA(g_mainWindow, WM_CHAR, 'x', 0);
        PostMessageA(g_mainWindow, WM_LBUTTONDOWN, 0, 0);
      }
      if (frame == 3) SceneManager::RemoveScene();
    };
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(CallsStartingWith({"First.", "DXG::BeginFrame", "DXG::End", "input"}),
            (Calls{
                "First.OnEnter",
                "First.PreFrame",
                "DXG::BeginFrame(0.015625,1,1)",
                "First.Update(0.001)",
                "input(key=0 chars=0 click=0)",
                "First.PreFrame",
                "DXG::BeginFrame(0.015625,1,1)",
                "First.Update(0.015625)",
                "input(key=1 chars=1 click=1)",
                // Not polled, not cleared: still there a frame later.
                "First.PreFrame",
                "DXG::BeginFrame(0.015625,1,1)",
                "First.Update(0.015625)",
                "input(key=1 chars=1 click=1)",
                "First.OnLeave",
                "First.~",
                "DXG::BeginFrame(0.015625,1,1)",
            }));
}

TEST_F(MainGameTest, FrameRunsOnlyWhenMoreThanTheIntervalHasPassed) {
  // At 2^34 ticks a second the interval (single-precision 1/1982 s) is a
  // whole number of ticks, so "exactly the interval" can be asked for.
  const long long f = 1LL << 34;
  const double interval = static_cast<double>(1.0f / 1982.0f);
  const long long intervalTicks = static_cast<long long>(interval * f);
  ASSERT_EQ(static_cast<double>(intervalTicks) / f, interval);
  const long long start = 123456789;
  const long long at0003 = start + static_cast<long long>(0.0003 * f);
  const long long at0006 = start + static_cast<long long>(0.0006 * f);
  g_clock.frequency = f;
  g_clock.readings = {start, at0003, at0006, at0006 + intervalTicks, at0006 + intervalTicks + 1};
  g_clock.quitCode = 5;
  EXPECT_EQ(Run(), 5);
  // 0.0003 s: nothing; 0.0006 s: one frame of the whole 0.0006 s; exactly
  // the interval after it: nothing; one tick more: a frame.
  EXPECT_EQ(CallsStartingWith({"DXG::BeginFrame"}),
            (Calls{"DXG::BeginFrame(0.0006,1,1)", "DXG::BeginFrame(0.000504541,1,1)"}));
}

TEST_F(MainGameTest, FatalGraphicsErrorEndsTheRun) {
  g_clock.step = 16;
  TestFirstScene::setup = [](TestFirstScene& scene) {
    scene.onUpdate = [](float) { NullBackend::Scripted().fatalError = true; };
  };
  LogTail errors;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(errors.Text(), "The graphics foundation has reported an unrecoverable error.  Program shut down.\n");
  Calls calls = RunCalls();
  ASSERT_GE(calls.size(), 7u);
  EXPECT_EQ(Calls(calls.end() - 7, calls.end()),
            (Calls{"DXG::EndFrame1", "First.OnLeave", "First.~", "ClearLoadedModels", "DestroyBoneAllocator",
                   "ShutdownImageLoader", "Shutdown"}));
}

// Whether the keyboard device is still held: a poll through a device moves
// the key state on, so a key that was new is new no more; without a device
// the poll leaves the state alone.
bool KeyboardHeld() {
  PressKey30();
  PollKeyboard();
  const bool held = !IsKeyPressed(30);
  ResetKeyStates();
  return held;
}

// The cursor's display count, read without changing it.
int CursorCount() {
  const int hidden = ShowCursor(FALSE);
  ShowCursor(TRUE);
  return hidden + 1;
}
int g_cursorBeforeRun;

// What the shut-down has done so far.
std::string ShutdownState() {
  char state[160];
  snprintf(state, sizeof state, "state(window=%s priority=0x%lX textShader=%s keyboard=%s cursor=%+d)",
           g_mainWindow ? "set" : "null", GetPriorityClass(GetCurrentProcess()), G::g_textShader ? "set" : "null",
           KeyboardHeld() ? "held" : "released", CursorCount() - g_cursorBeforeRun);
  return state;
}
void NoteShutdownState() { NullBackend::Note(ShutdownState().c_str()); }

TEST_F(MainGameTest, ClosingTheWindowWritesTheStatisticsOnceAndEndsWithZero) {
  G::RegisterShutdownCallback(NoteShutdownState);

  g_clock.step = 16;
  int updates = 0;
  TestFirstScene::setup = [&](TestFirstScene& scene) {
    // Updates 2 to 5 count: 4 frames of 1/64 s.
    scene.onUpdate = [&](float) {
      if (++updates == 5) PostMessageA(g_mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    scene.onDestroy = NoteShutdownState;
  };
  LogTail stats("_stat.txt");
  g_cursorBeforeRun = CursorCount();
  EXPECT_EQ(Run(), 0);
  // Only this test's own: a callback the run registered for good (the font
  // cache's, with the first font made) stays for the tests after it.
  G::ShutdownCallbacks.remove(NoteShutdownState);
  // The cursor is shown once more, after graphics has shut down.
  EXPECT_EQ(CursorCount() - g_cursorBeforeRun, 1);
  ShowCursor(FALSE);
  // Written when the window went; the shut-down adds only the graphics
  // side's own lines.
  const std::string written =
      "average FPS for invididual scenes:\n"
      "  -First (over 0 seconds): 64 frames/sec\n"
      "\n";
  EXPECT_EQ(stats.Text().substr(0, written.size()), written);
  EXPECT_EQ(stats.Text().find("average FPS", 1), std::string::npos) << stats.Text();
  // The scene is deleted first, with no owner window for boxes left and the
  // priority raised; the text shader, the image decoder and the keyboard are
  // gone before graphics shuts down.
  ASSERT_GT(GetOsVersion(), 5);
  Calls calls = RunCalls();
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(Calls(calls.end() - 8, calls.end()),
            (Calls{"First.OnLeave", "First.~",
                   "state(window=null priority=0x8000 textShader=set keyboard=held cursor=+0)",
                   "ClearLoadedModels", "DestroyBoneAllocator", "ShutdownImageLoader", "Shutdown",
                   "state(window=null priority=0x8000 textShader=null keyboard=released cursor=+0)"}));
}

// ---- Start-up -----------------------------------------------------------------

TEST_F(MainGameTest, FirstSceneIsATrackedObjectOfTheEntryPoint) {
  g_clock.step = 16;
  TrackedRecord record;
  TestFirstScene::setup = [&](TestFirstScene& scene) {
    TestFirstScene* made = &scene;
    scene.onUpdate = [&record, made](float) {
      record = TrackedRecordOf(made);
      SceneManager::RemoveScene();
    };
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(record.typeName, "FIRST_SCENE");
  EXPECT_EQ(record.file, "code/shell/MainGame.cpp");
}

TEST_F(MainGameTest, SetupRecordIsFilledForAWindowAtTheFirstResolution) {
  g_resolutionIndex = 2;  // start-up goes back to 800 x 600
  NullBackend::Scripted().capsVertexProcessing = 2;
  TestFirstScene::setup = [](TestFirstScene& scene) { scene.onUpdate = [](float) { SceneManager::RemoveScene(); }; };
  g_clock.step = 16;
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(boxes_.Boxes().empty());
  const G::Setup* setup = G::GetSetup();
  EXPECT_EQ(setup->adapter, 0);
  EXPECT_FALSE(setup->fullscreen);
  EXPECT_TRUE(setup->colour32);
  EXPECT_EQ(setup->width, 800);
  EXPECT_EQ(setup->height, 600);
  EXPECT_FALSE(setup->tripleBuffer);
  EXPECT_EQ(setup->vertexProcessing, 2) << "the capability check's choice";
  EXPECT_TRUE(setup->multithreaded);
  EXPECT_FALSE(setup->vsync);
  EXPECT_FALSE(setup->stencil);
  EXPECT_EQ(CallsStartingWith({"CheckGraphicsCaps"}), (Calls{"CheckGraphicsCaps(1)"}));
}

TEST_F(MainGameTest, NoGraphicsSystemShowsOnlyTheWarningAndEnds) {
  NullBackend::Scripted().capsResult = true;
  NullBackend::Scripted().capsMessage = "No graphics system here.";
  NullBackend::Scripted().graphicsUnavailable = true;
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].text, "No graphics system here.");
  EXPECT_EQ(boxes_.Boxes()[0].caption, "warning");
  EXPECT_EQ(boxes_.Boxes()[0].style, static_cast<unsigned>(kMessageBoxOk));
  EXPECT_EQ(RunCalls(), (Calls{"CheckGraphicsCaps(1)", "ClearLoadedModels", "DestroyBoneAllocator",
                               "ShutdownImageLoader", "Shutdown"}));
}

TEST_F(MainGameTest, FailedGraphicsStartIsShownAndEnds) {
  NullBackend::Scripted().initResult = false;
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].text, "Graphics init failed.\n _error.txt may contain details.");
  EXPECT_EQ(boxes_.Boxes()[0].caption, "error");
  EXPECT_EQ(RunCalls(),
            (Calls{"CheckGraphicsCaps(1)", "DXG::Init", "ClearLoadedModels", "DestroyBoneAllocator",
                   "ShutdownImageLoader", "Shutdown"}));
}

TEST_F(MainGameTest, FailedKeyboardStartEndsWithoutABox) {
  LogTail errors;
  // DirectInput refuses a null instance handle.
  EXPECT_EQ(Run(nullptr), 1);
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(errors.Text(), "Failed to initialize DirectInput (keyboard state manager)\n");
  EXPECT_EQ(RunCalls(),
            (Calls{"CheckGraphicsCaps(1)", "DXG::Init", "ClearLoadedModels", "DestroyBoneAllocator",
                   "ShutdownImageLoader", "Shutdown"}));
}

TEST_F(MainGameTest, NoWindowNoRun) {
  WNDCLASSA taken = {};
  taken.lpfnWndProc = DefWindowProcA;
  taken.lpszClassName = kWindowClass;
  ASSERT_TRUE(RegisterClassA(&taken));
  LogTail errors;
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(errors.Text(), "couldn't register window class");
  EXPECT_TRUE(NullBackend::Calls().empty());
}

// ---- The window and its procedure ------------------------------------------

class MainWindowTest : public MainGameTest {
 protected:
  void SetUp() override {
    MainGameTest::SetUp();
    window_ = CreateMainWindow();
    ASSERT_NE(window_, nullptr);
  }
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0) { return SendMessageA(window_, message, wParam, lParam); }
  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, ClientAreaIsTheBackBufferSize) {
  RECT client;
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right - client.left, 800);
  EXPECT_EQ(client.bottom - client.top, 600);

  // The shared helper sizes the window alike for another display mode (one
  // that fits the test display with its frame).
  int outerWidth = 0, outerHeight = 0;
  MainWindowOuterSize(640, 480, &outerWidth, &outerHeight);
  SetWindowPos(window_, nullptr, 0, 0, outerWidth, outerHeight, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right - client.left, 640);
  EXPECT_EQ(client.bottom - client.top, 480);
}

TEST_F(MainWindowTest, IsAFixedSizeWindowWithTheProgramsTitle) {
  char title[128] = {};
  GetWindowTextA(window_, title, sizeof title);
  EXPECT_EQ(std::string(title).rfind("Quorvex - An alternate Vantrell client written by ", 0), 0u) << title;
  LONG style = GetWindowLongA(window_, GWL_STYLE);
  EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(GetClassLongPtrA(window_, GCL_STYLE), static_cast<ULONG_PTR>(CS_CLASSDC));
  // A second window class of the name cannot be made.
  LogTail errors;
  EXPECT_EQ(CreateMainWindow(), nullptr);
  EXPECT_EQ(errors.Text(), "couldn't register window class");
}

std::vector<WPARAM> g_defaultCommands;
// Called by the default window procedure for each system command it is
// about to carry out; records it and stops it there.
LRESULT CALLBACK StopSystemCommands(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_SYSCOMMAND) {
    g_defaultCommands.push_back(wParam);
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MainWindowTest, SystemCommandsAreSwallowedByTheirExactValue) {
  HHOOK hook = SetWindowsHookExA(WH_CBT, StopSystemCommands, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  g_defaultCommands.clear();
  // The hook must see what reaches the default procedure before the
  // commands that would start a modal loop are tried.
  EXPECT_EQ(Send(WM_SYSCOMMAND, SC_MINIMIZE), 0);
  ASSERT_EQ(g_defaultCommands, std::vector<WPARAM>{SC_MINIMIZE});

  const WPARAM swallowed[] = {SC_SIZE,       SC_MAXIMIZE, SC_VSCROLL,      SC_HSCROLL,    SC_KEYMENU,
                              SC_SCREENSAVE, SC_HOTKEY,   SC_MONITORPOWER, SC_CONTEXTHELP};
  g_defaultCommands.clear();
  for (WPARAM command : swallowed) EXPECT_EQ(Send(WM_SYSCOMMAND, command), 0) << std::hex << command;
  EXPECT_TRUE(g_defaultCommands.empty());

  // With the system's low bits set (a border drag, a menu by mouse...) the
  // command is not the same value and goes on.
  std::vector<WPARAM> expected;
  for (WPARAM command : swallowed) {
    Send(WM_SYSCOMMAND, command | 2);
    expected.push_back(command | 2);
  }
  Send(WM_SYSCOMMAND, SC_CLOSE);
  expected.push_back(SC_CLOSE);
  EXPECT_EQ(g_defaultCommands, expected);
  UnhookWindowsHookEx(hook);
  EXPECT_TRUE(IsWindow(window_));
}

TEST_F(MainWindowTest, ActivationSetsThePriorityClass) {
  ASSERT_GT(GetOsVersion(), 5);
  HANDLE process = GetCurrentProcess();
  EXPECT_EQ(Send(WM_ACTIVATE, WA_INACTIVE), 0);
  EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(Send(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1)), 0);  // the high word (minimised) does not matter
  EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  Send(WM_ACTIVATE, WA_INACTIVE);
  EXPECT_EQ(Send(WM_ACTIVATE, WA_CLICKACTIVE), 0);
  EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  Send(WM_ACTIVATE, WA_INACTIVE);
  EXPECT_EQ(Send(WM_ACTIVATE, 3), 0);  // no such state: nothing changes
  EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
}

TEST_F(MainWindowTest, PaintingOnlyValidates) {
  InvalidateRect(window_, nullptr, FALSE);
  EXPECT_EQ(Send(WM_PAINT, 0), 0);
  EXPECT_FALSE(GetUpdateRect(window_, nullptr, FALSE));
}

TEST_F(MainWindowTest, InputMessagesGoToTheInputModules) {
  EXPECT_EQ(Send(WM_CHAR, 'q'), 0);
  EXPECT_EQ(Send(WM_KEYDOWN, VK_HOME, 1 << 24), 0);
  EXPECT_EQ(PopTypedChar(), 'q');
  EXPECT_EQ(static_cast<unsigned char>(PopTypedChar()), static_cast<unsigned char>(kTypedHome));
  EXPECT_EQ(Send(WM_LBUTTONDOWN, 0, MAKELPARAM(10, 20)), 0);
  EXPECT_TRUE(WasLeftClicked());
  Send(WM_MOUSEMOVE, 0, MAKELPARAM(30, 40));
  int x = 0, y = 0;
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 40);
}

TEST_F(MainWindowTest, DestroyingTheWindowEndsTheScenesAndQuitsWithZero) {
  RecordingScene* scene = new2(RecordingScene, RecordingScene("A", "Scene"));
  SceneManager::AddScene(scene);
  SceneManager::Update(0.01f);
  SceneManager::Update(0.5f);
  LogTail stats("_stat.txt");
  DestroyWindow(window_);
  const std::string written =
      "average FPS for invididual scenes:\n"
      "  -Scene (over 0 seconds): 4 frames/sec\n"
      "\n";
  EXPECT_EQ(stats.Text(), written);
  EXPECT_EQ(SceneManager::GetCurrentSceneName(), "none");
  MSG quit;
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);

  // A second destroy message quits again but writes nothing more.
  WndProc(nullptr, WM_DESTROY, 0, 0);
  EXPECT_EQ(stats.Text(), written);
}

// ---- Start-up order -----------------------------------------------------------

// The child run's entry point: it starts and ends the program, nothing more.
TEST(ShellStartup, DISABLED_ChildRunDoesNothing) {}

TEST(ShellStartup, SceneListsAreBuiltInTheirRows) {
  std::vector<TracedEvent> events = TraceStartupInChild("ShellStartup.DISABLED_ChildRunDoesNothing");
  std::vector<std::string> built, tornDown;
  int lastRow = 0;
  for (const TracedEvent& e : events) {
    if (e.built) {
      EXPECT_GT(e.row, lastRow) << e.name;
      lastRow = e.row;
      if (e.row >= 36 && e.row <= 38) built.push_back(e.name);
    } else if (e.row >= 36 && e.row <= 38) {
      tornDown.push_back(e.name);
    }
  }
  EXPECT_EQ(built, (std::vector<std::string>{"g_sceneStack", "g_removedScenes", "g_sceneStats"}));
  EXPECT_EQ(tornDown, (std::vector<std::string>{"g_sceneStats", "g_removedScenes", "g_sceneStack"}));
}

}  // namespace
