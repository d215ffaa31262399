// The OpenGL extension probe: which extensions the driver lists, their entry
// points and the capability flags; and reading and reporting GL errors.
#include <cctype>

#include "backend_gl/GLBackend.h"
#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"

#define QV_GL_DEFINE_PROC(type, name, needed) type name = nullptr;
QV_GL_ALL_PROCS(QV_GL_DEFINE_PROC)
#undef QV_GL_DEFINE_PROC

GLCapabilityFlags GLCapabilities;

std::vector<std::string> GLExtensionList QV_STARTUP(kRowBackendOwn);

// ---- Seams ---------------------------------------------------------------------

const char* DriverGLString(unsigned name) { return reinterpret_cast<const char*>(glGetString(name)); }
void* DriverGLProc(const char* name) { return reinterpret_cast<void*>(wglGetProcAddress(name)); }
// Without a context the system's GL answers every question with an error
// of its own; there is nothing of ours to report then.
unsigned DriverGLError() { return GLBackend::HasContext() ? glGetError() : GL_NO_ERROR; }

namespace {
GLStringSource s_stringSource = &DriverGLString;
GLProcLoader s_procLoader = &DriverGLProc;
GLErrorSource s_errorSource = &DriverGLError;

template <class F>
F Install(F& slot, F replacement, F driver) {
  F old = slot;
  slot = replacement ? replacement : driver;
  return old;
}
}  // namespace

GLStringSource SetGLStringSource(GLStringSource source) { return Install(s_stringSource, source, &DriverGLString); }
GLProcLoader SetGLProcLoader(GLProcLoader loader) { return Install(s_procLoader, loader, &DriverGLProc); }
GLErrorSource SetGLErrorSource(GLErrorSource source) { return Install(s_errorSource, source, &DriverGLError); }

namespace GLBackend {
const char* GLString(unsigned name) {
  const char* text = s_stringSource(name);
  return text ? text : "";
}
}  // namespace GLBackend

// ---- The probe ---------------------------------------------------------------------

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && !b[i];
}

// GL_ARB_vertex_buffer_object usable, as the last probe found it.
bool s_bufferObjects = false;

template <class T>
bool LoadProc(T& pointer, const char* name) {
  pointer = reinterpret_cast<T>(GetExtProc(name));
  return pointer != nullptr;
}

// One loader per extension: true when every entry point the backend calls
// came; otherwise none of the extension's pointers is kept, so nothing can
// reach a half-loaded extension.
#define QV_GL_LOAD_PROC(type, name, needed) \
  if (!LoadProc(name, #name) && needed) complete = false;
#define QV_GL_DROP_PROC(type, name, needed) name = nullptr;
#define QV_GL_DEFINE_LOADER(function, PROCS) \
  bool function() {                          \
    bool complete = true;                    \
    PROCS(QV_GL_LOAD_PROC)                   \
    if (!complete) { PROCS(QV_GL_DROP_PROC) } \
    return complete;                         \
  }
QV_GL_DEFINE_LOADER(LoadVertexBufferProcs, QV_GL_VERTEX_BUFFER_PROCS)
QV_GL_DEFINE_LOADER(LoadMultitextureProcs, QV_GL_MULTITEXTURE_PROCS)
QV_GL_DEFINE_LOADER(LoadShaderProcs, QV_GL_SHADER_PROCS)
QV_GL_DEFINE_LOADER(LoadSwapControlProcs, QV_GL_SWAP_CONTROL_PROCS)
QV_GL_DEFINE_LOADER(LoadTexture3DProcs, QV_GL_TEXTURE_3D_PROCS)
QV_GL_DEFINE_LOADER(LoadAtiStencilProcs, QV_GL_ATI_STENCIL_PROCS)
QV_GL_DEFINE_LOADER(LoadExtStencilProcs, QV_GL_EXT_STENCIL_PROCS)
QV_GL_DEFINE_LOADER(LoadFramebufferProcs, QV_GL_FRAMEBUFFER_PROCS)
#undef QV_GL_DEFINE_LOADER

// Loads a listed extension's entry points; false, with a line saying why,
// when the driver lacks one the backend calls: the extension is then
// treated as missing (the failed entry points were logged as they came).
bool Usable(const char* extension, bool (*load)()) {
  if (load()) return true;
  ErrorLog << extension << " is listed, but some of its functions are missing: not using it.\n";
  return false;
}

}  // namespace

bool IsExtensionSupported(const char* name) {
  for (const std::string& token : GLExtensionList) {
    if (SameIgnoringCase(token, name)) {
      StatLog << name << " supported.\n";
      return true;
    }
  }
  StatLog << "* " << name << " NOT supported.\n";
  return false;
}

void* GetExtProc(const char* name) {
  void* proc = s_procLoader(name);
  if (!proc) ErrorLog << "Failed to get pointer to GL Extension function: " << name << "\n";
  return proc;
}

namespace GLBackend {
void ForgetEntryPoints() {
  QV_GL_ALL_PROCS(QV_GL_DROP_PROC)
  s_bufferObjects = false;
}

bool HasBufferObjects() { return s_bufferObjects; }
}  // namespace GLBackend

bool InitExtensions() {
  // A new context may come with another driver: nothing of an earlier probe
  // is kept.
  GLCapabilities = GLCapabilityFlags();
  GLBackend::ForgetEntryPoints();

  StatLog << "Checking OpenGL Extensions:\n";
  Tokenize(GLBackend::GLString(GL_EXTENSIONS), GLExtensionList, " \t\n");

  // Without buffer objects nothing can be drawn; the rest is still probed so
  // the stat log tells the whole story.
  bool vertexBuffers = IsExtensionSupported("GL_ARB_vertex_buffer_object");
  if (vertexBuffers) vertexBuffers = Usable("GL_ARB_vertex_buffer_object", &LoadVertexBufferProcs);
  s_bufferObjects = vertexBuffers;

  if (IsExtensionSupported("GL_ARB_multitexture")) {
    Usable("GL_ARB_multitexture", &LoadMultitextureProcs);
  } else {
    ErrorLog << "Ancient video card... doesn't support multitexturing!?  Many things may look wrong...\n";
  }

  const bool shadingLanguage = IsExtensionSupported("GL_ARB_shading_language_100");
  const bool shaderObjects = IsExtensionSupported("GL_ARB_shader_objects");
  if (shadingLanguage && shaderObjects) {
    GLCapabilities.shaders = Usable("GL_ARB_shader_objects", &LoadShaderProcs);
  } else {
    ErrorLog << "Your video card doesn't support OpenGL shaders... things may not work at all.\n";
  }

  GLCapabilities.cubeMaps = IsExtensionSupported("GL_ARB_texture_cube_map");

  if (IsExtensionSupported("WGL_EXT_swap_control")) Usable("WGL_EXT_swap_control", &LoadSwapControlProcs);

  if (IsExtensionSupported("GL_EXT_texture3D"))
    GLCapabilities.texture3D = Usable("GL_EXT_texture3D", &LoadTexture3DProcs);

  GLCapabilities.twoSidedStencil = false;
  if (IsExtensionSupported("GL_ATI_separate_stencil") &&
      Usable("GL_ATI_separate_stencil", &LoadAtiStencilProcs)) {
    GLCapabilities.twoSidedStencil = true;
    GLCapabilities.atiSeparateStencil = true;
  }
  // With both extensions the ATI path is the one used.
  if (IsExtensionSupported("GL_EXT_stencil_two_side") &&
      Usable("GL_EXT_stencil_two_side", &LoadExtStencilProcs))
    GLCapabilities.twoSidedStencil = true;

  GLCapabilities.stencilWrap = IsExtensionSupported("GL_EXT_stencil_wrap");

  if (!IsExtensionSupported("GL_ARB_texture_mirrored_repeat"))
    ErrorLog << "Pathetic video card detected... some texture edges may not be correct ...\n";
  GLCapabilities.borderClamp = IsExtensionSupported("GL_ARB_texture_border_clamp");
  if (!GLCapabilities.borderClamp)
    ErrorLog << "Pathetic video card detected... some texture edges may not be correct ...\n";
  // Textures go up in BGRA order whatever the answer.
  if (!IsExtensionSupported("GL_EXT_bgra"))
    ErrorLog << "Pathetic video card detected... texture colors will be all wrong, if they even work.\n";
  GLCapabilities.generateMipmap = IsExtensionSupported("GL_SGIS_generate_mipmap");
  if (!GLCapabilities.generateMipmap)
    ErrorLog << "Pathetic video card detected... mipmapping will not be available.\n";

  if (IsExtensionSupported("GL_EXT_framebuffer_object"))
    GLCapabilities.framebufferObjects = Usable("GL_EXT_framebuffer_object", &LoadFramebufferProcs);

  IsExtensionSupported("GL_ARB_occlusion_query");
  IsExtensionSupported("GL_ARB_texture_compression");

  StatLog << "\n";
  return vertexBuffers;
}

// ---- Errors -------------------------------------------------------------------------

namespace {

const char* ErrorText(unsigned error) {
  switch (error) {
    case GL_INVALID_ENUM: return "An invalid enum was specifed.\n";
    case GL_INVALID_VALUE: return "A numeric argument had an invalid value.\n";
    case GL_INVALID_OPERATION: return "Operation not allowed in the current state.\n";
    case GL_STACK_OVERFLOW: return "An operation would have caused a stack overflow.\n";
    case GL_STACK_UNDERFLOW: return "An operation would have caused a stack underflow.\n";
    case GL_OUT_OF_MEMORY: return "Out of memory.  This is bad.\n";
    default: return "...unknown error...\n";
  }
}

// A driver that keeps reporting errors must not hang the program.
constexpr int kMaxErrorReads = 200;

}  // namespace

bool GetErrors(std::string& out, bool firstOnly) {
  unsigned error = s_errorSource();
  if (error == GL_NO_ERROR) return false;
  int texts = 0;
  while (error != GL_NO_ERROR) {
    out += ErrorText(error);
    if (firstOnly) return true;
    if (++texts == kMaxErrorReads) {
      ErrorLog << "GetErrors() is stuck somehow... force broke out of it.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      break;
    }
    error = s_errorSource();
  }
  return true;
}

void ClearErrors() {
  for (int reads = 1; reads <= kMaxErrorReads; ++reads) {
    if (s_errorSource() == GL_NO_ERROR) return;
    if (reads == 100 || reads == kMaxErrorReads) Sleep(5);
  }
  std::string text;
  GetErrors(text, true);
  ErrorLog << "ClearErrors() is stuck somehow... force broke out of it. Error: " << text << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

bool CheckGLErrors(const std::string& context, bool withCallStack) {
  std::string text;
  if (!GetErrors(text, false)) return false;
  ErrorLog << context << text;
  if (withCallStack)
    WriteCallStack(ErrorLog, "  -call stack:\n");
  else
    ErrorLog << "\n";
  return true;
}
