// CThread on Windows threads.
#include "CThread.h"

#include <windows.h>

#include "CMemMan.h"
#include "LogFile.h"

namespace {
struct ParamData {
  ParamData(CThread* t, ThreadProcedure p, void* param) : thread(t), procedure(p), parameter(param) {}
  CThread* thread;
  ThreadProcedure procedure;
  void* parameter;
};

void* CreateSuspendedThread(ThreadStartRoutine routine, void* parameter) {
  return CreateThread(nullptr, 0, routine, parameter, CREATE_SUSPENDED, nullptr);
}

std::atomic<ThreadCreateCall> s_createCall{CreateSuspendedThread};
}  // namespace

void SetThreadCreateSeam(ThreadCreateCall create) { s_createCall = create ? create : CreateSuspendedThread; }

CThread::CThread(ThreadProcedure procedure, const char* name, void* parameter)
    : handle_(nullptr), stop_(false), running_(false), name_(name ? name : "") {
  ParamData* data = new2(ParamData, ParamData(this, procedure, parameter));
  // Started suspended, so the thread never runs before its handle is stored.
  running_ = true;
  handle_ = s_createCall.load()(StartRoutine, data);
  if (!handle_) {
    running_ = false;
    ErrorLog.Write("CreateThread failed...?!?!\n");
    WriteCallStack(ErrorLog, "Call stack:\n");
    delete2(data);
    return;
  }
  ResumeThread(handle_);
}

unsigned long __stdcall CThread::StartRoutine(void* param) {
  ParamData* data = static_cast<ParamData*>(param);
  CThread* self = data->thread;
  data->procedure(self, data->parameter);
  delete2(data);
  self->running_ = false;
  return 0;
}

CThread::~CThread() {
  if (handle_) {
    stop_ = true;
    int passes = 0;
    bool warned = false;
    for (;;) {
      ResumeThread(handle_);  // a suspended thread could never see the flag
      if (WaitForSingleObject(handle_, 25) == WAIT_OBJECT_0) break;
      if (++passes == 600 && !warned) {
        warned = true;
        ErrorLog << "Warning: Thread still going ~15 seconds after termination request.  It may be stuck.\n"
                 << "  -Thread name: " << name_ << "\n";
        WriteCallStack(ErrorLog, "Call stack of dtor waiting loop:\n");
      }
    }
    CloseHandle(handle_);
    handle_ = nullptr;
  }
}

unsigned long CThread::Suspend() { return handle_ ? SuspendThread(handle_) : static_cast<unsigned long>(-1); }

unsigned long CThread::Resume() { return handle_ ? ResumeThread(handle_) : static_cast<unsigned long>(-1); }

bool CThread::SetPriority(int priority) { return handle_ && SetThreadPriority(handle_, priority); }
