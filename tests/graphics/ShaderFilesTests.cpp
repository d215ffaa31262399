// The registry of shader files and reloading every shader from it.
#include <memory>

#include "GraphicsFixture.h"
#include "foundation/CMemMan.h"
#include "graphics/Shader.h"

namespace {

using ShaderFiles = GraphicsTest;

int EntriesOf(const G::Shader* shader) {
  int count = 0;
  for (const G::ShaderFileEntry& entry : G::g_shaderFiles) count += entry.shader == shader;
  return count;
}

TEST_F(ShaderFiles, ShadersRegisterInOrderAndReloadFromTheirFiles) {
  G::Shader* never = new2(G::Shader, G::Shader);
  G::Shader* text = new2(G::Shader, G::Shader);
  G::Shader* items = new2(G::Shader, G::Shader);
  ASSERT_EQ(EntriesOf(never), 1);
  EXPECT_TRUE(text->Load("data\\shaders\\gbfont", ""));
  NullBackend::Scripted().shaderLoadResult = false;  // a failed load still records its names
  EXPECT_FALSE(items->Load("data\\shaders\\simple", "data\\shaders\\simple"));
  NullBackend::Scripted().shaderLoadResult = true;
  NullBackend::ClearCalls();

  G::ReloadAllShaders();
  EXPECT_EQ(NullBackend::CallText(),
            "Shader::Load(data\\shaders\\gbfont,)\n"
            "Shader::Load(data\\shaders\\simple,data\\shaders\\simple)\n");
  EXPECT_TRUE(items->IsLoaded());

  // A destroyed shader is no longer touched.
  delete2(text);
  EXPECT_EQ(EntriesOf(text), 0);
  NullBackend::ClearCalls();
  G::ReloadAllShaders();
  EXPECT_EQ(NullBackend::CallText(), "Shader::Load(data\\shaders\\simple,data\\shaders\\simple)\n");
  delete2(items);
  delete2(never);
}

TEST_F(ShaderFiles, AShaderRegisteredTwiceIsReloadedTwice) {
  G::Shader* shader = new2(G::Shader, G::Shader);
  G::RegisterShader(shader);
  EXPECT_EQ(EntriesOf(shader), 2);
  G::SetShaderFiles(shader, "v", "f");
  NullBackend::ClearCalls();
  G::ReloadAllShaders();
  EXPECT_EQ(NullBackend::CallText(), "Shader::Load(v,f)\nShader::Load(v,f)\n");
  G::UnregisterShader(shader);  // every entry of the shader goes
  EXPECT_EQ(EntriesOf(shader), 0);
  G::RegisterShader(shader);    // so the destructor finds its own entry
  delete2(shader);
  EXPECT_EQ(EntriesOf(shader), 0);
}

}  // namespace
