// The program's entry point: the window, the start-up checks, the main loop
// and the shut-down order. Each program compiles this file itself, with its
// own "FirstScene.h" on the include path naming the scene that starts it.
#include "shell/MainGame.h"

#include <windows.h>

#include <string>

#include "FirstScene.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "foundation/WindowSize.h"
#include "graphics/Device.h"
#include "graphics/Font.h"
#include "graphics/LoadedImage.h"
#include "graphics/Model.h"
#include "shell/SceneManager.h"

InstanceHandle g_hInstance = nullptr;

namespace {

const char kWindowClass[] = "QuorvexWindow";
const char kWindowTitle[] = "Quorvex - An alternate Vantrell client written by the Quorvex developers";

// A frame runs only when more than this has passed since the last one: the
// single-precision value of 1/1982 s, which caps the rate at 1982 frames a
// second.
const double kFrameInterval = static_cast<double>(1.0f / 1982.0f);

long long ReadCounter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

long long ReadFrequency() {
  LARGE_INTEGER value;
  QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

FrameClock s_clock = {ReadCounter, ReadFrequency};

// Windows 2000 and later know the finer priority classes.
bool HasFinePriorityClasses() { return GetOsVersion() > 5; }

// One frame. The keyboard is sampled after the scene's drawing and before
// its update; the characters and clicks gathered since the last drawn frame
// are seen by exactly one update, then dropped; the present comes last.
void RunFrame(float seconds) {
  SceneManager::PreFrame();
  if (DXG::BeginFrame(seconds, true, true)) {
    SceneManager::Draw();
    DXG::EndFrame0();
    PollKeyboard();
    SceneManager::Update(seconds);
    ClearTypedChars();
    ResetMouseClicks();
    DXG::EndFrame1();
  } else {
    // The device cannot draw (lost): the scenes still advance, and input
    // waits for the next drawn frame.
    SceneManager::Update(seconds);
  }
}

}  // namespace

FrameClock SetFrameClock(FrameClock clock) {
  FrameClock old = s_clock;
  s_clock.counter = clock.counter ? clock.counter : ReadCounter;
  s_clock.frequency = clock.frequency ? clock.frequency : ReadFrequency;
  return old;
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCharMessage(window, message, wParam, lParam) || HandleMouseMessage(message, wParam, lParam)) return 0;
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      // Closing the window ends here: the statistics are written now, the
      // scenes are deleted at shut-down.
      SceneManager::EndAllScenes();
      PostQuitMessage(0);
      return 0;
    case WM_ACTIVATE:
      switch (LOWORD(wParam)) {
        case WA_INACTIVE:
          SetPriorityClass(GetCurrentProcess(),
                           HasFinePriorityClasses() ? BELOW_NORMAL_PRIORITY_CLASS : IDLE_PRIORITY_CLASS);
          break;
        case WA_ACTIVE:
        case WA_CLICKACTIVE:
          SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
          break;
      }
      return 0;
    case WM_PAINT:
      // Everything is drawn by the main loop.
      ValidateRect(window, nullptr);
      return 0;
    case WM_SYSCOMMAND:
      // No resizing, maximising, keyboard menu, screen saver or monitor
      // power-down while the program runs. The whole wParam is compared: a
      // command with the system's low bits set goes on to the default.
      switch (wParam) {
        case SC_SIZE:
        case SC_MAXIMIZE:
        case SC_VSCROLL:
        case SC_HSCROLL:
        case SC_KEYMENU:
        case SC_SCREENSAVE:
        case SC_HOTKEY:
        case SC_MONITORPOWER:
        case SC_CONTEXTHELP:
          return 0;
      }
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

WindowHandle CreateMainWindow() {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_CLASSDC;
  windowClass.lpfnWndProc = WndProc;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassA(&windowClass)) {
    ErrorLog << "couldn't register window class";
    return nullptr;
  }
  int width = 0, height = 0;
  CalcResolution(0, &width, &height);
  // Sized so the client area, not the outer frame, matches the back buffer.
  int outerWidth = width, outerHeight = height;
  MainWindowOuterSize(width, height, &outerWidth, &outerHeight);
  HWND window = CreateWindowExA(0, kWindowClass, kWindowTitle, kMainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                outerWidth, outerHeight, nullptr, nullptr, nullptr, nullptr);
  if (!window) {
    ErrorLog << "couldn't make a window :(";
    return nullptr;
  }
  return window;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // A start-up that fails, or a run ended by a graphics failure, ends with 1;
  // otherwise the quit message's code (0 when none came).
  int exitCode = 0;
  g_running = true;
  ResetResolution();

  g_mainWindow = CreateMainWindow();
  if (!g_mainWindow) return 1;
  g_hInstance = instance;
  ShowWindow(g_mainWindow, SW_SHOW);

  G::Setup setup;
  setup.adapter = 0;
  setup.fullscreen = false;
  setup.colour32 = true;
  CalcResolution(0, &setup.width, &setup.height);
  setup.tripleBuffer = false;
  setup.vertexProcessing = 1;
  setup.multithreaded = true;
  setup.vsync = false;
  setup.stencil = false;

  std::string warning;
  if (G::CheckGraphicsCaps(setup.vertexProcessing, warning))
    ShowMessageBox(g_mainWindow, warning.c_str(), "warning", kMessageBoxOk);

  g_running = !G::IsGraphicsUnavailable();
  if (g_running) {
    g_running = DXG::Init(g_mainWindow, &setup);
    if (!g_running)
      ShowMessageBox(g_mainWindow, "Graphics init failed.\n _error.txt may contain details.", "error",
                     kMessageBoxOk);
  }
  // The keyboard module logs its own reason.
  if (g_running) g_running = InitKeyboard(g_hInstance, g_mainWindow, false);
  if (g_running) {
    G::InitImageLoader();
    G::CreateBoneAllocator();
    SceneManager::AddScene(new2(FIRST_SCENE, FIRST_SCENE));
  } else {
    exitCode = 1;
  }

  long long lastFrame = s_clock.counter();
  long long frequency = s_clock.frequency();
  MSG message = {};
  while (g_running) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        g_running = false;
        exitCode = static_cast<int>(message.wParam);
      } else {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      continue;
    }
    if (G::HasFatalError()) {
      g_running = false;
      exitCode = 1;
      ErrorLog << "The " << "graphics " << "foundation has reported an unrecoverable error.  Program shut down.\n";
      continue;
    }
    long long now = s_clock.counter();
    double elapsed = static_cast<double>(now - lastFrame) / static_cast<double>(frequency);
    // Only a pass that runs a frame moves the mark, so short passes add up.
    if (elapsed > kFrameInterval) {
      lastFrame = now;
      RunFrame(static_cast<float>(elapsed));
    }
    Sleep(0);
  }

  SetPriorityClass(GetCurrentProcess(), HasFinePriorityClasses() ? ABOVE_NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
  // Boxes raised from here on (and by the globals' teardown) have no owner.
  g_mainWindow = nullptr;
  SceneManager::Shutdown();
  G::ClearLoadedModels();
  G::DestroyBoneAllocator();
  G::ReleaseTextShader();
  G::ShutdownImageLoader();
  ReleaseKeyboard();
  G::Shutdown();
  ShowCursor(TRUE);
  return exitCode;
}
