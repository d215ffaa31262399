// Tracked allocation. Every object of the program's own is made with new2 and
// freed with delete2 (delete2_array for arrays): the memory manager records
// each allocation with its type name, file and line, puts guard bytes around
// it, catches deletes of null, of pointers it never handed out and in the
// wrong form, and lists every leak when the program ends.
#pragma once
#include <atomic>
#include <cstddef>
#include <new>
#include <string>

#include "CriticalSection.h"

struct AllocationRecord {
  int kind;  // 1 object, 2 array
  void* object;
  void* block;
  int size;  // payload bytes, all elements for an array
  std::string typeName;
  std::string file;
  int line;
  int count;
  std::string allocationStack;  // left empty at registration
  AllocationRecord* next;
};

class CMemMan {
 public:
  enum : int { kGuardBytes = 8, kGuardValue = 0xA5 };

  CMemMan();
  // Guard sweep and leak report; tracking ends here.
  virtual ~CMemMan();

  void AddRecord(int kind, void* object, void* block, int size, const char* typeName, const char* file, int line,
                 int count);
  // The kind with which the caller must destroy (0: nothing), and the block
  // to free and the element count.
  int RemoveRecord(int kind, void* object, const char* file, int line, void** block, int* count);
  // True when a guard byte before or after the payload is damaged.
  bool CheckGuards(void* block, int size);
  void CheckAllGuards();

  bool IsTracking() const { return tracking_.load(); }
  bool HasCriticalError() const { return critical_; }
  int LiveRecordCount();
  // A copy of the live record of this object (or array); false when it is
  // not tracked.
  bool FindRecord(const void* object, AllocationRecord* out);

 private:
  CMemMan(const CMemMan&) = delete;
  CMemMan& operator=(const CMemMan&) = delete;

  bool critical_;
  AllocationRecord* head_;
  // Zero (off) before the constructor runs and after the destructor: tracked
  // calls made outside the manager's life then leave its lock alone.
  std::atomic<bool> tracking_;
  CriticalSection lock_;
};

extern CMemMan g_memMan;

// Logs when the declaration text written at the site does not begin with the
// type name; the allocation goes on in any case.
void CheckNew2TypeName(const char* declaration, const char* typeName);

// Block of size + 2 guards from the global allocator; null when the size
// cannot be represented or the allocator fails.
void* AllocTrackedBlock(size_t payloadBytes);
void FreeTrackedBlock(void* block);

template <class T>
T* TrackNew(T* object, void* block, const char* typeName, const char* file, int line) {
  g_memMan.AddRecord(1, object, block, static_cast<int>(sizeof(T)), typeName, file, line, 1);
  return object;
}

template <class T>
T* TrackNewArray(T* object, void* block, size_t count, const char* typeName, const char* file, int line) {
  g_memMan.AddRecord(2, object, block, static_cast<int>(sizeof(T) * count), typeName, file, line,
                     static_cast<int>(count));
  return object;
}

template <class T>
void TrackDelete(T* object, int kind, const char* file, int line) {
  void* block = nullptr;
  int count = 0;
  int how = g_memMan.RemoveRecord(kind, const_cast<void*>(static_cast<const volatile void*>(object)), file, line,
                                  &block, &count);
  if (how == 1) {
    object->~T();  // virtual when T's destructor is
  } else if (how == 2) {
    for (int i = 0; i < count; ++i) object[i].~T();
  }
  FreeTrackedBlock(block);
}

// new2(Type, Type(arguments)): the declaration is the constructor call as
// written at the site; its text must begin with the type's name.
#define new2(type, declaration)                                                                    \
  ([&]() -> type* {                                                                                \
    CheckNew2TypeName(#declaration, #type);                                                        \
    void* qvBlock_ = AllocTrackedBlock(sizeof(type));                                              \
    type* qvObject_ = qvBlock_ ? ::new (static_cast<char*>(qvBlock_) + CMemMan::kGuardBytes) declaration \
                               : nullptr;                                                          \
    return TrackNew<type>(qvObject_, qvBlock_, #type, __FILE__, __LINE__);                         \
  }())

// new2_array(Type, count): count default-constructed elements.
#define new2_array(type, count)                                                                    \
  ([&]() -> type* {                                                                                \
    size_t qvCount_ = static_cast<size_t>(count);                                                  \
    void* qvBlock_ = qvCount_ <= (0x7fffffe0u / sizeof(type)) ? AllocTrackedBlock(sizeof(type) * qvCount_) \
                                                             : nullptr;                            \
    type* qvObject_ = nullptr;                                                                     \
    if (qvBlock_) {                                                                                \
      qvObject_ = reinterpret_cast<type*>(static_cast<char*>(qvBlock_) + CMemMan::kGuardBytes);    \
      for (size_t qvI_ = 0; qvI_ < qvCount_; ++qvI_) ::new (qvObject_ + qvI_) type();              \
    }                                                                                              \
    return TrackNewArray<type>(qvObject_, qvBlock_, qvCount_, #type, __FILE__, __LINE__);      \
  }())

#define delete2(object) TrackDelete((object), 1, __FILE__, __LINE__)
#define delete2_array(object) TrackDelete((object), 2, __FILE__, __LINE__)
