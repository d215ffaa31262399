// The graphics interface: vertex formats, and vertex and 16-bit index buffers
// filled through locks and made current with Set. Buffers are shared
// resources; the backend owns what sits behind SVB_API_Data / SIB_API_Data.
#pragma once
#include <list>
#include <vector>

#include "foundation/SharedResource_TCPP.h"

namespace G {

enum VertexComponentType : int {
  kFloat1 = 0,       // 4 bytes
  kFloat2 = 1,       // 8
  kFloat3 = 2,       // 12
  kFloat4 = 3,       // 16
  kPackedColor = 4,  // 4 bytes, 0xAARRGGBB
};

enum VertexUse : int {
  kUsePosition = 0,
  kUseNormal = 1,
  kUseColor = 2,
  kUseTexCoord = 3,
};

struct VertexElement {
  VertexComponentType type;
  VertexUse use;
};

// One vertex: the elements follow each other without gaps, in list order.
typedef std::vector<VertexElement> VertexFormat;

// The byte size of one vertex of the format; a bad element type is logged
// and counts 0. Shared code.
int VertexFormatStride(const VertexFormat& format);

struct SVB_API_Data;  // the backend's own
struct SIB_API_Data;

struct VertexBufferRecord {
  int refCount = 0;
  int vertexCount = 0;
  int vertexSize = 0;
  VertexFormat format;
  bool dynamic = false;
  bool writeOnly = true;
  bool written = false;  // some lock has handed out its pointer
  SVB_API_Data* api = nullptr;
};

struct IndexBufferRecord {
  int refCount = 0;
  unsigned short indexCount = 0;
  bool dynamic = false;
  bool writeOnly = true;
  bool written = false;
  SIB_API_Data* api = nullptr;
};

class VertexBuffer : public SharedResource<VertexBufferRecord> {
 public:
  VertexBuffer() = default;
  VertexBuffer(const VertexBuffer& other) = default;
  VertexBuffer& operator=(const VertexBuffer& other) = default;
  // Releases the record. A backend may throw a text when the buffer outlives
  // the device (a global destroyed after Shutdown), hence noexcept(false).
  ~VertexBuffer() noexcept(false) override;

  // Replaces any earlier contents of the handle.
  bool Create(int vertexCount, const VertexFormat& format, int vertexSize, bool dynamic, bool writeOnly);
  // Makes it the current vertex buffer (stream 0) with its format.
  void Set();
  // Releases the API objects at the last release of the record.
  void Free() override;

 private:
  // Shared code: a fresh record for a buffer the backend has just made,
  // not yet written. The backend adds its API record.
  VertexBufferRecord* NewRecord(int vertexCount, const VertexFormat& format, int vertexSize, bool dynamic,
                                bool writeOnly);
};

class IndexBuffer : public SharedResource<IndexBufferRecord> {
 public:
  IndexBuffer() = default;
  IndexBuffer(const IndexBuffer& other) = default;
  IndexBuffer& operator=(const IndexBuffer& other) = default;
  ~IndexBuffer() noexcept(false) override;

  bool Create(unsigned short indexCount, bool dynamic, bool writeOnly);
  void Set();
  void Free() override;

  // Device-loss handlers of index buffers: they only log and leave every
  // buffer as it is.
  static void HandleDeviceLost();
  static void HandleDeviceRestored();

 private:
  // Shared code, as for vertex buffers.
  IndexBufferRecord* NewRecord(unsigned short indexCount, bool dynamic, bool writeOnly);
};

// Locks the whole buffer for the life of the object. Discard is a hint that
// the old contents may go.
class VertexBufferLock {
 public:
  VertexBufferLock(VertexBuffer& buffer, bool discard);
  ~VertexBufferLock();
  // False when the lock failed; else the pointer, and the buffer counts as
  // written. Shared code (both locks' GetData).
  bool GetData(void** data);

 private:
  VertexBufferLock(const VertexBufferLock&) = delete;
  VertexBufferLock& operator=(const VertexBufferLock&) = delete;

  void* data_ = nullptr;
  VertexBuffer* buffer_;
};

class IndexBufferLock {
 public:
  IndexBufferLock(IndexBuffer& buffer, bool discard);
  ~IndexBufferLock();
  bool GetData(void** data);

 private:
  IndexBufferLock(const IndexBufferLock&) = delete;
  IndexBufferLock& operator=(const IndexBufferLock&) = delete;

  void* data_ = nullptr;
  IndexBuffer* buffer_;
};

void UnsetVertexBuffer();
void UnsetIndexBuffer();
// Direct3D 9: makes the format's vertex declaration current (its immediate
// mode); nothing elsewhere.
void SetVertexFormat(const VertexFormat& format);

extern std::list<VertexBufferRecord*> g_vertexBufferRecords;
extern std::list<IndexBufferRecord*> g_indexBufferRecords;

}  // namespace G

template <>
std::list<G::VertexBufferRecord*>& SharedResource<G::VertexBufferRecord>::Registry();
template <>
std::list<G::IndexBufferRecord*>& SharedResource<G::IndexBufferRecord>::Registry();
