// The program benchmark's bare OpenGL window: a WGL context on an 800 x 600
// window (the pixel format the OpenGL program asks for), cleared to one
// colour, one triangle drawn and presented, frame after frame, until the
// window is closed. The triangle is the least a program that shows anything
// draws: it brings in the driver's drawing machinery (its shader compiler
// and vertex streaming), which a window that only clears never touches.
#include <GL/gl.h>

#include "BareWindow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HWND window = bare::MakeWindow("Bare OpenGL window");
  if (!window) return 1;
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR format = {};
  format.nSize = sizeof format;
  format.nVersion = 1;
  format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  format.iPixelType = PFD_TYPE_RGBA;
  format.cColorBits = static_cast<BYTE>(GetDeviceCaps(dc, BITSPIXEL));
  format.cDepthBits = 32;
  format.iLayerType = PFD_MAIN_PLANE;
  const int chosen = ChoosePixelFormat(dc, &format);
  if (!chosen || !DescribePixelFormat(dc, chosen, sizeof format, &format) || !SetPixelFormat(dc, chosen, &format))
    return 1;
  HGLRC context = wglCreateContext(dc);
  if (!context || !wglMakeCurrent(dc, context)) return 1;

  const int code = bare::RunFrames([dc] {
    glClearColor(0.2f, 0.3f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.5f, 0.0f);
    glVertex2f(0.0f, 0.5f);
    glVertex2f(0.5f, -0.5f);
    glVertex2f(-0.5f, -0.5f);
    glEnd();
    SwapBuffers(dc);
  });

  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(context);
  ReleaseDC(window, dc);
  return code;
}
