// The OpenGL backend's private header: the GL and WGL declarations, the
// extension entry points, and the state its files share. Only the files of
// this folder include it.
//
// The backend implements the whole graphics interface on OpenGL 1.1 + WGL:
//   Device.cpp          start-up, display mode, window size, shut-down
//   Extensions.cpp      the extension probe, entry points, GL errors
//   RenderStates.cpp    frames, clears, states, transforms, draws, immediate mode
//   Textures.cpp        2D, volume and cube textures with system-memory copies
//   Buffers.cpp         vertex and index buffers (GL_ARB_vertex_buffer_object)
//   RenderTextures.cpp  render targets (GL_EXT_framebuffer_object)
//   Shaders.cpp         GLSL programs (GL_ARB_shader_objects)
// What it lacks: devices are never lost (the lost and restored callbacks
// never fire); mipmaps only from the driver's automatic generation; a
// plain render target keeps OpenGL's row order (bottom row first), so drawn
// as a sprite it shows upside down; packed vertex colours need
// GL_BGRA-sized colour arrays (OpenGL 3.2 or GL_ARB_vertex_array_bgra).
#pragma once
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include "backend_gl/GLExtensions.h"
#include "foundation/Maths.h"
#include "graphics/Device.h"
#include "graphics/RenderTexture.h"
#include "graphics/VertexBuffer.h"

// glext.h of some toolchains lacks this status.
#ifndef GL_FRAMEBUFFER_INCOMPLETE_DUPLICATE_ATTACHMENT_EXT
#define GL_FRAMEBUFFER_INCOMPLETE_DUPLICATE_ATTACHMENT_EXT 0x8CD8
#endif

typedef BOOL(WINAPI* PFNQVWGLSWAPINTERVALEXTPROC)(int interval);

// The entry points of each extension the backend uses, (type, name). Every
// pointer is named as its function, so calls read like plain GL; a pointer
// stays null when the extension is missing or the driver gives none.
#define QV_GL_VERTEX_BUFFER_PROCS(X)                                 \
  X(PFNGLBINDBUFFERARBPROC, glBindBufferARB)                         \
  X(PFNGLDELETEBUFFERSARBPROC, glDeleteBuffersARB)                   \
  X(PFNGLGENBUFFERSARBPROC, glGenBuffersARB)                         \
  X(PFNGLISBUFFERARBPROC, glIsBufferARB)                             \
  X(PFNGLBUFFERDATAARBPROC, glBufferDataARB)                         \
  X(PFNGLBUFFERSUBDATAARBPROC, glBufferSubDataARB)                   \
  X(PFNGLGETBUFFERSUBDATAARBPROC, glGetBufferSubDataARB)             \
  X(PFNGLMAPBUFFERARBPROC, glMapBufferARB)                           \
  X(PFNGLUNMAPBUFFERARBPROC, glUnmapBufferARB)                       \
  X(PFNGLGETBUFFERPARAMETERIVARBPROC, glGetBufferParameterivARB)     \
  X(PFNGLGETBUFFERPOINTERVARBPROC, glGetBufferPointervARB)

#define QV_GL_MULTITEXTURE_PROCS(X)                                  \
  X(PFNGLACTIVETEXTUREARBPROC, glActiveTextureARB)                   \
  X(PFNGLCLIENTACTIVETEXTUREARBPROC, glClientActiveTextureARB)       \
  X(PFNGLMULTITEXCOORD1FARBPROC, glMultiTexCoord1fARB)               \
  X(PFNGLMULTITEXCOORD2FVARBPROC, glMultiTexCoord2fvARB)             \
  X(PFNGLMULTITEXCOORD2FARBPROC, glMultiTexCoord2fARB)               \
  X(PFNGLMULTITEXCOORD3FVARBPROC, glMultiTexCoord3fvARB)             \
  X(PFNGLMULTITEXCOORD3FARBPROC, glMultiTexCoord3fARB)               \
  X(PFNGLMULTITEXCOORD4FVARBPROC, glMultiTexCoord4fvARB)             \
  X(PFNGLMULTITEXCOORD4FARBPROC, glMultiTexCoord4fARB)

#define QV_GL_SHADER_PROCS(X)                                        \
  X(PFNGLCREATEPROGRAMOBJECTARBPROC, glCreateProgramObjectARB)       \
  X(PFNGLCREATESHADEROBJECTARBPROC, glCreateShaderObjectARB)         \
  X(PFNGLDELETEOBJECTARBPROC, glDeleteObjectARB)                     \
  X(PFNGLSHADERSOURCEARBPROC, glShaderSourceARB)                     \
  X(PFNGLCOMPILESHADERARBPROC, glCompileShaderARB)                   \
  X(PFNGLATTACHOBJECTARBPROC, glAttachObjectARB)                     \
  X(PFNGLLINKPROGRAMARBPROC, glLinkProgramARB)                       \
  X(PFNGLUSEPROGRAMOBJECTARBPROC, glUseProgramObjectARB)             \
  X(PFNGLGETOBJECTPARAMETERFVARBPROC, glGetObjectParameterfvARB)     \
  X(PFNGLGETOBJECTPARAMETERIVARBPROC, glGetObjectParameterivARB)     \
  X(PFNGLGETINFOLOGARBPROC, glGetInfoLogARB)                         \
  X(PFNGLGETUNIFORMLOCATIONARBPROC, glGetUniformLocationARB)         \
  X(PFNGLUNIFORMMATRIX4FVARBPROC, glUniformMatrix4fvARB)             \
  X(PFNGLUNIFORMMATRIX3FVARBPROC, glUniformMatrix3fvARB)             \
  X(PFNGLUNIFORMMATRIX2FVARBPROC, glUniformMatrix2fvARB)             \
  X(PFNGLUNIFORM4FVARBPROC, glUniform4fvARB)                         \
  X(PFNGLUNIFORM3FVARBPROC, glUniform3fvARB)                         \
  X(PFNGLUNIFORM2FVARBPROC, glUniform2fvARB)                         \
  X(PFNGLUNIFORM1FVARBPROC, glUniform1fvARB)                         \
  X(PFNGLUNIFORM1IARBPROC, glUniform1iARB)

#define QV_GL_SWAP_CONTROL_PROCS(X) X(PFNQVWGLSWAPINTERVALEXTPROC, wglSwapIntervalEXT)
#define QV_GL_TEXTURE_3D_PROCS(X) X(PFNGLTEXIMAGE3DEXTPROC, glTexImage3DEXT)
#define QV_GL_ATI_STENCIL_PROCS(X) X(PFNGLSTENCILOPSEPARATEATIPROC, glStencilOpSeparateATI)
#define QV_GL_EXT_STENCIL_PROCS(X) X(PFNGLACTIVESTENCILFACEEXTPROC, glActiveStencilFaceEXT)

#define QV_GL_FRAMEBUFFER_PROCS(X)                                             \
  X(PFNGLISRENDERBUFFEREXTPROC, glIsRenderbufferEXT)                           \
  X(PFNGLBINDRENDERBUFFEREXTPROC, glBindRenderbufferEXT)                       \
  X(PFNGLDELETERENDERBUFFERSEXTPROC, glDeleteRenderbuffersEXT)                 \
  X(PFNGLGENRENDERBUFFERSEXTPROC, glGenRenderbuffersEXT)                       \
  X(PFNGLRENDERBUFFERSTORAGEEXTPROC, glRenderbufferStorageEXT)                 \
  X(PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC, glGetRenderbufferParameterivEXT)   \
  X(PFNGLISFRAMEBUFFEREXTPROC, glIsFramebufferEXT)                             \
  X(PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT)                         \
  X(PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT)                   \
  X(PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT)                         \
  X(PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC, glCheckFramebufferStatusEXT)           \
  X(PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT)               \
  X(PFNGLFRAMEBUFFERTEXTURE3DEXTPROC, glFramebufferTexture3DEXT)               \
  X(PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC, glFramebufferRenderbufferEXT)         \
  X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC, glGetFramebufferAttachmentParameterivEXT) \
  X(PFNGLGENERATEMIPMAPEXTPROC, glGenerateMipmapEXT)

#define QV_GL_ALL_PROCS(X)     \
  QV_GL_VERTEX_BUFFER_PROCS(X) \
  QV_GL_MULTITEXTURE_PROCS(X)  \
  QV_GL_SHADER_PROCS(X)        \
  QV_GL_SWAP_CONTROL_PROCS(X)  \
  QV_GL_TEXTURE_3D_PROCS(X)    \
  QV_GL_ATI_STENCIL_PROCS(X)   \
  QV_GL_EXT_STENCIL_PROCS(X)   \
  QV_GL_FRAMEBUFFER_PROCS(X)

#define QV_GL_DECLARE_PROC(type, name) extern type name;
QV_GL_ALL_PROCS(QV_GL_DECLARE_PROC)
#undef QV_GL_DECLARE_PROC

namespace GLBackend {

// glGetString through the seam; never null ("" when the driver has none).
const char* GLString(unsigned name);
// Entry points belong to the context they were fetched in: when it goes,
// they go too, so a late call finds null instead of a dead driver.
void ForgetEntryPoints();

// ---- Device (Device.cpp) -------------------------------------------------------

// True while the rendering context exists (it is current on the main thread).
bool HasContext();
// Counts the rendering contexts made; an object made in one context holds
// this number, so after a Shutdown (and a new Init) its names are never
// handed to GL again: they would name nothing, or someone else's object.
unsigned ContextGeneration();
// True when GL may be called for an object made in the given generation.
bool IsLiveContext(unsigned generation);
G::Setup& SetupCopy();
HDC DeviceContext();

// ---- Frames, states and drawing (RenderStates.cpp) -----------------------------

// Raised by RenderTexture::Set, lowered by RenderTexture::EndRender; while
// raised Clear leaves the stencil alone.
extern bool g_renderTextureBound;
// The height of the target drawn into now: the back buffer's (the set-up
// height) or, between BeginRender and EndRender, the render texture's. The
// viewport's y is turned by it.
void SetTargetHeight(int height);
void ResetTargetHeight();
// Immediate mode and draws before start-up see a clean slate.
void ResetDrawingState();

// ---- Textures (Textures.cpp) ----------------------------------------------------

// The target last enabled on each texture stage, so binding another kind of
// texture there disables the previous one. Stages outside 0..kStages-1
// are not tracked.
constexpr int kStages = 16;
extern GLenum g_stageTargets[kStages];
// Binds the name to the target on the stage's unit, disabling the stage's
// previous target when it differs, and enables the target.
void BindOnStage(int stage, GLenum target, GLuint name);
void ClearStageTargets();
// Texture units through glActiveTextureARB / glClientActiveTextureARB,
// which a driver without multitexturing lacks: only unit 0 exists there,
// and the answer is false for any other (nothing is to be done with it).
bool ActiveTextureUnit(int unit);
bool ClientActiveTextureUnit(int unit);

// ---- Buffers (Buffers.cpp) --------------------------------------------------------

// The buffers the draws read; null when none.
extern G::VertexBufferRecord* g_currentVertexBuffer;
extern G::IndexBufferRecord* g_currentIndexBuffer;
// Texture-coordinate arrays of units 3..0, colours, normals, positions.
void DisableClientArrays();

// ---- Shaders (Shaders.cpp) -------------------------------------------------------------

// Forgets the current shader (its context is gone).
void ForgetCurrentShader();

}  // namespace GLBackend
