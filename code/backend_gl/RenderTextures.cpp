// OpenGL render textures on GL_EXT_framebuffer_object: one framebuffer, one
// colour texture (2D or cube map) and one depth renderbuffer each. Without
// the extension every operation does nothing and reports failure.
#include "backend_gl/GLBackend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Texture.h"

namespace G {

struct SRendTex_API_Data {
  GLuint framebuffer = 0;
  GLuint texture = 0;
  GLuint depthBuffer = 0;
  GLuint secondBuffer = 0;  // never made; deleted when set
  GLenum target = GL_TEXTURE_2D;
  bool cube = false;
  bool rendering = false;
  unsigned generation = 0;
};

namespace {

using GLBackend::IsLiveContext;

const char* StatusText(GLenum status) {
  switch (status) {
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT: return "  -incomplete attachment.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT: return "  -missing attachment.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_DUPLICATE_ATTACHMENT_EXT: return "  -duplicate attachment.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT: return "  -dimensions problem.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT: return "  -format error.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT: return "  -draw buffer... something.\n";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT: return "  -read buffer error\n";
    case GL_FRAMEBUFFER_UNSUPPORTED_EXT: return "  -not supported.\n";
    default: return "  -This error is impossible.\n";
  }
}

bool IsUsable(const RenderTextureRecord* record) {
  return record && record->api && IsLiveContext(record->api->generation);
}

}  // namespace

RenderTexture::RenderTexture() {}

RenderTexture::~RenderTexture() noexcept(false) { SRFree(); }

bool RenderTexture::Create(int width, int height, bool cube, bool stencil) {
  if (!GLCapabilities.framebufferObjects || !GLBackend::HasContext()) return false;
  GLBackend::ActiveTextureUnit(0);
  SRFree();
  // Cube faces are square; OpenGL would only find out at the first face.
  if (cube && width != height) {
    ErrorLog << "RenderTexture::Create: Cube maps must have the same width as height.\n";
    return false;
  }
  SRAlloc();
  record_->width = width;
  record_->height = height;
  record_->cube = cube;
  record_->ownDepth = false;
  SRendTex_API_Data* api = new2(SRendTex_API_Data, SRendTex_API_Data());
  record_->api = api;
  api->cube = cube;
  api->generation = GLBackend::ContextGeneration();

  ClearErrors();
  glGenFramebuffersEXT(1, &api->framebuffer);
  glGenTextures(1, &api->texture);
  glGenRenderbuffersEXT(1, &api->depthBuffer);
  api->target = cube ? GL_TEXTURE_CUBE_MAP_ARB : GL_TEXTURE_2D;
  glBindTexture(GL_TEXTURE_2D, 0);
  if (GLCapabilities.cubeMaps) glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, 0);
  glBindTexture(api->target, api->texture);
  if (cube) {
    for (int face = 0; face < 6; ++face)
      glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + face, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   nullptr);
    glTexParameteri(api->target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(api->target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const GLint clamp = GLCapabilities.borderClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    glTexParameteri(api->target, GL_TEXTURE_WRAP_S, clamp);
    glTexParameteri(api->target, GL_TEXTURE_WRAP_T, clamp);
    glTexParameteri(api->target, GL_TEXTURE_WRAP_R, clamp);
    glBindTexture(api->target, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, api->framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB,
                              api->texture, 0);
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, api->framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, api->texture, 0);
  }
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, api->depthBuffer);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, api->depthBuffer);

  bool complete = false;
  for (int check = 1; check <= 3; ++check) {
    const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status == GL_FRAMEBUFFER_COMPLETE_EXT) {
      complete = true;
      if (check <= 2) record_->ownDepth = true;
      break;
    }
    ErrorLog << "erp: RenderTexture's framebuffer is not complete.\n" << StatusText(status);
    if (check == 1) {
      ErrorLog << "  -trying again with 16bpp depth buffer...\n";
      CheckGLErrors("RenderTexture Create failure:\n", true);
      glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT16, width, height);
      glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                   api->depthBuffer);
    } else if (check == 2) {
      if (!stencil) break;
      ErrorLog << "  -trying again with no stencil buffer...\n";
      CheckGLErrors("RenderTexture Create failure:\n", true);
      glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, 0);
    }
  }
  if (complete) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    CheckGLErrors("RenderTexture Create:\n", true);
    return true;
  }
  SRFree();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  ErrorLog << "  -giving up on render-to-texture creation.\n";
  CheckGLErrors("RenderTexture Create failure:\n", true);
  return false;
}

bool RenderTexture::BeginRender(const RenderTargetDesc& desc) {
  if (!GLCapabilities.framebufferObjects || !IsUsable(record_)) return false;
  SRendTex_API_Data* api = record_->api;
  // Callers number -Z as face 4; OpenGL's fifth face is +Z.
  const int face = ApiCubeFace(desc.face);
  if (api->cube) SetCullReverse(true);
  ClearErrors();
  if (!api->rendering) {
    GLBackend::ActiveTextureUnit(0);
    glBindTexture(api->target, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, api->framebuffer);
  }
  if (api->cube)
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + face,
                              api->texture, 0);
  // The rectangle is taken as OpenGL's own, not turned.
  const Viewport viewport = RenderTargetViewport(*record_, desc);
  glViewport(viewport.x, viewport.y, viewport.width, viewport.height);
  GLBackend::SetTargetHeight(record_->height);
  // A cube face's aspect comes from its viewport too.
  SetRenderTargetProjection(desc, viewport, api->cube, /*squareCubeFaces=*/false);
  CheckGLErrors("RenderTexture::BeginRender:\n", true);
  api->rendering = true;
  return true;
}

void RenderTexture::EndRender() {
  if (!GLCapabilities.framebufferObjects) return;
  if (GLBackend::HasContext()) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  if (record_ && record_->api) record_->api->rendering = false;
  GLBackend::ResetTargetHeight();
  SetCullReverse(false);
  GLBackend::g_renderTextureBound = false;
}

void RenderTexture::Set(int stage) const {
  if (!GLCapabilities.framebufferObjects) return;
  if (!IsUsable(record_)) {
    UnsetTexture(stage);
    return;
  }
  if (record_->api->rendering) {
    ErrorLog << "Can't Set() a texture that is being rendered to.\n";
    return;
  }
  GLBackend::BindOnStage(stage, record_->api->target, record_->api->texture);
  if (!record_->ownDepth) GLBackend::g_renderTextureBound = true;
}

void RenderTexture::Free() {
  SRendTex_API_Data* api = record_->api;
  if (!api) return;
  if (GLCapabilities.framebufferObjects && IsLiveContext(api->generation)) {
    // Let go while drawn into: drawing goes back to the window as after
    // EndRender, with the winding and the stencil clears of the window.
    if (api->rendering) EndRender();
    if (api->framebuffer) glDeleteFramebuffersEXT(1, &api->framebuffer);
    if (api->depthBuffer) glDeleteRenderbuffersEXT(1, &api->depthBuffer);
    if (api->secondBuffer) glDeleteRenderbuffersEXT(1, &api->secondBuffer);
    if (api->texture) glDeleteTextures(1, &api->texture);
  }
  delete2(api);
  record_->api = nullptr;
}

Matrix4 CubeFaceViewMatrix(int face, const Vector3& eye) {
  Vector3 direction, up;
  bool flipUp = true, flipRight = false;
  switch (face) {
    case 0: direction = Vector3(1, 0, 0); up = Vector3(0, 1, 0); break;
    case 1: direction = Vector3(-1, 0, 0); up = Vector3(0, -1, 0); flipRight = true; break;
    case 2: direction = Vector3(0, 1, 0); up = Vector3(0, 0, 1); flipRight = true; break;
    case 3: direction = Vector3(0, -1, 0); up = Vector3(0, 0, -1); flipRight = true; break;
    case 4: direction = Vector3(0, 0, -1); up = Vector3(0, 1, 0); break;
    case 5: direction = Vector3(0, 0, 1); up = Vector3(0, 1, 0); break;
    default: return Matrix4();
  }
  Matrix4 view;
  Matrix4::LookAt(view, eye, eye + direction, up, flipUp, flipRight);
  return view;
}

}  // namespace G
