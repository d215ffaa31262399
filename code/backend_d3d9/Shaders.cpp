// HLSL shaders on Direct3D 9: ".hlsl_v" and ".hlsl_f" files compiled at load
// time by D3DX with profile fallbacks, constants set through the compiler's
// constant tables, and the named matrices filled from the current transforms
// whenever a shader is bound. Compiler output goes to the shader log.
#include <d3dx9.h>

#include <cstring>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/Maths.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"

namespace {

// The constants filled at every Shader::Set, in upload order. Each one but
// ViewMatrix is set so that a program applies it as mul(matrix, column
// vector), like the projection the others end in; ViewMatrix goes up
// transposed and applies from the right, as mul(row vector, ViewMatrix).
enum NamedMatrix {
  kModelViewProjection,
  kViewProjection,
  kModelView,
  kModel,
  kView,
  kProjection,
  kWorldRot,
  kNamedMatrixCount
};
const char* const kNamedMatrixNames[kNamedMatrixCount] = {
    "ModelViewProjectionMatrix", "ViewProjectionMatrix", "ModelViewMatrix", "ModelMatrix",
    "ViewMatrix",                "ProjectionMatrix",     "WorldRotMatrix[0]",
};

// A vertex program's input that the declaration lacks reads undefined
// values, where OpenGL reads its current colour (white). Programs that read
// a vertex colour take max(colour, VertexColorFloor): the floor is white
// while the current vertices have no colour and zero while they have one.
const char kVertexColorFloor[] = "VertexColorFloor";

}  // namespace

namespace G {

struct SShaderApiData {
  ID3DXConstantTable* vertexConstants = nullptr;
  ID3DXConstantTable* fragmentConstants = nullptr;
  IDirect3DVertexShader9* vertexShader = nullptr;
  IDirect3DPixelShader9* pixelShader = nullptr;
  struct Named {
    bool found = false;
    ID3DXConstantTable* table = nullptr;
    D3DXHANDLE handle = nullptr;
  } named[kNamedMatrixCount];
  Named colorFloor;
};

}  // namespace G

namespace DXG {

namespace {

G::Shader* s_currentShader = nullptr;
bool s_warnOnMissingConstant = true;

std::string BufferText(ID3DXBuffer* buffer) {
  if (!buffer || buffer->GetBufferSize() == 0) return std::string();
  const char* text = static_cast<const char*>(buffer->GetBufferPointer());
  return std::string(text, strnlen(text, buffer->GetBufferSize()));
}

ID3DXBuffer* CompileShaderFile(const std::string& file, const char* profile, ID3DXConstantTable** table,
                               bool report) {
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* errors = nullptr;
  *table = nullptr;
  HRESULT result =
      D3DXCompileShaderFromFileA(file.c_str(), nullptr, nullptr, "main", profile, 0, &code, &errors, table);
  std::string text = BufferText(errors);
  ReleaseCom(errors);
  if (FAILED(result) || !code) {
    if (report) {
      ShaderLog << "Failed to compile shader: " << file << ":\n" << text;
      ErrorLog << "Failed to compile shader: " << file << "\n";
    }
    ReleaseCom(code);
    ReleaseCom(*table);
    return nullptr;
  }
  if (!text.empty() && report) ShaderLog << "Shader warning(s) (" << file << "):\n" << text << "\n";
  return code;
}

void LogCreateFailure(const std::string& file) {
  ShaderLog << "Failed to create shader (" << file << "), though it did compile... hardware can't handle it "
            << "probably.\n";
}

void LoadVertexProgram(G::SShaderApiData* api, const std::string& file) {
  static const char* const kProfiles[3] = {"vs_2_0", "vs_1_0", "vs_3_0"};
  for (int i = 0; i < 3 && !api->vertexShader; ++i) {
    const bool report = i == 2;
    ID3DXConstantTable* table = nullptr;
    ID3DXBuffer* code = CompileShaderFile(file, kProfiles[i], &table, report);
    if (!code) continue;
    HRESULT result = Hooked("CreateVertexShader", i, [&] {
      return g_d3d.device->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()),
                                              &api->vertexShader);
    });
    code->Release();
    if (FAILED(result) || !api->vertexShader) {
      api->vertexShader = nullptr;
      if (report) LogCreateFailure(file);
      ReleaseCom(table);
      continue;
    }
    api->vertexConstants = table;
    if (i == 2 && g_d3d.vertexShaderMajor < 3)
      ShaderLog << "note: " << file << " loaded, but likely running in software.\n";
  }
}

void LoadFragmentProgram(G::SShaderApiData* api, const std::string& file) {
  if (!g_d3d.pixelShadersAllowed) {
    ErrorLog << "Cannot compile Fragment Shader on this hardware: " << file << "\n";
    ShaderLog << "Cannot compile Fragment Shader on this hardware: " << file << "\n";
    return;
  }
  ID3DXConstantTable* table = nullptr;
  ID3DXBuffer* code = CompileShaderFile(file, "ps_2_0", &table, true);
  if (!code) code = CompileShaderFile(file, "ps_2_a", &table, true);
  if (!code) return;
  HRESULT result = Hooked("CreatePixelShader", 0, [&] {
    return g_d3d.device->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &api->pixelShader);
  });
  code->Release();
  if (FAILED(result) || !api->pixelShader) {
    api->pixelShader = nullptr;
    LogCreateFailure(file);
    ReleaseCom(table);
    return;
  }
  api->fragmentConstants = table;
}

bool FindShaderConstant(const std::string& name, ID3DXConstantTable* vertexTable,
                        ID3DXConstantTable* fragmentTable, ID3DXConstantTable** table, D3DXHANDLE* handle) {
  D3DXHANDLE inVertex = vertexTable ? vertexTable->GetConstantByName(nullptr, name.c_str()) : nullptr;
  D3DXHANDLE inFragment = fragmentTable ? fragmentTable->GetConstantByName(nullptr, name.c_str()) : nullptr;
  if (inVertex) {
    if (inFragment) {
      ErrorLog << "Warning: constant name(" << name
               << ") exists in both fragment and vertex shader... fragment constant is unreachable.\n";
      ShaderLog << "Warning: constant name(" << name
                << ") exists in both fragment and vertex shader... fragment constant is unreachable.\n";
      WriteCallStack(ShaderLog, "  -call stack:\n");
    }
    *table = vertexTable;
    *handle = inVertex;
    return true;
  }
  if (inFragment) {
    *table = fragmentTable;
    *handle = inFragment;
    return true;
  }
  if (s_warnOnMissingConstant && (vertexTable || fragmentTable)) {
    ShaderLog << "Warning: Asking for constant (" << name << ") in a shader, but it's not there.\n";
    WriteCallStack(ShaderLog, "  -call stack:\n");
  }
  return false;
}

void LookUpShaderMatrices(G::SShaderApiData* api) {
  s_warnOnMissingConstant = false;
  for (int i = 0; i < kNamedMatrixCount; ++i) {
    G::SShaderApiData::Named& named = api->named[i];
    named.found = FindShaderConstant(kNamedMatrixNames[i], api->vertexConstants, api->fragmentConstants,
                                     &named.table, &named.handle);
  }
  G::SShaderApiData::Named& floor = api->colorFloor;
  floor.found = FindShaderConstant(kVertexColorFloor, api->vertexConstants, api->fragmentConstants, &floor.table,
                                   &floor.handle);
  s_warnOnMissingConstant = true;
}

D3DXMATRIX ToD3DX(const Matrix4& m) { return D3DXMATRIX(m.m); }

Matrix4 Product(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  Matrix4::Multiply(out, a, b);
  return out;
}

// World and view are column-vector matrices, the projection is in the
// row-vector form: the products below are row-vector forms, uploaded
// transposed; the world goes up as it is. ModelViewMatrix is the row-vector
// form of V x W: W x V would apply the view before the world.
void UploadShaderMatrices() {
  if (!s_currentShader) return;
  G::SShaderApiData* api = s_currentShader->ApiData();
  const Matrix4 P = G::GetProjectionMatrix();
  const Matrix4 V = G::GetViewMatrix();
  const Matrix4 W = G::GetWorldMatrix();
  const Matrix4 values[kNamedMatrixCount] = {
      Product(Product(V, W).Transposed(), P),  // row-vector W V P
      Product(V.Transposed(), P),              // row-vector V P
      Product(V, W).Transposed(),              // row-vector W V
      W,
      V,
      P,
      W,
  };
  const bool transposed[kNamedMatrixCount] = {true, true, true, false, true, true, false};
  for (int i = 0; i < kNamedMatrixCount; ++i) {
    const G::SShaderApiData::Named& named = api->named[i];
    if (!named.found) continue;
    D3DXMATRIX m = ToD3DX(values[i]);
    if (transposed[i])
      named.table->SetMatrixTranspose(g_d3d.device, named.handle, &m);
    else
      named.table->SetMatrix(g_d3d.device, named.handle, &m);
  }
  UploadVertexColorFloor();
}

}  // namespace

// Constants are the device's, not the shader's: set again whenever the
// shader or the vertex declaration changes.
void UploadVertexColorFloor() {
  if (!s_currentShader || !g_d3d.device) return;
  const G::SShaderApiData::Named& floor = s_currentShader->ApiData()->colorFloor;
  if (!floor.found) return;
  const float level = g_d3d.declarationHasColor ? 0.0f : 1.0f;
  const float values[4] = {level, level, level, level};
  floor.table->SetFloatArray(g_d3d.device, floor.handle, values, 4);
}

}  // namespace DXG

namespace G {

void UpdateShaderMatrices() { DXG::UploadShaderMatrices(); }

using DXG::g_d3d;

Shader::Shader() {
  api_ = new2(SShaderApiData, SShaderApiData());
  RegisterShader(this);
}

Shader::~Shader() {
  UnregisterShader(this);
  Release();
  if (DXG::s_currentShader == this) DXG::s_currentShader = nullptr;
  delete2(api_);
}

void Shader::Release() {
  DXG::ReleaseCom(api_->vertexConstants);
  DXG::ReleaseCom(api_->fragmentConstants);
  DXG::ReleaseCom(api_->vertexShader);
  DXG::ReleaseCom(api_->pixelShader);
  for (SShaderApiData::Named& named : api_->named) named = SShaderApiData::Named();
  api_->colorFloor = SShaderApiData::Named();
  loaded_ = false;
}

bool Shader::Load(const std::string& vertexName, const std::string& fragmentName) {
  SetShaderFiles(this, vertexName, fragmentName);
  Release();
  if (!g_d3d.device) return false;
  const std::string vertexFile = vertexName.empty() ? std::string() : vertexName + ".hlsl_v";
  const std::string fragmentFile = fragmentName.empty() ? std::string() : fragmentName + ".hlsl_f";
  if (!vertexFile.empty()) DXG::LoadVertexProgram(api_, vertexFile);
  if (!fragmentFile.empty()) DXG::LoadFragmentProgram(api_, fragmentFile);

  if (!api_->vertexShader && !api_->pixelShader) return false;
  if ((!vertexFile.empty() && !api_->vertexShader) || (!fragmentFile.empty() && !api_->pixelShader)) {
    Release();
    return false;
  }
  DXG::LookUpShaderMatrices(api_);
  loaded_ = true;
  return true;
}

void Shader::Set() {
  IDirect3DDevice9* device = g_d3d.device;
  if (!device) return;
  if (!loaded_) {
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    DXG::s_currentShader = nullptr;
    return;
  }
  device->SetVertexShader(api_->vertexShader);
  device->SetPixelShader(api_->pixelShader);
  DXG::s_currentShader = this;
  DXG::UploadShaderMatrices();
}

void UnbindShader() {
  if (g_d3d.device) {
    g_d3d.device->SetVertexShader(nullptr);
    g_d3d.device->SetPixelShader(nullptr);
  }
  DXG::s_currentShader = nullptr;
}

namespace {

void SetFloats(SShaderApiData* api, const std::string& name, const float* values, UINT count) {
  ID3DXConstantTable* table;
  D3DXHANDLE handle;
  if (!g_d3d.device ||
      !DXG::FindShaderConstant(name, api->vertexConstants, api->fragmentConstants, &table, &handle))
    return;
  table->SetFloatArray(g_d3d.device, handle, values, count);
}

// The matrix in the top-left corner of a 4 x 4; the constant's own size
// decides how much of it is read.
void SetMatrixValues(SShaderApiData* api, const std::string& name, const float* values, int size, bool transpose) {
  ID3DXConstantTable* table;
  D3DXHANDLE handle;
  if (!g_d3d.device ||
      !DXG::FindShaderConstant(name, api->vertexConstants, api->fragmentConstants, &table, &handle))
    return;
  D3DXMATRIX m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m.m[r][c] = r < size && c < size ? values[size * r + c] : 0.0f;
  if (transpose)
    table->SetMatrixTranspose(g_d3d.device, handle, &m);
  else
    table->SetMatrix(g_d3d.device, handle, &m);
}

}  // namespace

void Shader::SetFloat1(const std::string& name, float x) {
  const float v[1] = {x};
  SetFloats(api_, name, v, 1);
}
void Shader::SetFloat2(const std::string& name, float x, float y) {
  const float v[2] = {x, y};
  SetFloats(api_, name, v, 2);
}
void Shader::SetFloat3(const std::string& name, float x, float y, float z) {
  const float v[3] = {x, y, z};
  SetFloats(api_, name, v, 3);
}
void Shader::SetFloat4(const std::string& name, float x, float y, float z, float w) {
  const float v[4] = {x, y, z, w};
  SetFloats(api_, name, v, 4);
}
void Shader::SetMatrix2(const std::string& name, const float* values, bool transpose) {
  SetMatrixValues(api_, name, values, 2, transpose);
}
void Shader::SetMatrix3(const std::string& name, const Matrix3& matrix, bool transpose) {
  SetMatrixValues(api_, name, matrix.m, 3, transpose);
}
void Shader::SetMatrix4(const std::string& name, const Matrix4& matrix, bool transpose) {
  SetMatrixValues(api_, name, matrix.m, 4, transpose);
}

void Shader::SetInt(const std::string& name, int value) { ErrorLog << "Shader::SetInt not implemented yet in DX.\n"; }

void Shader::SetSampler(const std::string& name, int stage) {}

}  // namespace G
