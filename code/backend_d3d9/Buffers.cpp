// Vertex and index buffers on Direct3D 9, their locks, and the vertex
// declarations made from vertex formats: one per buffer, and a cache of them
// for SetVertexFormat (immediate mode). Static buffers live in the managed
// pool; dynamic ones in the default pool, so they are let go before a device
// reset and made again, with their last contents, after it.
#include <cstring>
#include <list>
#include <mutex>
#include <vector>

#include "backend_d3d9/D3D9Backend.h"
#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "foundation/StartupOrder.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/GraphicsLock.h"
#include "graphics/VertexBuffer.h"

namespace DXG {

QV_STARTUP_MARK(kRowVertexDeclCache, "VertexDeclarationCache");
std::vector<DeclarationCacheEntry> VertexDeclarationCache QV_STARTUP(kRowVertexDeclCache);

namespace {

// Loader threads create buffers too: the first creations may race.
std::once_flag s_vertexHandlersRegistered;
std::once_flag s_indexHandlersRegistered;

struct Declaration {
  IDirect3DVertexDeclaration9* declaration;
  int vertexSize;
};

const int kElementSizes[5] = {4, 8, 12, 16, 4};
const BYTE kElementTypes[5] = {D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                               D3DDECLTYPE_D3DCOLOR};
const BYTE kElementUsages[4] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_COLOR,
                                D3DDECLUSAGE_TEXCOORD};

Declaration BuildVertexDeclaration(const G::VertexFormat& format) {
  std::vector<D3DVERTEXELEMENT9> elements;
  int offset = 0;
  for (const G::VertexElement& element : format) {
    if (element.type < 0 || element.type > 4) {
      ErrorLog << "Bad type found in vertex format.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      return {nullptr, 0};
    }
    if (element.use < 0 || element.use > 3) {
      ErrorLog << "Bad use found in vertex format.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      return {nullptr, 0};
    }
    elements.push_back({0, static_cast<WORD>(offset), kElementTypes[element.type], D3DDECLMETHOD_DEFAULT,
                        kElementUsages[element.use], 0});
    offset += kElementSizes[element.type];
  }
  elements.push_back(D3DDECL_END());
  IDirect3DVertexDeclaration9* declaration = nullptr;
  HRESULT result = Hooked("CreateVertexDeclaration", static_cast<long>(elements.size()), [&] {
    return g_d3d.device->CreateVertexDeclaration(elements.data(), &declaration);
  });
  if (FAILED(result) || !declaration) {
    ErrorLog << "Failed to create d3d vertex declaration.";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return {nullptr, 0};
  }
  return {declaration, offset};
}

bool HasColor(const G::VertexFormat& format) {
  for (const G::VertexElement& element : format)
    if (element.use == G::kUseColor) return true;
  return false;
}

bool SameFormat(const G::VertexFormat& a, const G::VertexFormat& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].type != b[i].type || a[i].use != b[i].use) return false;
  return true;
}

HRESULT CreateBufferObject(UINT bytes, bool dynamic, bool writeOnly, IDirect3DVertexBuffer9** out) {
  DWORD usage = (dynamic ? D3DUSAGE_DYNAMIC : 0) | (writeOnly ? D3DUSAGE_WRITEONLY : 0);
  D3DPOOL pool = dynamic ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
  return Hooked("CreateVertexBuffer", static_cast<long>(bytes),
                [&] { return g_d3d.device->CreateVertexBuffer(bytes, usage, 0, pool, out, nullptr); });
}

HRESULT CreateBufferObject(UINT bytes, bool dynamic, bool writeOnly, IDirect3DIndexBuffer9** out) {
  DWORD usage = (dynamic ? D3DUSAGE_DYNAMIC : 0) | (writeOnly ? D3DUSAGE_WRITEONLY : 0);
  D3DPOOL pool = dynamic ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
  return Hooked("CreateIndexBuffer", static_cast<long>(bytes), [&] {
    return g_d3d.device->CreateIndexBuffer(bytes, usage, D3DFMT_INDEX16, pool, out, nullptr);
  });
}

// The size the API buffer was made with.
UINT BufferBytes(const G::VertexBufferRecord* record) {
  return static_cast<UINT>(record->vertexCount) * static_cast<UINT>(record->vertexSize);
}
UINT BufferBytes(const G::IndexBufferRecord* record) { return static_cast<UINT>(record->indexCount) * 2; }

// Puts a dynamic buffer's system-memory copy into its API buffer, whole:
// the old contents may go.
template <class Buffer>
void Refill(Buffer* buffer, const std::vector<unsigned char>& contents) {
  void* data = nullptr;
  if (contents.empty() || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) || !data) return;
  std::memcpy(data, contents.data(), contents.size());
  buffer->Unlock();
}

// A default-pool buffer made while the device is lost would keep every
// Reset failing (the lost handlers have already run): such a record gets
// its API buffer from the restore handler instead.
bool DeferDefaultPool(bool dynamic) { return dynamic && G::IsDeviceLost(); }

// Makes the dynamic buffers the reset let go of again, with their contents.
template <class Record>
void RemakeDynamicBuffers(const std::list<Record*>& records) {
  CriticalSectionLock hold(g_graphicsLock);
  for (Record* record : records) {
    if (!record->dynamic || !record->api || record->api->buffer) continue;
    if (SUCCEEDED(CreateBufferObject(BufferBytes(record), true, record->writeOnly, &record->api->buffer)))
      Refill(record->api->buffer, record->api->contents);
  }
}

// Both locks: the whole buffer. A dynamic buffer hands out its copy in
// system memory (a write-only default-pool buffer is never read, and the
// copy is there while the device is lost), which the unlock puts into the
// API buffer, discarding what it held. Null without a record (logged); for
// a static buffer also without an API buffer or when the API lock fails.
template <class Record>
void* LockApiBuffer(Record* record, const char* missing) {
  if (!record) {
    ErrorLog << missing;
    WriteCallStack(ErrorLog, "  -call made from:\n");
    return nullptr;
  }
  CriticalSectionLock hold(g_graphicsLock);
  if (!record->api) return nullptr;
  if (record->dynamic) return record->api->contents.empty() ? nullptr : record->api->contents.data();
  if (!record->api->buffer) return nullptr;
  void* data = nullptr;
  return SUCCEEDED(record->api->buffer->Lock(0, 0, &data, 0)) ? data : nullptr;
}

// Both buffers' Set: without an API buffer it is refused, never written
// only warned about.
template <class Record>
bool CheckBufferToSet(const Record* record, const char* missing, const char* unwritten) {
  if (!record || !record->api || !record->api->buffer) {
    ErrorLog << missing;
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  if (!record->written) {
    ErrorLog << unwritten;
    WriteCallStack(ErrorLog, "  -call stack:\n");
  }
  return true;
}

template <class Record>
void UnlockApiBuffer(Record* record) {
  CriticalSectionLock hold(g_graphicsLock);
  if (!record || !record->api || !record->api->buffer) return;
  if (record->dynamic)
    Refill(record->api->buffer, record->api->contents);
  else
    record->api->buffer->Unlock();
}

// Default-pool buffers must be gone before the device can be reset; the
// device lets go of the ones it has bound.
void HandleVertexBuffersLost() {
  CriticalSectionLock hold(g_graphicsLock);
  if (g_d3d.device) g_d3d.device->SetStreamSource(0, nullptr, 0, 0);
  for (auto& slot : g_d3d.vertexBuffers) slot = nullptr;
  for (G::VertexBufferRecord* record : G::g_vertexBufferRecords)
    if (record->dynamic && record->api) ReleaseCom(record->api->buffer);
}

void HandleVertexBuffersRestored() { RemakeDynamicBuffers(G::g_vertexBufferRecords); }

void HandleIndexBuffersLost() {
  CriticalSectionLock hold(g_graphicsLock);
  if (g_d3d.device) g_d3d.device->SetIndices(nullptr);
  g_d3d.indexBuffer = nullptr;
  for (G::IndexBufferRecord* record : G::g_indexBufferRecords)
    if (record->dynamic && record->api) ReleaseCom(record->api->buffer);
}

void HandleIndexBuffersRestored() { RemakeDynamicBuffers(G::g_indexBufferRecords); }

void ReleaseDeclarationCache() {
  for (DeclarationCacheEntry& entry : VertexDeclarationCache) ReleaseCom(entry.declaration);
  VertexDeclarationCache.clear();
  g_d3d.declaration = nullptr;
  g_d3d.declarationVertexSize = 0;
}

void RegisterVertexHandlers() {
  std::call_once(s_vertexHandlersRegistered, [] {
    G::RegisterDeviceLostCallback(&HandleVertexBuffersLost);
    G::RegisterDeviceRestoredCallback(&HandleVertexBuffersRestored);
    G::RegisterShutdownCallback(&ReleaseDeclarationCache);
  });
}

void RegisterIndexHandlers() {
  std::call_once(s_indexHandlersRegistered, [] {
    G::RegisterDeviceLostCallback(&HandleIndexBuffersLost);
    G::RegisterDeviceRestoredCallback(&HandleIndexBuffersRestored);
  });
}

void ForgetVertexBuffer(const G::VertexBufferRecord* record) {
  for (auto& slot : g_d3d.vertexBuffers)
    if (slot && slot == record) slot = nullptr;
}

}  // namespace

void SetCurrentDeclaration(IDirect3DVertexDeclaration9* declaration, int vertexSize, bool hasColor) {
  g_d3d.device->SetVertexDeclaration(declaration);
  g_d3d.declaration = declaration;
  g_d3d.declarationVertexSize = vertexSize;
  g_d3d.declarationHasColor = hasColor;
  UploadVertexColorFloor();
}

}  // namespace DXG

namespace G {

using DXG::g_d3d;

void SetVertexFormat(const VertexFormat& format) {
  DXG::RegisterVertexHandlers();
  if (!g_d3d.device) return;
  for (const DXG::DeclarationCacheEntry& entry : DXG::VertexDeclarationCache) {
    if (DXG::SameFormat(entry.format, format)) {
      DXG::SetCurrentDeclaration(entry.declaration, entry.vertexSize, DXG::HasColor(format));
      return;
    }
  }
  DXG::Declaration made = DXG::BuildVertexDeclaration(format);
  if (!made.declaration) return;
  DXG::VertexDeclarationCache.push_back({format, made.declaration, made.vertexSize});
  DXG::SetCurrentDeclaration(made.declaration, made.vertexSize, DXG::HasColor(format));
}

// ---- Vertex buffers --------------------------------------------------------

VertexBuffer::~VertexBuffer() noexcept(false) {
  DXG::ReleaseAtDestruction(*this, "Bad: vertex buffer being destructed, but graphics is not inited.\n");
}

bool VertexBuffer::Create(int vertexCount, const VertexFormat& format, int vertexSize, bool dynamic,
                          bool writeOnly) {
  DXG::RegisterVertexHandlers();
  DXG::ForgetVertexBuffer(record_);
  SRFree();
  if (!g_d3d.device) return false;

  CriticalSectionLock hold(g_graphicsLock);
  IDirect3DVertexBuffer9* buffer = nullptr;
  UINT bytes = static_cast<UINT>(vertexCount) * static_cast<UINT>(vertexSize);
  if (!DXG::DeferDefaultPool(dynamic)) {
    HRESULT result = DXG::CreateBufferObject(bytes, dynamic, writeOnly, &buffer);
    if (FAILED(result) || !buffer) {
      ErrorLog << "Failed to create vertex buffer";
      if (result == D3DERR_OUTOFVIDEOMEMORY) ErrorLog << " (out of video memory)";
      if (result == E_OUTOFMEMORY) ErrorLog << " (not enough system memory)";
      WriteCallStack(ErrorLog, "\n  -call made from:\n");
      return false;
    }
  }
  VertexBufferRecord* r = NewRecord(vertexCount, format, vertexSize, dynamic, writeOnly);
  r->api = new2(SVB_API_Data, SVB_API_Data());
  r->api->buffer = buffer;
  if (dynamic) r->api->contents.assign(bytes, 0);
  DXG::Declaration declaration = DXG::BuildVertexDeclaration(format);
  r->api->declaration = declaration.declaration;
  r->api->declarationVertexSize = declaration.vertexSize;
  if (!declaration.declaration) {
    SRFree();
    return false;
  }
  DXG::TrackTextureMemory();
  return true;
}

void VertexBuffer::Set() {
  if (!DXG::CheckBufferToSet(
          record_, "Warning: attempt to set a non-allocated vertex buffer as a stream source.\n",
          "Warning: Vertex buffer set, but has never been locked before.  Data in it is invalid.\n"))
    return;
  CriticalSectionLock hold(g_graphicsLock);
  if (!g_d3d.device) return;  // after Shutdown: nothing to bind to
  g_d3d.device->SetStreamSource(0, record_->api->buffer, 0, static_cast<UINT>(record_->vertexSize));
  DXG::SetCurrentDeclaration(record_->api->declaration, record_->api->declarationVertexSize,
                             DXG::HasColor(record_->format));
  g_d3d.vertexBuffers[0] = record_;
}

void VertexBuffer::Free() {
  CriticalSectionLock hold(g_graphicsLock);
  if (g_d3d.vertexBuffers[0] == record_ && g_d3d.device) g_d3d.device->SetStreamSource(0, nullptr, 0, 0);
  DXG::ForgetVertexBuffer(record_);
  if (!record_->api) return;
  if (g_d3d.declaration == record_->api->declaration) g_d3d.declaration = nullptr;
  DXG::ReleaseCom(record_->api->buffer);
  DXG::ReleaseCom(record_->api->declaration);
  delete2(record_->api);
  record_->api = nullptr;
}

void UnsetVertexBuffer() {
  if (g_d3d.device) g_d3d.device->SetStreamSource(0, nullptr, 0, 0);
  g_d3d.vertexBuffers[0] = nullptr;
}

// Discard changes nothing here: a static buffer's old contents stay, and a
// dynamic one's unlock always discards (it rewrites the whole buffer).
VertexBufferLock::VertexBufferLock(VertexBuffer& buffer, bool /*discard*/) : buffer_(&buffer) {
  data_ = DXG::LockApiBuffer(buffer.Record(), "Warning: attempt to lock a non-allocated vertex buffer.\n");
}

VertexBufferLock::~VertexBufferLock() {
  if (!data_) return;
  DXG::UnlockApiBuffer(buffer_->Record());
  data_ = nullptr;
}

// ---- Index buffers ---------------------------------------------------------

IndexBuffer::~IndexBuffer() noexcept(false) { SRFree(); }

bool IndexBuffer::Create(unsigned short indexCount, bool dynamic, bool writeOnly) {
  DXG::RegisterIndexHandlers();
  if (!g_d3d.device) return false;
  CriticalSectionLock hold(g_graphicsLock);
  IDirect3DIndexBuffer9* buffer = nullptr;
  const UINT bytes = static_cast<UINT>(indexCount) * 2;
  if (!DXG::DeferDefaultPool(dynamic)) {
    HRESULT result = DXG::CreateBufferObject(bytes, dynamic, writeOnly, &buffer);
    if (FAILED(result) || !buffer) {
      ErrorLog << "Failed to create index buffer.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
      return false;
    }
  }
  IndexBufferRecord* r = NewRecord(indexCount, dynamic, writeOnly);
  r->api = new2(SIB_API_Data, SIB_API_Data());
  r->api->buffer = buffer;
  if (dynamic) r->api->contents.assign(bytes, 0);
  return true;
}

void IndexBuffer::Set() {
  if (!DXG::CheckBufferToSet(record_, "Warning: attempt to set a non-allocated index buffer\n",
                             "Warning: Index buffer set, but has never been locked before.  Data in it is invalid.\n"))
    return;
  if (!g_d3d.device) return;  // after Shutdown: nothing to bind to
  g_d3d.device->SetIndices(record_->api->buffer);
  g_d3d.indexBuffer = record_;
}

void IndexBuffer::Free() {
  CriticalSectionLock hold(g_graphicsLock);
  if (g_d3d.indexBuffer == record_) {
    if (g_d3d.device) g_d3d.device->SetIndices(nullptr);
    g_d3d.indexBuffer = nullptr;
  }
  if (!record_->api) return;
  DXG::ReleaseCom(record_->api->buffer);
  delete2(record_->api);
  record_->api = nullptr;
}

void UnsetIndexBuffer() {
  if (g_d3d.device) g_d3d.device->SetIndices(nullptr);
  g_d3d.indexBuffer = nullptr;
}

IndexBufferLock::IndexBufferLock(IndexBuffer& buffer, bool /*discard*/) : buffer_(&buffer) {
  data_ = DXG::LockApiBuffer(buffer.Record(), "Warning: attempt to lock a non-allocated index buffer.\n");
}

IndexBufferLock::~IndexBufferLock() {
  if (!data_) return;
  DXG::UnlockApiBuffer(buffer_->Record());
  data_ = nullptr;
}

}  // namespace G
