// Base of every handle to a reference-counted resource record. Handles that
// share a record share the resource; the last one to let go frees it. Each
// record type has a registry of its live records, so resources can be found
// again by a key (textures by file name, models by name).
//
// The record type's first field is its reference count (int refCount). Each
// record type's owner defines the registry accessor:
//   template <> std::list<TextureRecord*>& SharedResource<TextureRecord>::Registry() { ... }
#pragma once
#include <list>

#include "CMemMan.h"
#include "LogFile.h"

template <class ResType>
class SharedResource {
 public:
  SharedResource() : record_(nullptr) {}
  SharedResource(const SharedResource& other) : record_(nullptr) { Share(other.record_); }
  SharedResource& operator=(const SharedResource& other) {
    if (this != &other) Share(other.record_);
    return *this;
  }
  // Derived handles call SRFree in their own destructors, while their Free
  // can still run; a record still held here is reported and leaked.
  // noexcept(false): a derived handle may throw from its destructor (a
  // resource that outlives the graphics device), and that throw must reach
  // the caller's catch rather than end the program.
  virtual ~SharedResource() noexcept(false) {
    if (record_) {
      ErrorLog.Write(
          "Warning: Base (SharedResource) being destructed, but resource still allocated.  Did child not call "
          "SRFree in destructor?\n");
      WriteCallStack(ErrorLog, "  -call stack:\n");
    }
  }

  // Releases what the record owns outside memory, just before the record is
  // deleted at its last release.
  virtual void Free() = 0;

  // Holds the given record (may be null). The new record is counted before
  // the old one is let go, so sharing the record this handle alone holds
  // neither frees it nor touches it after it is gone.
  void Share(ResType* record) {
    if (record) ++record->refCount;
    SRFree();
    record_ = record;
  }

  // A fresh record, counted once and registered.
  void SRAlloc() {
    SRFree();
    ResType* record = new2(ResType, ResType);
    if (!record) return;
    record->refCount = 1;
    Registry().push_back(record);
    record_ = record;
  }

  void SRFree() {
    if (!record_) return;
    if (--record_->refCount > 0) {
      record_ = nullptr;
      return;
    }
    std::list<ResType*>& registry = Registry();
    bool found = false;
    for (auto it = registry.begin(); it != registry.end(); ++it) {
      if (*it == record_) {
        registry.erase(it);
        found = true;
        break;
      }
    }
    if (!found) {
      ErrorLog.Write("Internal error in SharedResource, SRFree()...");
      WriteCallStack(ErrorLog, "  -call stack:\n");
    }
    Free();
    delete2(record_);
    record_ = nullptr;
  }

  ResType* Record() const { return record_; }

  static std::list<ResType*>& Registry();

 protected:
  ResType* record_;
};
