// Windows' rules for file names from the network: device names and plain
// names.
#include <gtest/gtest.h>

#include "FormatTestSupport.h"
#include "game/formats/FileNames.h"

namespace {

TEST(FileNames, DeviceNamesInEveryFormAndNamesThatOnlyLookLikeThem) {
  for (const std::string& name : DeviceNameForms()) {
    EXPECT_TRUE(IsDeviceName(name)) << name;
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  }
  for (const std::string& name : NearDeviceNames()) {
    EXPECT_FALSE(IsDeviceName(name)) << name;
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  }
}

TEST(FileNames, PlainNames) {
  for (const char* name :
       {"default.map", "a b.txt", ".hidden", "x..y", "\xe9t\xe9.txt", "Ann's (1) #2 & +!.map", "~", "a=b;c,d"})
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  const std::string bad[] = {"",     ".",     "..",  "...", ". .",   "a.",   "a ",
                             "a\\b", "a/b",   "C:x", "a:b", "tab\t", "\x1f", "\x7f",
                             "*",    "what?", "q\"", "<",   ">",     "|",    std::string("a\0b", 3)};
  for (const std::string& name : bad) EXPECT_FALSE(IsPlainFileName(name)) << name;
}

}  // namespace
