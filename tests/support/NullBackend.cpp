// The null backend (see NullBackend.h): device, states, drawing, textures,
// buffers, render textures and shaders over plain memory.
#include "NullBackend.h"

#include <cstring>

#include "NullBackendState.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"

namespace NullBackend {

Script& Scripted() { return S().script; }

void Reset() {
  State& s = S();
  s.script = Script();
  s.calls.clear();
  s.blocks.clear();
  s.bufferDraws.clear();
  s.initialised = false;
  s.setup = G::Setup();
  std::memset(s.states, 0, sizeof s.states);
  s.cullMode = G::kCullCounterClockwise;
  s.cullReverse = false;
  for (auto& t : s.textures) t = nullptr;
  for (auto& t : s.renderTextures) t = nullptr;
  s.projection = s.view = s.world = Matrix4();
  s.vertexBuffer = nullptr;
  s.indexBuffer = nullptr;
  s.shader = nullptr;
  s.inBlock = false;
  G::g_immediateVertices.clear();
  G::SetDeviceLost(false);
}

bool ResetAndStart(bool multithreaded) {
  Reset();
  G::Setup setup;
  setup.colour32 = true;
  setup.width = 800;
  setup.height = 600;
  setup.vertexProcessing = 1;
  setup.multithreaded = multithreaded;
  return DXG::Init(nullptr, &setup);
}

const std::vector<std::string>& Calls() { return S().calls; }
std::string CallText() {
  std::string text;
  for (const std::string& call : S().calls) text += call + "\n";
  return text;
}
std::vector<std::string> CallsStartingWith(std::initializer_list<const char*> prefixes) {
  std::vector<std::string> kept;
  for (const std::string& call : S().calls)
    for (const char* prefix : prefixes)
      if (call.compare(0, std::strlen(prefix), prefix) == 0) {
        kept.push_back(call);
        break;
      }
  return kept;
}
void ClearCalls() { S().calls.clear(); }
const std::vector<DrawBlock>& DrawnBlocks() { return S().blocks; }
void ClearDrawnBlocks() { S().blocks.clear(); }
const std::vector<BufferDraw>& BufferDraws() { return S().bufferDraws; }
const G::TextureRecord* BoundTexture(int stage) { return stage >= 0 && stage < kStages ? S().textures[stage] : nullptr; }
const G::RenderTextureRecord* BoundRenderTexture(int stage) {
  return stage >= 0 && stage < kStages ? S().renderTextures[stage] : nullptr;
}
const G::VertexBufferRecord* CurrentVertexBuffer() { return S().vertexBuffer; }
const G::IndexBufferRecord* CurrentIndexBuffer() { return S().indexBuffer; }
const G::Shader* CurrentShader() { return S().shader; }
unsigned char* TextureMemory(const G::TextureRecord* record) {
  return record && record->api ? record->api->pixels.data() : nullptr;
}
int TextureBitsPerPixel(const G::TextureRecord* record) { return record && record->api ? record->api->bitsPerPixel : 0; }
bool TextureWrap(const G::TextureRecord* record, int axis) {
  if (!record || !record->api) return false;
  return axis == 0 ? record->api->wrapU : axis == 1 ? record->api->wrapV : record->api->wrapW;
}
int TextureFilterOf(const G::TextureRecord* record) { return record && record->api ? record->api->filter : -1; }
const unsigned char* VertexBufferMemory(const G::VertexBufferRecord* record) {
  return record && record->api ? record->api->bytes.data() : nullptr;
}
const std::vector<std::string>& ShaderConstants(const G::Shader& shader) { return shader.ApiData()->constants; }
std::string ShaderVertexName(const G::Shader& shader) { return shader.ApiData()->vertexName; }
std::string ShaderFragmentName(const G::Shader& shader) { return shader.ApiData()->fragmentName; }

}  // namespace NullBackend

using NullBackend::S;
using NullBackend::Note;
using NullBackend::Arg;
using NullBackend::AddVertex;

// ---- Set-up and frames -----------------------------------------------------

namespace G {

bool CheckGraphicsCaps(int& vertexProcessing, std::string& message) {
  Note("CheckGraphicsCaps", vertexProcessing);
  vertexProcessing = S().script.capsVertexProcessing;
  message = S().script.capsMessage;
  return S().script.capsResult;
}

bool IsGraphicsUnavailable() { return S().script.graphicsUnavailable; }

void Shutdown() {
  Note("Shutdown");
  FireShutdownCallbacks();
  CriticalSectionLock lock(g_graphicsLock);  // as the real backends release their device
  S().initialised = false;
  if (!S().script.shutdownThrows.empty()) throw S().script.shutdownThrows.c_str();
}

bool IsInitialized() { return S().initialised; }
bool HasFatalError() { return S().script.fatalError; }
Setup* GetSetup() { return &S().setup; }
bool Is32BitColor() { return S().setup.colour32; }
bool HasStencilBuffer() { return S().setup.stencil; }
bool HasTwoSidedStencil() { return S().script.twoSidedStencil; }

bool SetDisplayMode(int width, int height) {
  Note("SetDisplayMode", width, height);
  if (!S().script.displayModeResult) return false;
  S().setup.width = width;
  S().setup.height = height;
  return true;
}

bool Clear(unsigned color, bool clearColor, bool clearDepth, bool clearStencil, int stencilValue) {
  Note("Clear", color, clearColor, clearDepth, clearStencil, stencilValue);
  return S().initialised && !IsDeviceLost();
}

}  // namespace G

namespace DXG {

bool Init(WindowHandle window, G::Setup* setup) {
  Note("DXG::Init");
  if (!setup || !S().script.initResult) return false;
  S().setup = *setup;
  S().setup.stencil = setup->stencil && S().script.stencilBuffer;
  S().initialised = true;
  G::SetDefaultRenderStates();
  return true;
}

bool BeginFrame(float seconds, bool countFrame, bool allowReset) {
  Note("DXG::BeginFrame", seconds, countFrame, allowReset);
  return S().script.beginFrameResult;
}

void EndFrame0() { Note("DXG::EndFrame0"); }
void EndFrame1() { Note("DXG::EndFrame1"); }
IDirect3DDevice9* GetDevice() { return nullptr; }

}  // namespace DXG

// ---- States and drawing ----------------------------------------------------

namespace G {

long SetRenderState(RenderStateIndex state, bool on) {
  Note("SetRenderState", static_cast<int>(state), on);
  if (state >= 0 && state < 9) S().states[state] = on;
  return 0;
}
bool GetRenderState(RenderStateIndex state) { return state >= 0 && state < 9 && S().states[state]; }

long SetCullMode(CullMode mode) {
  Note("SetCullMode", static_cast<int>(mode));
  S().cullMode = mode;
  return 0;
}
CullMode GetCullMode() { return S().cullMode; }
void SetCullReverse(bool reverse) {
  Note("SetCullReverse", reverse);
  S().cullReverse = reverse;
}

long SetDepthFunc(CompareFunc func) {
  Note("SetDepthFunc", static_cast<int>(func));
  S().depthFunc = func;
  return 0;
}
CompareFunc GetDepthFunc() { return S().depthFunc; }

long SetStencilFunc(CompareFunc func, int reference) {
  Note("SetStencilFunc", static_cast<int>(func), reference);
  S().stencilFunc = func;
  S().stencilRef = reference;
  return 0;
}
CompareFunc GetStencilFunc(bool) { return S().stencilFunc; }
int GetStencilRef(bool) { return S().stencilRef; }
long SetStencilOps(bool backFace, StencilOp fail, StencilOp depthFail, StencilOp pass) {
  Note("SetStencilOps", backFace, static_cast<int>(fail), static_cast<int>(depthFail), static_cast<int>(pass));
  S().stencilOps[backFace][0] = fail;
  S().stencilOps[backFace][1] = depthFail;
  S().stencilOps[backFace][2] = pass;
  return 0;
}
StencilOp GetStencilFail(bool backFace) { return S().stencilOps[backFace][0]; }
StencilOp GetStencilZFail(bool backFace) { return S().stencilOps[backFace][1]; }
StencilOp GetStencilPass(bool backFace) { return S().stencilOps[backFace][2]; }

long SetAlphaFunc(CompareFunc func) {
  Note("SetAlphaFunc", static_cast<int>(func));
  S().alphaFunc = func;
  return 0;
}
CompareFunc GetAlphaFunc() { return S().alphaFunc; }
long SetAlphaRef(float reference) {
  Note("SetAlphaRef", reference);
  S().alphaRef = reference;
  return 0;
}
float GetAlphaRef() { return S().alphaRef; }
long SetBlendFunc(BlendFactor source, BlendFactor destination) {
  Note("SetBlendFunc", static_cast<int>(source), static_cast<int>(destination));
  S().blendSource = source;
  S().blendDestination = destination;
  return 0;
}

long SetProjectionMatrix(const Matrix4& matrix) {
  Note("SetProjectionMatrix");
  S().projection = matrix;
  return 0;
}
Matrix4 GetProjectionMatrix() { return S().projection; }
long SetViewMatrix(const Matrix4& matrix) {
  Note("SetViewMatrix");
  S().view = matrix;
  return 0;
}
Matrix4 GetViewMatrix() { return S().view; }
long SetWorldMatrix(const Matrix4& matrix) {
  Note("SetWorldMatrix");
  S().world = matrix;
  return 0;
}
Matrix4 GetWorldMatrix() { return S().world; }

long SetViewport(int x, int y, int width, int height) {
  Note("SetViewport", x, y, width, height);
  S().viewport[0] = x;
  S().viewport[1] = y;
  S().viewport[2] = width;
  S().viewport[3] = height;
  return 0;
}
void GetViewport(int& x, int& y, int& width, int& height) {
  x = S().viewport[0];
  y = S().viewport[1];
  width = S().viewport[2];
  height = S().viewport[3];
}

namespace {
long DrawFromBuffers(const std::string& call, bool needsIndices) {
  NullBackend::S().calls.push_back(call);
  if (!S().vertexBuffer) {
    ErrorLog << "Error: Call to " << call.substr(0, call.find('(')) << ", but no vertex buffer is set.\n";
    return 0;
  }
  if (needsIndices && !S().indexBuffer) {
    ErrorLog << "Error: Call to " << call.substr(0, call.find('(')) << ", but no index buffer is set.\n";
    return 0;
  }
  S().bufferDraws.push_back({call, S().vertexBuffer, S().indexBuffer, S().textures[0], S().shader, S().cullMode});
  return 0;
}
}  // namespace

long RenderTris(int triangles, int firstVertex) {
  return DrawFromBuffers("RenderTris(" + Arg(triangles) + "," + Arg(firstVertex) + ")", false);
}
long RenderLines(int lines) { return DrawFromBuffers("RenderLines(" + Arg(lines) + ")", false); }
long RenderPoints(int points) { return DrawFromBuffers("RenderPoints(" + Arg(points) + ")", false); }
long RenderIndTris(int triangles) { return DrawFromBuffers("RenderIndTris(" + Arg(triangles) + ")", true); }

void IMBegin(PrimitiveType type) {
  Note("IMBegin", static_cast<int>(type));
  if (S().inBlock) {
    ErrorLog << "IMBegin used... but already inside a begin/end block.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  S().inBlock = true;
  S().blockType = type;
  S().color = 0xFFFFFFFF;
  std::memset(S().normal, 0, sizeof S().normal);
  std::memset(S().texCoord, 0, sizeof S().texCoord);
  g_immediateVertices.clear();
}

void IMEnd() {
  Note("IMEnd");
  if (!S().inBlock) {
    ErrorLog << "IMEnd used, but am not within a begin/end block.\n";
    return;
  }
  S().inBlock = false;
  S().blocks.push_back({S().blockType, g_immediateVertices, S().textures[0], S().renderTextures[0], S().shader,
                        S().states[kStateDepthTest], S().cullMode});
  g_immediateVertices.clear();
}

void IMColor(unsigned packedColor) { S().color = packedColor; }
namespace {
unsigned PackFloat(float r, float g, float b, float a) {
  CheckColorRange(r);
  CheckColorRange(g);
  CheckColorRange(b);
  CheckColorRange(a);
  auto channel = [](float v) { return static_cast<unsigned>(static_cast<int>(v * 255.0f)) & 0xFF; };
  return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}
}  // namespace
void IMColor3(float r, float g, float b) { S().color = PackFloat(r, g, b, 1.0f); }
void IMColor3(const float* rgb) { IMColor3(rgb[0], rgb[1], rgb[2]); }
void IMColor4(float r, float g, float b, float a) { S().color = PackFloat(r, g, b, a); }
void IMColor4(const float* rgba) { IMColor4(rgba[0], rgba[1], rgba[2], rgba[3]); }
void IMNormal(float x, float y, float z) {
  S().normal[0] = x;
  S().normal[1] = y;
  S().normal[2] = z;
}
void IMNormal(const float* xyz) { IMNormal(xyz[0], xyz[1], xyz[2]); }
void IMTexCoord1(float u) {
  S().texCoord[0] = u;
  S().texCoord[1] = 0;
}
void IMTexCoord2(float u, float v) {
  S().texCoord[0] = u;
  S().texCoord[1] = v;
}
void IMTexCoord2(const float* uv) { IMTexCoord2(uv[0], uv[1]); }
void IMTexCoord3(float u, float v, float w) {
  S().texCoord[0] = u;
  S().texCoord[1] = v;
  S().texCoord[2] = w;
}
void IMTexCoord3(const float* uvw) {
  IMTexCoord3(uvw[0], uvw[1], uvw[2]);
  S().texCoord[3] = 1.0f;
}
void IMTexCoord4(float u, float v, float w, float q) {
  IMTexCoord3(u, v, w);
  S().texCoord[3] = q;
}
void IMTexCoord4(const float* uvwq) { IMTexCoord4(uvwq[0], uvwq[1], uvwq[2], uvwq[3]); }
void IMPosition2(float x, float y) { AddVertex(x, y, 0); }
void IMPosition2(const float* xy) { AddVertex(xy[0], xy[1], 0); }
void IMPosition3(float x, float y, float z) { AddVertex(x, y, z); }
void IMPosition3(const float* xyz) { AddVertex(xyz[0], xyz[1], xyz[2]); }
void IMPosition4(float x, float y, float z, float) { AddVertex(x, y, z); }
void IMPosition4(const float* xyzw) { AddVertex(xyzw[0], xyzw[1], xyzw[2]); }

}  // namespace G
