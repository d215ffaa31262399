// The Windows side of the utilities: text mode, the version query and the
// start-up records.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "TestSupport.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"

namespace {

TEST(ReadWholeFile, TextModeTurnsCrLfIntoLf) {
  WriteFileBytes("_crlf.txt", "one\r\ntwo\r\n");
  EXPECT_EQ(ReadWholeFile("_crlf.txt", false), "one\ntwo\n");
  EXPECT_EQ(ReadWholeFile("_crlf.txt", true), "one\r\ntwo\r\n");
  std::vector<std::string> lines;
  ReadFileLines(lines, "_crlf.txt");
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
}

TEST(GetOsVersion, ThisSystemIsNewerThanWindows2003) {
  // Wine reports 6.1 (Windows 7); any Windows this program still runs on is
  // past the table's last named version.
  EXPECT_EQ(GetOsVersion(), 9);
}

bool BuiltAtStartup(int row, const char* name) {
  for (int i = 0; i < StartupEventCount(); ++i) {
    const StartupEvent& e = StartupEventAt(i);
    if (e.row == row && e.built) return std::string(e.name) == name;
  }
  return false;
}

TEST(StartupState, SeedAndDialogRecordsArePreparedBeforeTheEntryPoint) {
  EXPECT_TRUE(BuiltAtStartup(kRowRandomSeed, "RandomSeedAndFileDialogs"));
  const OPENFILENAMEA* open = OpenFileDialogRecord();
  const OPENFILENAMEA* save = SaveFileDialogRecord();
  ASSERT_NE(open, nullptr);
  ASSERT_NE(save, nullptr);
  EXPECT_NE(open, save);
  for (const OPENFILENAMEA* dialog : {open, save}) {
    EXPECT_EQ(dialog->lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(dialog->hwndOwner, nullptr);  // no window exists that early
    EXPECT_EQ(dialog->hInstance, GetModuleHandleA(nullptr));
    EXPECT_NE(dialog->lpstrFile, nullptr);
    EXPECT_EQ(dialog->nMaxFile, 511u);
  }
  EXPECT_EQ(open->lpstrFile, save->lpstrFile);  // one shared buffer
}

}  // namespace
