// Windows side of the utilities: folders, file length, version query and the
// start-up seed and dialog records.
#include <windows.h>
#include <commdlg.h>
#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <cstdlib>

#include "Platform.h"
#include "Utility.h"

void MakeDirectory(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

bool PlatformDocumentsFolder(std::string* folder) {
  char path[MAX_PATH];
  // The documents folder, created when missing.
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path))) return false;
  *folder = path;
  return true;
}

long GetFileLength(const std::string& path) {
  int fd = _open(path.c_str(), _O_BINARY | _O_SEQUENTIAL);
  if (fd == -1) return 0;
  long length = _filelength(fd);
  _close(fd);
  return length < 0 ? 0 : length;
}

int GetOsVersion() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  return OsVersionCode(info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId);
}

namespace {
// Zero until the start-up global fills them.
char s_dialogFileName[511];
OPENFILENAMEA s_openDialog;
OPENFILENAMEA s_saveDialog;

void PrepareDialog(OPENFILENAMEA* dialog) {
  dialog->lStructSize = sizeof *dialog;
  dialog->hwndOwner = g_mainWindow;
  dialog->hInstance = GetModuleHandleA(nullptr);
  dialog->lpstrFile = s_dialogFileName;
  dialog->nMaxFile = sizeof s_dialogFileName;
}
}  // namespace

void SeedRandomAndPrepareFileDialogs() {
  std::srand(timeGetTime());
  PrepareDialog(&s_openDialog);
  PrepareDialog(&s_saveDialog);
}

const tagOFNA* OpenFileDialogRecord() { return &s_openDialog; }
const tagOFNA* SaveFileDialogRecord() { return &s_saveDialog; }
