// HLSL shaders on Direct3D 9: each named matrix draws the same pixels as the
// fixed-function pipeline, constants set by name, profile fallbacks, and the
// shader and error log texts.
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "D3D9TestSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

struct ColoredVertex {
  float x, y, z;
  unsigned color;
};
const G::VertexFormat kColored = {{G::kFloat3, G::kUsePosition}, {G::kPackedColor, G::kUseColor}};

Matrix4 RotationY(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  return Matrix4(c, 0, s, 0, 0, 1, 0, 0, -s, 0, c, 0, 0, 0, 0, 1);
}

Matrix4 Product(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  Matrix4::Multiply(out, a, b);
  return out;
}

Matrix4 Transposed(const Matrix4& m) {
  Matrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[r][c] = m[c][r];
  return out;
}

// A vertex program over (position, colour) placing the vertex as given.
std::string ColoredProgram(const std::string& declarations, const std::string& position,
                           const std::string& color = "color") {
  return declarations +
         "\nstruct Output { float4 position : POSITION; float4 color : COLOR0; };\n"
         "Output main(float3 p : POSITION, float4 color : COLOR0) {\n"
         "  Output o;\n"
         "  o.position = " +
         position + ";\n  o.color = " + color + ";\n  return o;\n}\n";
}

const char kMvpDeclaration[] = "float4x4 ModelViewProjectionMatrix;";
const char kMvpPosition[] = "mul(ModelViewProjectionMatrix, float4(p, 1))";

size_t CountDifferent(const Image& a, const Image& b) {
  size_t different = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) different += !Near(a.pixels[i], b.pixels[i]);
  return different;
}

class ShaderTest : public D3D9Test {
 protected:
  void SetUp() override {
    D3D9Test::SetUp();
    quad_.reset(new G::VertexBuffer);
    ASSERT_TRUE(quad_->Create(6, kColored, 16, false, true));
    G::VertexBufferLock lock(*quad_, false);
    ColoredVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    const ColoredVertex a = {-2, -1.5f, 0, 0xFFFF0000}, b = {2, -1.5f, 0, 0xFF00FF00}, c = {2, 1.5f, 0, 0xFF0000FF},
                        d = {-2, 1.5f, 0, 0xFFFFFFFF};
    const ColoredVertex triangles[6] = {a, b, c, a, c, d};
    std::memcpy(v, triangles, sizeof triangles);
  }
  void TearDown() override {
    quad_.reset();
    D3D9Test::TearDown();
  }

  // A turned, moved quad seen through a perspective camera.
  static void SetSceneTransforms(float turn = 0.5f) {
    Matrix4 projection, view;
    Matrix4::Perspective(projection, 0.7853982f, 240.0f / 320.0f, 1, 100);
    Matrix4::LookAt(view, Vector3(1, 2, -10), Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
    G::SetProjectionMatrix(projection);
    G::SetViewMatrix(view);
    G::SetWorldMatrix(Product(Translation(0.5f, -0.25f, 1), RotationY(turn)));
  }

  // The quad drawn after the scene's transforms and `bind` (which sets the
  // shader, or nothing for fixed function).
  Image Draw(const std::function<void()>& bind) {
    BeginClearedFrame(0xFF000000);
    G::SetCullMode(G::kCullNone);
    G::UnsetTexture(0);
    SetSceneTransforms();
    G::UnbindShader();
    if (bind) bind();
    quad_->Set();
    G::RenderTris(2, 0);
    EndFrame();
    G::UnbindShader();
    return ReadBackBuffer();
  }
  Image Draw(G::Shader& shader) {
    return Draw([&] { shader.Set(); });
  }

  // Equal but for a few edge pixels; the drawn area must be large.
  static void ExpectSameImage(const Image& expected, const Image& actual) {
    ASSERT_EQ(expected.pixels.size(), actual.pixels.size());
    size_t drawn = 0;
    for (unsigned pixel : expected.pixels) drawn += pixel != 0;
    EXPECT_GT(drawn, 5000u);
    size_t different = CountDifferent(expected, actual);
    EXPECT_LE(different, drawn / 200) << different << " of " << drawn << " pixels differ";
  }

  // Made after the device and let go before it.
  std::unique_ptr<G::VertexBuffer> quad_;
};

TEST_F(ShaderTest, EveryNamedMatrixPlacesTheSceneAsFixedFunctionDoes) {
  const Image fixed = Draw(nullptr);
  struct Case {
    const char* name;
    std::string declarations;
    std::string position;
  } cases[] = {
      {"mvp", kMvpDeclaration, kMvpPosition},
      {"vp", "float4x4 ViewProjectionMatrix; float4x4 ModelMatrix;",
       "mul(ViewProjectionMatrix, mul(ModelMatrix, float4(p, 1)))"},
      // The view goes up transposed: it applies from the right.
      {"split", "float4x4 ProjectionMatrix; float4x4 ViewMatrix; float4x4 ModelMatrix;",
       "mul(ProjectionMatrix, mul(mul(ModelMatrix, float4(p, 1)), ViewMatrix))"},
      {"modelview", "float4x4 ProjectionMatrix; float4x4 ModelViewMatrix;",
       "mul(ProjectionMatrix, mul(ModelViewMatrix, float4(p, 1)))"},
      {"worldrot", "float4x4 ViewProjectionMatrix; float4x4 WorldRotMatrix[2];",
       "mul(ViewProjectionMatrix, mul(WorldRotMatrix[0], float4(p, 1)))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteShaderFile(std::string(c.name) + ".hlsl_v", ColoredProgram(c.declarations, c.position));
    G::Shader shader;
    LogTail shaderLog("_shaders.txt");
    ASSERT_TRUE(shader.Load(c.name, ""));
    EXPECT_EQ(shaderLog.Text(), "") << "no compiler messages, no missing-constant warnings";
    ExpectSameImage(fixed, Draw(shader));
  }
}

TEST_F(ShaderTest, MatricesAreUploadedWhenTheShaderIsSet) {
  WriteShaderFile("mvp.hlsl_v", ColoredProgram(kMvpDeclaration, kMvpPosition));
  G::Shader shader;
  ASSERT_TRUE(shader.Load("mvp", ""));
  const Image fixed = Draw(nullptr);
  // Moved after Set: the shader still has the matrices of the Set.
  ExpectSameImage(fixed, Draw([&] {
                    shader.Set();
                    G::SetWorldMatrix(Translation(100, 0, 0));
                  }));
  // Set again after a change: the new matrices go up.
  Image moved = Draw([&] {
    G::SetWorldMatrix(Translation(-1.5f, 0.5f, 0));
    shader.Set();
  });
  EXPECT_GT(CountDifferent(fixed, moved), 1000u);
  ExpectSameImage(Draw([] { G::SetWorldMatrix(Translation(-1.5f, 0.5f, 0)); }), moved);
}

TEST_F(ShaderTest, ConstantsAreSetByName) {
  WriteShaderFile("custom.hlsl_v",
                  ColoredProgram("float4x4 Custom; float4 Tint; float2 Pair; float Scale;",
                                 "mul(Custom, float4(p, 1))", "Tint * Scale + float4(Pair, 0, 0)"));
  G::Shader shader;
  ASSERT_TRUE(shader.Load("custom", ""));
  SetSceneTransforms();
  // The whole transform in column-vector form, for mul(matrix, vector).
  const Matrix4 columnForm =
      Product(Transposed(G::GetProjectionMatrix()), Product(G::GetViewMatrix(), G::GetWorldMatrix()));
  const Image fixed = Draw(nullptr);
  for (bool transpose : {false, true}) {
    SCOPED_TRACE(transpose);
    Image flat = Draw([&] {
      shader.Set();
      shader.SetMatrix4("Custom", transpose ? Transposed(columnForm) : columnForm, transpose);
      shader.SetFloat4("Tint", 0.5f, 0.25f, 0, 1);
      shader.SetFloat1("Scale", 2);
      shader.SetFloat2("Pair", 0, 0.25f);
    });
    size_t drawn = 0, matching = 0;
    for (size_t i = 0; i < fixed.pixels.size(); ++i) {
      if (fixed.pixels[i] == 0) continue;
      ++drawn;
      matching += Near(flat.pixels[i], 0xFFBF00);
    }
    EXPECT_GT(drawn, 5000u);
    EXPECT_GE(matching, drawn - drawn / 200);
  }

  LogTail log;
  shader.SetInt("Scale", 3);
  EXPECT_EQ(log.Text(), "Shader::SetInt not implemented yet in DX.\n");
  shader.SetSampler("Scale", 2);
  LogTail shaderLog("_shaders.txt");
  shader.SetFloat1("Nope", 1);
  EXPECT_EQ(MaskCallStacks(shaderLog.Text()),
            "Warning: Asking for constant (Nope) in a shader, but it's not there.\n  -call stack:\n\n");
}

TEST_F(ShaderTest, AConstantInBothProgramsIsSetInTheVertexProgram) {
  WriteShaderFile("both.hlsl_v", ColoredProgram(std::string(kMvpDeclaration) + " float4 Tint;", kMvpPosition, "Tint"));
  WriteShaderFile("both.hlsl_f",
                  "float4 Tint;\nfloat4 main(float4 color : COLOR0) : COLOR { return color + Tint * 0.5; }\n");
  G::Shader shader;
  ASSERT_TRUE(shader.Load("both", "both"));
  const Image fixed = Draw(nullptr);
  LogTail log;
  LogTail shaderLog("_shaders.txt");
  Image image = Draw([&] {
    shader.Set();
    shader.SetFloat4("Tint", 0, 0, 1, 1);
  });
  const std::string warning =
      "Warning: constant name(Tint) exists in both fragment and vertex shader... fragment constant is unreachable.\n";
  EXPECT_EQ(log.Text(), warning);
  EXPECT_EQ(MaskCallStacks(shaderLog.Text()), warning + "  -call stack:\n\n");
  size_t blue = 0, drawn = 0;
  for (size_t i = 0; i < fixed.pixels.size(); ++i) {
    if (!fixed.pixels[i]) continue;
    ++drawn;
    blue += Near(image.pixels[i], 0x0000FF);
  }
  EXPECT_GE(blue, drawn - drawn / 200) << "the fragment program's Tint stayed 0";
}

TEST_F(ShaderTest, AnUnloadedShaderDrawsWithFixedFunction) {
  G::Shader shader;
  LogTail log;
  EXPECT_FALSE(shader.Load("", ""));
  EXPECT_FALSE(shader.IsLoaded());
  const Image fixed = Draw(nullptr);
  ExpectSameImage(fixed, Draw(shader));
  IDirect3DVertexShader9* bound = reinterpret_cast<IDirect3DVertexShader9*>(1);
  shader.Set();
  DXG::g_d3d.device->GetVertexShader(&bound);
  EXPECT_EQ(bound, nullptr);
  EXPECT_EQ(log.Text(), "");
}

TEST_F(ShaderTest, CompileFailuresAreReportedOnceFromTheLastProfile) {
  WriteShaderFile("broken.hlsl_v", "float4 main(float4 p : POSITION) : POSITION { return p +; }\n");
  struct Case {
    const char* name;
    bool withText;
  } cases[] = {{"broken", true}, {"absent", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    G::Shader shader;
    LogTail log;
    LogTail shaderLog("_shaders.txt");
    EXPECT_FALSE(shader.Load(c.name, ""));
    const std::string file = std::string(c.name) + ".hlsl_v";
    EXPECT_EQ(log.Text(), "Failed to compile shader: " + file + "\n");
    const std::string head = "Failed to compile shader: " + file + ":\n";
    const std::string text = shaderLog.Text();
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_EQ(text.find(head, 1), std::string::npos) << "only the vs_3_0 attempt reports";
    if (c.withText) {
      EXPECT_NE(text.find("broken.hlsl_v:1:"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text, head);
    }
  }
}

TEST_F(ShaderTest, CompilerMessagesOfASuccessfulCompileAreLoggedAsWarnings) {
  WriteShaderFile("plain.hlsl_v", ColoredProgram(kMvpDeclaration, kMvpPosition));
  // The compiler here reports an unfinished feature yet succeeds.
  WriteShaderFile("noisy.hlsl_f",
                  "float4 main(float4 color : COLOR0) : COLOR { float2 t = color; return float4(t, 0, 1); }\n");
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  shader.Load("plain", "noisy");
  const std::string text = shaderLog.Text();
  EXPECT_EQ(text.rfind("Shader warning(s) (noisy.hlsl_f):\n", 0), 0u) << text;
  EXPECT_NE(text.find("W5300"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(ShaderTest, VertexProfilesAreTriedInTurn) {
  WriteShaderFile("plain.hlsl_v", ColoredProgram(kMvpDeclaration, kMvpPosition));
  long refusedBelow = 2;  // refuse the shaders of profiles 0 and 1
  ResultHookScope hook([&](const std::string& call, long argument, long* result) {
    if (call != "CreateVertexShader" || argument >= refusedBelow) return false;
    *result = D3DERR_INVALIDCALL;
    return true;
  });
  const int vertexShaderMajor = DXG::g_d3d.vertexShaderMajor;
  DXG::g_d3d.vertexShaderMajor = 2;
  {
    G::Shader shader;
    LogTail shaderLog("_shaders.txt");
    EXPECT_TRUE(shader.Load("plain", ""));
    EXPECT_EQ(shaderLog.Text(), "note: plain.hlsl_v loaded, but likely running in software.\n");
    std::vector<std::string> creates;
    for (const std::string& asked : hook.Asked())
      if (asked.rfind("CreateVertexShader", 0) == 0) creates.push_back(asked);
    EXPECT_EQ(creates, (std::vector<std::string>{"CreateVertexShader(0)", "CreateVertexShader(1)",
                                                 "CreateVertexShader(2)"}));
    ExpectSameImage(Draw(nullptr), Draw(shader));
  }
  refusedBelow = 3;
  G::Shader shader;
  LogTail log;
  LogTail shaderLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("plain", ""));
  EXPECT_EQ(shaderLog.Text(),
            "Failed to create shader (plain.hlsl_v), though it did compile... hardware can't handle it probably.\n");
  EXPECT_EQ(log.Text(), "");
  DXG::g_d3d.vertexShaderMajor = vertexShaderMajor;
}

TEST_F(ShaderTest, FragmentProgramFailures) {
  WriteShaderFile("plain.hlsl_v", ColoredProgram(kMvpDeclaration, kMvpPosition));
  WriteShaderFile("plain.hlsl_f", "float4 main(float4 color : COLOR0) : COLOR { return color; }\n");
  {
    DXG::g_d3d.pixelShadersAllowed = false;
    G::Shader shader;
    LogTail log;
    LogTail shaderLog("_shaders.txt");
    EXPECT_FALSE(shader.Load("plain", "plain"));
    DXG::g_d3d.pixelShadersAllowed = true;
    EXPECT_EQ(log.Text(), "Cannot compile Fragment Shader on this hardware: plain.hlsl_f\n");
    EXPECT_EQ(shaderLog.Text(), "Cannot compile Fragment Shader on this hardware: plain.hlsl_f\n");
    EXPECT_FALSE(shader.IsLoaded());
  }
  ResultHookScope hook([](const std::string& call, long, long* result) {
    if (call != "CreatePixelShader") return false;
    *result = D3DERR_INVALIDCALL;
    return true;
  });
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  EXPECT_FALSE(shader.Load("plain", "plain"));
  EXPECT_EQ(shaderLog.Text(),
            "Failed to create shader (plain.hlsl_f), though it did compile... hardware can't handle it probably.\n");
  // A fragment program alone still loads.
  DXG::SetResultHook(nullptr);
  G::Shader fragmentOnly;
  EXPECT_TRUE(fragmentOnly.Load("", "plain"));
}

// ---- The program's own shaders ---------------------------------------------

// Compiled as the backend first compiles them: no message at all, since this
// compiler reports unfinished features yet claims success.
TEST(ProgramShaders, CompileWithoutAnyCompilerMessage) {
  struct Case {
    const char* file;
    const char* profile;
  } cases[] = {{"data\\shaders\\gbfont.hlsl_v", "vs_2_0"}, {"data\\shaders\\simple.hlsl_v", "vs_2_0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ID3DXConstantTable* table = nullptr;
    HRESULT result = D3DXCompileShaderFromFileA(c.file, nullptr, nullptr, "main", c.profile, 0, &code, &errors, &table);
    EXPECT_EQ(result, D3D_OK);
    EXPECT_NE(code, nullptr);
    std::string text = errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()),
                                            strnlen(static_cast<const char*>(errors->GetBufferPointer()),
                                                    errors->GetBufferSize()))
                              : std::string();
    EXPECT_EQ(text, "");
    DXG::ReleaseCom(code);
    DXG::ReleaseCom(errors);
    DXG::ReleaseCom(table);
  }
}

class ProgramShaderTest : public D3D9Test {
 protected:
  static void Check(const Image& image, int x, int y, unsigned expected) { EXPECT_TRUE(PixelIs(image, x, y, expected)); }
};

// The items' skin in these tests: one orange colour all over.
void MakeSkin(G::Texture& skin) {
  ASSERT_TRUE(skin.Create(4, 4, G::kTextureRGBA, 1, false));
  G::TextureLock lock(&skin, false, true);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) lock.SetPixel(x, y, 0xFFC08040);
}

// Text: glyph vertices in screen pixels, tinted font texels by the fixed
// pixel stage; the same as fixed function.
TEST_F(ProgramShaderTest, TheTextShaderDrawsGlyphQuadsAsFixedFunctionDoes) {
  struct GlyphVertex {
    float x, y;
    unsigned color;
    float u, v;
  };
  const G::VertexFormat glyphFormat = {
      {G::kFloat2, G::kUsePosition}, {G::kPackedColor, G::kUseColor}, {G::kFloat2, G::kUseTexCoord}};
  G::VertexBuffer glyphs;
  ASSERT_TRUE(glyphs.Create(6, glyphFormat, 20, true, true));
  {
    G::VertexBufferLock lock(glyphs, true);
    GlyphVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    const GlyphVertex a = {40, 30, 0xFFFFFF00, 0, 0}, b = {200, 30, 0xFFFFFF00, 1, 0}, c = {40, 190, 0xFFFFFF00, 0, 1},
                      d = {200, 190, 0xFFFFFF00, 1, 1};
    const GlyphVertex quad[6] = {a, b, c, c, b, d};
    std::memcpy(v, quad, sizeof quad);
  }
  // Coverage in alpha: the left half opaque, the right half empty.
  G::Texture font;
  ASSERT_TRUE(font.Create(16, 16, G::kTextureRGBA, 1, false));
  {
    G::TextureLock lock(&font, false, true);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) lock.SetPixel(x, y, x < 8 ? 0xFFFFFFFF : 0x00FFFFFF);
  }
  font.SetFilter(G::kFilterPoint);
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  ASSERT_TRUE(shader.Load("data\\shaders\\gbfont", ""));
  EXPECT_EQ(shaderLog.Text(), "");

  auto draw = [&](G::Shader* shader) {
    BeginClearedFrame(0xFF400000);
    G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
    G::SetCullMode(G::kCullNone);
    font.Set(0);
    glyphs.Set();
    if (shader) shader->Set();
    G::RenderTris(2, 0);
    EndFrame();
    G::UnbindShader();
    return ReadBackBuffer();
  };
  const Image fixed = draw(nullptr);
  Check(fixed, 60, 100, 0xFFFF00);
  Check(fixed, 180, 100, 0x400000);
  Check(fixed, 30, 100, 0x400000);
  EXPECT_EQ(CountDifferent(fixed, draw(&shader)), 0u);
}

// Item models: lit by one light from above; the texture shows through at
// full light, a face turned away keeps 0.45 of it.
TEST_F(ProgramShaderTest, TheItemShaderLightsTexturedModels) {
  struct ModelVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
  };
  const G::VertexFormat modelFormat = {
      {G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kFloat2, G::kUseTexCoord}};
  const float lit[3] = {0.30305f, -0.50508f, 0.80812f};
  const float away[3] = {0, 0, -1};
  G::VertexBuffer model;
  ASSERT_TRUE(model.Create(12, modelFormat, 32, false, true));
  {
    G::VertexBufferLock lock(model, false);
    ModelVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    int n = 0;
    for (int side = 0; side < 2; ++side) {
      const float* normal = side == 0 ? lit : away;
      const float x0 = side == 0 ? 20 : 170, x1 = x0 + 120;
      const float corners[6][2] = {{x0, 40}, {x1, 40}, {x0, 200}, {x0, 200}, {x1, 40}, {x1, 200}};
      for (const auto& corner : corners)
        v[n++] = {corner[0], corner[1], 0, normal[0], normal[1], normal[2], 0.5f, 0.5f};
    }
  }
  G::Texture skin;
  MakeSkin(skin);
  G::Shader shader;
  LogTail shaderLog("_shaders.txt");
  ASSERT_TRUE(shader.Load("data\\shaders\\simple", ""));
  EXPECT_EQ(shaderLog.Text(), "");

  BeginClearedFrame(0xFF000000);
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  G::SetCullMode(G::kCullNone);
  skin.Set(0);
  model.Set();
  shader.Set();
  G::RenderTris(4, 0);
  EndFrame();
  G::UnbindShader();
  Image image = ReadBackBuffer();
  Check(image, 80, 120, 0xC08040);
  Check(image, 230, 120, 0x563A1C);  // 0.45 of each channel
  Check(image, 160, 120, 0x000000);
}

// Item chunks come with a vertex colour or a texture coordinate, drawn
// with the one shader: coloured chunks take their colours, the others are
// lit white (the texture shows), whichever was drawn before.
TEST_F(ProgramShaderTest, TheItemShaderColoursEachChunkByItsOwnVertices) {
  struct ColoredModelVertex {
    float x, y, z;
    float nx, ny, nz;
    unsigned color;
  };
  struct TexturedModelVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
  };
  const G::VertexFormat coloredFormat = {
      {G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kPackedColor, G::kUseColor}};
  const G::VertexFormat texturedFormat = {
      {G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kFloat2, G::kUseTexCoord}};
  const float lit[3] = {0.30305f, -0.50508f, 0.80812f};
  const float away[3] = {0, 0, -1};
  // Two triangles over the rectangle, in the order the draws want.
  auto corners = [](float x0, float y0, float x1, float y1) {
    return std::vector<std::pair<float, float>>{{x0, y0}, {x1, y0}, {x0, y1}, {x0, y1}, {x1, y0}, {x1, y1}};
  };
  // Top: a lit and a turned-away coloured quad. Bottom: two lit textured
  // quads, drawn before and after the coloured ones.
  G::VertexBuffer colored, textured;
  ASSERT_TRUE(colored.Create(12, coloredFormat, 28, false, true));
  {
    G::VertexBufferLock lock(colored, false);
    ColoredModelVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    int n = 0;
    for (int side = 0; side < 2; ++side) {
      const float* normal = side == 0 ? lit : away;
      for (const auto& corner : corners(side == 0 ? 20 : 170, 20, side == 0 ? 140 : 290, 100))
        v[n++] = {corner.first, corner.second, 0, normal[0], normal[1], normal[2], 0xFF4080C0};
    }
  }
  ASSERT_TRUE(textured.Create(12, texturedFormat, 32, false, true));
  {
    G::VertexBufferLock lock(textured, false);
    TexturedModelVertex* v = nullptr;
    ASSERT_TRUE(lock.GetData(reinterpret_cast<void**>(&v)));
    int n = 0;
    for (float x0 : {20.0f, 170.0f})
      for (const auto& corner : corners(x0, 140, x0 + 120, 220))
        v[n++] = {corner.first, corner.second, 0, lit[0], lit[1], lit[2], 0.5f, 0.5f};
  }
  G::Texture skin;
  MakeSkin(skin);
  G::Shader shader;
  ASSERT_TRUE(shader.Load("data\\shaders\\simple", ""));

  BeginClearedFrame(0xFF000000);
  G::Set2DMode(0, 0, kBackBufferWidth, kBackBufferHeight);
  G::SetCullMode(G::kCullNone);
  shader.Set();
  textured.Set();
  skin.Set(0);
  G::RenderTris(2, 0);
  colored.Set();
  G::UnsetTexture(0);
  G::RenderTris(4, 0);
  textured.Set();
  skin.Set(0);
  G::RenderTris(2, 6);
  EndFrame();
  G::UnbindShader();
  Image image = ReadBackBuffer();
  Check(image, 80, 60, 0x4080C0);
  Check(image, 230, 60, 0x1D3A56);  // 0.45 of each channel
  Check(image, 80, 180, 0xC08040);
  Check(image, 230, 180, 0xC08040);
}

}  // namespace
