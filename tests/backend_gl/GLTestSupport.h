// What the OpenGL backend's tests share: one window for the whole program,
// fixtures that start the backend on it at 800 x 600 (and in 2D mode over
// a black back buffer), a read-back of the
// back buffer before it is presented, and stand-ins for the driver (its
// strings, entry points and errors) through the backend's seams.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "graphics/Device.h"

// The test program's window (client area 800 x 600, made once). A window
// keeps the first pixel format set on it: tests that start with another
// format (stencil, other colour depths) take a fresh window.
WindowHandle TestWindow();
// A new window of the program's style with a client area of 800 x 600.
WindowHandle FreshWindow();

// Starts the backend windowed at width x height on the test window.
G::Setup WindowedSetup(int width = 800, int height = 600);

class GLTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts with the setup (the fixture's SetUp starts 800 x 600 already;
  // tests that need another start call Restart), on a fresh window when
  // asked.
  void Restart(G::Setup setup, bool freshWindow = false);
};

// 2D mode over the whole 800 x 600 back buffer, cleared to opaque black.
void StartBlack2D();

// The drawing tests' fixture: the backend started, then StartBlack2D.
class GL2DTest : public GLTest {
 protected:
  void SetUp() override;
};

// Puts every seam back to the driver's own.
void RestoreDriverSeams();

// ---- Read-back -----------------------------------------------------------------
// The back buffer (before the present), top-left origin, as 0xAARRGGBB.
// Finishes drawing first.
std::vector<unsigned> ReadPixels(int x, int y, int width, int height);
unsigned ReadPixel(int x, int y);
// The colour without its alpha: back buffers need not keep one.
inline unsigned Rgb(unsigned argb) { return argb & 0xFFFFFFu; }

// ---- Driver stand-ins ----------------------------------------------------------
// GL_EXTENSIONS as given (the driver's other strings pass through); the
// vendor and version strings can be given too (empty: the driver's).
void FakeExtensions(const std::string& extensions);
void FakeDriverStrings(const std::string& vendor, const std::string& renderer, const std::string& version);
// The driver's extension string (for tests that take one name away).
std::string DriverExtensions();

// Entry points the loader pretends not to have.
void DenyEntryPoints(const std::vector<std::string>& names);
// Entry points the loader replaces by the given functions.
void ReplaceEntryPoint(const std::string& name, void* function);
// The driver's own entry point (for replacements that pass calls on).
void* DriverEntryPoint(const char* name);

// glGetError answers these codes in order, then the driver's own.
void QueueGLErrors(const std::vector<unsigned>& codes);
size_t QueuedGLErrorsLeft();

// The program's own data folder (shaders) in the working folder.
void CopyProgramData();
