// Lock wrapper and its scoped holder. Re-entrant: a thread that holds a lock
// may take it again (the network code relies on it).
#pragma once

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  void Enter();
  void Leave();

 private:
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  // Room for the platform's lock record (CRITICAL_SECTION, or a recursive
  // mutex natively) without its header here.
  alignas(void*) unsigned char storage_[64];
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(&section) { section_->Enter(); }
  ~CriticalSectionLock() { section_->Leave(); }

 private:
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  CriticalSection* section_;
};
