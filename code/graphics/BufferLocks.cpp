// What both backends' buffer locks share: handing out the locked pointer.
#include "graphics/VertexBuffer.h"

namespace G {

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
