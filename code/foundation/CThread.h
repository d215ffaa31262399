// A worker thread with a name and a stop flag. The owner asks it to stop by
// destroying the CThread, which waits until the procedure has returned.
#pragma once
#include <atomic>
#include <string>

class CThread;
typedef void (*ThreadProcedure)(CThread* thread, void* parameter);

// Seam for a failure a healthy machine does not show: tests replace the
// creation of the suspended thread (its handle, null on failure). Null
// restores the real call.
typedef unsigned long(__stdcall* ThreadStartRoutine)(void* parameter);
typedef void* (*ThreadCreateCall)(ThreadStartRoutine routine, void* parameter);
void SetThreadCreateSeam(ThreadCreateCall create);

class CThread {
 public:
  CThread(ThreadProcedure procedure, const char* name, void* parameter);
  // Sets the stop flag and waits (a warning after ~15 s, then on without
  // limit) until the procedure has returned.
  virtual ~CThread();

  bool StopRequested() const { return stop_.load(); }
  // True from a successful start until the procedure has returned.
  bool IsRunning() const { return running_.load(); }
  bool Started() const { return handle_ != nullptr; }

  unsigned long Suspend();
  unsigned long Resume();
  bool SetPriority(int priority);

 private:
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;
  static unsigned long __stdcall StartRoutine(void* param);

  // The owner keeps the handle for the object's whole life and closes it
  // itself, so resuming and waiting never meet a handle the worker closed.
  void* handle_;
  std::atomic<bool> stop_;
  std::atomic<bool> running_;
  std::string name_;
};
