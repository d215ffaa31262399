// The part of the call-stack texts that needs no platform: the trimming of
// the system's error texts, and the seam that stands in for the system.
#include "CallStack.h"

#include <atomic>

namespace {
std::atomic<LastErrorMessageCall> s_messageCall{nullptr};
}  // namespace

void SetLastErrorMessageSeam(LastErrorMessageCall call) { s_messageCall = call; }

std::string LastErrorText() {
  LastErrorMessageCall call = s_messageCall.load();
  std::string text = call ? call() : SystemMessageForLastError();
  // The system's texts end with a full stop and a line break; one shorter
  // than that ending loses everything.
  if (text.size() < 3) return std::string();
  text.resize(text.size() - 3);
  return text;
}
