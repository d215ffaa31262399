// Stack walks with dbghelp. The symbol handler is a global built early and
// cleaned up late; dbghelp is not thread-safe, and worker threads take call
// stacks too, so every dbghelp call runs under one lock.
#include "CallStack.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <mutex>

#include "LogFile.h"
#include "StartupOrder.h"

namespace {

std::mutex s_dbghelpLock;

// dbghelp starts with the first call-stack text, not with the program: its
// start walks every module of the process and, under Wine, the loader's own
// libraries, which took seconds before the window could appear, for stacks
// that a run without errors never writes. Then symbols are read only for the
// modules a stack passes through: read for all (every Wine DLL carries its
// debug information) they cost hundreds of megabytes and many seconds.
class SymbolHandler {
 public:
  // The zero state is the one before construction and after the clean-up:
  // stacks taken then stay empty and start nothing.
  enum State { kGone = 0, kNotStarted, kReady, kFailed };

  SymbolHandler() : process_(GetCurrentProcess()), state_(kNotStarted) {}
  ~SymbolHandler() {
    std::lock_guard<std::mutex> hold(s_dbghelpLock);
    if (state_ == kReady) SymCleanup(process_);
    // The leak report runs after this, and must then get empty stacks
    // rather than walk with a handler that is gone.
    state_ = kGone;
  }
  HANDLE process() const { return process_; }
  // Starts dbghelp on first use; the caller holds s_dbghelpLock.
  bool Ready() {
    if (state_ == kNotStarted) Start();
    return state_ == kReady;
  }

 private:
  void Start() {
    // Line numbers are what make a stack useful; Wine's dbghelp, unlike
    // Windows', loads them only when asked.
    const DWORD wanted = SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS;
    DWORD options = SymGetOptions();
    if ((options & wanted) != wanted) SymSetOptions(options | wanted);
    if (SymInitialize(process_, nullptr, TRUE)) {
      state_ = kReady;
    } else {
      state_ = kFailed;
      ErrorLog.Write("Failed to initialize symbol information  Stack/symbol trace will be unavailable.\n");
    }
  }

  HANDLE process_;
  State state_;
};

}  // namespace

QV_STARTUP_MARK(kRowSymbolHandler, "g_symbolHandler");
static SymbolHandler g_symbolHandler QV_STARTUP(kRowSymbolHandler);

bool IsSymbolHandlerReady() {
  std::lock_guard<std::mutex> hold(s_dbghelpLock);
  return g_symbolHandler.Ready();
}

std::string SystemMessageForLastError() {
  char buffer[1001] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 1000, nullptr);
  return std::string(buffer, length);
}

namespace {

void AppendFrameLine(std::string& out, HANDLE process, DWORD64 pc) {
  IMAGEHLP_LINE64 line = {};
  line.SizeOfStruct = sizeof line;
  DWORD displacement = 0;
  bool lineFailed = !SymGetLineFromAddr64(process, pc - 1, &displacement, &line);

  IMAGEHLP_MODULE64 module = {};
  module.SizeOfStruct = sizeof module;
  bool moduleFailed = !SymGetModuleInfo64(process, pc, &module);
  if (!moduleFailed) {
    out += "   ";
    out += module.ModuleName;
  } else {
    out += "  (Error?)";
  }

  if (lineFailed || moduleFailed) {
    out += ": (external code)";
  } else {
    out += ": ";
    alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 2000] = {};
    SYMBOL_INFO* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 2000;
    DWORD64 symbolDisplacement = 0;
    if (SymFromAddr(process, pc, &symbolDisplacement, symbol)) {
      char number[16];
      std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(line.LineNumber));
      out += symbol->Name;
      out += " - ";
      out += line.FileName ? line.FileName : "";
      out += " - Line ";
      out += number;
    } else {
      out += "Unknown (";
      out += LastErrorText();
      out += ")";
    }
  }
  out += "\n";
}

}  // namespace

// Kept out of line so that its frame is the first of the walk.
__attribute__((noinline)) std::string CallStackText() {
  std::string out;
  // Ready is read under the lock that its clean-up at exit holds: a worker
  // still walking then cannot meet a handler that is halfway gone.
  std::lock_guard<std::mutex> hold(s_dbghelpLock);
  if (!g_symbolHandler.Ready()) return out;

  CONTEXT context = {};
  context.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&context);

  STACKFRAME64 frame = {};
#if defined(_M_X64) || defined(__x86_64__)
  const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
  frame.AddrPC.Offset = context.Rip;
  frame.AddrFrame.Offset = context.Rbp;
  frame.AddrStack.Offset = context.Rsp;
#else
  const DWORD machine = IMAGE_FILE_MACHINE_I386;
  frame.AddrPC.Offset = context.Eip;
  frame.AddrFrame.Offset = context.Ebp;
  frame.AddrStack.Offset = context.Esp;
#endif
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Mode = AddrModeFlat;

  HANDLE process = g_symbolHandler.process();
  HANDLE thread = GetCurrentThread();
  int lines = 0;
  while (StackWalk64(machine, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                     SymGetModuleBase64, nullptr) &&
         frame.AddrPC.Offset != 0) {
    AppendFrameLine(out, process, frame.AddrPC.Offset);
    if (++lines == 64) {
      out += "  (Error while walking stack... over 64 walks... ending prematurely)\n";
      break;
    }
  }
  return out;
}
