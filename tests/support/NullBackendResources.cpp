// The null backend's resources: textures, vertex and index buffers, render
// textures and shaders, all backed by plain memory.
#include "NullBackendState.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/LoadedImage.h"

using NullBackend::Note;
using NullBackend::S;

namespace G {

// ---- Textures --------------------------------------------------------------

// Like the Direct3D 9 backend: a texture that outlives the device is a fault
// of global objects, thrown to the caller.
Texture::~Texture() noexcept(false) {
  if (!S().initialised) {
    ErrorLog << "Bad: texture being destructed, but graphics is not inited.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    if (record_) {
      SRFree();
      throw "Foolish globals are likely at fault.\n";
    }
  }
  SRFree();
}

void Texture::Free() {
  Note("Texture::Free");
  for (auto& bound : S().textures)
    if (bound == record_) bound = nullptr;
  delete2(record_->api);
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

// Decodes through LoadedImage, as the OpenGL backend does: the type follows
// the image, the pixels land in memory as they would in the texture.
bool Texture::LoadImageFile(const std::string& name, bool colorKey, TextureType type, bool mipmaps, bool) {
  Note("Texture::LoadImageFile", name, colorKey, static_cast<int>(type), mipmaps);
  LoadedImage image;
  if (!image.Load(name)) return false;
  if (!CheckImageDimensions(name, image.width, image.height)) return false;
  const TextureType imageType = ImageTextureType(image, colorKey);
  if (!Create(image.width, image.height, imageType, 1, mipmaps)) return false;
  {
    TextureLock lock(this, false, true);
    void* bits = nullptr;
    if (lock.GetInfo(&bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
      CopyImageTexels(image, imageType, colorKey, bits);
  }
  record_->name = name;
  return true;
}

bool Texture::Create(int width, int height, TextureType type, int depth, bool mipmaps) {
  Note("Texture::Create", width, height, static_cast<int>(type), depth, mipmaps);
  SRFree();
  TextureCreateLimits limits;
  limits.cubeMaps = S().script.cubeMaps;
  limits.volumeTextures = S().script.volumeTextures;
  if (!CheckTextureCreate(width, height, type, depth, mipmaps, limits)) return false;
  if (type == kTextureFree || type == kTextureFileFormat || type > kTextureCube) {
    ErrorLog << "Null backend: no texel format for texture type " << static_cast<int>(type) << ".\n";
    return false;
  }
  if (!S().script.createTextureResult) {
    ErrorLog << "Null backend: texture creation refused.\n";
    return false;
  }
  TextureRecord* r = NewRecord(type, width, height, depth, mipmaps);
  r->api = new2(STex_API_Data, STex_API_Data);
  r->api->bitsPerPixel = type == kTextureAlpha ? 8 : S().script.textureBitsPerPixel;
  size_t faces = type == kTextureCube ? 6 : 1;
  r->api->pixels.assign(static_cast<size_t>(width) * height * depth * faces * (r->api->bitsPerPixel / 8), 0);
  return true;
}

void Texture::Set(int stage) const {
  Note("Texture::Set", stage);
  if (!record_) {
    ErrorLog << "Attempt to Set a texture that dosen't exist.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (stage >= 0 && stage < NullBackend::kStages) {
    S().textures[stage] = record_;
    S().renderTextures[stage] = nullptr;
  }
}

void UnsetTexture(int stage) {
  Note("UnsetTexture", stage);
  if (stage >= 0 && stage < NullBackend::kStages) {
    S().textures[stage] = nullptr;
    S().renderTextures[stage] = nullptr;
  }
}

void Texture::SetWrap(bool u, bool v, bool w) {
  Note("Texture::SetWrap", u, v, w);
  if (!record_ || !record_->api) return;
  record_->api->wrapU = u;
  record_->api->wrapV = v;
  record_->api->wrapW = w;
}

void Texture::SetFilter(TextureFilter filter) {
  Note("Texture::SetFilter", static_cast<int>(filter));
  if (!record_ || !record_->api) return;
  record_->api->filter = filter;
}

TextureLock::TextureLock(Texture* texture, bool read, bool write) : texture_(texture) {
  Note("TextureLock", read, write);
  TextureRecord* r = texture ? texture->Record() : nullptr;
  if (!r || !r->api) {
    ErrorLog << "Warning: attempt to lock a non-allocated texture.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (!S().script.lockTextureResult) return;
  apiLock_ = new2(STexLock_API_Data, STexLock_API_Data);
  apiLock_->write = write;
  bits_ = r->api->pixels.data();
  bitsPerPixel_ = r->api->bitsPerPixel;
  rowPitch_ = r->createdWidth * bitsPerPixel_ / 8;
  slicePitch_ = rowPitch_ * r->createdHeight;
}

void TextureLock::Unlock() {
  if (!apiLock_) return;
  Note("TextureLock::Unlock");
  delete2(apiLock_);
  apiLock_ = nullptr;
  bits_ = nullptr;
}

bool TextureLock::GetFace(int face, void** bits, int* rowPitch, int* slicePitch, int* bitsPerPixel, int* width,
                          int* height) {
  TextureRecord* r = texture_ ? texture_->Record() : nullptr;
  if (!bits_ || !r || r->type != kTextureCube || face < 0 || face > 5) return false;
  if (bits) *bits = static_cast<unsigned char*>(bits_) + static_cast<size_t>(face) * slicePitch_;
  if (rowPitch) *rowPitch = rowPitch_;
  if (slicePitch) *slicePitch = slicePitch_;
  if (bitsPerPixel) *bitsPerPixel = bitsPerPixel_;
  if (width) *width = r->createdWidth;
  if (height) *height = r->createdHeight;
  return true;
}

// ---- Vertex and index buffers ----------------------------------------------

VertexBuffer::~VertexBuffer() noexcept(false) {
  if (!S().initialised && record_) {
    ErrorLog << "Bad: vertex buffer being destructed, but graphics is not inited.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    SRFree();
    throw "Foolish globals are likely at fault.\n";
  }
  SRFree();
}

bool VertexBuffer::Create(int vertexCount, const VertexFormat& format, int vertexSize, bool dynamic,
                          bool writeOnly) {
  Note("VertexBuffer::Create", vertexCount, vertexSize, dynamic, writeOnly);
  SRFree();
  if (!S().script.createVertexBufferResult || vertexCount < 0 || vertexSize < 0) {
    ErrorLog << "Null backend: vertex buffer creation refused.\n";
    return false;
  }
  VertexBufferRecord* r = NewRecord(vertexCount, format, vertexSize, dynamic, writeOnly);
  r->api = new2(SVB_API_Data, SVB_API_Data);
  r->api->bytes.assign(static_cast<size_t>(vertexCount) * vertexSize, 0);
  return true;
}

void VertexBuffer::Set() {
  Note("VertexBuffer::Set");
  if (!record_) {
    ErrorLog << "Attempt to Set a VertexBuffer that doesn't exist.\n";
    return;
  }
  S().vertexBuffer = record_;
}

void VertexBuffer::Free() {
  if (S().vertexBuffer == record_) S().vertexBuffer = nullptr;
  delete2(record_->api);
  record_->api = nullptr;
}

IndexBuffer::~IndexBuffer() noexcept(false) { SRFree(); }

bool IndexBuffer::Create(unsigned short indexCount, bool dynamic, bool writeOnly) {
  Note("IndexBuffer::Create", static_cast<int>(indexCount), dynamic, writeOnly);
  if (!S().script.createIndexBufferResult) {
    ErrorLog << "Null backend: index buffer creation refused.\n";
    return false;
  }
  IndexBufferRecord* r = NewRecord(indexCount, dynamic, writeOnly);
  r->api = new2(SIB_API_Data, SIB_API_Data);
  r->api->bytes.assign(static_cast<size_t>(indexCount) * 2, 0);
  return true;
}

void IndexBuffer::Set() {
  Note("IndexBuffer::Set");
  if (!record_) {
    ErrorLog << "Attempt to Set an IndexBuffer that doesn't exist.\n";
    return;
  }
  S().indexBuffer = record_;
}

void IndexBuffer::Free() {
  if (S().indexBuffer == record_) S().indexBuffer = nullptr;
  delete2(record_->api);
  record_->api = nullptr;
}

VertexBufferLock::VertexBufferLock(VertexBuffer& buffer, bool discard) : buffer_(&buffer) {
  Note("VertexBufferLock", discard);
  VertexBufferRecord* r = buffer.Record();
  if (!r) {
    ErrorLog << "Warning: attempt to lock a non-allocated vertex buffer.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (S().script.lockVertexBufferResult) data_ = r->api->bytes.data();
}

VertexBufferLock::~VertexBufferLock() {
  if (data_) Note("VertexBufferLock::Unlock");
  data_ = nullptr;
}

IndexBufferLock::IndexBufferLock(IndexBuffer& buffer, bool discard) : buffer_(&buffer) {
  Note("IndexBufferLock", discard);
  IndexBufferRecord* r = buffer.Record();
  if (!r) {
    ErrorLog << "Warning: attempt to lock a non-allocated index buffer.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (S().script.lockIndexBufferResult) data_ = r->api->bytes.data();
}

IndexBufferLock::~IndexBufferLock() {
  if (data_) Note("IndexBufferLock::Unlock");
  data_ = nullptr;
}

void UnsetVertexBuffer() {
  Note("UnsetVertexBuffer");
  S().vertexBuffer = nullptr;
}

void UnsetIndexBuffer() {
  Note("UnsetIndexBuffer");
  S().indexBuffer = nullptr;
}

void SetVertexFormat(const VertexFormat& format) { Note("SetVertexFormat", static_cast<int>(format.size())); }

// ---- Render textures -------------------------------------------------------

RenderTexture::RenderTexture() {}

RenderTexture::~RenderTexture() noexcept(false) { SRFree(); }

bool RenderTexture::Create(int width, int height, bool cube, bool stencil) {
  Note("RenderTexture::Create", width, height, cube, stencil);
  SRFree();
  if (cube && width != height) {
    ErrorLog << "RenderTexture::Create: Cube maps must have the same width as height.\n";
    return false;
  }
  if (!S().script.createRenderTextureResult) return false;
  SRAlloc();
  record_->width = width;
  record_->height = height;
  record_->cube = cube;
  record_->api = new2(SRendTex_API_Data, SRendTex_API_Data);
  return true;
}

bool RenderTexture::BeginRender(const RenderTargetDesc& desc) {
  Note("RenderTexture::BeginRender", desc.face);
  if (!record_) return false;
  const Viewport viewport = RenderTargetViewport(*record_, desc);
  SetViewport(viewport.x, viewport.y, viewport.width, viewport.height);
  SetRenderTargetProjection(desc, viewport, record_->cube, /*squareCubeFaces=*/true);
  record_->api->rendering = true;
  return true;
}

void RenderTexture::EndRender() {
  Note("RenderTexture::EndRender");
  if (record_) record_->api->rendering = false;
}

void RenderTexture::Set(int stage) const {
  Note("RenderTexture::Set", stage);
  if (!record_) {
    UnsetTexture(stage);
    return;
  }
  if (record_->api->rendering) {
    ErrorLog << "Can't Set() a texture that is being rendered to.\n";
    return;
  }
  if (stage >= 0 && stage < NullBackend::kStages) {
    S().renderTextures[stage] = record_;
    S().textures[stage] = nullptr;
  }
}

Matrix4 CubeFaceViewMatrix(int face, const Vector3& eye) {
  static const float kFaces[6][6] = {{1, 0, 0, 0, 1, 0},  {-1, 0, 0, 0, 1, 0}, {0, 1, 0, 0, 0, -1},
                                     {0, -1, 0, 0, 0, 1}, {0, 0, -1, 0, 1, 0}, {0, 0, 1, 0, 1, 0}};
  Matrix4 view;
  if (face < 0 || face > 5) return view;
  const float* f = kFaces[face];
  Matrix4::LookAt(view, eye, eye + Vector3(f[0], f[1], f[2]), Vector3(f[3], f[4], f[5]), false, false);
  return view;
}

void RenderTexture::Free() {
  for (auto& bound : S().renderTextures)
    if (bound == record_) bound = nullptr;
  delete2(record_->api);
  record_->api = nullptr;
}

// ---- Shaders ---------------------------------------------------------------

Shader::Shader() {
  api_ = new2(SShaderApiData, SShaderApiData);
  RegisterShader(this);
}

Shader::~Shader() {
  UnregisterShader(this);
  Release();
  if (S().shader == this) S().shader = nullptr;
  delete2(api_);
}

bool Shader::Load(const std::string& vertexName, const std::string& fragmentName) {
  Note("Shader::Load", vertexName, fragmentName);
  SetShaderFiles(this, vertexName, fragmentName);
  Release();
  if (!S().script.shaderLoadResult || (vertexName.empty() && fragmentName.empty())) return false;
  api_->vertexName = vertexName;
  api_->fragmentName = fragmentName;
  loaded_ = true;
  return true;
}

void Shader::Release() {
  if (S().shader == this) S().shader = nullptr;
  api_->vertexName.clear();
  api_->fragmentName.clear();
  loaded_ = false;
}

void Shader::Set() {
  Note("Shader::Set");
  S().shader = loaded_ ? this : nullptr;
}

void UnbindShader() {
  Note("UnbindShader");
  S().shader = nullptr;
}

void Shader::SetFloat1(const std::string& name, float x) {
  api_->constants.push_back("SetFloat1(" + name + "," + NullBackend::Arg(x) + ")");
}
void Shader::SetFloat2(const std::string& name, float x, float y) {
  api_->constants.push_back("SetFloat2(" + name + "," + NullBackend::Arg(x) + "," + NullBackend::Arg(y) + ")");
}
void Shader::SetFloat3(const std::string& name, float x, float y, float z) {
  api_->constants.push_back("SetFloat3(" + name + "," + NullBackend::Arg(x) + "," + NullBackend::Arg(y) + "," +
                            NullBackend::Arg(z) + ")");
}
void Shader::SetFloat4(const std::string& name, float x, float y, float z, float w) {
  api_->constants.push_back("SetFloat4(" + name + "," + NullBackend::Arg(x) + "," + NullBackend::Arg(y) + "," +
                            NullBackend::Arg(z) + "," + NullBackend::Arg(w) + ")");
}
void Shader::SetMatrix2(const std::string& name, const float* values, bool transpose) {
  api_->constants.push_back("SetMatrix2(" + name + "," + NullBackend::Arg(transpose) + ")");
}
void Shader::SetMatrix3(const std::string& name, const Matrix3&, bool transpose) {
  api_->constants.push_back("SetMatrix3(" + name + "," + NullBackend::Arg(transpose) + ")");
}
void Shader::SetMatrix4(const std::string& name, const Matrix4&, bool transpose) {
  api_->constants.push_back("SetMatrix4(" + name + "," + NullBackend::Arg(transpose) + ")");
}
void Shader::SetInt(const std::string& name, int value) {
  api_->constants.push_back("SetInt(" + name + "," + NullBackend::Arg(value) + ")");
}
void Shader::SetSampler(const std::string& name, int stage) {
  api_->constants.push_back("SetSampler(" + name + "," + NullBackend::Arg(stage) + ")");
}

// ---- Shader matrices --------------------------------------------------------

void UpdateShaderMatrices() { Note("UpdateShaderMatrices"); }

}  // namespace G
