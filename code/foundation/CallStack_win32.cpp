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

class SymbolHandler {
 public:
  SymbolHandler() : process_(GetCurrentProcess()), ready_(false) {
    std::lock_guard<std::mutex> hold(s_dbghelpLock);
    // Line numbers are what make a stack useful; Wine's dbghelp, unlike
    // Windows', loads them only when asked.
    DWORD options = SymGetOptions();
    if ((options & (SYMOPT_UNDNAME | SYMOPT_LOAD_LINES)) != (SYMOPT_UNDNAME | SYMOPT_LOAD_LINES))
      SymSetOptions(options | SYMOPT_UNDNAME | SYMOPT_LOAD_LINES);
    if (SymInitialize(process_, nullptr, TRUE)) {
      ready_ = true;
    } else {
      ErrorLog.Write("Failed to initialize symbol information  Stack/symbol trace will be unavailable.\n");
    }
  }
  ~SymbolHandler() {
    std::lock_guard<std::mutex> hold(s_dbghelpLock);
    if (ready_) SymCleanup(process_);
    // The leak report runs after this, and must then get empty stacks
    // rather than walk with a handler that is gone.
    ready_ = false;
  }
  HANDLE process() const { return process_; }
  bool ready() const { return ready_; }

 private:
  HANDLE process_;
  bool ready_;
};

}  // namespace

QV_STARTUP_MARK(kRowSymbolHandler, "g_symbolHandler");
static SymbolHandler g_symbolHandler QV_STARTUP(kRowSymbolHandler);

bool IsSymbolHandlerReady() {
  std::lock_guard<std::mutex> hold(s_dbghelpLock);
  return g_symbolHandler.ready();
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
  if (!g_symbolHandler.ready()) return out;

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
