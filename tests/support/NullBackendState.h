// The null backend's private state, shared by its source files.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "NullBackend.h"

namespace G {

struct STex_API_Data {
  std::vector<unsigned char> pixels;
  int bitsPerPixel = 32;
  bool wrapU = true, wrapV = true, wrapW = true;
  int filter = kFilterLinear;
};

struct STexLock_API_Data {
  bool write = false;
};

struct SVB_API_Data {
  std::vector<unsigned char> bytes;
};

struct SIB_API_Data {
  std::vector<unsigned char> bytes;
};

struct SRendTex_API_Data {
  bool rendering = false;
};

struct SShaderApiData {
  std::string vertexName;
  std::string fragmentName;
  std::vector<std::string> constants;
};

}  // namespace G

namespace NullBackend {

constexpr int kStages = 8;

struct State {
  Script script;
  std::vector<std::string> calls;
  std::vector<DrawBlock> blocks;
  std::vector<BufferDraw> bufferDraws;

  bool initialised = false;
  G::Setup setup;

  bool states[9] = {};
  G::CullMode cullMode = G::kCullCounterClockwise;
  bool cullReverse = false;
  G::CompareFunc depthFunc = G::kCompareLessEqual;
  G::CompareFunc stencilFunc = G::kCompareAlways;
  int stencilRef = 0;
  G::StencilOp stencilOps[2][3] = {};
  G::CompareFunc alphaFunc = G::kCompareAlways;
  float alphaRef = 0;
  G::BlendFactor blendSource = G::kBlendOne;
  G::BlendFactor blendDestination = G::kBlendZero;
  int viewport[4] = {};
  Matrix4 projection;
  Matrix4 view;
  Matrix4 world;

  const G::TextureRecord* textures[kStages] = {};
  const G::RenderTextureRecord* renderTextures[kStages] = {};
  const G::VertexBufferRecord* vertexBuffer = nullptr;
  const G::IndexBufferRecord* indexBuffer = nullptr;
  const G::Shader* shader = nullptr;

  bool inBlock = false;
  G::PrimitiveType blockType = G::kPrimitivePoints;
  unsigned color = 0xFFFFFFFF;
  float normal[3] = {};
  float texCoord[4] = {};
};

inline State& S() {
  static State* state = new State;  // never destroyed: resources may outlive main
  return *state;
}

inline std::string Arg(int v) { return std::to_string(v); }
inline std::string Arg(unsigned v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}
inline std::string Arg(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}
inline std::string Arg(bool v) { return v ? "1" : "0"; }
inline std::string Arg(const std::string& v) { return v; }
inline std::string Arg(const char* v) { return v; }

inline void Join(std::string&) {}
template <class T, class... Rest>
void Join(std::string& out, const T& first, const Rest&... rest) {
  if (out.back() != '(') out += ",";
  out += Arg(first);
  Join(out, rest...);
}

template <class... Args>
void Note(const char* name, const Args&... args) {
  std::string text = name;
  if (sizeof...(args) > 0) {
    text += "(";
    Join(text, args...);
    text += ")";
  }
  S().calls.push_back(text);
  if (S().script.observer) S().script.observer(text);
}

inline bool IsCurrentTexture(const G::TextureRecord* record) {
  for (const G::TextureRecord* bound : S().textures)
    if (bound == record) return true;
  return false;
}

inline void AddVertex(float x, float y, float z) {
  G::IMVertex v;
  v.position[0] = x;
  v.position[1] = y;
  v.position[2] = z;
  std::memcpy(v.normal, S().normal, sizeof v.normal);
  v.color = S().color;
  std::memcpy(v.texCoord, S().texCoord, sizeof v.texCoord);
  G::g_immediateVertices.push_back(v);
}

}  // namespace NullBackend
