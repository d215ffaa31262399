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

// The entry points of each extension the backend uses, (type, name, needed).
// Every pointer is named as its function, so calls read like plain GL; a
// pointer stays null when the extension is missing or the driver gives none.
// Needed (1) marks the ones the backend calls: a listed extension whose
// driver lacks one of them is not used at all (its flag stays false and its
// pointers null), since callers test the flag, not each pointer.
#define QV_GL_VERTEX_BUFFER_PROCS(X)                                \
  X(PFNGLBINDBUFFERARBPROC, glBindBufferARB, 1)                     \
  X(PFNGLDELETEBUFFERSARBPROC, glDeleteBuffersARB, 1)               \
  X(PFNGLGENBUFFERSARBPROC, glGenBuffersARB, 1)                     \
  X(PFNGLISBUFFERARBPROC, glIsBufferARB, 0)                         \
  X(PFNGLBUFFERDATAARBPROC, glBufferDataARB, 1)                     \
  X(PFNGLBUFFERSUBDATAARBPROC, glBufferSubDataARB, 0)               \
  X(PFNGLGETBUFFERSUBDATAARBPROC, glGetBufferSubDataARB, 0)         \
  X(PFNGLMAPBUFFERARBPROC, glMapBufferARB, 1)                       \
  X(PFNGLUNMAPBUFFERARBPROC, glUnmapBufferARB, 1)                   \
  X(PFNGLGETBUFFERPARAMETERIVARBPROC, glGetBufferParameterivARB, 0) \
  X(PFNGLGETBUFFERPOINTERVARBPROC, glGetBufferPointervARB, 0)

#define QV_GL_MULTITEXTURE_PROCS(X)                               \
  X(PFNGLACTIVETEXTUREARBPROC, glActiveTextureARB, 1)             \
  X(PFNGLCLIENTACTIVETEXTUREARBPROC, glClientActiveTextureARB, 1) \
  X(PFNGLMULTITEXCOORD1FARBPROC, glMultiTexCoord1fARB, 0)         \
  X(PFNGLMULTITEXCOORD2FVARBPROC, glMultiTexCoord2fvARB, 0)       \
  X(PFNGLMULTITEXCOORD2FARBPROC, glMultiTexCoord2fARB, 0)         \
  X(PFNGLMULTITEXCOORD3FVARBPROC, glMultiTexCoord3fvARB, 0)       \
  X(PFNGLMULTITEXCOORD3FARBPROC, glMultiTexCoord3fARB, 0)         \
  X(PFNGLMULTITEXCOORD4FVARBPROC, glMultiTexCoord4fvARB, 0)       \
  X(PFNGLMULTITEXCOORD4FARBPROC, glMultiTexCoord4fARB, 0)

#define QV_GL_SHADER_PROCS(X)                                       \
  X(PFNGLCREATEPROGRAMOBJECTARBPROC, glCreateProgramObjectARB, 1)   \
  X(PFNGLCREATESHADEROBJECTARBPROC, glCreateShaderObjectARB, 1)     \
  X(PFNGLDELETEOBJECTARBPROC, glDeleteObjectARB, 1)                 \
  X(PFNGLSHADERSOURCEARBPROC, glShaderSourceARB, 1)                 \
  X(PFNGLCOMPILESHADERARBPROC, glCompileShaderARB, 1)               \
  X(PFNGLATTACHOBJECTARBPROC, glAttachObjectARB, 1)                 \
  X(PFNGLLINKPROGRAMARBPROC, glLinkProgramARB, 1)                   \
  X(PFNGLUSEPROGRAMOBJECTARBPROC, glUseProgramObjectARB, 1)         \
  X(PFNGLGETOBJECTPARAMETERFVARBPROC, glGetObjectParameterfvARB, 0) \
  X(PFNGLGETOBJECTPARAMETERIVARBPROC, glGetObjectParameterivARB, 1) \
  X(PFNGLGETINFOLOGARBPROC, glGetInfoLogARB, 1)                     \
  X(PFNGLGETUNIFORMLOCATIONARBPROC, glGetUniformLocationARB, 1)     \
  X(PFNGLUNIFORMMATRIX4FVARBPROC, glUniformMatrix4fvARB, 1)         \
  X(PFNGLUNIFORMMATRIX3FVARBPROC, glUniformMatrix3fvARB, 1)         \
  X(PFNGLUNIFORMMATRIX2FVARBPROC, glUniformMatrix2fvARB, 1)         \
  X(PFNGLUNIFORM4FVARBPROC, glUniform4fvARB, 1)                     \
  X(PFNGLUNIFORM3FVARBPROC, glUniform3fvARB, 1)                     \
  X(PFNGLUNIFORM2FVARBPROC, glUniform2fvARB, 1)                     \
  X(PFNGLUNIFORM1FVARBPROC, glUniform1fvARB, 1)                     \
  X(PFNGLUNIFORM1IARBPROC, glUniform1iARB, 1)

#define QV_GL_SWAP_CONTROL_PROCS(X) X(PFNQVWGLSWAPINTERVALEXTPROC, wglSwapIntervalEXT, 1)
#define QV_GL_TEXTURE_3D_PROCS(X) X(PFNGLTEXIMAGE3DEXTPROC, glTexImage3DEXT, 1)
#define QV_GL_ATI_STENCIL_PROCS(X) X(PFNGLSTENCILOPSEPARATEATIPROC, glStencilOpSeparateATI, 1)
#define QV_GL_EXT_STENCIL_PROCS(X) X(PFNGLACTIVESTENCILFACEEXTPROC, glActiveStencilFaceEXT, 1)

#define QV_GL_FRAMEBUFFER_PROCS(X)                                                                \
  X(PFNGLISRENDERBUFFEREXTPROC, glIsRenderbufferEXT, 0)                                           \
  X(PFNGLBINDRENDERBUFFEREXTPROC, glBindRenderbufferEXT, 1)                                       \
  X(PFNGLDELETERENDERBUFFERSEXTPROC, glDeleteRenderbuffersEXT, 1)                                 \
  X(PFNGLGENRENDERBUFFERSEXTPROC, glGenRenderbuffersEXT, 1)                                       \
  X(PFNGLRENDERBUFFERSTORAGEEXTPROC, glRenderbufferStorageEXT, 1)                                 \
  X(PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC, glGetRenderbufferParameterivEXT, 0)                   \
  X(PFNGLISFRAMEBUFFEREXTPROC, glIsFramebufferEXT, 0)                                             \
  X(PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT, 1)                                         \
  X(PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT, 1)                                   \
  X(PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT, 1)                                         \
  X(PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC, glCheckFramebufferStatusEXT, 1)                           \
  X(PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT, 1)                               \
  X(PFNGLFRAMEBUFFERTEXTURE3DEXTPROC, glFramebufferTexture3DEXT, 0)                               \
  X(PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC, glFramebufferRenderbufferEXT, 1)                         \
  X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC, glGetFramebufferAttachmentParameterivEXT, 0) \
  X(PFNGLGENERATEMIPMAPEXTPROC, glGenerateMipmapEXT, 0)

#define QV_GL_ALL_PROCS(X)     \
  QV_GL_VERTEX_BUFFER_PROCS(X) \
  QV_GL_MULTITEXTURE_PROCS(X)  \
  QV_GL_SHADER_PROCS(X)        \
  QV_GL_SWAP_CONTROL_PROCS(X)  \
  QV_GL_TEXTURE_3D_PROCS(X)    \
  QV_GL_ATI_STENCIL_PROCS(X)   \
  QV_GL_EXT_STENCIL_PROCS(X)   \
  QV_GL_FRAMEBUFFER_PROCS(X)

#define QV_GL_DECLARE_PROC(type, name, needed) extern type name;
QV_GL_ALL_PROCS(QV_GL_DECLARE_PROC)
#undef QV_GL_DECLARE_PROC

namespace GLBackend {

// glGetString through the seam; never null ("" when the driver has none).
const char* GLString(unsigned name);
// Entry points belong to the context they were fetched in: when it goes,
// they go too, so a late call finds null instead of a dead driver.
void ForgetEntryPoints();
// GL_ARB_vertex_buffer_object listed with every needed entry point, as the
// last probe found it. Without it no buffer object is made or touched (and
// start-up fails).
bool HasBufferObjects();

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
