// The interface's render-state indices, transforms, viewport and draws from
// the current buffers, mapped onto Direct3D 9 render states and calls, and
// immediate mode: vertices gathered in memory with the current attributes
// and drawn from there in one call at IMEnd. The setters and draws hand the
// device's result code back unchanged.
#include <cstring>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/LogFile.h"
#include "foundation/Maths.h"
#include "graphics/RenderState.h"

namespace G {

namespace {

IDirect3DDevice9* Device() { return DXG::g_d3d.device; }

// Before Init and after Shutdown there is no device: setters refuse, getters
// read zero.
#define QV_NEED_DEVICE() \
  if (!Device()) return D3DERR_INVALIDCALL

DWORD GetState(D3DRENDERSTATETYPE state) {
  DWORD value = 0;
  if (Device()) Device()->GetRenderState(state, &value);
  return value;
}

const D3DRENDERSTATETYPE kOnOffStates[9] = {
    D3DRS_ZENABLE,     D3DRS_ZWRITEENABLE, D3DRS_ALPHABLENDENABLE,   D3DRS_ALPHATESTENABLE,    D3DRS_STENCILENABLE,
    D3DRS_LIGHTING,    D3DRS_FILLMODE,     D3DRS_COLORWRITEENABLE,   D3DRS_TWOSIDEDSTENCILMODE,
};

const D3DCMPFUNC kCompare[8] = {D3DCMP_NEVER,    D3DCMP_ALWAYS,    D3DCMP_EQUAL,   D3DCMP_NOTEQUAL,
                                D3DCMP_LESS,     D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_GREATEREQUAL};
const D3DSTENCILOP kStencilOps[8] = {D3DSTENCILOP_KEEP,    D3DSTENCILOP_ZERO,    D3DSTENCILOP_REPLACE,
                                     D3DSTENCILOP_INCRSAT, D3DSTENCILOP_INCR,    D3DSTENCILOP_DECRSAT,
                                     D3DSTENCILOP_DECR,    D3DSTENCILOP_INVERT};
const D3DBLEND kBlend[10] = {D3DBLEND_ZERO,         D3DBLEND_ONE,         D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                             D3DBLEND_SRCALPHA,     D3DBLEND_INVSRCALPHA, D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA,
                             D3DBLEND_DESTCOLOR,    D3DBLEND_INVDESTCOLOR};

// Indices outside a table are refused: the device keeps its state.
bool InTable(int index, int size) { return index >= 0 && index < size; }

CompareFunc CompareFromDevice(DWORD value) {
  for (int i = 0; i < 8; ++i)
    if (kCompare[i] == value) return static_cast<CompareFunc>(i);
  return kCompareGreaterEqual;
}

StencilOp StencilOpFromDevice(DWORD value) {
  for (int i = 0; i < 8; ++i)
    if (kStencilOps[i] == value) return static_cast<StencilOp>(i);
  return kStencilInvert;
}

bool s_cullReverse = false;

D3DMATRIX ToDevice(const Matrix4& matrix, bool transpose) {
  D3DMATRIX out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out.m[r][c] = transpose ? matrix.m[4 * c + r] : matrix.m[4 * r + c];
  return out;
}

Matrix4 FromDevice(D3DTRANSFORMSTATETYPE state, bool transpose) {
  D3DMATRIX in;
  std::memset(&in, 0, sizeof in);
  if (Device()) Device()->GetTransform(state, &in);
  Matrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out.m[4 * r + c] = transpose ? in.m[c][r] : in.m[r][c];
  return out;
}

long SetTransform(D3DTRANSFORMSTATETYPE state, const Matrix4& matrix, bool transpose) {
  QV_NEED_DEVICE();
  D3DMATRIX m = ToDevice(matrix, transpose);
  return Device()->SetTransform(state, &m);
}

}  // namespace

// ---- On/off states ---------------------------------------------------------

long SetRenderState(RenderStateIndex state, bool on) {
  QV_NEED_DEVICE();
  if (!InTable(state, 9)) return D3DERR_INVALIDCALL;
  DWORD value = on ? 1 : 0;
  if (state == kStateWireframe) value = on ? D3DFILL_WIREFRAME : D3DFILL_SOLID;
  if (state == kStateColorWrite) value = on ? 15 : 0;
  return Device()->SetRenderState(kOnOffStates[state], value);
}

bool GetRenderState(RenderStateIndex state) {
  if (!InTable(state, 9)) return false;
  DWORD value = GetState(kOnOffStates[state]);
  if (state == kStateWireframe) return value == D3DFILL_WIREFRAME;
  if (state == kStateColorWrite) return value == 15;
  if (state == kStateDepthTest) return value == 1;
  return value != 0;
}

// ---- Culling ---------------------------------------------------------------

long SetCullMode(CullMode mode) {
  QV_NEED_DEVICE();
  DWORD cull;
  if (mode == kCullCounterClockwise)
    cull = s_cullReverse ? D3DCULL_CW : D3DCULL_CCW;
  else if (mode == kCullClockwise)
    cull = s_cullReverse ? D3DCULL_CCW : D3DCULL_CW;
  else if (mode == kCullNone)
    cull = D3DCULL_NONE;
  else
    return D3DERR_INVALIDCALL;
  return Device()->SetRenderState(D3DRS_CULLMODE, cull);
}

CullMode GetCullMode() {
  DWORD cull = GetState(D3DRS_CULLMODE);
  if (cull == D3DCULL_CCW) return s_cullReverse ? kCullClockwise : kCullCounterClockwise;
  if (cull == D3DCULL_CW) return s_cullReverse ? kCullCounterClockwise : kCullClockwise;
  return kCullNone;
}

void SetCullReverse(bool reverse) {
  CullMode mode = GetCullMode();
  s_cullReverse = reverse;
  SetCullMode(mode);
}

// ---- Depth, stencil, alpha and blend ---------------------------------------

long SetDepthFunc(CompareFunc func) {
  QV_NEED_DEVICE();
  if (!InTable(func, 8)) return D3DERR_INVALIDCALL;
  return Device()->SetRenderState(D3DRS_ZFUNC, kCompare[func]);
}

CompareFunc GetDepthFunc() { return CompareFromDevice(GetState(D3DRS_ZFUNC)); }

long SetStencilFunc(CompareFunc func, int reference) {
  QV_NEED_DEVICE();
  if (!InTable(func, 8)) return D3DERR_INVALIDCALL;
  long result = Device()->SetRenderState(D3DRS_STENCILFUNC, kCompare[func]);
  Device()->SetRenderState(D3DRS_CCW_STENCILFUNC, kCompare[func]);
  Device()->SetRenderState(D3DRS_STENCILREF, static_cast<DWORD>(reference));
  return result;
}

CompareFunc GetStencilFunc(bool backFace) {
  return CompareFromDevice(GetState(backFace ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC));
}

int GetStencilRef(bool backFace) {
  if (backFace) {
    ErrorLog << "stencil ref on back face not a valid thing.\n";
    return 1;
  }
  return static_cast<int>(GetState(D3DRS_STENCILREF));
}

long SetStencilOps(bool backFace, StencilOp fail, StencilOp depthFail, StencilOp pass) {
  QV_NEED_DEVICE();
  if (!InTable(fail, 8) || !InTable(depthFail, 8) || !InTable(pass, 8)) return D3DERR_INVALIDCALL;
  long result = Device()->SetRenderState(backFace ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL, kStencilOps[fail]);
  Device()->SetRenderState(backFace ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL, kStencilOps[depthFail]);
  Device()->SetRenderState(backFace ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS, kStencilOps[pass]);
  return result;
}

StencilOp GetStencilFail(bool backFace) {
  return StencilOpFromDevice(GetState(backFace ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL));
}
StencilOp GetStencilZFail(bool backFace) {
  return StencilOpFromDevice(GetState(backFace ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL));
}
StencilOp GetStencilPass(bool backFace) {
  return StencilOpFromDevice(GetState(backFace ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS));
}

long SetAlphaFunc(CompareFunc func) {
  QV_NEED_DEVICE();
  if (!InTable(func, 8)) return D3DERR_INVALIDCALL;
  return Device()->SetRenderState(D3DRS_ALPHAFUNC, kCompare[func]);
}

CompareFunc GetAlphaFunc() { return CompareFromDevice(GetState(D3DRS_ALPHAFUNC)); }

long SetAlphaRef(float reference) {
  QV_NEED_DEVICE();
  return Device()->SetRenderState(D3DRS_ALPHAREF, static_cast<DWORD>(static_cast<int>(reference * 255.0f)));
}

float GetAlphaRef() { return static_cast<float>(GetState(D3DRS_ALPHAREF)) / 255.0f; }

long SetBlendFunc(BlendFactor source, BlendFactor destination) {
  QV_NEED_DEVICE();
  auto map = [](BlendFactor factor) {
    return InTable(factor, 10) ? kBlend[factor] : D3DBLEND_SRCALPHASAT;
  };
  long result = Device()->SetRenderState(D3DRS_SRCBLEND, map(source));
  Device()->SetRenderState(D3DRS_DESTBLEND, map(destination));
  return result;
}

// ---- Transforms and viewport -----------------------------------------------

// The projection arrives in the row-vector form Direct3D takes; view and
// world are column-vector matrices and cross over transposed.
long SetProjectionMatrix(const Matrix4& matrix) { return SetTransform(D3DTS_PROJECTION, matrix, false); }
Matrix4 GetProjectionMatrix() { return FromDevice(D3DTS_PROJECTION, false); }
long SetViewMatrix(const Matrix4& matrix) { return SetTransform(D3DTS_VIEW, matrix, true); }
Matrix4 GetViewMatrix() { return FromDevice(D3DTS_VIEW, true); }
long SetWorldMatrix(const Matrix4& matrix) { return SetTransform(D3DTS_WORLDMATRIX(0), matrix, true); }
Matrix4 GetWorldMatrix() { return FromDevice(D3DTS_WORLDMATRIX(0), true); }

long SetViewport(int x, int y, int width, int height) {
  QV_NEED_DEVICE();
  D3DVIEWPORT9 viewport = {static_cast<DWORD>(x), static_cast<DWORD>(y), static_cast<DWORD>(width),
                           static_cast<DWORD>(height), 0.0f, 1.0f};
  return Device()->SetViewport(&viewport);
}

void GetViewport(int& x, int& y, int& width, int& height) {
  D3DVIEWPORT9 viewport = {};
  if (Device()) Device()->GetViewport(&viewport);
  x = static_cast<int>(viewport.X);
  y = static_cast<int>(viewport.Y);
  width = static_cast<int>(viewport.Width);
  height = static_cast<int>(viewport.Height);
}

// ---- Draws from the current buffers ----------------------------------------

long RenderTris(int triangles, int firstVertex) {
  QV_NEED_DEVICE();
  return Device()->DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<UINT>(firstVertex), static_cast<UINT>(triangles));
}

long RenderLines(int lines) {
  QV_NEED_DEVICE();
  return Device()->DrawPrimitive(D3DPT_LINELIST, 0, static_cast<UINT>(lines));
}

long RenderPoints(int points) {
  QV_NEED_DEVICE();
  return Device()->DrawPrimitive(D3DPT_POINTLIST, 0, static_cast<UINT>(points));
}

long RenderIndTris(int triangles) {
  QV_NEED_DEVICE();
  const VertexBufferRecord* vertices = DXG::g_d3d.vertexBuffers[0];
  const IndexBufferRecord* indices = DXG::g_d3d.indexBuffer;
  if (!vertices || !indices) {
    ErrorLog << "Bad: Attempt to render indexed primitives with ";
    if (!vertices) ErrorLog << "'No vertex buffer set'";
    if (!indices) ErrorLog << "'No index buffer set'";
    ErrorLog << "\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return D3DERR_INVALIDCALL;
  }
  return Device()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(vertices->vertexCount), 0,
                                        static_cast<UINT>(triangles));
}

// ---- Immediate mode --------------------------------------------------------


namespace {

struct ImmediateState {
  bool inBlock = false;
  PrimitiveType type = kPrimitivePoints;
  unsigned color = 0xFFFFFFFF;
  float normal[3] = {};
  float texCoord[4] = {};
};
ImmediateState s_im;

const D3DPRIMITIVETYPE kPrimitiveTypes[4] = {D3DPT_POINTLIST, D3DPT_LINELIST, D3DPT_TRIANGLELIST,
                                             D3DPT_TRIANGLEFAN};

void AddVertex(float x, float y, float z) {
  IMVertex v;
  v.position[0] = x;
  v.position[1] = y;
  v.position[2] = z;
  std::memcpy(v.normal, s_im.normal, sizeof v.normal);
  v.color = s_im.color;
  std::memcpy(v.texCoord, s_im.texCoord, sizeof v.texCoord);
  g_immediateVertices.push_back(v);
}

// Each channel times 255, truncated, low 8 bits kept: out-of-range values
// wrap as they always have.
unsigned PackFloatColor(float r, float g, float b, float a) {
  auto channel = [](float v) { return static_cast<unsigned>(static_cast<int>(v * 255.0f)) & 0xFF; };
  return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

}  // namespace

void IMBegin(PrimitiveType type) {
  if (s_im.inBlock) {
    ErrorLog << "IMBegin used... but already inside a begin/end block.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  if (type < kPrimitivePoints || type > kPrimitiveTriangleFan) {
    ErrorLog << "bad primType passed ts IMBegin...\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  s_im.type = type;
  std::memset(s_im.normal, 0, sizeof s_im.normal);
  std::memset(s_im.texCoord, 0, sizeof s_im.texCoord);
  s_im.color = 0xFFFFFFFF;
  g_immediateVertices.clear();
  g_immediateVertices.reserve(32);
  s_im.inBlock = true;
}

void IMEnd() {
  if (!s_im.inBlock) {
    ErrorLog << "IMEnd used, but am not within a begin/end block.\n";
    return;
  }
  int n = static_cast<int>(g_immediateVertices.size());
  IDirect3DDevice9* device = DXG::g_d3d.device;
  if (n > 0 && device) {
    int count;
    if (s_im.type == kPrimitiveTriangleFan)
      count = n - 2;
    else
      count = n / (s_im.type == kPrimitivePoints ? 1 : s_im.type == kPrimitiveLines ? 2 : 3);
    // A block too short for one primitive leaves the device as it was: its
    // declaration would otherwise read the buffer still on stream 0 with
    // the immediate-mode layout at the next buffered draw.
    if (count > 0) {
      SetVertexFormat(IMVertexFormat());
      device->DrawPrimitiveUP(kPrimitiveTypes[s_im.type], static_cast<UINT>(count), g_immediateVertices.data(),
                              sizeof(IMVertex));
      // Drawing from memory leaves the device without a stream 0 buffer.
      DXG::g_d3d.vertexBuffers[0] = nullptr;
    }
  }
  std::vector<IMVertex>().swap(g_immediateVertices);
  s_im.inBlock = false;
}

void IMColor(unsigned packedColor) { s_im.color = packedColor; }

void IMColor3(float r, float g, float b) {
  CheckColorRange(r);
  CheckColorRange(g);
  CheckColorRange(b);
  s_im.color = PackFloatColor(r, g, b, 1.0f);
}
void IMColor3(const float* rgb) { IMColor3(rgb[0], rgb[1], rgb[2]); }

void IMColor4(float r, float g, float b, float a) {
  CheckColorRange(r);
  CheckColorRange(g);
  CheckColorRange(b);
  CheckColorRange(a);
  s_im.color = PackFloatColor(r, g, b, a);
}
void IMColor4(const float* rgba) { IMColor4(rgba[0], rgba[1], rgba[2], rgba[3]); }

void IMNormal(float x, float y, float z) {
  s_im.normal[0] = x;
  s_im.normal[1] = y;
  s_im.normal[2] = z;
}
void IMNormal(const float* xyz) { IMNormal(xyz[0], xyz[1], xyz[2]); }

void IMTexCoord1(float u) {
  s_im.texCoord[0] = u;
  s_im.texCoord[1] = 0;
}
void IMTexCoord2(float u, float v) {
  s_im.texCoord[0] = u;
  s_im.texCoord[1] = v;
}
void IMTexCoord2(const float* uv) { IMTexCoord2(uv[0], uv[1]); }
void IMTexCoord3(float u, float v, float w) {
  s_im.texCoord[0] = u;
  s_im.texCoord[1] = v;
  s_im.texCoord[2] = w;
}
void IMTexCoord3(const float* uvw) {
  IMTexCoord3(uvw[0], uvw[1], uvw[2]);
  s_im.texCoord[3] = 1.0f;
}
void IMTexCoord4(float u, float v, float w, float q) {
  IMTexCoord3(u, v, w);
  s_im.texCoord[3] = q;
}
void IMTexCoord4(const float* uvwq) { IMTexCoord4(uvwq[0], uvwq[1], uvwq[2], uvwq[3]); }

void IMPosition2(float x, float y) { AddVertex(x, y, 0); }
void IMPosition2(const float* xy) { AddVertex(xy[0], xy[1], 0); }
void IMPosition3(float x, float y, float z) { AddVertex(x, y, z); }
void IMPosition3(const float* xyz) { AddVertex(xyz[0], xyz[1], xyz[2]); }

void IMPosition4(float x, float y, float z, float w) {
  ErrorLog << "Warning: IMPosition4 not correctly implemented correctly for D3D yet.\n";
  AddVertex(x, y, z);
}
void IMPosition4(const float* xyzw) { IMPosition4(xyzw[0], xyzw[1], xyzw[2], xyzw[3]); }

}  // namespace G
