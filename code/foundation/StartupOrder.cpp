// The record of the globals' construction and teardown order.
#include "StartupOrder.h"

namespace {
constexpr int kMaxEvents = 256;
// Zero-initialised storage: usable before any constructor has run.
StartupEvent s_events[kMaxEvents];
int s_eventCount;

void Note(int row, bool built, const char* name) {
  if (s_eventCount < kMaxEvents) s_events[s_eventCount++] = StartupEvent{row, built, name};
}
}  // namespace

StartupMark::StartupMark(int row, const char* name) : row_(row), name_(name) { Note(row_, true, name_); }

StartupMark::~StartupMark() { Note(row_, false, name_); }

int StartupEventCount() { return s_eventCount; }

const StartupEvent& StartupEventAt(int index) { return s_events[index]; }
