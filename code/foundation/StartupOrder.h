// The fixed order in which the program's globals are built before the entry
// point runs, and torn down (in reverse) after it returns. The order matters:
// logs must exist before anything logs, and the memory manager and profiler
// write their reports during teardown, after everything built later is gone.
//
// GCC orders globals across translation units by init_priority; each global
// of the table is defined with QV_STARTUP(its row). Teardown is registered at
// construction, so it runs in exactly the reverse order.
#pragma once

enum StartupRow {
  kRowMessageQueue = 1,
  kRowPlayerInfo = 2,
  kRowAvatarList = 3,
  kRowPortalList = 4,
  kRowTransferList = 5,
  kRowPalette = 6,
  kRowPartColorTables = 7,  // rows 7-16: the ten part tables, in one object
  kRowTextureRecords = 17,
  kRowMapGrid = 18,
  kRowNetLog = 19,
  kRowServerLineBuffer = 20,
  kRowWorldCamera = 21,
  kRowTileBitGrid = 22,
  kRowCameraYaw = 23,
  kRowModelRegistry = 24,
  kRowMemMan = 25,
  kRowProfiler = 26,
  kRowErrorLog = 27,
  kRowStatLog = 28,
  kRowSymbolHandler = 29,
  kRowTypedCharQueue = 30,
  kRowKeyState = 31,
  kRowPreviousKeyState = 32,
  kRowRandomSeed = 33,
  kRowNetworkLock = 34,
  kRowNetworkLog = 35,
  kRowSceneStack = 36,
  kRowRemovedScenes = 37,
  kRowSceneStats = 38,
  kRowImmediateVertices = 39,
  kRowShaderLog = 40,
  kRowVertexDeclCache = 41,  // Direct3D 9 build only
  kRowVertexBufferRecords = 42,
  kRowIndexBufferRecords = 43,
  kRowRenderTextureRecords = 44,
  kRowFontTextures = 45,
  kRowDeviceLostCallbacks = 46,
  kRowDeviceRestoredCallbacks = 47,
  kRowShutdownCallbacks = 48,
  kRowAutoShutdown = 49,
  kRowGraphicsLock = 50,
  kRowMeshStatsLog = 51,
  kRowLoadedModels = 52,
  kRowMeshRegistry = 53,
  kRowShaderFiles = 54,
  // Globals of one backend only (extension list, shader prelude) come after
  // the table.
  kRowBackendOwn = 60,
};

// Priorities 101..65535 are free for programs; rows leave room between them.
#define QV_STARTUP(row) __attribute__((init_priority(1000 + 10 * (row))))

// Records, in a fixed array that needs no construction, the order in which
// the table's globals are built and torn down, so that order can be checked.
struct StartupEvent {
  int row;
  bool built;  // false: torn down
  const char* name;
};

// A mark defined just before a global, with the same row, notes the global's
// construction and (after the global is gone) its teardown.
class StartupMark {
 public:
  StartupMark(int row, const char* name);
  ~StartupMark();

 private:
  int row_;
  const char* name_;
};

#define QV_STARTUP_PASTE2(a, b) a##b
#define QV_STARTUP_PASTE(a, b) QV_STARTUP_PASTE2(a, b)
// Put right before the global's definition:
//   QV_STARTUP_MARK(kRowErrorLog, "ErrorLog");
//   LogFile ErrorLog QV_STARTUP(kRowErrorLog)("_error.txt", 1);
#define QV_STARTUP_MARK(row, name) \
  static StartupMark QV_STARTUP_PASTE(s_startupMark, __LINE__) QV_STARTUP(row)(row, name)

int StartupEventCount();
const StartupEvent& StartupEventAt(int index);
