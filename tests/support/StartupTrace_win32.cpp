#include "StartupTrace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "foundation/StartupOrder.h"

namespace {

// Built before every global of the table and so torn down after all of
// them: writes the record when the child run asks for it.
struct TraceWriter {
  ~TraceWriter() {
    const char* path = std::getenv("QV_STARTUP_TRACE");
    if (!path || !*path) return;
    if (FILE* f = std::fopen(path, "w")) {
      for (int i = 0; i < StartupEventCount(); ++i) {
        const StartupEvent& e = StartupEventAt(i);
        std::fprintf(f, "%d %c %s\n", e.row, e.built ? 'B' : 'T', e.name);
      }
      std::fclose(f);
    }
  }
};
TraceWriter s_traceWriter __attribute__((init_priority(101)));

}  // namespace

int RunThisProgramInChild(const std::string& testFilter) {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string command =
      std::string("\"") + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=" + testFilter;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  DWORD exitCode = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(pi.hProcess, &exitCode))
    exitCode = static_cast<DWORD>(-1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(exitCode);
}

std::vector<TracedEvent> TraceStartupInChild(const std::string& emptyTestFilter) {
  std::string traceFile = "_startup_trace.txt";
  std::remove(traceFile.c_str());
  SetEnvironmentVariableA("QV_STARTUP_TRACE", traceFile.c_str());
  int exitCode = RunThisProgramInChild(emptyTestFilter);
  SetEnvironmentVariableA("QV_STARTUP_TRACE", nullptr);
  std::vector<TracedEvent> events;
  if (exitCode == -1) return events;
  std::ifstream in(traceFile);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    TracedEvent e;
    char kind;
    fields >> e.row >> kind >> e.name;
    e.built = kind == 'B';
    events.push_back(e);
  }
  return events;
}

const char* StartupRowName(int row) {
  static const char* const kNames[] = {
      nullptr,
      "MessageQueue", "PlayerInfo", "AvatarList", "PortalList", "TransferList", "Palette", "PartColorTables",
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // rows 8-16: in row 7
      "g_textureRecords", "MapGrid", "NetLog", "ServerLineBuffer", "WorldCameraObject", "TileBitGridObject",
      "CameraYaw", "g_modelRegistry", "g_memMan", "g_profiler", "ErrorLog", "StatLog", "g_symbolHandler",
      "TypedCharQueue", "g_keyState", "PreviousKeyState", "RandomSeedAndFileDialogs", "g_networkLock",
      "NetworkLog", "g_sceneStack", "g_removedScenes", "g_sceneStats", "ImmediateVertices", "ShaderLog",
      "VertexDeclarationCache", "g_vertexBufferRecords", "g_indexBufferRecords", "g_renderTextureRecords",
      "g_fontTextures", "DeviceLostCallbacks", "DeviceRestoredCallbacks", "ShutdownCallbacks",
      "AutoShutdownAtExit", "g_graphicsLock", "MeshStatsLog", "g_loadedModels", "g_meshRegistry",
      "g_shaderFiles",
  };
  return row > 0 && row < static_cast<int>(sizeof kNames / sizeof kNames[0]) ? kNames[row] : nullptr;
}

void ExpectTableOrder(const std::vector<TracedEvent>& events, std::initializer_list<int> rows) {
  std::vector<TracedEvent> built, tornDown;
  for (const TracedEvent& e : events) (e.built ? built : tornDown).push_back(e);
  std::set<int> builtRows;
  for (size_t i = 0; i < built.size(); ++i) {
    const char* expected = StartupRowName(built[i].row);
    ASSERT_NE(expected, nullptr) << built[i].row;
    EXPECT_EQ(built[i].name, expected);
    if (i > 0) {
      EXPECT_LT(built[i - 1].row, built[i].row) << built[i].name;
    }
    builtRows.insert(built[i].row);
  }
  for (int row : rows) EXPECT_TRUE(builtRows.count(row)) << row;
  ASSERT_EQ(tornDown.size(), built.size());
  for (size_t i = 0; i < built.size(); ++i) EXPECT_EQ(tornDown[i].name, built[built.size() - 1 - i].name);
}
