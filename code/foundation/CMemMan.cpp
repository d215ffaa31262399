// The memory manager: allocation records, guard bytes, delete checks and the
// leak report at exit.
#include "CMemMan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CallStack.h"
#include "LogFile.h"
#include "Platform.h"
#include "StartupOrder.h"
#include "Utility.h"

namespace {

std::string CurrentStackWithoutFirstLine() {
  std::string stack = CallStackText();
  DropFirstLine(stack);
  return stack;
}

std::string Decimal(long long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  return buffer;
}

}  // namespace

void* AllocTrackedBlock(size_t payloadBytes) {
  if (payloadBytes > 0x7fffffe0u) return nullptr;
  return ::operator new(payloadBytes + 2 * CMemMan::kGuardBytes, std::nothrow);
}

void FreeTrackedBlock(void* block) {
  if (block) ::operator delete(block);
}

void CheckNew2TypeName(const char* declaration, const char* typeName) {
  size_t nameLength = std::strlen(typeName);
  if (nameLength == 0) return;
  if (std::strlen(declaration) >= nameLength && std::strncmp(declaration, typeName, nameLength) == 0) return;
  ErrorLog << "object declaration doesn't match type name provided to new2.\n"
           << "  -type name: " << typeName << "\n"
           << "  -object dec: " << declaration << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

CMemMan::CMemMan() : critical_(false), head_(nullptr), tracking_(true) {}

CMemMan::~CMemMan() {
  CheckAllGuards();
  {
    CriticalSectionLock hold(lock_);
    tracking_ = false;
  }

  if (critical_) {
    ShowMessageBox(g_mainWindow, "Critical memory management errors occured.\nCheck _error.txt for details.\n",
                   "Critical Memory Error", kMessageBoxOk);
  }

  if (head_) {
    long long total = 0;
    int number = 0;
    for (AllocationRecord* r = head_; r; r = r->next) {
      total += r->size;
      ++number;
    }
    ErrorLog << "\nTotal memory leaks: " << Decimal(total) << " bytes in " << number << " allocation(s).\n"
             << "\n -- List of memory leaks --\n";
    while (head_) {
      AllocationRecord* r = head_;
      ErrorLog << (r->kind == 1 ? "Object \"" : "Array of \"") << r->typeName << "\" (" << r->size
               << " bytes total):\n"
               << "  -Allocated in " << r->file << " line " << r->line << ".\n"
               << "  -call stack of allocation:\n"
               << r->allocationStack << "\n";
      head_ = r->next;
      delete r;  // the record only; the leaked block stays where it is
    }
    std::string text = "Memory was allocated and never freed.\n" + Decimal(total) + " byte(s) leaked.\n" +
                       Decimal(number) + " total unfreed allocations.\nSee _error.txt for details.\n";
    ShowMessageBox(g_mainWindow, text.c_str(), "Memory Leaks", kMessageBoxOk);
  }
}

void CMemMan::AddRecord(int kind, void* object, void* block, int size, const char* typeName, const char* file,
                        int line, int count) {
  if (!tracking_) return;
  CriticalSectionLock hold(lock_);
  if (!object) {
    ErrorLog.Write("Out of memory trying to alloc?  A call to now must have failed...\n");
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return;
  }
  AllocationRecord* r = new AllocationRecord{kind, object, block, size, typeName, file, line, count, std::string(),
                                             head_};
  head_ = r;
  unsigned char* payload = static_cast<unsigned char*>(object);
  std::memset(payload - kGuardBytes, kGuardValue, kGuardBytes);
  std::memset(payload + size, kGuardValue, kGuardBytes);
}

int CMemMan::RemoveRecord(int kind, void* object, const char* file, int line, void** block, int* count) {
  *block = nullptr;
  *count = 0;
  if (!tracking_) return 0;
  CriticalSectionLock hold(lock_);

  int result = kind;
  if (!IsReadableMemory(object, 1)) {
    ErrorLog << "TEST_POINTER: bad pointer tested: " << "addr";
    WriteCallStack(ErrorLog, "\n  -call stack:\n");
  }

  if (!object) {
    critical_ = true;
    ErrorLog << "Error: delete being used on a null pointer.\n"
             << "  -delete call made in " << file << " line " << line << ".\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return 0;
  }

  AllocationRecord** link = &head_;
  while (*link && (*link)->object != object) link = &(*link)->next;
  AllocationRecord* r = *link;

  if (!r) {
    critical_ = true;
    ErrorLog << "Error: delete used on memory that doesn't exist.\n"
             << "  -delete call made in " << file << " line " << line << "\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    ErrorLog.Write("\n");
    return 0;
  }

  if (kind != r->kind) {
    critical_ = true;
    ErrorLog << "Error: Wrong delete operator used when freeing memory.\n"
             << (r->kind == 1 ? "  -Delete array used on memory allocated with new (non-array).\n"
                              : "  -Delete (non-array) used on memory allocated with new array.\n")
             << "  -delete call made in " << file << " line " << line << ".\n"
             << "  -call made on memory that was allocated in " << r->file << " line " << r->line << ".\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    result = r->kind;  // destroyed as it was made
  }

  if (CheckGuards(r->block, r->size)) {
    critical_ = true;
    ErrorLog << "  -object: " << r->typeName << "\n"
             << "  -Allocated in " << r->file << " line " << r->line << ".\n"
             << "  -Call stack for allocation:\n"
             << r->allocationStack << "  -Call stack for this delete:\n"
             << CurrentStackWithoutFirstLine() << "\n\n";
  }

  *count = r->count;
  *block = r->block;
  *link = r->next;
  delete r;
  return result;
}

bool CMemMan::CheckGuards(void* block, int size) {
  // GCC has no structured exceptions: a guard that cannot be read is found
  // by asking first, and reported as the fault it would have been.
  const unsigned char* before = static_cast<const unsigned char*>(block);
  const unsigned char* after = before + kGuardBytes + size;
  bool damaged = false;
  const struct {
    const unsigned char* bytes;
    const char* damage;
    const char* crash;
  } sides[2] = {
      {before, "WARNING: Damage to memory BEFORE an allocation.\n",
       "WARNING: CRASH trying to verify the padding BEFORE an allocation.\n"},
      {after, "WARNING: Damage to memory AFTER an allocation.\n",
       "WARNING: CRASH trying to verify the padding AFTER an allocation.\n"},
  };
  for (const auto& side : sides) {
    if (!IsReadableMemory(side.bytes, kGuardBytes)) {
      ErrorLog.Write(side.crash);
      damaged = true;
      continue;
    }
    for (int i = 0; i < kGuardBytes; ++i) {
      if (side.bytes[i] != kGuardValue) {
        ErrorLog.Write(side.damage);
        damaged = true;
        break;
      }
    }
  }
  return damaged;
}

void CMemMan::CheckAllGuards() {
  if (!tracking_) return;
  CriticalSectionLock hold(lock_);
  for (AllocationRecord* r = head_; r; r = r->next) {
    if (!CheckGuards(r->block, r->size)) continue;
    critical_ = true;
    ErrorLog << "  -object: " << r->typeName << "\n"
             << "  -Allocated in " << r->file << " line " << r->line << ".\n"
             << "  -Call stack for allocation:\n"
             << r->allocationStack << "  -Call stack for this check:\n"
             << CurrentStackWithoutFirstLine() << "\n\n";
  }
}

int CMemMan::LiveRecordCount() {
  if (!tracking_) return 0;
  CriticalSectionLock hold(lock_);
  int n = 0;
  for (AllocationRecord* r = head_; r; r = r->next) ++n;
  return n;
}

bool CMemMan::FindRecord(const void* object, AllocationRecord* out) {
  if (!tracking_) return false;
  CriticalSectionLock hold(lock_);
  for (AllocationRecord* r = head_; r; r = r->next)
    if (r->object == object) {
      *out = *r;
      out->next = nullptr;
      return true;
    }
  return false;
}

QV_STARTUP_MARK(kRowMemMan, "g_memMan");
CMemMan g_memMan QV_STARTUP(kRowMemMan);
