// GLSL shaders on the ARB shader objects: a vertex and a fragment program
// per shader, each compiled with the common prelude
// "data\shaders\glsl_base.glsl" in front, and the named matrices filled
// from the current transforms whenever the shader is set.
#include <cstring>
#include <vector>

#include "backend_gl/GLBackend.h"
#include "backend_gl/ShaderText.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"

namespace G {

struct SShaderApiData {
  GLhandleARB program = 0;
  GLhandleARB vertex = 0;
  GLhandleARB fragment = 0;
  GLint modelMatrix = -1;
  GLint modelView = -1;
  GLint viewProjection = -1;
  GLint worldRotation = -1;
  unsigned generation = 0;
};

}  // namespace G

// Read on the first compile that finds it empty; kept until exit.
std::string g_shaderPrelude QV_STARTUP(kRowBackendOwn);

namespace {

using G::SShaderApiData;
using G::Shader;

const char* const kPreludeFile = "data\\shaders\\glsl_base.glsl";

Shader* s_currentShader = nullptr;
// Off while a shader's named matrices are looked up: a shader need not use
// them all.
bool s_warnMissingConstants = true;

bool CanUseShaders() { return GLCapabilities.shaders && GLBackend::HasContext(); }

// Objects of the current context, on a driver whose shader entry points are
// all there (a later probe may have found them missing).
bool OwnsLiveObjects(const SShaderApiData& api) { return CanUseShaders() && GLBackend::IsLiveContext(api.generation); }

std::string InfoLog(GLhandleARB object, GLint length) {
  std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
  glGetInfoLogARB(object, length, nullptr, text.data());
  return std::string(text.data());
}

GLhandleARB CompileFile(const std::string& file, GLenum kind) {
  if (g_shaderPrelude.empty()) g_shaderPrelude = ReadWholeFile(kPreludeFile, false);
  const std::string text = ReadWholeFile(file, false);
  if (text.empty()) {
    ErrorLog << "Can't compile shader " << file << " because the file dosen't exist.\n";
    ShaderLog << "Can't compile shader " << file << " because the file dosen't exist.\n";
    return 0;
  }
  const std::string source = g_shaderPrelude + "\n" + text;
  GLhandleARB object = glCreateShaderObjectARB(kind);
  if (!object) {
    ErrorLog << "glCreateShaderObjectARB failed... so load failed on: " << file << "\n";
    ShaderLog << "glCreateShaderObjectARB failed... so load failed on: " << file << "\n";
    return 0;
  }
  const GLcharARB* sourceText = source.c_str();
  glShaderSourceARB(object, 1, &sourceText, nullptr);
  glCompileShaderARB(object);
  GLint compiled = 0, logLength = 0;
  glGetObjectParameterivARB(object, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
  glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &logLength);
  if (compiled && logLength < 2) return object;

  ShaderLog << (compiled ? "Shader compiled: " : "Error(s) compiling shader: ") << file << "\n";
  if (logLength > 1) {
    const std::string shifted = ShiftInfoLogLines(InfoLog(object, logLength), PreludeLineOffset(g_shaderPrelude));
    ShaderLog << shifted << "\n";
    // An emulated program would crawl: better fixed function.
    if (shifted.find("shader will run in software") != std::string::npos) {
      ShaderLog << "NOT allowing software shader to pass!!!\n";
      glDeleteObjectARB(object);
      return 0;
    }
  }
  if (!compiled) {
    ErrorLog << "Failed to comple shader: " << file << "\n";
    glDeleteObjectARB(object);
    return 0;
  }
  return object;
}

GLhandleARB LinkProgram(GLhandleARB vertex, GLhandleARB fragment, const std::string& label) {
  GLhandleARB program = glCreateProgramObjectARB();
  if (!program) {
    ErrorLog << "glCreateProgramObjectARB failed...\n";
    return 0;
  }
  if (vertex) glAttachObjectARB(program, vertex);
  if (fragment) glAttachObjectARB(program, fragment);
  glLinkProgramARB(program);
  GLint linked = 0, logLength = 0;
  glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  glGetObjectParameterivARB(program, GL_OBJECT_INFO_LOG_LENGTH_ARB, &logLength);
  if (linked && logLength < 2) return program;
  ShaderLog << (linked ? "Shader program linked: " : "Error(s) linking shader program: ") << label << "\n";
  if (logLength > 1) ShaderLog << InfoLog(program, logLength) << "\n";
  if (!linked) {
    glDeleteObjectARB(program);
    return 0;
  }
  return program;
}

GLint FindShaderConstant(const SShaderApiData& api, const std::string& name) {
  if (!CanUseShaders() || !api.program || !OwnsLiveObjects(api)) return -1;
  const GLint location = glGetUniformLocationARB(api.program, name.c_str());
  if (location == -1 && s_warnMissingConstants) {
    ShaderLog << "Warning: Asking for constant (" << name << ") in a shader, but it's not there.\n";
    WriteCallStack(ShaderLog, "  -call stack:\n");
  }
  return location;
}

void UploadShaderMatrices() {
  if (!s_currentShader || !CanUseShaders()) return;
  const SShaderApiData& api = *s_currentShader->ApiData();
  const Matrix4 world = G::GetWorldMatrix();
  const Matrix4 projection = G::GetProjectionMatrix();
  const Matrix4 view = G::GetViewMatrix();
  if (api.modelMatrix != -1) glUniformMatrix4fvARB(api.modelMatrix, 1, GL_TRUE, world.m);
  if (api.modelView != -1) glUniformMatrix4fvARB(api.modelView, 1, GL_FALSE, view.m);
  if (api.viewProjection != -1) {
    Matrix4 viewProjection;
    Matrix4::Multiply(viewProjection, view.Transposed(), projection);
    glUniformMatrix4fvARB(api.viewProjection, 1, GL_FALSE, viewProjection.m);
  }
  if (api.worldRotation != -1) {
    const float rotation[9] = {world.m[0], world.m[1], world.m[2], world.m[4], world.m[5],
                               world.m[6], world.m[8], world.m[9], world.m[10]};
    glUniformMatrix3fvARB(api.worldRotation, 1, GL_TRUE, rotation);
  }
}

// glUniform* writes into the program in use: a constant of a shader that is
// not the current one goes in with its program bound for the moment.
class ProgramInUse {
 public:
  explicit ProgramInUse(const Shader* shader) : swap_(shader != s_currentShader) {
    if (swap_) glUseProgramObjectARB(shader->ApiData()->program);
  }
  ~ProgramInUse() {
    if (swap_) glUseProgramObjectARB(s_currentShader ? s_currentShader->ApiData()->program : 0);
  }

 private:
  ProgramInUse(const ProgramInUse&) = delete;
  ProgramInUse& operator=(const ProgramInUse&) = delete;
  bool swap_;
};

}  // namespace

namespace GLBackend {
void ForgetCurrentShader() { s_currentShader = nullptr; }
}  // namespace GLBackend

// ---- Info-log lines ------------------------------------------------------------------

int PreludeLineOffset(const std::string& prelude) {
  int lineFeeds = 0;
  for (char c : prelude) lineFeeds += c == '\n';
  return -(lineFeeds + 1);
}

namespace {
// All the digits of the token as one decimal number (bounded: a driver's
// text is no reason to overflow).
long long DigitsOf(const std::string& token) {
  long long value = 0;
  for (char c : token)
    if (c >= '0' && c <= '9' && value < 100000000000LL) value = value * 10 + (c - '0');
  return value;
}
}  // namespace

std::string ShiftInfoLogLines(const std::string& log, int offset) {
  std::vector<std::string> lines;
  Tokenize(log, lines, "\n");
  std::string out;
  for (const std::string& line : lines) {
    std::vector<std::string> tokens;
    Tokenize(line, tokens, " ");
    if (tokens.empty()) continue;
    const bool parenthesised = line[0] == '(';
    long long number = 0;
    bool marked = false;
    if (tokens.size() > 1) {
      number = DigitsOf(parenthesised ? tokens[0] : tokens[1]) + offset;
      marked = !parenthesised && tokens[1].find(':') != std::string::npos;
    }
    out += parenthesised ? "(" + std::to_string(number) + ")" : tokens[0];
    for (size_t i = 1; i < tokens.size(); ++i) {
      if (i == 1 && marked)
        out += " 0:" + std::to_string(number) + ": ";
      else
        out += " " + tokens[i];
    }
    out += "\n";
  }
  return out;
}

// ---- The interface ---------------------------------------------------------------------

namespace G {

void UpdateShaderMatrices() { UploadShaderMatrices(); }


Shader::Shader() {
  api_ = new2(SShaderApiData, SShaderApiData());
  RegisterShader(this);
}

Shader::~Shader() {
  Release();
  UnregisterShader(this);
  delete2(api_);
}

// A shader let go while current stops being current: nothing may draw with
// (or set constants into) deleted programs.
void Shader::Release() {
  if (s_currentShader == this) UnbindShader();
  if (OwnsLiveObjects(*api_)) {
    if (api_->vertex) glDeleteObjectARB(api_->vertex);
    if (api_->fragment) glDeleteObjectARB(api_->fragment);
    if (api_->program) glDeleteObjectARB(api_->program);
  }
  api_->vertex = api_->fragment = api_->program = 0;
  api_->modelMatrix = api_->modelView = api_->viewProjection = api_->worldRotation = -1;
  loaded_ = false;
}

bool Shader::Load(const std::string& vertexName, const std::string& fragmentName) {
  if (!CanUseShaders()) return false;
  SetShaderFiles(this, vertexName, fragmentName);
  Release();
  ClearErrors();
  api_->generation = GLBackend::ContextGeneration();
  const std::string vertexFile = vertexName + ".glsl_v";
  const std::string fragmentFile = fragmentName + ".glsl_f";
  if (!vertexName.empty()) api_->vertex = CompileFile(vertexFile, GL_VERTEX_SHADER_ARB);
  if (!fragmentName.empty()) api_->fragment = CompileFile(fragmentFile, GL_FRAGMENT_SHADER_ARB);
  CheckGLErrors("Compiling shaders:\n", true);
  if (!api_->vertex && !api_->fragment) return false;
  if ((!vertexName.empty() && !api_->vertex) || (!fragmentName.empty() && !api_->fragment)) {
    Release();
    return false;
  }
  const std::string label = vertexName.empty()     ? fragmentFile
                            : fragmentName.empty() ? vertexFile
                                                   : vertexFile + " and " + fragmentFile;
  api_->program = LinkProgram(api_->vertex, api_->fragment, label);
  CheckGLErrors("Linking Shaders:\n", true);
  if (!api_->program) return false;

  s_warnMissingConstants = false;
  api_->modelMatrix = FindShaderConstant(*api_, "ModelMatrix");
  api_->modelView = FindShaderConstant(*api_, "ModelView");
  api_->viewProjection = FindShaderConstant(*api_, "ViewProjectionMatrix");
  api_->worldRotation = FindShaderConstant(*api_, "WorldRotMatrix");
  s_warnMissingConstants = true;
  loaded_ = true;
  return true;
}

void Shader::Set() {
  if (!CanUseShaders()) return;
  if (loaded_ && OwnsLiveObjects(*api_)) {
    glUseProgramObjectARB(api_->program);
    s_currentShader = this;
    UploadShaderMatrices();
  } else {
    glUseProgramObjectARB(0);
    s_currentShader = nullptr;
  }
}

void UnbindShader() {
  if (CanUseShaders()) glUseProgramObjectARB(0);
  s_currentShader = nullptr;
}

void Shader::SetInt(const std::string& name, int value) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  ProgramInUse use(this);
  glUniform1iARB(location, value);
}

void Shader::SetFloat1(const std::string& name, float x) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  ProgramInUse use(this);
  glUniform1fvARB(location, 1, &x);
}

void Shader::SetFloat2(const std::string& name, float x, float y) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  const float values[2] = {x, y};
  ProgramInUse use(this);
  glUniform2fvARB(location, 1, values);
}

void Shader::SetFloat3(const std::string& name, float x, float y, float z) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  const float values[3] = {x, y, z};
  ProgramInUse use(this);
  glUniform3fvARB(location, 1, values);
}

void Shader::SetFloat4(const std::string& name, float x, float y, float z, float w) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  const float values[4] = {x, y, z, w};
  ProgramInUse use(this);
  glUniform4fvARB(location, 1, values);
}

void Shader::SetMatrix2(const std::string& name, const float* values, bool transpose) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  ProgramInUse use(this);
  glUniformMatrix2fvARB(location, 1, transpose ? GL_TRUE : GL_FALSE, values);
}

void Shader::SetMatrix3(const std::string& name, const Matrix3& matrix, bool transpose) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  ProgramInUse use(this);
  glUniformMatrix3fvARB(location, 1, transpose ? GL_TRUE : GL_FALSE, matrix.m);
}

void Shader::SetMatrix4(const std::string& name, const Matrix4& matrix, bool transpose) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) return;
  ProgramInUse use(this);
  glUniformMatrix4fvARB(location, 1, transpose ? GL_TRUE : GL_FALSE, matrix.m);
}

void Shader::SetSampler(const std::string& name, int stage) {
  const GLint location = FindShaderConstant(*api_, name);
  if (location == -1) {
    ErrorLog << "Failed to find sampler " << name << " in shader.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  ProgramInUse use(this);
  glUniform1iARB(location, stage);
}

}  // namespace G
