// What every backend's buffers share: the record a new buffer gets, and
// handing out a lock's pointer.
#include "graphics/VertexBuffer.h"

namespace G {

VertexBufferRecord* VertexBuffer::NewRecord(int vertexCount, const VertexFormat& format, int vertexSize,
                                            bool dynamic, bool writeOnly) {
  SRAlloc();
  record_->vertexCount = vertexCount;
  record_->vertexSize = vertexSize;
  record_->format = format;
  record_->dynamic = dynamic;
  record_->writeOnly = writeOnly;
  record_->written = false;
  return record_;
}

IndexBufferRecord* IndexBuffer::NewRecord(unsigned short indexCount, bool dynamic, bool writeOnly) {
  SRAlloc();
  record_->indexCount = indexCount;
  record_->dynamic = dynamic;
  record_->writeOnly = writeOnly;
  record_->written = false;
  return record_;
}

// Taking the pointer is what counts as writing: a buffer never handed out
// holds nothing valid.
bool VertexBufferLock::GetData(void** data) {
  if (!data_) return false;
  *data = data_;
  if (buffer_->Record()) buffer_->Record()->written = true;
  return true;
}

bool IndexBufferLock::GetData(void** data) {
  if (!data_) return false;
  *data = data_;
  if (buffer_->Record()) buffer_->Record()->written = true;
  return true;
}

}  // namespace G
