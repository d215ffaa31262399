// The graphics interface: a vertex and fragment program pair loaded by base
// names, with named matrices that the backend fills from the current
// transforms whenever the shader is bound; and the registry of the files each
// shader was loaded from, for reloading them all.
#pragma once
#include <list>
#include <string>

#include "foundation/Maths.h"


namespace G {

struct SShaderApiData;  // the backend's own

class Shader {
 public:
  // Allocates the backend record and registers the shader.
  Shader();
  // Unregisters and releases the programs.
  ~Shader();

  // An empty name means that program is absent. The backend appends its
  // file extensions to the base names.
  bool Load(const std::string& vertexName, const std::string& fragmentName);
  // Binds the programs and uploads the named matrices; an unloaded shader
  // returns to fixed function.
  void Set();
  // Deletes the programs; the shader is then unloaded.
  void Release();
  bool IsLoaded() const { return loaded_; }
  SShaderApiData* ApiData() const { return api_; }

  // Constants by name; nothing happens for a name the programs lack.
  void SetFloat1(const std::string& name, float x);
  void SetFloat2(const std::string& name, float x, float y);
  void SetFloat3(const std::string& name, float x, float y, float z);
  void SetFloat4(const std::string& name, float x, float y, float z, float w);
  void SetMatrix2(const std::string& name, const float* values, bool transpose);  // 4 floats, row-major
  void SetMatrix3(const std::string& name, const Matrix3& matrix, bool transpose);
  void SetMatrix4(const std::string& name, const Matrix4& matrix, bool transpose);
  void SetInt(const std::string& name, int value);
  // Ties a sampler to a texture stage.
  void SetSampler(const std::string& name, int stage);

 private:
  Shader(const Shader&) = delete;
  Shader& operator=(const Shader&) = delete;

  SShaderApiData* api_ = nullptr;
  bool loaded_ = false;
};

// No programs bound; fixed-function drawing.
void UnbindShader();

// The registry of shader files, in order of registration. Shared code.
struct ShaderFileEntry {
  Shader* shader;
  std::string vertexName;
  std::string fragmentName;
};
typedef std::list<ShaderFileEntry> ShaderFileRegistry;
extern ShaderFileRegistry g_shaderFiles;

void RegisterShader(Shader* shader);
void UnregisterShader(Shader* shader);
void SetShaderFiles(Shader* shader, const std::string& vertexName, const std::string& fragmentName);
// Loads every shader with a recorded name again from its files.
void ReloadAllShaders();

}  // namespace G
