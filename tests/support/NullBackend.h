// The null backend: a third implementation of the graphics interface for
// tests. It draws nothing; it records the calls it receives as text, in
// order, answers with scripted results, and hands out memory-backed
// textures and buffers so locks work and their contents can be checked.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "graphics/Device.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace NullBackend {

// What the backend answers. Reset() restores these defaults.
struct Script {
  bool capsResult = false;
  std::string capsMessage;
  int capsVertexProcessing = 1;
  bool graphicsUnavailable = false;
  bool initResult = true;
  bool fatalError = false;
  bool beginFrameResult = true;
  bool displayModeResult = true;
  bool stencilBuffer = false;    // HasStencilBuffer after Init (with the Setup asking)
  bool twoSidedStencil = true;
  bool createTextureResult = true;
  bool lockTextureResult = true;
  // 16: ARGB4444 texels for RGB, RGBA and cube textures; other sizes stand
  // for texels that shared code cannot fill.
  int textureBitsPerPixel = 32;
  bool volumeTextures = true;
  bool cubeMaps = true;
  bool createVertexBufferResult = true;
  bool lockVertexBufferResult = true;
  bool lockIndexBufferResult = true;
  bool createIndexBufferResult = true;
  bool createRenderTextureResult = true;
  bool shaderLoadResult = true;
  // Shutdown throws this text (when not empty) after firing the callbacks.
  std::string shutdownThrows;
  // Called with each recorded call's text, as it is recorded: lets a test
  // look at other state at the moment of a call.
  void (*observer)(const std::string& call) = nullptr;
};

Script& Scripted();

// Back to a fresh, uninitialised backend: default script, no calls, default
// states, nothing bound. Live resource records stay where they are.
void Reset();

// Reset, then start the graphics interface the way most tests want it: a
// 32-bit 800 x 600 window set-up. Returns what DXG::Init answered.
bool ResetAndStart(bool multithreaded = true);

// Every call, one text each ("SetRenderState(0,1)", "IMBegin(3)", ...).
// Getters and per-vertex immediate-mode calls are not recorded; immediate
// mode blocks are kept whole in DrawnBlocks.
const std::vector<std::string>& Calls();
// The calls joined, each followed by "\n".
std::string CallText();
// The calls that begin with one of the prefixes, in order.
std::vector<std::string> CallsStartingWith(std::initializer_list<const char*> prefixes);
void ClearCalls();

// One IMBegin..IMEnd block as drawn.
struct DrawBlock {
  G::PrimitiveType type;
  std::vector<G::IMVertex> vertices;
  const G::TextureRecord* texture0;  // bound on stage 0 while drawing (null: none)
  const G::RenderTextureRecord* renderTexture0;
  const G::Shader* shader;           // current shader (null: fixed function)
  bool depthTest;
  G::CullMode cullMode;
};
const std::vector<DrawBlock>& DrawnBlocks();
void ClearDrawnBlocks();

// One draw from the current buffers.
struct BufferDraw {
  std::string call;  // "RenderTris(2,0)"...
  const G::VertexBufferRecord* vertexBuffer;
  const G::IndexBufferRecord* indexBuffer;
  const G::TextureRecord* texture0;
  const G::Shader* shader;
  G::CullMode cullMode;
};
const std::vector<BufferDraw>& BufferDraws();

const G::TextureRecord* BoundTexture(int stage);
const G::RenderTextureRecord* BoundRenderTexture(int stage);
const G::VertexBufferRecord* CurrentVertexBuffer();
const G::IndexBufferRecord* CurrentIndexBuffer();
const G::Shader* CurrentShader();
// The memory behind a texture record (null without one).
unsigned char* TextureMemory(const G::TextureRecord* record);
int TextureBitsPerPixel(const G::TextureRecord* record);
bool TextureWrap(const G::TextureRecord* record, int axis);  // 0 U, 1 V, 2 W
int TextureFilterOf(const G::TextureRecord* record);
// The memory behind a vertex buffer record.
const unsigned char* VertexBufferMemory(const G::VertexBufferRecord* record);
// The constants set on a shader since it was made ("SetFloat1(name,...)").
const std::vector<std::string>& ShaderConstants(const G::Shader& shader);
std::string ShaderVertexName(const G::Shader& shader);
std::string ShaderFragmentName(const G::Shader& shader);

}  // namespace NullBackend
