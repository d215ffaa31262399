// OpenGL vertex and index buffers on GL_ARB_vertex_buffer_object. Setting a
// vertex buffer walks its format and binds one client array per element;
// the draws read those arrays.
#include <cstdint>

#include "backend_gl/GLBackend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"
#include "graphics/VertexBuffer.h"

namespace G {

// Vertex and index buffers hold the same: the buffer object, its usage and
// the rendering context it belongs to.
struct GLBufferObject {
  GLuint name = 0;
  GLenum usage = 0;
  unsigned generation = 0;
};

struct SVB_API_Data : GLBufferObject {};
struct SIB_API_Data : GLBufferObject {};

}  // namespace G

namespace GLBackend {

G::VertexBufferRecord* g_currentVertexBuffer = nullptr;
G::IndexBufferRecord* g_currentIndexBuffer = nullptr;

void DisableClientArrays() {
  for (int unit = 3; unit >= 0; --unit) {
    ClientActiveTextureUnit(unit);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace GLBackend

namespace G {

namespace {

using GLBackend::g_currentIndexBuffer;
using GLBackend::g_currentVertexBuffer;
using GLBackend::IsLiveContext;

GLenum UsageFor(bool dynamic, bool writeOnly) {
  if (dynamic) return writeOnly ? GL_DYNAMIC_DRAW_ARB : GL_DYNAMIC_COPY_ARB;
  return writeOnly ? GL_STATIC_DRAW_ARB : GL_STATIC_COPY_ARB;
}

// Buffers are never lost in this build: nothing to do on either change.
void VertexBuffersLost() {}
void VertexBuffersRestored() {}

int ComponentSize(VertexComponentType type) {
  switch (type) {
    case kFloat1: return 4;
    case kFloat2: return 8;
    case kFloat3: return 12;
    case kFloat4: return 16;
    case kPackedColor: return 4;
  }
  ErrorLog << "Unhandled type in GetVertComponentSize.\n";
  return 0;
}

const void* Offset(int bytes) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes)); }

// A buffer object of the current context, on a driver that gave every
// buffer entry point.
template <class Record>
bool HasLiveBuffer(const Record* record) {
  return record && record->api && record->api->name && IsLiveContext(record->api->generation) &&
         GLBackend::HasBufferObjects();
}

// A new buffer object of the size on the target, left bound; 0 (logged)
// when none is made.
GLuint MakeBufferObject(GLenum target, GLsizeiptrARB bytes, GLenum usage, const char* nameFailure,
                        const char* errorHeading) {
  ClearErrors();
  GLuint name = 0;
  if (GLBackend::HasBufferObjects()) glGenBuffersARB(1, &name);
  if (!name) {
    ErrorLog << nameFailure;
    return 0;
  }
  glBindBufferARB(target, name);
  glBufferDataARB(target, bytes, nullptr, usage);
  if (CheckGLErrors(errorHeading, true)) {
    glDeleteBuffersARB(1, &name);
    return 0;
  }
  return name;
}

void FillApiData(GLBufferObject* api, GLuint name, GLenum usage) {
  api->name = name;
  api->usage = usage;
  api->generation = GLBackend::ContextGeneration();
}

// Both locks map the whole buffer; a discard request has no further
// effect. Mapping and unmapping change the binding under the current buffer
// of the kind, which must then be set again. Null without a record (logged)
// or a live buffer.
template <class Record>
void* MapBuffer(Record* record, Record*& current, GLenum target, const char* missing, const char* errorHeading) {
  if (!record) {
    ErrorLog << missing;
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return nullptr;
  }
  if (!HasLiveBuffer(record)) return nullptr;
  CriticalSectionLock lock(g_graphicsLock);
  ClearErrors();
  glBindBufferARB(target, record->api->name);
  void* data = glMapBufferARB(target, record->writeOnly ? GL_WRITE_ONLY_ARB : GL_READ_WRITE_ARB);
  CheckGLErrors(errorHeading, true);
  current = nullptr;
  return data;
}

template <class Record>
void UnmapBuffer(Record* record, Record*& current, GLenum target, const char* damaged) {
  CriticalSectionLock lock(g_graphicsLock);
  current = nullptr;
  if (!HasLiveBuffer(record)) return;
  glBindBufferARB(target, record->api->name);
  if (!glUnmapBufferARB(target)) {
    ErrorLog << damaged;
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }
}

template <class Record>
void FreeBufferObject(Record* record) {
  if (!record->api) return;
  if (HasLiveBuffer(record)) glDeleteBuffersARB(1, &record->api->name);
  delete2(record->api);
  record->api = nullptr;
}

}  // namespace

// ---- Vertex buffers ----------------------------------------------------------------

VertexBuffer::~VertexBuffer() noexcept(false) { SRFree(); }

bool VertexBuffer::Create(int vertexCount, const VertexFormat& format, int vertexSize, bool dynamic, bool writeOnly) {
  static bool s_handlersRegistered = false;
  if (!s_handlersRegistered) {
    RegisterDeviceLostCallback(&VertexBuffersLost);
    RegisterDeviceRestoredCallback(&VertexBuffersRestored);
    s_handlersRegistered = true;
  }
  CriticalSectionLock lock(g_graphicsLock);
  SRFree();
  if (glBindBufferARB) glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  GLBackend::DisableClientArrays();
  g_currentVertexBuffer = nullptr;
  const GLenum usage = UsageFor(dynamic, writeOnly);
  const GLuint name = MakeBufferObject(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(vertexCount) * vertexSize,
                                       usage, "glGenBuffersARB failed... so can't make VB.\n",
                                       "Error making Vertex Buffer:\n");
  if (!name) return false;
  VertexBufferRecord* r = NewRecord(vertexCount, format, vertexSize, dynamic, writeOnly);
  r->api = new2(SVB_API_Data, SVB_API_Data());
  FillApiData(r->api, name, usage);
  return true;
}

void VertexBuffer::Set() {
  if (record_ && g_currentVertexBuffer == record_ && HasLiveBuffer(record_)) {
    GLint bound = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &bound);
    if (static_cast<GLuint>(bound) == record_->api->name) return;
    ErrorLog << "VB was still set but it's binding was not.. I caught it though.. phew\n";
  }
  if (!HasLiveBuffer(record_)) {
    ErrorLog << "Attempt to Set a VertexBuffer that doesn't exist.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  CriticalSectionLock lock(g_graphicsLock);
  ClearErrors();
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, record_->api->name);
  GLBackend::DisableClientArrays();
  const GLsizei stride = record_->vertexSize;
  int offset = 0;
  int unit = 0;
  for (const VertexElement& element : record_->format) {
    const int size = ComponentSize(element.type);
    GLenum dataType = GL_FLOAT;
    if (element.type == kPackedColor) {
      dataType = GL_UNSIGNED_BYTE;
    } else if (element.type < kFloat1 || element.type > kFloat4) {
      ErrorLog << "unhandled type in vertex format...\n";
    }
    switch (element.use) {
      case kUsePosition:
        glVertexPointer(size / 4, dataType, stride, Offset(offset));
        glEnableClientState(GL_VERTEX_ARRAY);
        break;
      case kUseNormal:
        glNormalPointer(dataType, stride, Offset(offset));
        glEnableClientState(GL_NORMAL_ARRAY);
        break;
      case kUseColor:
        // 0xAARRGGBB little-endian is blue, green, red, alpha in memory:
        // the BGRA size makes red come from bits 16-23.
        if (element.type == kPackedColor)
          glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, stride, Offset(offset));
        else
          glColorPointer(size / 4, dataType, stride, Offset(offset));
        glEnableClientState(GL_COLOR_ARRAY);
        break;
      case kUseTexCoord:
        if (GLBackend::ClientActiveTextureUnit(unit)) {
          glTexCoordPointer(size / 4, dataType, stride, Offset(offset));
          glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        ++unit;
        break;
      default:
        ErrorLog << "unhandled use in vertex format...\n";
        break;
    }
    offset += size;
  }
  CheckGLErrors("VertexBuffer.Set:\n", true);
  g_currentVertexBuffer = record_;
}

void VertexBuffer::Free() {
  CriticalSectionLock lock(g_graphicsLock);
  if (g_currentVertexBuffer == record_) g_currentVertexBuffer = nullptr;
  FreeBufferObject(record_);
}

void UnsetVertexBuffer() {
  if (glBindBufferARB) glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  GLBackend::DisableClientArrays();
  g_currentVertexBuffer = nullptr;
}

// Immediate mode needs no declaration in this build.
void SetVertexFormat(const VertexFormat&) {}

// ---- Index buffers ----------------------------------------------------------------------

IndexBuffer::~IndexBuffer() noexcept(false) { SRFree(); }

bool IndexBuffer::Create(unsigned short indexCount, bool dynamic, bool writeOnly) {
  glDisableClientState(GL_INDEX_ARRAY);
  if (glBindBufferARB) glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
  g_currentIndexBuffer = nullptr;
  CriticalSectionLock lock(g_graphicsLock);
  // Replaces any earlier contents of the handle, as vertex buffers do.
  SRFree();
  const GLenum usage = UsageFor(dynamic, writeOnly);
  const GLuint name = MakeBufferObject(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(indexCount) * 2,
                                       usage, "glGenBuffersARB failed... so can't make IB.\n",
                                       "Error making Index Buffer:");
  if (!name) return false;
  IndexBufferRecord* r = NewRecord(indexCount, dynamic, writeOnly);
  r->api = new2(SIB_API_Data, SIB_API_Data());
  FillApiData(r->api, name, usage);
  return true;
}

void IndexBuffer::Set() {
  if (!HasLiveBuffer(record_)) {
    ErrorLog << "Attempt to Set an IndexBuffer that doesn't exist.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  CriticalSectionLock lock(g_graphicsLock);
  ClearErrors();
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, record_->api->name);
  CheckGLErrors("IndexBuffer.Set:\n", true);
  g_currentIndexBuffer = record_;
}

void IndexBuffer::Free() {
  CriticalSectionLock lock(g_graphicsLock);
  if (g_currentIndexBuffer == record_) g_currentIndexBuffer = nullptr;
  FreeBufferObject(record_);
}

// Index buffers are never lost in this build, and Create registers neither.
void IndexBuffer::HandleDeviceLost() { ErrorLog << "IndexBuffer::HandleDeviceLost not implemented yet...\n"; }
void IndexBuffer::HandleDeviceRestored() { ErrorLog << "IndexBuffer::HandleDeviceRestored not implemented yet...\n"; }

void UnsetIndexBuffer() {
  glDisableClientState(GL_INDEX_ARRAY);
  if (glBindBufferARB) glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
  g_currentIndexBuffer = nullptr;
}

// ---- Locks ------------------------------------------------------------------------------

VertexBufferLock::VertexBufferLock(VertexBuffer& buffer, bool) : buffer_(&buffer) {
  data_ = MapBuffer(buffer.Record(), g_currentVertexBuffer, GL_ARRAY_BUFFER_ARB,
                    "Warning: attempt to lock a non-allocated vertex buffer.\n", "Lock VB:\n");
}

// Nothing to unmap when the lock never took hold.
VertexBufferLock::~VertexBufferLock() {
  if (!data_) return;
  data_ = nullptr;
  UnmapBuffer(buffer_->Record(), g_currentVertexBuffer, GL_ARRAY_BUFFER_ARB,
              "Warning... contents of vertex buffer damaged during mapping.\n");
}

IndexBufferLock::IndexBufferLock(IndexBuffer& buffer, bool) : buffer_(&buffer) {
  data_ = MapBuffer(buffer.Record(), g_currentIndexBuffer, GL_ELEMENT_ARRAY_BUFFER_ARB,
                    "Warning: attempt to lock a non-allocated index buffer.\n", "Lock IB:\n");
}

IndexBufferLock::~IndexBufferLock() {
  if (!data_) return;
  data_ = nullptr;
  UnmapBuffer(buffer_->Record(), g_currentIndexBuffer, GL_ELEMENT_ARRAY_BUFFER_ARB,
              "Warning... contents of index buffer damaged during mapping.\n");
}

}  // namespace G
