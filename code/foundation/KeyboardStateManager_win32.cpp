// The DirectInput 8 keyboard behind the per-frame key states.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include "Input.h"
#include "LogFile.h"

namespace {
IDirectInput8A* s_directInput;
IDirectInputDevice8A* s_keyboard;
}  // namespace

bool InitKeyboard(InstanceHandle instance, WindowHandle window, bool exclusive) {
  if (FAILED(DirectInput8Create(instance, 0x0800, IID_IDirectInput8A, reinterpret_cast<void**>(&s_directInput),
                                nullptr))) {
    s_directInput = nullptr;
    ErrorLog.Write("Failed to initialize DirectInput (keyboard state manager)\n");
    return false;
  }
  if (FAILED(s_directInput->CreateDevice(GUID_SysKeyboard, &s_keyboard, nullptr))) {
    ErrorLog.Write("Failed to create DirectInput keyboard device\n");
    s_keyboard = nullptr;
    ReleaseKeyboard();
    return false;
  }
  s_keyboard->SetDataFormat(&c_dfDIKeyboard);
  DWORD level = exclusive ? (DISCL_EXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY)
                          : (DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  if (FAILED(s_keyboard->SetCooperativeLevel(window, level))) {
    ErrorLog.Write("Keyboard refused to cooperate\n");
    ReleaseKeyboard();
    return false;
  }
  s_keyboard->Acquire();
  ResetKeyStates();
  return true;
}

void PollKeyboard() {
  if (!s_keyboard) return;
  // Lost to another application: take it back, and forget every key, so none
  // reads as held over the gap.
  if (FAILED(s_keyboard->Poll()) && SUCCEEDED(s_keyboard->Acquire())) ResetKeyStates();
  unsigned char keys[256];
  if (FAILED(s_keyboard->GetDeviceState(sizeof keys, keys))) {
    AdvanceKeyState(nullptr);
    return;
  }
  AdvanceKeyState(keys);
}

void ReleaseKeyboard() {
  if (s_keyboard) {
    s_keyboard->Unacquire();
    s_keyboard->Release();
    s_keyboard = nullptr;
  }
  if (s_directInput) {
    s_directInput->Release();
    s_directInput = nullptr;
  }
}
