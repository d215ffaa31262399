// The block allocator's misuse report: logged, then the program stops.
#include "BlockAlloc.h"

#include "LogFile.h"

namespace {
void RaiseBreakpointTrap() {
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("int3");
#else
  __builtin_trap();
#endif
}

BlockAllocTrap s_trap = RaiseBreakpointTrap;
}  // namespace

BlockAllocTrap SetBlockAllocTrap(BlockAllocTrap trap) {
  BlockAllocTrap old = s_trap;
  s_trap = trap ? trap : RaiseBreakpointTrap;
  return old;
}

void BlockAllocMisuse(const char* message) {
  ErrorLog << message;
  // Under a debugger the program may go on past the trap: the caller then
  // returns without touching the slot.
  s_trap();
}
