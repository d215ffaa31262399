// The backend's failure reports, word for word: GL errors that surface at
// an operation's check (scripted through the error seam, or provoked for
// real), entry points that fail, and vertex formats the backend does not
// know. Each case also shows what the operation does after the failure.
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <functional>

#include "GLTestSupport.h"
#include "ImageFiles.h"
#include "backend_gl/GLExtensions.h"
#include "graphics/LoadedImage.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace {

class FailureTextTest : public GL2DTest {
 protected:
  static void SetUpTestSuite() { G::InitImageLoader(); }
  static void TearDownTestSuite() { G::ShutdownImageLoader(); }
};

// An operation that drains pending errors once and then checks once: its
// drain finds none, its check finds the code.
void FailTheNextCheck(unsigned code) { QueueGLErrors({GL_NO_ERROR, code}); }

// Start-up again on the test window, with whatever seams are set now.
void StartAgain() {
  G::Shutdown();
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(TestWindow(), &setup));
}

GLhandleARB APIENTRY NoShaderObject(GLenum) { return 0; }
GLhandleARB APIENTRY NoProgramObject() { return 0; }

TEST_F(FailureTextTest, EachFailureIsReportedInItsOwnWords) {
  struct Case {
    const char* what;
    std::function<void()> act;
    const char* errorLog;   // call-stack lines masked
    const char* shaderLog;
  } cases[] = {
      {"GL errors at start-up are only reported",
       [] {
         G::Shutdown();
         QueueGLErrors({GL_INVALID_ENUM});
         G::Setup setup = WindowedSetup();
         EXPECT_TRUE(DXG::Init(TestWindow(), &setup));
       },
       "OpenGL Init Errors (will ignore and try anyways:An invalid enum was specifed.\n  -call stack:\n\n", ""},
      {"a clear",
       [] {
         FailTheNextCheck(GL_OUT_OF_MEMORY);
         G::Clear(0xFF000000u, true, true, false, 0);
       },
       "Clear Screen\nOut of memory.  This is bad.\n  -call stack:\n\n", ""},
      {"a texture's upload after a lock",
       [] {
         G::Texture texture;
         ASSERT_TRUE(texture.Create(4, 4, G::kTextureRGBA, 1, false));
         FailTheNextCheck(GL_INVALID_VALUE);
         { G::TextureLock lock(&texture, false, true); }
         // The texture stays: only the upload is in doubt.
         EXPECT_NE(texture.Record(), nullptr);
       },
       "Texture unlock, update:\nA numeric argument had an invalid value.\n  -call stack:\n\n", ""},
      {"an index buffer's storage",
       [] {
         G::IndexBuffer indices;
         FailTheNextCheck(GL_OUT_OF_MEMORY);
         EXPECT_FALSE(indices.Create(6, false, true));
         EXPECT_EQ(indices.Record(), nullptr);
       },
       "Error making Index Buffer:Out of memory.  This is bad.\n  -call stack:\n\n", ""},
      {"compiling a shader: reported, the shader still loads",
       [] {
         G::Shader shader;
         FailTheNextCheck(GL_INVALID_OPERATION);
         EXPECT_TRUE(shader.Load("data\\shaders\\gbfont", ""));
       },
       "Compiling shaders:\nOperation not allowed in the current state.\n  -call stack:\n\n", ""},
      {"linking a shader: reported, the shader still loads",
       [] {
         G::Shader shader;
         QueueGLErrors({GL_NO_ERROR, GL_NO_ERROR, GL_INVALID_VALUE});
         EXPECT_TRUE(shader.Load("data\\shaders\\gbfont", ""));
       },
       "Linking Shaders:\nA numeric argument had an invalid value.\n  -call stack:\n\n", ""},
      {"a driver that makes no shader object",
       [] {
         ReplaceEntryPoint("glCreateShaderObjectARB", reinterpret_cast<void*>(&NoShaderObject));
         StartAgain();
         G::Shader shader;
         EXPECT_FALSE(shader.Load("data\\shaders\\gbfont", ""));
       },
       "glCreateShaderObjectARB failed... so load failed on: data\\shaders\\gbfont.glsl_v\n",
       "glCreateShaderObjectARB failed... so load failed on: data\\shaders\\gbfont.glsl_v\n"},
      {"a driver that makes no program object",
       [] {
         ReplaceEntryPoint("glCreateProgramObjectARB", reinterpret_cast<void*>(&NoProgramObject));
         StartAgain();
         G::Shader shader;
         EXPECT_FALSE(shader.Load("data\\shaders\\gbfont", ""));
         EXPECT_FALSE(shader.IsLoaded());
       },
       "glCreateProgramObjectARB failed...\n", ""},
      {"a component type the backend does not know (its normal array is still bound)",
       [] {
         G::VertexBuffer vertices;
         ASSERT_TRUE(vertices.Create(3, {{static_cast<G::VertexComponentType>(9), G::kUseNormal}}, 12, false, true));
         vertices.Set();
         EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
       },
       "Unhandled type in GetVertComponentSize.\nunhandled type in vertex format...\n", ""},
      {"a component use the backend does not know (the next element keeps its offset)",
       [] {
         G::VertexBuffer vertices;
         ASSERT_TRUE(vertices.Create(
             3, {{G::kFloat2, static_cast<G::VertexUse>(7)}, {G::kFloat3, G::kUsePosition}}, 20, false, true));
         vertices.Set();
         void* pointer = nullptr;
         glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
         EXPECT_EQ(reinterpret_cast<uintptr_t>(pointer), 8u);
       },
       "unhandled use in vertex format...\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogTail errors;
    LogTail shaders("_shaders.txt");
    c.act();
    EXPECT_EQ(MaskCallStacks(errors.Text()), c.errorLog);
    EXPECT_EQ(MaskCallStacks(shaders.Text()), c.shaderLog);
    EXPECT_EQ(QueuedGLErrorsLeft(), 0u);
    RestoreDriverSeams();
    if (!G::IsInitialized()) StartAgain();
  }
}

// A texture wider than the driver takes: its storage fails (only logged),
// then its upload fails for real, and the load undoes the new texture.
TEST_F(FailureTextTest, ATextureWhoseUploadFailsIsNotKept) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  ASSERT_GT(largest, 0);
  const int width = largest * 2;
  WriteBmp24("too_wide.bmp", width, 1, std::vector<unsigned>(width, 0xFF336699u));
  G::Texture texture;
  LogTail errors;
  EXPECT_FALSE(texture.Load("too_wide.bmp", G::kTextureRGB, false, false));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "GL tex creation stuff:\nA numeric argument had an invalid value.\n\n"
            "Error loading image to texture:\nA numeric argument had an invalid value.\n  -call stack:\n\n");
  EXPECT_EQ(texture.Record(), nullptr);
  // Nothing of it is found again by name.
  G::Texture again;
  LogTail second;
  EXPECT_FALSE(again.Load("too_wide.bmp", G::kTextureRGB, false, false));
  EXPECT_NE(second.Text().find("Error loading image to texture:\n"), std::string::npos);
}

// A present into a window that is gone.
TEST_F(FailureTextTest, AFailedSwapIsReported) {
  G::Shutdown();
  HWND window = FreshWindow();
  G::Setup setup = WindowedSetup();
  ASSERT_TRUE(DXG::Init(window, &setup));
  DestroyWindow(window);
  LogTail errors;
  DXG::EndFrame1();
  EXPECT_EQ(errors.Text(), "Swapping backbuffer failed...\n");
}

}  // namespace
