// The graphics interface: render states by small integer indices, the three
// transforms, the viewport, draws from the current buffers and immediate
// mode. Each backend maps the indices onto its API. State setters and draws
// return the API's own result code (0 where the API has none); the shared
// code ignores it.
#pragma once
#include <vector>

#include "foundation/Maths.h"
#include "graphics/VertexBuffer.h"


namespace G {

enum RenderStateIndex : int {
  kStateDepthTest = 0,
  kStateDepthWrite = 1,
  kStateAlphaBlend = 2,
  kStateAlphaTest = 3,
  kStateStencil = 4,
  kStateLighting = 5,
  kStateWireframe = 6,
  kStateColorWrite = 7,
  kStateTwoSidedStencil = 8,
};

enum CullMode : int {
  kCullCounterClockwise = 0,
  kCullClockwise = 1,
  kCullNone = 2,
};

enum CompareFunc : int {
  kCompareNever = 0,
  kCompareAlways = 1,
  kCompareEqual = 2,
  kCompareNotEqual = 3,
  kCompareLess = 4,
  kCompareLessEqual = 5,
  kCompareGreater = 6,
  kCompareGreaterEqual = 7,
};

enum StencilOp : int {
  kStencilKeep = 0,
  kStencilZero = 1,
  kStencilReplace = 2,
  kStencilIncrementSaturate = 3,
  kStencilIncrementWrap = 4,
  kStencilDecrementSaturate = 5,
  kStencilDecrementWrap = 6,
  kStencilInvert = 7,
};

// Values above 10 also mean source alpha saturated.
enum BlendFactor : int {
  kBlendZero = 0,
  kBlendOne = 1,
  kBlendSourceColor = 2,
  kBlendInvSourceColor = 3,
  kBlendSourceAlpha = 4,
  kBlendInvSourceAlpha = 5,
  kBlendDestAlpha = 6,
  kBlendInvDestAlpha = 7,
  kBlendDestColor = 8,
  kBlendInvDestColor = 9,
  kBlendSourceAlphaSaturate = 10,
};

enum PrimitiveType : int {
  kPrimitivePoints = 0,
  kPrimitiveLines = 1,
  kPrimitiveTriangles = 2,
  kPrimitiveTriangleFan = 3,
};

long SetRenderState(RenderStateIndex state, bool on);
// The state as the device holds it.
bool GetRenderState(RenderStateIndex state);
// Both honour the cull-reverse flag, which exchanges modes 0 and 1.
long SetCullMode(CullMode mode);
CullMode GetCullMode();
// Keeps the logical mode: the device's culled winding flips with the flag.
void SetCullReverse(bool reverse);
long SetDepthFunc(CompareFunc func);
CompareFunc GetDepthFunc();
// Front and back faces, one reference value.
long SetStencilFunc(CompareFunc func, int reference);
CompareFunc GetStencilFunc(bool backFace);
int GetStencilRef(bool backFace);
long SetStencilOps(bool backFace, StencilOp fail, StencilOp depthFail, StencilOp pass);
StencilOp GetStencilFail(bool backFace);
StencilOp GetStencilZFail(bool backFace);
StencilOp GetStencilPass(bool backFace);
long SetAlphaFunc(CompareFunc func);
CompareFunc GetAlphaFunc();
long SetAlphaRef(float reference);  // 0..1
float GetAlphaRef();
long SetBlendFunc(BlendFactor source, BlendFactor destination);

long SetProjectionMatrix(const Matrix4& matrix);
Matrix4 GetProjectionMatrix();
long SetViewMatrix(const Matrix4& matrix);
Matrix4 GetViewMatrix();
long SetWorldMatrix(const Matrix4& matrix);
Matrix4 GetWorldMatrix();

// Pixels with a top-left origin; depth range 0..1.
long SetViewport(int x, int y, int width, int height);
void GetViewport(int& x, int& y, int& width, int& height);

// Draws from the current vertex buffer (stream 0) and index buffer.
long RenderTris(int triangles, int firstVertex);
long RenderLines(int lines);
long RenderPoints(int points);
long RenderIndTris(int triangles);

// Immediate mode: each position call adds one vertex with the current
// attributes. The vector forms read 2, 3 or 4 floats.
void IMBegin(PrimitiveType type);
void IMEnd();
void IMColor(unsigned packedColor);
void IMColor3(float r, float g, float b);
void IMColor3(const float* rgb);
void IMColor4(float r, float g, float b, float a);
void IMColor4(const float* rgba);
void IMNormal(float x, float y, float z);
void IMNormal(const float* xyz);
void IMTexCoord1(float u);
void IMTexCoord2(float u, float v);
void IMTexCoord2(const float* uv);
void IMTexCoord3(float u, float v, float w);
void IMTexCoord3(const float* uvw);
void IMTexCoord4(float u, float v, float w, float q);
void IMTexCoord4(const float* uvwq);
void IMPosition2(float x, float y);
void IMPosition2(const float* xy);
void IMPosition3(float x, float y, float z);
void IMPosition3(const float* xyz);
void IMPosition4(float x, float y, float z, float w);
void IMPosition4(const float* xyzw);

// Logs a float colour component outside 0..1 (the value is still used).
// Shared code, like IMVertexFormat and g_immediateVertices below.
void CheckColorRange(float value);

// One gathered immediate-mode vertex, for backends that draw immediate mode
// from memory at IMEnd (44 bytes, the layout of IMVertexFormat).
struct IMVertex {
  float position[3];
  float normal[3];
  unsigned color;
  float texCoord[4];
};
static_assert(sizeof(IMVertex) == 44, "IMVertex is drawn with a stride of 44");

// (float3 position, float3 normal, packed colour, float4 texture coordinate).
const VertexFormat& IMVertexFormat();

// The vertices of the open immediate-mode block.
extern std::vector<IMVertex> g_immediateVertices;

}  // namespace G
