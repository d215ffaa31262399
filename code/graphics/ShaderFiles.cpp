// The registry of the files each shader was loaded from, so every shader can
// be compiled again from its sources in one call.
#include "graphics/Shader.h"

namespace G {

void RegisterShader(Shader* shader) { g_shaderFiles.push_back(ShaderFileEntry{shader, "", ""}); }

void UnregisterShader(Shader* shader) {
  g_shaderFiles.remove_if([shader](const ShaderFileEntry& entry) { return entry.shader == shader; });
}

void SetShaderFiles(Shader* shader, const std::string& vertexName, const std::string& fragmentName) {
  for (ShaderFileEntry& entry : g_shaderFiles) {
    if (entry.shader != shader) continue;
    entry.vertexName = vertexName;
    entry.fragmentName = fragmentName;
  }
}

void ReloadAllShaders() {
  // Load records the names into the entries again; copies of the names keep
  // that from changing what is being passed.
  for (ShaderFileEntry& entry : g_shaderFiles) {
    if (entry.vertexName.empty() && entry.fragmentName.empty()) continue;
    std::string vertexName = entry.vertexName;
    std::string fragmentName = entry.fragmentName;
    entry.shader->Load(vertexName, fragmentName);
  }
}

}  // namespace G
