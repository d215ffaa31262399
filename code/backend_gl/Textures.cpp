// OpenGL textures: 2D, volume and cube textures, each with a copy of its
// pixels in system memory that a TextureLock hands out and its Unlock
// uploads; image files decoded by LoadedImage. A mipmapped texture's smaller
// levels are made here from that copy, at each upload.

#include <cstdint>
#include <cstring>
#include <vector>

#include "backend_gl/GLBackend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/GraphicsLock.h"
#include "graphics/LoadedImage.h"
#include "graphics/Texture.h"

namespace G {

struct STex_API_Data {
  GLuint name = 0;
  unsigned int* pixels = nullptr;  // the system-memory copy
  GLenum target = GL_TEXTURE_2D;
  GLenum internalFormat = GL_RGBA;
  GLenum uploadFormat = GL_BGRA;
  bool wrapU = true, wrapV = true, wrapW = true;
  int filter = kFilterLinear;
  unsigned generation = 0;  // the rendering context the name belongs to
};

struct STexLock_API_Data {
  bool write = false;
  bool dirtyFaces[6] = {};
  // Off for a load's own lock: the load reports the upload's errors under
  // its heading and undoes the texture, so they are left pending for it.
  bool reportUploadErrors = true;
};

}  // namespace G

namespace GLBackend {

GLenum g_stageTargets[kStages];

void ClearStageTargets() {
  for (GLenum& target : g_stageTargets) target = 0;
}

bool ActiveTextureUnit(int unit) {
  if (glActiveTextureARB) {
    glActiveTextureARB(GL_TEXTURE0_ARB + unit);
    return true;
  }
  return unit == 0;
}

bool ClientActiveTextureUnit(int unit) {
  if (glClientActiveTextureARB) {
    glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
    return true;
  }
  return unit == 0;
}

void BindOnStage(int stage, GLenum target, GLuint name) {
  if (!ActiveTextureUnit(stage)) return;
  glBindTexture(target, name);
  if (stage >= 0 && stage < kStages) {
    if (g_stageTargets[stage] && g_stageTargets[stage] != target) glDisable(g_stageTargets[stage]);
    g_stageTargets[stage] = target;
  }
  glEnable(target);
}

}  // namespace GLBackend

namespace G {

namespace {

using GLBackend::IsLiveContext;

// What the next TextureLock takes as its reportUploadErrors (set under the
// graphics lock).
bool s_lockReportsUploadErrors = true;

GLenum BindingQuery(GLenum target) {
  switch (target) {
    case GL_TEXTURE_3D_EXT: return GL_TEXTURE_BINDING_3D;
    case GL_TEXTURE_CUBE_MAP_ARB: return GL_TEXTURE_BINDING_CUBE_MAP_ARB;
    default: return GL_TEXTURE_BINDING_2D;
  }
}

// Parameters and uploads go to the bound texture: this binds one texture
// for the work and puts back what the active unit had bound, so the
// texture a stage draws with is never swapped behind its back.
class ScopedTextureBinding {
 public:
  ScopedTextureBinding(GLenum target, GLuint name) : target_(target) {
    glGetIntegerv(BindingQuery(target), &previous_);
    glBindTexture(target, name);
  }
  ~ScopedTextureBinding() { glBindTexture(target_, static_cast<GLuint>(previous_)); }

 private:
  ScopedTextureBinding(const ScopedTextureBinding&) = delete;
  ScopedTextureBinding& operator=(const ScopedTextureBinding&) = delete;
  GLenum target_;
  GLint previous_ = 0;
};

// Bytes of one texel in the system-memory copy: one for single-channel
// textures, four (0xAARRGGBB) for everything else, as the locks hand out.
int TexelBytes(int type) { return type == kTextureAlpha ? 1 : 4; }

size_t CopyWords(int width, int height, int depth, int type) {
  size_t bytes = static_cast<size_t>(width) * height * depth * TexelBytes(type) * (type == kTextureCube ? 6 : 1);
  return (bytes + 3) / 4;
}

GLint ClampMode() { return GLCapabilities.borderClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP; }

// A record whose texture lives in the current context.
bool IsUsable(const TextureRecord* record) {
  return record && record->api && record->api->name && IsLiveContext(record->api->generation);
}

// The wrap and filter parameters of the bound texture, from its record.
void SetWrapParameters(const STex_API_Data& api) {
  glTexParameteri(api.target, GL_TEXTURE_WRAP_S, api.wrapU ? GL_REPEAT : ClampMode());
  glTexParameteri(api.target, GL_TEXTURE_WRAP_T, api.wrapV ? GL_REPEAT : ClampMode());
  if (api.target == GL_TEXTURE_3D_EXT) glTexParameteri(api.target, GL_TEXTURE_WRAP_R, api.wrapW ? GL_REPEAT : ClampMode());
}

void SetFilterParameters(const STex_API_Data& api, bool mipmaps) {
  if (api.filter >= kFilterLinear) {
    glTexParameteri(api.target, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(api.target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  } else {
    glTexParameteri(api.target, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST);
    glTexParameteri(api.target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
}

void ApplyWrap(const STex_API_Data& api) {
  ScopedTextureBinding binding(api.target, api.name);
  SetWrapParameters(api);
}

void ApplyFilter(const STex_API_Data& api, bool mipmaps) {
  ScopedTextureBinding binding(api.target, api.name);
  SetFilterParameters(api, mipmaps);
}

// The levels of a mipmapped 2D texture below level 0, each the 2 x 2 average
// of the level above (rounded), made from level 0's texels and uploaded to
// the bound texture, which then samples them all. The driver's own generation
// (GL_GENERATE_MIPMAP_SGIS) renders each level from the one above, and a
// software renderer finishes every such pass before the next: some
// milliseconds a texture, which held the window still for a second while a
// map's 200 floor textures were made.
void UploadMipLevels(GLenum internalFormat, GLenum uploadFormat, int width, int height, int texelBytes,
                     const unsigned char* level0) {
  std::vector<unsigned char> above, below;
  const unsigned char* from = level0;
  int level = 0;
  while (width > 1 || height > 1) {
    const int w = width > 1 ? width / 2 : 1, h = height > 1 ? height / 2 : 1;
    // Along a side of 1 the two samples are the same texel.
    const size_t dx = width > 1 ? texelBytes : 0, dy = height > 1 ? static_cast<size_t>(width) * texelBytes : 0;
    below.resize(static_cast<size_t>(w) * h * texelBytes);
    unsigned char* to = below.data();
    for (int y = 0; y < h; ++y) {
      const unsigned char* row = from + (height > 1 ? 2 * y : 0) * static_cast<size_t>(width) * texelBytes;
      for (int x = 0; x < w; ++x) {
        const unsigned char* p = row + (width > 1 ? 2 * x : 0) * static_cast<size_t>(texelBytes);
        if (texelBytes == 4) {
          // All four channels at once: two lanes of 16 bits hold channels
          // 0 and 2, two more channels 1 and 3, each sum of four at most 1020.
          uint32_t t[4];
          std::memcpy(&t[0], p, 4);
          std::memcpy(&t[1], p + dx, 4);
          std::memcpy(&t[2], p + dy, 4);
          std::memcpy(&t[3], p + dx + dy, 4);
          const uint32_t even = (t[0] & 0x00FF00FFu) + (t[1] & 0x00FF00FFu) + (t[2] & 0x00FF00FFu) +
                                (t[3] & 0x00FF00FFu) + 0x00020002u;
          const uint32_t odd = (t[0] >> 8 & 0x00FF00FFu) + (t[1] >> 8 & 0x00FF00FFu) + (t[2] >> 8 & 0x00FF00FFu) +
                               (t[3] >> 8 & 0x00FF00FFu) + 0x00020002u;
          const uint32_t texel = (even >> 2 & 0x00FF00FFu) | (odd << 6 & 0xFF00FF00u);
          std::memcpy(to, &texel, 4);
          to += 4;
          continue;
        }
        for (int b = 0; b < texelBytes; ++b, ++p)
          *to++ = static_cast<unsigned char>((p[0] + p[dx] + p[dy] + p[dx + dy] + 2) >> 2);
      }
    }
    above.swap(below);
    from = above.data();
    glTexImage2D(GL_TEXTURE_2D, ++level, internalFormat, w, h, 0, uploadFormat, GL_UNSIGNED_BYTE, from);
    width = w;
    height = h;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level);
}

bool CheckSetWrapFilter(const TextureRecord* record) {
  if (record && record->api && record->api->name) return true;
  ErrorLog << "SetWrapFilter cannot execute: texture not created?\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return false;
}

}  // namespace

Texture::~Texture() noexcept(false) {
  if (!GLBackend::HasContext()) {
    ErrorLog << "Bad: texture being destructed, but graphics is not inited.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }
  SRFree();
}

// A texture released after Shutdown (or made in an earlier context) only
// gives back its memory: its name means nothing to the GL of now.
void Texture::Free() {
  CriticalSectionLock lock(g_graphicsLock);
  STex_API_Data* api = record_->api;
  if (!api) return;
  if (IsLiveContext(api->generation)) {
    UnsetTexture(0);
    if (api->name) glDeleteTextures(1, &api->name);
  }
  if (api->pixels) delete2_array(api->pixels);
  delete2(api);
  record_->api = nullptr;
}

bool Texture::Load(const std::string& name, TextureType type, bool mipmaps, bool dither) {
  return LoadFile(name, false, type, mipmaps, dither);
}

bool Texture::LoadCC(const std::string& name) {
  if (!LoadFile(name, true, kTextureFileFormat, false, false)) return false;
  SetWrap(false, false, true);
  return true;
}

bool Texture::Create(int width, int height, TextureType type, int depth, bool mipmaps) {
  SRFree();
  if (!GLCapabilities.generateMipmap) mipmaps = false;
  TextureCreateLimits limits;
  limits.cubeMaps = GLCapabilities.cubeMaps;
  limits.volumeTextures = GLCapabilities.texture3D;
  limits.cubeDepthRefusal = "You can't make 3D mip maps...\n";
  limits.volumeMipmapWarningFirst = true;
  if (!CheckTextureCreate(width, height, type, depth, mipmaps, limits)) return false;
  // Cube faces get no generated levels; a mipmapped filter would leave the
  // texture incomplete.
  if (type == kTextureCube) mipmaps = false;

  CriticalSectionLock lock(g_graphicsLock);
  ClearErrors();
  GLuint name = 0;
  glGenTextures(1, &name);
  if (!name) {
    ErrorLog << "glGenTextures failed... so can't make texture.\n";
    return false;
  }
  // The record's API half: repeat in every direction, linear filter.
  STex_API_Data* api = new2(STex_API_Data, STex_API_Data());
  api->name = name;
  api->target = type == kTextureCube ? GL_TEXTURE_CUBE_MAP_ARB : depth == 1 ? GL_TEXTURE_2D : GL_TEXTURE_3D_EXT;
  api->internalFormat = type == kTextureAlpha ? GL_ALPHA : type == kTextureRGB ? GL_RGB : GL_RGBA;
  api->uploadFormat = type == kTextureAlpha ? GL_ALPHA : GL_BGRA;
  api->generation = GLBackend::ContextGeneration();
  const GLenum target = api->target;
  {
    ScopedTextureBinding binding(target, name);
    // The smaller levels are this backend's, not the driver's, and come with
    // the first upload (UploadMipLevels); until then level 0 is the texture's
    // only level, so it is complete whatever its filter. (The maximum level
    // is OpenGL 1.2's, which every driver with GL_SGIS_generate_mipmap has;
    // without that extension no texture is mipmapped.)
    if (GLCapabilities.generateMipmap) glTexParameteri(target, GL_GENERATE_MIPMAP_SGIS, GL_FALSE);
    if (target == GL_TEXTURE_2D) {
      glTexImage2D(target, 0, api->internalFormat, width, height, 0, api->uploadFormat, GL_UNSIGNED_BYTE, nullptr);
      if (mipmaps) glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
    } else if (target == GL_TEXTURE_3D_EXT) {
      if (glTexImage3DEXT)
        glTexImage3DEXT(target, 0, api->internalFormat, width, height, depth, 0, api->uploadFormat, GL_UNSIGNED_BYTE,
                        nullptr);
    } else {
      for (int face = 0; face < 6; ++face)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + face, 0, GL_RGBA, width, height, 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
    }
    // Under this binding, rather than through SetWrap and SetFilter, which
    // would each bind the texture again: a map makes hundreds at a time.
    SetFilterParameters(*api, mipmaps);
    SetWrapParameters(*api);
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  CheckGLErrors("GL tex creation stuff:\n", false);

  TextureRecord* r = NewRecord(type, width, height, depth, mipmaps);
  r->api = api;
  r->api->pixels = new2_array(unsigned int, CopyWords(width, height, depth, type));
  return true;
}

bool Texture::LoadImageFile(const std::string& name, bool colorKey, TextureType, bool mipmaps, bool) {
  LoadedImage image;
  if (!image.Load(name)) return false;
  if (!CheckImageDimensions(name, image.width, image.height)) return false;
  CriticalSectionLock lock(g_graphicsLock);
  const TextureType imageType = ImageTextureType(image, colorKey);
  if (!Create(image.width, image.height, imageType, 1, mipmaps)) return false;

  ClearErrors();
  {
    s_lockReportsUploadErrors = false;
    TextureLock texLock(this, false, true);
    s_lockReportsUploadErrors = true;
    void* bits = nullptr;
    if (texLock.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
      CopyImageTexels(image, imageType, colorKey, bits);
    if (colorKey && imageType == kTextureAlpha)
      ErrorLog << "8bpp images can't have a color key applied... ignoring it on: " << name << "\n";
    texLock.Unlock();
  }
  if (CheckGLErrors("Error loading image to texture:\n", true)) {
    SRFree();
    return false;
  }
  record_->name = name;
  return true;
}

void Texture::Set(int stage) const {
  if (!record_) {
    ErrorLog << "Attempt to Set a texture that dosen't exist.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (!IsUsable(record_)) {
    ErrorLog << "Attempt to Set a texture that... isn't set up correctly somehow...\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  GLBackend::BindOnStage(stage, record_->api->target, record_->api->name);
}

void UnsetTexture(int stage) {
  if (!GLBackend::ActiveTextureUnit(stage)) return;
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  if (GLCapabilities.texture3D) {
    glBindTexture(GL_TEXTURE_3D_EXT, 0);
    glDisable(GL_TEXTURE_3D_EXT);
  }
  if (GLCapabilities.cubeMaps) {
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, 0);
    glDisable(GL_TEXTURE_CUBE_MAP_ARB);
  }
  if (stage >= 0 && stage < GLBackend::kStages) GLBackend::g_stageTargets[stage] = 0;
}

// Applied at once, to this texture (not to whatever happens to be bound).
void Texture::SetWrap(bool u, bool v, bool w) {
  if (!CheckSetWrapFilter(record_)) return;
  STex_API_Data& api = *record_->api;
  api.wrapU = u;
  api.wrapV = v;
  api.wrapW = w;
  if (IsLiveContext(api.generation)) ApplyWrap(api);
}

void Texture::SetFilter(TextureFilter filter) {
  if (!CheckSetWrapFilter(record_)) return;
  STex_API_Data& api = *record_->api;
  api.filter = filter;
  if (IsLiveContext(api.generation)) ApplyFilter(api, record_->mipmaps);
}

// ---- Locks ---------------------------------------------------------------------------

TextureLock::TextureLock(Texture* texture, bool read, bool write) : texture_(texture) {
  TextureRecord* r = texture ? texture->Record() : nullptr;
  if (!r || !r->api) {
    ErrorLog << "Warning: attempt to lock a non-allocated texture.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  CriticalSectionLock lock(g_graphicsLock);
  apiLock_ = new2(STexLock_API_Data, STexLock_API_Data());
  apiLock_->write = write;
  apiLock_->reportUploadErrors = s_lockReportsUploadErrors;
  bits_ = r->api->pixels;
  bitsPerPixel_ = r->type == kTextureAlpha ? 8 : 32;
  rowPitch_ = r->createdWidth * (bitsPerPixel_ / 8);
  slicePitch_ = rowPitch_ * r->createdHeight;
}

bool TextureLock::GetFace(int face, void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width,
                          int* height) {
  if (face < 0 || face > 5) return false;
  if (apiLock_) apiLock_->dirtyFaces[face] = true;
  if (!bits_) return false;
  const TextureRecord* r = texture_->Record();
  // Only a cube map has faces past the first.
  if (face > 0 && r->type != kTextureCube) return false;
  const size_t faceBytes = static_cast<size_t>(r->createdWidth) * r->createdHeight * 4;
  if (bits) *bits = static_cast<unsigned char*>(bits_) + face * faceBytes;
  if (rowPitch) *rowPitch = rowPitch_;
  if (slicePitch) *slicePitch = slicePitch_;
  if (bitsPerPixel) *bitsPerPixel = bitsPerPixel_;
  if (width) *width = r->createdWidth;
  if (height) *height = r->createdHeight;
  return true;
}

// Uploads level 0 from the copy (a cube map: the faces GetFace handed out).
// A lock that never took hold, or was unlocked already, does nothing.
void TextureLock::Unlock() {
  if (!apiLock_) return;
  CriticalSectionLock lock(g_graphicsLock);
  const TextureRecord* r = texture_ ? texture_->Record() : nullptr;
  // The texture may have been made anew while locked: then the copy these
  // bits point into is gone and nothing is uploaded.
  if (apiLock_->write && r && r->api && bits_ == r->api->pixels && IsUsable(r)) {
    const STex_API_Data& api = *r->api;
    const int width = r->createdWidth, height = r->createdHeight;
    ClearErrors();
    {
      ScopedTextureBinding binding(api.target, api.name);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      if (api.target == GL_TEXTURE_CUBE_MAP_ARB) {
        const size_t faceBytes = static_cast<size_t>(width) * height * 4;
        for (int face = 0; face < 6; ++face) {
          if (!apiLock_->dirtyFaces[face]) continue;
          glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + face, 0, GL_RGBA, width, height, 0, GL_BGRA,
                       GL_UNSIGNED_BYTE, reinterpret_cast<const unsigned char*>(api.pixels) + face * faceBytes);
        }
      } else if (api.target == GL_TEXTURE_3D_EXT) {
        if (glTexImage3DEXT)
          glTexImage3DEXT(api.target, 0, api.internalFormat, width, height, r->depth, 0, api.uploadFormat,
                          GL_UNSIGNED_BYTE, api.pixels);
      } else {
        glTexImage2D(GL_TEXTURE_2D, 0, api.internalFormat, width, height, 0, api.uploadFormat, GL_UNSIGNED_BYTE,
                     api.pixels);
        if (r->mipmaps)
          UploadMipLevels(api.internalFormat, api.uploadFormat, width, height, TexelBytes(r->type),
                          reinterpret_cast<const unsigned char*>(api.pixels));
      }
    }
    if (apiLock_->reportUploadErrors) CheckGLErrors("Texture unlock, update:\n", true);
  }
  bits_ = nullptr;
  delete2(apiLock_);
  apiLock_ = nullptr;
}

}  // namespace G
