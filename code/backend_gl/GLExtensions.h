// The OpenGL build's extension probe, capability flags and error reporting,
// and the seams through which tests stand in for what the driver answers.
// No windows.h and no GL headers here: the tests include this too.
#pragma once
#include <string>
#include <vector>

// What the probe found; every other part of the OpenGL backend tests these
// flags. All false until InitExtensions runs; kept until the program ends.
struct GLCapabilityFlags {
  bool shaders = false;
  bool cubeMaps = false;
  bool texture3D = false;
  bool twoSidedStencil = false;
  bool atiSeparateStencil = false;
  bool stencilWrap = false;
  bool borderClamp = false;
  bool generateMipmap = false;
  bool framebufferObjects = false;
};
extern GLCapabilityFlags GLCapabilities;

// The driver's GL_EXTENSIONS tokens.
extern std::vector<std::string> GLExtensionList;

// Probes and logs every extension the backend knows, in a fixed order, and
// loads their entry points. False only without GL_ARB_vertex_buffer_object.
bool InitExtensions();
// Whole-token match ignoring case; logs the answer to the stat log.
bool IsExtensionSupported(const char* name);
// The entry point, or null (logged).
void* GetExtProc(const char* name);

// Appends the text of each pending GL error (only the first when asked);
// true when there was any.
bool GetErrors(std::string& out, bool firstOnly);
// Discards pending errors before an operation whose errors are reported.
void ClearErrors();
// Logs the context text and every pending error; true when there was any.
bool CheckGLErrors(const std::string& context, bool withCallStack);

// ---- Seams -------------------------------------------------------------------
// Each setter installs a stand-in (null restores the driver's own) and
// returns the one it replaces. The defaults are exposed so a stand-in can
// pass most questions on to the driver.

// glGetString: GL_VENDOR, GL_RENDERER, GL_VERSION, GL_EXTENSIONS.
typedef const char* (*GLStringSource)(unsigned name);
GLStringSource SetGLStringSource(GLStringSource source);
const char* DriverGLString(unsigned name);

// wglGetProcAddress. A stand-in may hand out its own functions; they must
// use the GL calling convention (APIENTRY).
typedef void* (*GLProcLoader)(const char* name);
GLProcLoader SetGLProcLoader(GLProcLoader loader);
void* DriverGLProc(const char* name);

// glGetError.
typedef unsigned (*GLErrorSource)();
GLErrorSource SetGLErrorSource(GLErrorSource source);
unsigned DriverGLError();
