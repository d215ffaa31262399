// The extension probe on made-up extension strings, missing entry points,
// and reading and reporting GL errors from a scripted error source.
#include <GL/gl.h>

#include "GLTestSupport.h"
#include <cstdint>

#include "backend_gl/GLExtensions.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

class ExtensionTest : public GLTest {};

// The probe's lines for a driver that lists exactly the given extensions.
std::string ProbeLines(const std::vector<std::string>& listed) {
  static const char* const kOrder[] = {
      "GL_ARB_vertex_buffer_object", "GL_ARB_multitexture",         "GL_ARB_shading_language_100",
      "GL_ARB_shader_objects",       "GL_ARB_texture_cube_map",     "WGL_EXT_swap_control",
      "GL_EXT_texture3D",            "GL_ATI_separate_stencil",     "GL_EXT_stencil_two_side",
      "GL_EXT_stencil_wrap",         "GL_ARB_texture_mirrored_repeat", "GL_ARB_texture_border_clamp",
      "GL_EXT_bgra",                 "GL_SGIS_generate_mipmap",     "GL_EXT_framebuffer_object",
      "GL_ARB_occlusion_query",      "GL_ARB_texture_compression"};
  std::string text = "Checking OpenGL Extensions:\n";
  for (const char* name : kOrder) {
    bool found = false;
    for (const std::string& l : listed) found = found || l == name;
    text += found ? std::string(name) + " supported.\n" : std::string("* ") + name + " NOT supported.\n";
  }
  return text + "\n";
}

TEST_F(ExtensionTest, TokensAreWholeNamesIgnoringCase) {
  // Runs of blanks, tabs and line feeds; a lower-case name; a longer name
  // that only begins with a probed one.
  FakeExtensions("  GL_ARB_vertex_buffer_object \t\tgl_arb_multitexture\n\nGL_EXT_framebuffer_objectX\n");
  LogTail stat("_stat.txt");
  LogTail errors;
  EXPECT_TRUE(InitExtensions());
  EXPECT_EQ(GLExtensionList,
            (std::vector<std::string>{"GL_ARB_vertex_buffer_object", "gl_arb_multitexture", "GL_EXT_framebuffer_objectX"}));
  EXPECT_EQ(stat.Text(), ProbeLines({"GL_ARB_vertex_buffer_object", "GL_ARB_multitexture"}));
  EXPECT_EQ(errors.Text(),
            "Your video card doesn't support OpenGL shaders... things may not work at all.\n"
            "Pathetic video card detected... some texture edges may not be correct ...\n"
            "Pathetic video card detected... some texture edges may not be correct ...\n"
            "Pathetic video card detected... texture colors will be all wrong, if they even work.\n"
            "Pathetic video card detected... mipmapping will not be available.\n");
  EXPECT_FALSE(GLCapabilities.framebufferObjects);
  EXPECT_FALSE(GLCapabilities.cubeMaps);
  EXPECT_FALSE(GLCapabilities.texture3D);
  EXPECT_FALSE(GLCapabilities.borderClamp);
  EXPECT_FALSE(GLCapabilities.generateMipmap);
}

TEST_F(ExtensionTest, ShadersNeedBothExtensions) {
  FakeExtensions("GL_ARB_vertex_buffer_object GL_ARB_multitexture GL_ARB_shader_objects");
  LogTail stat("_stat.txt");
  LogTail errors;
  EXPECT_TRUE(InitExtensions());
  EXPECT_NE(stat.Text().find("* GL_ARB_shading_language_100 NOT supported.\nGL_ARB_shader_objects supported.\n"),
            std::string::npos);
  const std::string message = "Your video card doesn't support OpenGL shaders... things may not work at all.\n";
  const std::string text = errors.Text();
  EXPECT_EQ(text.find(message), 0u);
  EXPECT_EQ(text.find(message, 1), std::string::npos);
  EXPECT_FALSE(GLCapabilities.shaders);
}

TEST_F(ExtensionTest, StencilPathsFollowTheListedExtensions) {
  struct Case {
    const char* extensions;
    bool twoSided, ati, wrap;
  } cases[] = {
      {"GL_ARB_vertex_buffer_object GL_ATI_separate_stencil GL_EXT_stencil_two_side GL_EXT_stencil_wrap", true, true,
       true},
      {"GL_ARB_vertex_buffer_object GL_EXT_stencil_two_side", true, false, false},
      {"GL_ARB_vertex_buffer_object GL_ATI_separate_stencil", true, true, false},
      {"GL_ARB_vertex_buffer_object", false, false, false},
  };
  for (const Case& c : cases) {
    FakeExtensions(c.extensions);
    EXPECT_TRUE(InitExtensions());
    EXPECT_EQ(GLCapabilities.twoSidedStencil, c.twoSided) << c.extensions;
    EXPECT_EQ(GLCapabilities.atiSeparateStencil, c.ati) << c.extensions;
    EXPECT_EQ(GLCapabilities.stencilWrap, c.wrap) << c.extensions;
    EXPECT_EQ(G::HasTwoSidedStencil(), c.twoSided && c.wrap) << c.extensions;
  }
}

TEST_F(ExtensionTest, WithoutBufferObjectsStartUpFailsAfterTheWholeProbe) {
  std::string extensions = DriverExtensions();
  G::Shutdown();
  const std::string name = "GL_ARB_vertex_buffer_object";
  const size_t at = extensions.find(name + " ");
  ASSERT_NE(at, std::string::npos);
  extensions.erase(at, name.size());
  FakeExtensions(extensions);
  LogTail stat("_stat.txt");
  LogTail errors;
  G::Setup setup = WindowedSetup();
  EXPECT_FALSE(DXG::Init(TestWindow(), &setup));
  std::vector<std::string> all = {"GL_ARB_multitexture",        "GL_ARB_shading_language_100",
                                  "GL_ARB_shader_objects",      "GL_ARB_texture_cube_map",
                                  "WGL_EXT_swap_control",       "GL_EXT_texture3D",
                                  "GL_ATI_separate_stencil",    "GL_EXT_stencil_two_side",
                                  "GL_EXT_stencil_wrap",        "GL_ARB_texture_mirrored_repeat",
                                  "GL_ARB_texture_border_clamp", "GL_EXT_bgra",
                                  "GL_SGIS_generate_mipmap",    "GL_EXT_framebuffer_object",
                                  "GL_ARB_occlusion_query",     "GL_ARB_texture_compression"};
  // (The failed start-up's shut-down may add lines of its own after it.)
  const std::string text = stat.Text();
  const std::string probe = ProbeLines(all);
  EXPECT_EQ(text.substr(text.find("Checking"), probe.size()), probe);
  EXPECT_EQ(errors.Text(), "Some vital OpenGL extension is not available on your video card.  Init aborting.\n");
  EXPECT_FALSE(G::IsInitialized());
}

TEST_F(ExtensionTest, WithoutMultitexturingOnlyTheFirstStageIsUsed) {
  G::Texture first, second;
  ASSERT_TRUE(first.Create(4, 4, G::kTextureRGBA, 1, false));
  ASSERT_TRUE(second.Create(4, 4, G::kTextureRGBA, 1, false));
  G::VertexBuffer buffer;
  ASSERT_TRUE(buffer.Create(4, {{G::kFloat3, G::kUsePosition}, {G::kFloat2, G::kUseTexCoord}, {G::kFloat2, G::kUseTexCoord}},
                            28, false, true));
  FakeExtensions("GL_ARB_vertex_buffer_object");
  ASSERT_TRUE(InitExtensions());
  first.Set(0);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  // Stage 1 does not exist: setting it leaves stage 0 as it was.
  second.Set(1);
  G::UnsetTexture(1);
  GLint after = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
  EXPECT_EQ(after, bound);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  // Only the first set of coordinates is bound.
  buffer.Set();
  void* pointer = nullptr;
  glGetPointerv(GL_TEXTURE_COORD_ARRAY_POINTER, &pointer);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer), 12u);
  // Immediate mode needs no second unit either.
  G::IMBegin(G::kPrimitivePoints);
  G::IMPosition2(1, 1);
  G::IMEnd();
}

TEST_F(ExtensionTest, AMissingEntryPointIsLoggedAndLeftNull) {
  // Made while the driver gave every entry point.
  G::VertexBuffer vertices;
  ASSERT_TRUE(vertices.Create(3, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
  G::IndexBuffer indices;
  ASSERT_TRUE(indices.Create(3, false, true));
  G::Shader shader;
  ASSERT_TRUE(shader.Load("data\\shaders\\simple", "data\\shaders\\simple"));
  shader.Set();

  DenyEntryPoints({"glMapBufferARB", "glUniform1iARB"});
  LogTail errors;
  EXPECT_FALSE(InitExtensions());
  EXPECT_EQ(errors.Text(),
            "Failed to get pointer to GL Extension function: glMapBufferARB\n"
            "GL_ARB_vertex_buffer_object is listed, but some of its functions are missing: not using it.\n"
            "Failed to get pointer to GL Extension function: glUniform1iARB\n"
            "GL_ARB_shader_objects is listed, but some of its functions are missing: not using it.\n");
  EXPECT_EQ(GetExtProc("glNoSuchFunctionQV"), nullptr);
  EXPECT_FALSE(GLCapabilities.shaders);

  // Nothing reaches the missing functions: locks hold nothing, setting and
  // making buffers is refused, constants go nowhere.
  LogTail uses;
  {
    G::VertexBufferLock lock(vertices, false);
    void* data = nullptr;
    EXPECT_FALSE(lock.GetData(&data));
  }
  {
    G::IndexBufferLock lock(indices, false);
    void* data = nullptr;
    EXPECT_FALSE(lock.GetData(&data));
  }
  vertices.Set();
  G::VertexBuffer another;
  EXPECT_FALSE(another.Create(3, {{G::kFloat3, G::kUsePosition}}, 12, false, true));
  shader.SetInt("Texture0", 1);
  shader.SetSampler("Texture0", 0);
  shader.Set();
  EXPECT_EQ(MaskCallStacks(uses.Text()),
            "Attempt to Set a VertexBuffer that doesn't exist.\n  -call stack:\n\n"
            "glGenBuffersARB failed... so can't make VB.\n"
            "Failed to find sampler Texture0 in shader.\n  -call stack:\n\n");

  // Such a driver does not get through start-up.
  G::Shutdown();
  LogTail startUp;
  G::Setup setup = WindowedSetup();
  EXPECT_FALSE(DXG::Init(TestWindow(), &setup));
  EXPECT_EQ(startUp.Text(),
            "Failed to get pointer to GL Extension function: glMapBufferARB\n"
            "GL_ARB_vertex_buffer_object is listed, but some of its functions are missing: not using it.\n"
            "Failed to get pointer to GL Extension function: glUniform1iARB\n"
            "GL_ARB_shader_objects is listed, but some of its functions are missing: not using it.\n"
            "Some vital OpenGL extension is not available on your video card.  Init aborting.\n");
  EXPECT_FALSE(G::IsInitialized());
}

TEST_F(ExtensionTest, AnExtensionWithoutAFunctionTheBackendCallsIsNotUsed) {
  struct Case {
    const char* extensions;  // null: the driver's own
    const char* denied;
    const char* extension;
    bool GLCapabilityFlags::*flag;
  } cases[] = {
      {nullptr, "glCheckFramebufferStatusEXT", "GL_EXT_framebuffer_object", &GLCapabilityFlags::framebufferObjects},
      {nullptr, "glTexImage3DEXT", "GL_EXT_texture3D", &GLCapabilityFlags::texture3D},
      {nullptr, "glStencilOpSeparateATI", "GL_ATI_separate_stencil", &GLCapabilityFlags::atiSeparateStencil},
      {"GL_ARB_vertex_buffer_object GL_EXT_stencil_two_side", "glActiveStencilFaceEXT", "GL_EXT_stencil_two_side",
       &GLCapabilityFlags::twoSidedStencil},
  };
  for (const Case& c : cases) {
    RestoreDriverSeams();
    if (c.extensions) FakeExtensions(c.extensions);
    DenyEntryPoints({c.denied});
    LogTail errors;
    EXPECT_TRUE(InitExtensions()) << c.denied;
    EXPECT_FALSE(GLCapabilities.*(c.flag)) << c.denied;
    const std::string expected = std::string("Failed to get pointer to GL Extension function: ") + c.denied + "\n" +
                                 c.extension + " is listed, but some of its functions are missing: not using it.\n";
    const std::string text = errors.Text();
    const size_t at = text.find("Failed");
    ASSERT_NE(at, std::string::npos) << c.denied;
    EXPECT_EQ(text.substr(at, expected.size()), expected);
    EXPECT_EQ(text.find("Failed", at + 1), std::string::npos) << c.denied;
  }
  // Without the ATI entry point the other stencil extension still serves.
  RestoreDriverSeams();
  DenyEntryPoints({"glStencilOpSeparateATI"});
  ASSERT_TRUE(InitExtensions());
  EXPECT_TRUE(GLCapabilities.twoSidedStencil);
  EXPECT_FALSE(GLCapabilities.atiSeparateStencil);

  // What is not used is refused, not called.
  DenyEntryPoints({"glCheckFramebufferStatusEXT", "glTexImage3DEXT"});
  ASSERT_TRUE(InitExtensions());
  LogTail uses;
  G::RenderTexture target;
  EXPECT_FALSE(target.Create(64, 64, false));
  G::Texture volume;
  EXPECT_FALSE(volume.Create(4, 4, G::kTextureRGBA, 4, false));
  EXPECT_EQ(uses.Text(), "");

  // An entry point the backend never calls costs the extension nothing.
  RestoreDriverSeams();
  DenyEntryPoints({"glGenerateMipmapEXT"});
  LogTail unused;
  ASSERT_TRUE(InitExtensions());
  EXPECT_TRUE(GLCapabilities.framebufferObjects);
  EXPECT_EQ(unused.Text(), "Failed to get pointer to GL Extension function: glGenerateMipmapEXT\n");
}

TEST_F(ExtensionTest, PendingErrorsAreReadUntilNone) {
  QueueGLErrors({GL_INVALID_ENUM, GL_INVALID_VALUE, GL_INVALID_OPERATION});
  std::string text = "before\n";
  EXPECT_TRUE(GetErrors(text, false));
  EXPECT_EQ(text,
            "before\nAn invalid enum was specifed.\nA numeric argument had an invalid value.\n"
            "Operation not allowed in the current state.\n");
  EXPECT_EQ(QueuedGLErrorsLeft(), 0u);
  EXPECT_FALSE(GetErrors(text, false));

  QueueGLErrors({GL_STACK_OVERFLOW, GL_STACK_UNDERFLOW, GL_OUT_OF_MEMORY, 0x1234});
  text.clear();
  EXPECT_TRUE(GetErrors(text, true));
  EXPECT_EQ(text, "An operation would have caused a stack overflow.\n");
  EXPECT_EQ(QueuedGLErrorsLeft(), 3u);
  text.clear();
  GetErrors(text, false);
  EXPECT_EQ(text,
            "An operation would have caused a stack underflow.\nOut of memory.  This is bad.\n"
            "...unknown error...\n");
}

TEST_F(ExtensionTest, ReadingStopsAfter200Errors) {
  QueueGLErrors(std::vector<unsigned>(200, GL_INVALID_VALUE));
  LogTail errors;
  std::string text;
  EXPECT_TRUE(GetErrors(text, false));
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "A numeric argument had an invalid value.\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(MaskCallStacks(errors.Text()), "GetErrors() is stuck somehow... force broke out of it.\n  -call stack:\n\n");

  // ClearErrors gives up after 200 reads and names one more.
  QueueGLErrors(std::vector<unsigned>(250, GL_INVALID_ENUM));
  LogTail clearErrors;
  ClearErrors();
  EXPECT_EQ(QueuedGLErrorsLeft(), 49u);
  EXPECT_EQ(MaskCallStacks(clearErrors.Text()),
            "ClearErrors() is stuck somehow... force broke out of it. Error: An invalid enum was specifed.\n\n"
            "  -call stack:\n\n");
  // Fewer than 200 go quietly.
  LogTail quiet;
  ClearErrors();
  EXPECT_EQ(QueuedGLErrorsLeft(), 0u);
  EXPECT_EQ(quiet.Text(), "");
}

TEST_F(ExtensionTest, CheckedErrorsAreLoggedWithTheirContext) {
  LogTail none;
  EXPECT_FALSE(CheckGLErrors("Nothing:\n", true));
  EXPECT_EQ(none.Text(), "");

  QueueGLErrors({GL_INVALID_OPERATION});
  LogTail plain;
  EXPECT_TRUE(CheckGLErrors("Plain:\n", false));
  EXPECT_EQ(plain.Text(), "Plain:\nOperation not allowed in the current state.\n\n");

  QueueGLErrors({GL_INVALID_ENUM, GL_OUT_OF_MEMORY});
  LogTail withStack;
  EXPECT_TRUE(CheckGLErrors("With stack:\n", true));
  EXPECT_EQ(MaskCallStacks(withStack.Text()),
            "With stack:\nAn invalid enum was specifed.\nOut of memory.  This is bad.\n  -call stack:\n\n");

  // A real error of the driver takes the same road.
  glEnable(0xFFFF);
  LogTail real;
  EXPECT_TRUE(CheckGLErrors("Real:\n", false));
  EXPECT_EQ(real.Text(), "Real:\nAn invalid enum was specifed.\n\n");
}

}  // namespace
