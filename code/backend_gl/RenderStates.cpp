// OpenGL frames, render states, transforms, the viewport, draws from the
// current buffers and immediate mode, on the fixed-function pipeline. The
// interface's enumerations go through fixed tables; only the three matrices
// are cached, every getter reads the state back from GL.
#include "backend_gl/GLBackend.h"
#include "foundation/LogFile.h"
#include "graphics/RenderState.h"

namespace GLBackend {

bool g_renderTextureBound = false;

}  // namespace GLBackend

namespace {

using GLBackend::g_currentIndexBuffer;
using GLBackend::g_currentVertexBuffer;

// Projection as given (the row-vector form read column-major is OpenGL's
// own), the view transposed, the world as given.
Matrix4 s_projection;
Matrix4 s_viewTransposed;
Matrix4 s_world;
bool s_cullReverse = false;
bool s_inImmediateBlock = false;
int s_renderTargetHeight = 0;  // 0: the back buffer

const GLenum kCompareTable[8] = {GL_NEVER, GL_ALWAYS, GL_EQUAL, GL_NOTEQUAL, GL_LESS, GL_LEQUAL, GL_GREATER, GL_GEQUAL};
// The wrap operations whatever the driver said of stencil wrapping.
const GLenum kStencilOpTable[8] = {GL_KEEP, GL_ZERO,           GL_REPLACE, GL_INCR,
                                   GL_INCR_WRAP_EXT, GL_DECR, GL_DECR_WRAP_EXT, GL_INVERT};
const GLenum kBlendTable[11] = {GL_ZERO,          GL_ONE,           GL_SRC_COLOR,          GL_ONE_MINUS_SRC_COLOR,
                                GL_SRC_ALPHA,     GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA,   GL_ONE_MINUS_DST_ALPHA,
                                GL_DST_COLOR,     GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};

GLenum CompareToGL(G::CompareFunc func) {
  return func >= 0 && func < 8 ? kCompareTable[func] : GL_GEQUAL;
}
G::CompareFunc CompareFromGL(GLint value) {
  for (int i = 0; i < 8; ++i)
    if (static_cast<GLint>(kCompareTable[i]) == value) return static_cast<G::CompareFunc>(i);
  return G::kCompareGreaterEqual;
}
GLenum StencilOpToGL(G::StencilOp op) { return op >= 0 && op < 8 ? kStencilOpTable[op] : GL_INVERT; }
G::StencilOp StencilOpFromGL(GLint value) {
  for (int i = 0; i < 8; ++i)
    if (static_cast<GLint>(kStencilOpTable[i]) == value) return static_cast<G::StencilOp>(i);
  return G::kStencilInvert;
}
GLenum BlendToGL(G::BlendFactor factor) {
  if (factor < 0) return GL_ZERO;
  return factor < 10 ? kBlendTable[factor] : GL_SRC_ALPHA_SATURATE;
}

void LoadModelView() {
  Matrix4 modelView;
  Matrix4::Multiply(modelView, s_world.Transposed(), s_viewTransposed);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(modelView.m);
}

int TargetHeight() {
  return s_renderTargetHeight > 0 ? s_renderTargetHeight : GLBackend::SetupCopy().height;
}

bool TwoSidedStencilExt() { return GLCapabilities.twoSidedStencil && !GLCapabilities.atiSeparateStencil; }

// glActiveStencilFaceEXT, when the driver gave it.
void SelectStencilFace(bool backFace) {
  if (glActiveStencilFaceEXT) glActiveStencilFaceEXT(backFace ? GL_BACK : GL_FRONT);
}

bool IsEnabled(GLenum capability) {
  GLboolean value = GL_FALSE;
  glGetBooleanv(capability, &value);
  return value != GL_FALSE;
}

void Switch(GLenum capability, bool on) {
  if (on)
    glEnable(capability);
  else
    glDisable(capability);
}

GLint GetInteger(GLenum name) {
  GLint value = 0;
  glGetIntegerv(name, &value);
  return value;
}

}  // namespace

namespace GLBackend {

void SetTargetHeight(int height) { s_renderTargetHeight = height; }
void ResetTargetHeight() { s_renderTargetHeight = 0; }

void ResetDrawingState() {
  s_cullReverse = false;
  s_inImmediateBlock = false;
  s_renderTargetHeight = 0;
  g_renderTextureBound = false;
  g_currentVertexBuffer = nullptr;
  g_currentIndexBuffer = nullptr;
  s_projection = Matrix4::Identity();
  s_viewTransposed = Matrix4::Identity();
  s_world = Matrix4::Identity();
  ClearStageTargets();
  ForgetCurrentShader();
}

}  // namespace GLBackend

// ---- Frames --------------------------------------------------------------------------

namespace DXG {

bool BeginFrame(float, bool, bool) { return true; }

void EndFrame0() { glFlush(); }

void EndFrame1() {
  if (!SwapBuffers(GLBackend::DeviceContext())) ErrorLog << "Swapping backbuffer failed...\n";
}

IDirect3DDevice9* GetDevice() { return nullptr; }

}  // namespace DXG

namespace G {

bool Clear(unsigned color, bool clearColor, bool clearDepth, bool clearStencil, int stencilValue) {
  if (!GLBackend::HasContext()) return false;
  ClearErrors();
  if (GLBackend::g_renderTextureBound) clearStencil = false;
  // Depth test and writes stay on afterwards.
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  GLbitfield mask = 0;
  if (clearColor) {
    const float k = 1.0f / 255.0f;
    glClearColor(((color >> 16) & 0xFF) * k, ((color >> 8) & 0xFF) * k, (color & 0xFF) * k, (color >> 24) * k);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (clearDepth) {
    glClearDepth(1.0);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (GLBackend::SetupCopy().stencil && clearStencil) {
    glClearStencil(stencilValue);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  glClear(mask);
  CheckGLErrors("Clear Screen\n", true);
  return true;
}

// ---- Transforms and viewport -------------------------------------------------------------

long SetProjectionMatrix(const Matrix4& matrix) {
  s_projection = matrix;
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(s_projection.m);
  return 0;
}
Matrix4 GetProjectionMatrix() { return s_projection; }

long SetViewMatrix(const Matrix4& matrix) {
  s_viewTransposed = matrix.Transposed();
  LoadModelView();
  return 0;
}
Matrix4 GetViewMatrix() { return s_viewTransposed.Transposed(); }

long SetWorldMatrix(const Matrix4& matrix) {
  s_world = matrix;
  LoadModelView();
  return 0;
}
Matrix4 GetWorldMatrix() { return s_world; }

// The interface's y runs down from the top of the target, OpenGL's up from
// its bottom: turned by the height of what is drawn into now.
long SetViewport(int x, int y, int width, int height) {
  glViewport(x, TargetHeight() - y - height, width, height);
  return 0;
}

void GetViewport(int& x, int& y, int& width, int& height) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  x = viewport[0];
  width = viewport[2];
  height = viewport[3];
  y = TargetHeight() - (viewport[1] + height);
}

// ---- States -----------------------------------------------------------------------------------

long SetRenderState(RenderStateIndex state, bool on) {
  switch (state) {
    case kStateDepthTest: Switch(GL_DEPTH_TEST, on); break;
    case kStateDepthWrite: glDepthMask(on ? GL_TRUE : GL_FALSE); break;
    case kStateAlphaBlend: Switch(GL_BLEND, on); break;
    case kStateAlphaTest: Switch(GL_ALPHA_TEST, on); break;
    case kStateStencil: Switch(GL_STENCIL_TEST, on); break;
    case kStateLighting: Switch(GL_LIGHTING, on); break;
    case kStateWireframe: glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL); break;
    case kStateColorWrite: {
      const GLboolean value = on ? GL_TRUE : GL_FALSE;
      glColorMask(value, value, value, value);
      break;
    }
    case kStateTwoSidedStencil:
      if (TwoSidedStencilExt()) Switch(GL_STENCIL_TEST_TWO_SIDE_EXT, on);
      break;
  }
  return 0;
}

bool GetRenderState(RenderStateIndex state) {
  switch (state) {
    case kStateDepthTest: return IsEnabled(GL_DEPTH_TEST);
    case kStateDepthWrite: return IsEnabled(GL_DEPTH_WRITEMASK);
    case kStateAlphaBlend: return IsEnabled(GL_BLEND);
    case kStateAlphaTest: return IsEnabled(GL_ALPHA_TEST);
    case kStateStencil: return IsEnabled(GL_STENCIL_TEST);
    case kStateLighting: return IsEnabled(GL_LIGHTING);
    case kStateWireframe: {
      GLint modes[2] = {GL_FILL, GL_FILL};
      glGetIntegerv(GL_POLYGON_MODE, modes);
      return modes[1] == GL_LINE;
    }
    case kStateColorWrite: {
      GLboolean mask[4] = {};
      glGetBooleanv(GL_COLOR_WRITEMASK, mask);
      return mask[0] != GL_FALSE;
    }
    case kStateTwoSidedStencil:
      return TwoSidedStencilExt() ? IsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT) : true;
  }
  return false;
}

long SetCullMode(CullMode mode) {
  if (mode != kCullCounterClockwise && mode != kCullClockwise) {
    glDisable(GL_CULL_FACE);
    return 0;
  }
  // OpenGL culls its back faces; the front winding says which those are.
  const bool clockwiseFront = (mode == kCullCounterClockwise) != s_cullReverse;
  glFrontFace(clockwiseFront ? GL_CW : GL_CCW);
  glEnable(GL_CULL_FACE);
  return 0;
}

CullMode GetCullMode() {
  if (!IsEnabled(GL_CULL_FACE)) return kCullNone;
  const bool clockwiseFront = GetInteger(GL_FRONT_FACE) == GL_CW;
  return clockwiseFront != s_cullReverse ? kCullCounterClockwise : kCullClockwise;
}

void SetCullReverse(bool reverse) {
  const CullMode mode = GetCullMode();
  s_cullReverse = reverse;
  SetCullMode(mode);
}

long SetDepthFunc(CompareFunc func) {
  glDepthFunc(CompareToGL(func));
  return 0;
}
CompareFunc GetDepthFunc() { return CompareFromGL(GetInteger(GL_DEPTH_FUNC)); }

long SetAlphaFunc(CompareFunc func) {
  GLfloat reference = 0;
  glGetFloatv(GL_ALPHA_TEST_REF, &reference);
  glAlphaFunc(CompareToGL(func), reference);
  return 0;
}
long SetAlphaRef(float reference) {
  glAlphaFunc(static_cast<GLenum>(GetInteger(GL_ALPHA_TEST_FUNC)), reference);
  return 0;
}
CompareFunc GetAlphaFunc() { return CompareFromGL(GetInteger(GL_ALPHA_TEST_FUNC)); }
float GetAlphaRef() {
  GLfloat reference = 0;
  glGetFloatv(GL_ALPHA_TEST_REF, &reference);
  return reference;
}

long SetBlendFunc(BlendFactor source, BlendFactor destination) {
  glBlendFunc(BlendToGL(source), BlendToGL(destination));
  return 0;
}

long SetStencilFunc(CompareFunc func, int reference) {
  if (TwoSidedStencilExt()) {
    SelectStencilFace(true);
    glStencilFunc(CompareToGL(func), reference, ~0u);
    SelectStencilFace(false);
  }
  glStencilFunc(CompareToGL(func), reference, ~0u);
  return 0;
}

long SetStencilOps(bool backFace, StencilOp fail, StencilOp depthFail, StencilOp pass) {
  if (GLCapabilities.atiSeparateStencil && glStencilOpSeparateATI) {
    glStencilOpSeparateATI(backFace ? GL_BACK : GL_FRONT, StencilOpToGL(fail), StencilOpToGL(depthFail),
                           StencilOpToGL(pass));
    return 0;
  }
  if (TwoSidedStencilExt() && IsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT)) SelectStencilFace(backFace);
  glStencilOp(StencilOpToGL(fail), StencilOpToGL(depthFail), StencilOpToGL(pass));
  return 0;
}

CompareFunc GetStencilFunc(bool) { return CompareFromGL(GetInteger(GL_STENCIL_FUNC)); }

// The face a getter selects stays selected.
int GetStencilRef(bool backFace) {
  if (TwoSidedStencilExt()) SelectStencilFace(backFace);
  return GetInteger(GL_STENCIL_REF);
}
StencilOp GetStencilFail(bool backFace) {
  if (TwoSidedStencilExt()) SelectStencilFace(backFace);
  return StencilOpFromGL(GetInteger(GL_STENCIL_FAIL));
}
StencilOp GetStencilZFail(bool backFace) {
  if (TwoSidedStencilExt()) SelectStencilFace(backFace);
  return StencilOpFromGL(GetInteger(GL_STENCIL_PASS_DEPTH_FAIL));
}
StencilOp GetStencilPass(bool backFace) {
  if (TwoSidedStencilExt()) SelectStencilFace(backFace);
  return StencilOpFromGL(GetInteger(GL_STENCIL_PASS_DEPTH_PASS));
}

// ---- Draws from the current buffers -----------------------------------------------------------

long RenderTris(int triangles, int firstVertex) {
  if (!g_currentVertexBuffer) {
    ErrorLog << "Error: Call to RenderTris, but no vertex buffer is set.\n";
    return 0;
  }
  glDrawArrays(GL_TRIANGLES, firstVertex, 3 * triangles);
  return 0;
}

long RenderIndTris(int triangles) {
  if (!g_currentVertexBuffer) {
    ErrorLog << "Error: Call to RenderIndTris, but no vertex buffer is set.\n";
    return 0;
  }
  if (!g_currentIndexBuffer) {
    ErrorLog << "Error: Call to RenderIndTris, but no index buffer is set.\n";
    return 0;
  }
  // Offset 0 of the bound element buffer.
  glDrawElements(GL_TRIANGLES, 3 * triangles, GL_UNSIGNED_SHORT, nullptr);
  return 0;
}

long RenderLines(int lines) {
  if (!g_currentVertexBuffer) {
    ErrorLog << "Error: Call to RenderLines, but no vertex buffer is set.\n";
    return 0;
  }
  glDrawArrays(GL_LINES, 0, 2 * lines);
  return 0;
}

long RenderPoints(int points) {
  if (!g_currentVertexBuffer) {
    ErrorLog << "Error: Call to RenderPoints, but no vertex buffer is set.\n";
    return 0;
  }
  glDrawArrays(GL_POINTS, 0, points);
  return 0;
}

// ---- Immediate mode ------------------------------------------------------------------------------

void IMBegin(PrimitiveType type) {
  if (s_inImmediateBlock) {
    ErrorLog << "IMBegin used.. but already inside a begin/end block.\n";
    WriteCallStack(ErrorLog, "  -call stack: ");
  }
  s_inImmediateBlock = true;
  GLenum mode = GL_POINTS;
  switch (type) {
    case kPrimitivePoints: mode = GL_POINTS; break;
    case kPrimitiveLines: mode = GL_LINES; break;
    case kPrimitiveTriangles: mode = GL_TRIANGLES; break;
    case kPrimitiveTriangleFan: mode = GL_TRIANGLE_FAN; break;
    default:
      ErrorLog << "Invalid primitive type given to IMBegin.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      break;
  }
  // The buffers are unbound for the block, so they stop being current: a
  // later indexed draw must not read indices from an unbound element buffer.
  if (glBindBufferARB) {
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
  }
  g_currentVertexBuffer = nullptr;
  g_currentIndexBuffer = nullptr;
  GLBackend::ActiveTextureUnit(0);
  glBegin(mode);
  glColor4f(1, 1, 1, 1);
}

void IMEnd() {
  if (!s_inImmediateBlock) {
    ErrorLog << "IMEnd called, but no matching IMBegin...\n";
    WriteCallStack(ErrorLog, "  -call stack: ");
  }
  s_inImmediateBlock = false;
  glColor4f(1, 1, 1, 1);
  glEnd();
}

void IMColor(unsigned packedColor) {
  glColor4ub(static_cast<GLubyte>(packedColor >> 16), static_cast<GLubyte>(packedColor >> 8),
             static_cast<GLubyte>(packedColor), static_cast<GLubyte>(packedColor >> 24));
}
void IMColor3(float r, float g, float b) {
  CheckColorRange(r);
  CheckColorRange(g);
  CheckColorRange(b);
  glColor3f(r, g, b);
}
void IMColor3(const float* rgb) {
  for (int i = 0; i < 3; ++i) CheckColorRange(rgb[i]);
  glColor3fv(rgb);
}
void IMColor4(float r, float g, float b, float a) {
  CheckColorRange(r);
  CheckColorRange(g);
  CheckColorRange(b);
  CheckColorRange(a);
  glColor4f(r, g, b, a);
}
void IMColor4(const float* rgba) {
  for (int i = 0; i < 4; ++i) CheckColorRange(rgba[i]);
  glColor4fv(rgba);
}
void IMNormal(float x, float y, float z) { glNormal3f(x, y, z); }
void IMNormal(const float* xyz) { glNormal3fv(xyz); }
void IMTexCoord1(float u) { glTexCoord1f(u); }
void IMTexCoord2(float u, float v) { glTexCoord2f(u, v); }
void IMTexCoord2(const float* uv) { glTexCoord2fv(uv); }
void IMTexCoord3(float u, float v, float w) { glTexCoord3f(u, v, w); }
void IMTexCoord3(const float* uvw) { glTexCoord3fv(uvw); }
void IMTexCoord4(float u, float v, float w, float q) { glTexCoord4f(u, v, w, q); }
void IMTexCoord4(const float* uvwq) { glTexCoord4fv(uvwq); }
void IMPosition2(float x, float y) { glVertex2f(x, y); }
void IMPosition2(const float* xy) { glVertex2fv(xy); }
void IMPosition3(float x, float y, float z) { glVertex3f(x, y, z); }
void IMPosition3(const float* xyz) { glVertex3fv(xyz); }
void IMPosition4(float x, float y, float z, float w) { glVertex4f(x, y, z, w); }
void IMPosition4(const float* xyzw) { glVertex4fv(xyzw); }

}  // namespace G
