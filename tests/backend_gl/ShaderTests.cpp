// GLSL shaders: the program's own shader files, the named matrices and the
// constants as the programs receive them, the pixels they draw against the
// fixed-function pipeline, the compile and link messages, and the current
// shader letting go of deleted programs.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "DrawingSupport.h"
#include "GLTestSupport.h"
#include "backend_gl/GLExtensions.h"
#include "backend_gl/ShaderText.h"
#include "foundation/CMemMan.h"
#include "foundation/Maths.h"
#include "foundation/Utility.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"

#ifndef GL_CURRENT_PROGRAM
#define GL_CURRENT_PROGRAM 0x8B8D
#endif

namespace {

const char* const kPassVertex =
    "void main() {\n"
    "  gl_Position = ProjectVertex(gl_Vertex);\n"
    "  gl_FrontColor = gl_Color;\n"
    "}\n";
const char* const kTintFragment =
    "uniform vec4 Tint;\n"
    "void main() {\n"
    "  gl_FragColor = gl_Color * Tint;\n"
    "}\n";

class ShaderTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    CreateDirectoryPath("testshaders\\");
    WriteFileText("testshaders\\tint.glsl_v", kPassVertex);
    WriteFileText("testshaders\\tint.glsl_f", kTintFragment);
    StartBlack2D();
  }
};

GLint CurrentProgram() {
  GLint program = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  return program;
}

// The values of a uniform of the program in use, column-major as OpenGL
// keeps them.
std::vector<float> UniformValues(const char* name, int count) {
  auto getHandle = reinterpret_cast<PFNGLGETHANDLEARBPROC>(DriverEntryPoint("glGetHandleARB"));
  auto getLocation = reinterpret_cast<PFNGLGETUNIFORMLOCATIONARBPROC>(DriverEntryPoint("glGetUniformLocationARB"));
  auto getValues = reinterpret_cast<PFNGLGETUNIFORMFVARBPROC>(DriverEntryPoint("glGetUniformfvARB"));
  const GLhandleARB program = getHandle(GL_PROGRAM_OBJECT_ARB);
  const GLint location = getLocation(program, name);
  std::vector<float> values(16, -999.0f);
  if (location < 0) {
    ADD_FAILURE() << "no uniform " << name;
    return values;
  }
  getValues(program, location, values.data());
  values.resize(count);
  return values;
}

// ---- Info-log lines --------------------------------------------------------------

TEST(ShaderLogLines, NumbersMoveBackIntoTheShadersOwnFile) {
  struct Case {
    const char* log;
    const char* shifted;
  } cases[] = {
      {"(13) : error C0000: syntax error, unexpected '}'\n", "(2) : error C0000: syntax error, unexpected '}'\n"},
      {"ERROR: 0:13: 'foo' : undeclared identifier\n", "ERROR: 0:2:  'foo' : undeclared identifier\n"},
      {"WARNING: 0:20: implicit cast\nERROR: 2 compilation errors.  No code generated.\n",
       "WARNING: 0:9:  implicit cast\nERROR: 2 compilation errors. No code generated.\n"},
      {"(13)   two    blanks\n\n\n(14) next\n", "(2) two blanks\n(3) next\n"},
      {"(5)\nalone\n", "(0)\nalone\n"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ShiftInfoLogLines(c.log, -11), c.shifted) << c.log;
  EXPECT_EQ(PreludeLineOffset("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n"), -11);
  EXPECT_EQ(PreludeLineOffset(""), -1);
}

// ---- The program's own shaders ------------------------------------------------------------

TEST_F(ShaderTest, TheProgramsShadersCompileAndLink) {
  LogTail errors;
  LogTail shaderLog("_shaders.txt");
  G::Shader text, items, textPair, itemPair;
  EXPECT_TRUE(text.Load("data\\shaders\\gbfont", ""));
  EXPECT_TRUE(items.Load("data\\shaders\\simple", ""));
  EXPECT_TRUE(textPair.Load("data\\shaders\\gbfont", "data\\shaders\\gbfont"));
  EXPECT_TRUE(itemPair.Load("data\\shaders\\simple", "data\\shaders\\simple"));
  EXPECT_TRUE(text.IsLoaded());
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(shaderLog.Text(), "");
  // The files each shader came from are recorded for reloading.
  bool found = false;
  for (const G::ShaderFileEntry& entry : G::g_shaderFiles)
    if (entry.shader == &items) found = entry.vertexName == "data\\shaders\\simple" && entry.fragmentName.empty();
  EXPECT_TRUE(found);
  G::ReloadAllShaders();
  EXPECT_TRUE(items.IsLoaded());

  // The item shader lights a face turned to its light.
  items.Set();
  DrawQuad(100, 100, 200, 200, 0xFFFFFFFFu);
  G::UnbindShader();
  const unsigned lit = Rgb(ReadPixel(150, 150));
  EXPECT_NE(lit, 0u);
  EXPECT_EQ(lit & 0xFF, (lit >> 16) & 0xFF);
}

TEST_F(ShaderTest, TheTextShaderDrawsWhatFixedFunctionDraws) {
  // A textured, vertex-coloured quad seen through a turned camera.
  G::Texture texture;
  ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&texture, false, true);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) lock.SetPixel(x, y, 0xFF000000u | (x * 0x3F) << 16 | (y * 0x3F) << 8 | 0x80);
  }
  texture.SetFilter(G::kFilterPoint);
  Matrix4 view, projection;
  Matrix4::LookAt(view, Vector3(1, 2, -6), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  Matrix4::Perspective(projection, 3.14159265f / 4, 0.75f, 1, 100);
  const float c = std::cos(0.4f), s = std::sin(0.4f);
  const Matrix4 world(c, -s, 0, 0.5f, s, c, 0, -0.25f, 0, 0, 1, 0.5f, 0, 0, 0, 1);
  auto draw = [&] {
    G::Clear(0xFF000000u, true, true, false, 0);
    G::SetViewport(0, 0, 800, 600);
    G::SetProjectionMatrix(projection);
    G::SetViewMatrix(view);
    G::SetWorldMatrix(world);
    G::SetCullMode(G::kCullNone);
    texture.Set(0);
    G::IMBegin(G::kPrimitiveTriangleFan);
    const float corners[4][2] = {{-2, 2}, {2, 2}, {2, -2}, {-2, -2}};
    const unsigned colours[4] = {0xFFFFFFFFu, 0xFFFF8080u, 0xFF80FF80u, 0xC08080FFu};
    for (int i = 0; i < 4; ++i) {
      G::IMColor(colours[i]);
      G::IMTexCoord2(i == 1 || i == 2 ? 1.0f : 0.0f, i >= 2 ? 1.0f : 0.0f);
      G::IMPosition3(corners[i][0], corners[i][1], 0);
    }
    G::IMEnd();
    return ReadPixels(200, 100, 400, 400);
  };
  const std::vector<unsigned> fixed = draw();
  G::Shader shader;
  ASSERT_TRUE(shader.Load("data\\shaders\\gbfont", "data\\shaders\\gbfont"));
  shader.SetSampler("FontTexture", 0);
  G::SetProjectionMatrix(projection);
  G::SetViewMatrix(view);
  G::SetWorldMatrix(world);
  shader.Set();
  const std::vector<unsigned> shaded = draw();
  int lit = 0, different = 0;
  for (size_t i = 0; i < fixed.size(); ++i) {
    lit += Rgb(fixed[i]) != 0;
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(static_cast<int>((fixed[i] >> shift) & 0xFF) - static_cast<int>((shaded[i] >> shift) & 0xFF)) > 1) {
        ++different;
        break;
      }
  }
  EXPECT_GT(lit, 20000);
  EXPECT_EQ(different, 0);
}

TEST_F(ShaderTest, TheNamedMatricesAreUploadedWhenSet) {
  WriteFileText("testshaders\\matrices.glsl_v",
                "uniform float Zero;\n"
                "void main() {\n"
                "  vec4 p = ViewProjectionMatrix * (ModelMatrix * gl_Vertex);\n"
                "  p += Zero * (gl_Vertex * ModelView) + Zero * vec4(WorldRotMatrix * gl_Normal, 0.0);\n"
                "  gl_Position = p;\n"
                "}\n");
  G::Shader shader;
  ASSERT_TRUE(shader.Load("testshaders\\matrices", ""));
  const Matrix4 world(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 1);
  Matrix4 view, projection;
  Matrix4::LookAt(view, Vector3(1, 2, -6), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
  Matrix4::Perspective(projection, 1.0f, 0.75f, 1, 100);
  G::SetWorldMatrix(world);
  G::SetViewMatrix(view);
  G::SetProjectionMatrix(projection);
  shader.Set();
  // ModelMatrix: the world, transposed on the way (column-major storage).
  std::vector<float> model = UniformValues("ModelMatrix", 16);
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 4; ++col) EXPECT_EQ(model[col * 4 + r], world.m[r * 4 + col]) << r << col;
  // ModelView: the view as given, not transposed.
  std::vector<float> modelView = UniformValues("ModelView", 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], view.m[i]) << i;
  // ViewProjectionMatrix: transpose(view) x projection, not transposed.
  Matrix4 viewTransposed;
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 4; ++col) viewTransposed.m[col * 4 + r] = view.m[r * 4 + col];
  Matrix4 viewProjection;
  Matrix4::Multiply(viewProjection, viewTransposed, projection);
  std::vector<float> uploaded = UniformValues("ViewProjectionMatrix", 16);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(uploaded[i], viewProjection.m[i]) << i;
  // WorldRotMatrix: the world's upper-left 3 x 3, transposed on the way.
  std::vector<float> rotation = UniformValues("WorldRotMatrix", 9);
  for (int r = 0; r < 3; ++r)
    for (int col = 0; col < 3; ++col) EXPECT_EQ(rotation[col * 3 + r], world.m[r * 4 + col]) << r << col;

  // A transform changed after Set reaches the shader only at the next Set.
  const Matrix4 moved(1, 0, 0, 7, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  G::SetWorldMatrix(moved);
  EXPECT_EQ(UniformValues("ModelMatrix", 16)[12], world.m[3]);
  shader.Set();
  EXPECT_EQ(UniformValues("ModelMatrix", 16)[12], 7.0f);
}

TEST_F(ShaderTest, ConstantsReachTheirOwnProgram) {
  WriteFileText("testshaders\\constants.glsl_f",
                "uniform float F1; uniform vec2 F2; uniform vec3 F3; uniform vec4 F4;\n"
                "uniform mat2 M2; uniform mat3 M3; uniform mat4 M4; uniform int I1;\n"
                "void main() {\n"
                "  gl_FragColor = vec4(F1 + F2.x + F3.x + F4.x + M2[0][0] + M3[0][0] + M4[0][0] + float(I1));\n"
                "}\n");
  G::Shader shader;
  ASSERT_TRUE(shader.Load("testshaders\\tint", "testshaders\\constants"));
  shader.Set();
  shader.SetFloat1("F1", 1.5f);
  shader.SetFloat2("F2", 2, 3);
  shader.SetFloat3("F3", 4, 5, 6);
  shader.SetFloat4("F4", 7, 8, 9, 10);
  const float m2[4] = {1, 2, 3, 4};
  shader.SetMatrix2("M2", m2, true);
  shader.SetMatrix3("M3", Matrix3(1, 2, 3, 4, 5, 6, 7, 8, 9), false);
  shader.SetMatrix4("M4", Matrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), true);
  shader.SetInt("I1", 42);
  EXPECT_EQ(UniformValues("F1", 1), std::vector<float>({1.5f}));
  EXPECT_EQ(UniformValues("F2", 2), std::vector<float>({2, 3}));
  EXPECT_EQ(UniformValues("F3", 3), std::vector<float>({4, 5, 6}));
  EXPECT_EQ(UniformValues("F4", 4), std::vector<float>({7, 8, 9, 10}));
  EXPECT_EQ(UniformValues("M2", 4), std::vector<float>({1, 3, 2, 4}));
  EXPECT_EQ(UniformValues("M3", 9), std::vector<float>({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(UniformValues("M4", 16), std::vector<float>({1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16}));
  GLint integer = 0;
  auto getHandle = reinterpret_cast<PFNGLGETHANDLEARBPROC>(DriverEntryPoint("glGetHandleARB"));
  auto getLocation = reinterpret_cast<PFNGLGETUNIFORMLOCATIONARBPROC>(DriverEntryPoint("glGetUniformLocationARB"));
  auto getInts = reinterpret_cast<PFNGLGETUNIFORMIVARBPROC>(DriverEntryPoint("glGetUniformivARB"));
  getInts(getHandle(GL_PROGRAM_OBJECT_ARB), getLocation(getHandle(GL_PROGRAM_OBJECT_ARB), "I1"), &integer);
  EXPECT_EQ(integer, 42);

  // Two shaders with the same constant: setting the one not in use changes
  // that one, not the one in use.
  G::Shader red, green;
  ASSERT_TRUE(red.Load("testshaders\\tint", "testshaders\\tint"));
  ASSERT_TRUE(green.Load("testshaders\\tint", "testshaders\\tint"));
  red.Set();
  red.SetFloat4("Tint", 1, 0, 0, 1);
  green.SetFloat4("Tint", 0, 1, 0, 1);
  DrawQuad(100, 100, 200, 200, 0xFFFFFFFFu);
  green.Set();
  DrawQuad(300, 100, 400, 200, 0xFFFFFFFFu);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(350, 150)), 0x00FF00u);
}

TEST_F(ShaderTest, MissingConstantsAndSamplersAreReported) {
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  ASSERT_TRUE(shader.Load("testshaders\\tint", "testshaders\\tint"));
  // Looking up the named matrices the shader lacks warns of nothing.
  EXPECT_EQ(shaderLog.Text(), "");
  LogTail errors;
  shader.SetFloat4("Nope", 1, 2, 3, 4);
  shader.SetSampler("NoSampler", 0);
  EXPECT_EQ(MaskCallStacks(shaderLog.Text()),
            "Warning: Asking for constant (Nope) in a shader, but it's not there.\n  -call stack:\n\n"
            "Warning: Asking for constant (NoSampler) in a shader, but it's not there.\n  -call stack:\n\n");
  EXPECT_EQ(MaskCallStacks(errors.Text()), "Failed to find sampler NoSampler in shader.\n  -call stack:\n\n");
}

TEST_F(ShaderTest, AShaderLetGoWhileCurrentStopsBeingCurrent) {
  G::Shader shader;
  ASSERT_TRUE(shader.Load("testshaders\\tint", "testshaders\\tint"));
  shader.SetFloat4("Tint", 1, 0, 0, 1);
  shader.Set();
  EXPECT_NE(CurrentProgram(), 0);
  shader.Release();
  EXPECT_EQ(CurrentProgram(), 0);
  EXPECT_FALSE(shader.IsLoaded());
  // Fixed function again: the vertex colour shows.
  DrawQuad(100, 100, 200, 200, 0xFF00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(150, 150)), 0x00FF00u);
  // An unloaded shader binds no program.
  shader.Set();
  EXPECT_EQ(CurrentProgram(), 0);

  ASSERT_TRUE(shader.Load("testshaders\\tint", "testshaders\\tint"));
  shader.Set();
  ASSERT_NE(CurrentProgram(), 0);
  ASSERT_TRUE(shader.Load("testshaders\\tint", "testshaders\\tint"));
  EXPECT_EQ(CurrentProgram(), 0);

  G::Shader* passing = new2(G::Shader, G::Shader());
  ASSERT_TRUE(passing->Load("testshaders\\tint", "testshaders\\tint"));
  passing->Set();
  ASSERT_NE(CurrentProgram(), 0);
  delete2(passing);
  EXPECT_EQ(CurrentProgram(), 0);
  DrawQuad(300, 100, 400, 200, 0xFF0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(350, 150)), 0x0000FFu);

  shader.Set();
  EXPECT_NE(CurrentProgram(), 0);
  G::UnbindShader();
  EXPECT_EQ(CurrentProgram(), 0);
}

// ---- Failures --------------------------------------------------------------------------------

TEST_F(ShaderTest, MissingFilesAndCompileErrors) {
  G::Shader shader;
  LogTail errors;
  LogTail shaderLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("testshaders\\absent", ""));
  EXPECT_EQ(errors.Text(), "Can't compile shader testshaders\\absent.glsl_v because the file dosen't exist.\n");
  EXPECT_EQ(shaderLog.Text(), "Can't compile shader testshaders\\absent.glsl_v because the file dosen't exist.\n");

  // A fragment program that fails takes the good vertex program with it.
  WriteFileText("testshaders\\broken.glsl_f", "void main() {\n  gl_FragColor = nothing;\n}\n");
  LogTail compileErrors;
  LogTail compileLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("testshaders\\tint", "testshaders\\broken"));
  EXPECT_FALSE(shader.IsLoaded());
  EXPECT_EQ(compileErrors.Text(), "Failed to comple shader: testshaders\\broken.glsl_f\n");
  const std::string text = compileLog.Text();
  EXPECT_EQ(text.find("Error(s) compiling shader: testshaders\\broken.glsl_f\n"), 0u) << text;
  EXPECT_NE(text.find("nothing"), std::string::npos) << text;

  // A link that fails names both files.
  WriteFileText("testshaders\\unresolved.glsl_f", "vec4 Nowhere();\nvoid main() {\n  gl_FragColor = Nowhere();\n}\n");
  LogTail linkLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("testshaders\\tint", "testshaders\\unresolved"));
  EXPECT_EQ(linkLog.Text().find(
                "Error(s) linking shader program: testshaders\\tint.glsl_v and testshaders\\unresolved.glsl_f\n"),
            0u)
      << linkLog.Text();
  shader.Set();
  EXPECT_EQ(CurrentProgram(), 0);
}

// ---- Scripted compile results ---------------------------------------------------------------------
std::string s_fakeInfoLog;
int s_fakeCompiled = -1;

void APIENTRY FakeObjectParameter(GLhandleARB object, GLenum name, GLint* value) {
  reinterpret_cast<PFNGLGETOBJECTPARAMETERIVARBPROC>(DriverEntryPoint("glGetObjectParameterivARB"))(object, name, value);
  if (name == GL_OBJECT_COMPILE_STATUS_ARB && s_fakeCompiled >= 0) *value = s_fakeCompiled;
  if (name == GL_OBJECT_INFO_LOG_LENGTH_ARB && !s_fakeInfoLog.empty()) *value = static_cast<GLint>(s_fakeInfoLog.size() + 1);
}

void APIENTRY FakeInfoLog(GLhandleARB object, GLsizei maxLength, GLsizei* length, GLcharARB* log) {
  if (s_fakeInfoLog.empty()) {
    reinterpret_cast<PFNGLGETINFOLOGARBPROC>(DriverEntryPoint("glGetInfoLogARB"))(object, maxLength, length, log);
    return;
  }
  std::strncpy(log, s_fakeInfoLog.c_str(), maxLength);
  log[maxLength - 1] = '\0';
  if (length) *length = static_cast<GLsizei>(std::strlen(log));
}

class ScriptedCompileTest : public ShaderTest {
 protected:
  void SetUp() override {
    ShaderTest::SetUp();
    ReplaceEntryPoint("glGetObjectParameterivARB", reinterpret_cast<void*>(&FakeObjectParameter));
    ReplaceEntryPoint("glGetInfoLogARB", reinterpret_cast<void*>(&FakeInfoLog));
    Restart(WindowedSetup());
  }
  void TearDown() override {
    s_fakeInfoLog.clear();
    s_fakeCompiled = -1;
    ShaderTest::TearDown();
  }
};

TEST_F(ScriptedCompileTest, DriverMessagesPointIntoTheShadersFile) {
  const int offset = PreludeLineOffset(ReadFileText("data\\shaders\\glsl_base.glsl"));
  const int combinedLine = 2 - offset;  // line 2 of the shader's own file
  s_fakeInfoLog = "ERROR: 0:" + std::to_string(combinedLine) + ": 'nothing' : undeclared identifier\n";
  s_fakeCompiled = 0;
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  LogTail errors;
  EXPECT_FALSE(shader.Load("testshaders\\tint", ""));
  EXPECT_EQ(shaderLog.Text(),
            "Error(s) compiling shader: testshaders\\tint.glsl_v\n"
            "ERROR: 0:2:  'nothing' : undeclared identifier\n\n");
  EXPECT_EQ(errors.Text(), "Failed to comple shader: testshaders\\tint.glsl_v\n");
}

TEST_F(ScriptedCompileTest, ProgramsThatWouldRunInSoftwareAreRefused) {
  s_fakeInfoLog = "(1) : warning: this shader will run in software\n";
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("testshaders\\tint", ""));
  const int offset = PreludeLineOffset(ReadFileText("data\\shaders\\glsl_base.glsl"));
  EXPECT_EQ(shaderLog.Text(), "Shader compiled: testshaders\\tint.glsl_v\n(" + std::to_string(1 + offset) +
                                  ") : warning: this shader will run in software\n\n"
                                  "NOT allowing software shader to pass!!!\n");
  // A compile that only warns passes with its log written.
  s_fakeInfoLog = "(3) : warning: something\n";
  LogTail warned("_shaders.txt");
  EXPECT_TRUE(shader.Load("testshaders\\tint", ""));
  EXPECT_EQ(warned.Text().find("Shader compiled: testshaders\\tint.glsl_v\n"), 0u);
}

TEST_F(ShaderTest, WithoutShaderSupportNothingLoads) {
  FakeExtensions("GL_ARB_vertex_buffer_object GL_ARB_multitexture GL_ARB_shader_objects");
  ASSERT_TRUE(InitExtensions());
  G::Shader shader;
  LogTail errors;
  LogTail shaderLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("testshaders\\tint", "testshaders\\tint"));
  shader.Set();
  G::UnbindShader();
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(shaderLog.Text(), "");
  EXPECT_EQ(CurrentProgram(), 0);
}

}  // namespace
