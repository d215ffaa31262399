// Player files: the generator's characters and the reader's quirks.
#include <gtest/gtest.h>

#include "FormatTestSupport.h"
#include "game/formats/PlayerFile.h"
#include "TestSupport.h"

namespace {

std::string PutIni(const std::string& text) {
  ResetFolder("players_test");
  WriteFileBytes("players_test/test.ini", text);
  return "players_test\\test.ini";
}

TEST(PlayerFile, GeneratedCharacters) {
  struct Case {
    const char* file;
    const char* name;
    const char* password;
    const char* colors;
    const char* desc;
    int spec1, spec2;
  };
  const Case cases[] = {
      {"Alice.ini", "Alice", "wonderland", "%)'#$*+,-.", "A curious traveller.", 1, 2},
      {"Corvin.ini", "Corvin", "caw caw", "+,-./01234", "Collects shiny things.", 3, 0},
      {"lfonly.ini", "Unix", "pw", "abcdefghij", "Line feeds only.", 0, 0},
  };
  for (const Case& c : cases) {
    PlayerInfo info;
    info.Spec1 = info.Spec2 = 99;
    LogTail log;
    EXPECT_TRUE(LoadPlayerIni(FixturePath(std::string("player/") + c.file), info)) << c.file;
    EXPECT_EQ(log.Text(), "") << c.file;
    EXPECT_EQ(info.Name, c.name);
    EXPECT_EQ(info.Password, c.password);
    EXPECT_EQ(info.Colors, c.colors);
    EXPECT_EQ(info.Desc, c.desc);
    EXPECT_EQ(info.Spec1, c.spec1);
    EXPECT_EQ(info.Spec2, c.spec2);
  }
}

TEST(PlayerFile, KeysAreFoundAnywhereButValuedFromTheLineStart) {
  PlayerInfo info;
  EXPECT_TRUE(LoadPlayerIni(PutIni("V1.6\nNick Name=x\nPassword=p\nColors=c\n"
                                   "Desc=has Name= and Colors= in it\nSpec=42\nPassword=second\n"),
                            info));
  EXPECT_EQ(info.Name, "Name=x");  // from position 5 of the line
  EXPECT_EQ(info.Desc, "has Name= and Colors= in it");
  EXPECT_EQ(info.Colors, "c");
  EXPECT_EQ(info.Password, "second");  // a later line replaces
  EXPECT_EQ(info.Spec1, 4);
  EXPECT_EQ(info.Spec2, 2);
}

TEST(PlayerFile, IncompleteFiles) {
  const std::string complete = "Name=n\nPassword=p\nColors=c\nDesc=d\nSpec=12\n";
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"Spec line of six characters", "V1.6\nName=n\nPassword=p\nColors=c\nDesc=d\nSpec=1\n"},
      {"empty second line", "V1.6\n\n" + complete},
      {"key after an empty line", "V1.6\nName=n\nPassword=p\nColors=c\nDesc=d\n\nSpec=12\n"},
      {"no Desc", "V1.6\nName=n\nPassword=p\nColors=c\nSpec=12\n"},
  };
  for (const Case& c : cases) {
    PlayerInfo info;
    std::string path = PutIni(c.text);
    LogTail log;
    EXPECT_FALSE(LoadPlayerIni(path, info)) << c.what;
    EXPECT_EQ(log.Text(), "Error: Could not load all vital data fields from player .ini: " + path + "\n") << c.what;
  }
  // What was read stays written.
  PlayerInfo info;
  LoadPlayerIni(PutIni(cases[3].text), info);
  EXPECT_EQ(info.Name, "n");
  EXPECT_EQ(info.Spec1, 1);
}

TEST(PlayerFile, VersionLine) {
  const std::string settings = "Name=n\nPassword=p\nColors=c\nDesc=d\nSpec=12\n";
  for (const char* version : {"V1.6", "V1.60", "V1.6 and more"}) {
    PlayerInfo info;
    LogTail log;
    EXPECT_TRUE(LoadPlayerIni(PutIni(std::string(version) + "\n" + settings), info)) << version;
    EXPECT_EQ(log.Text(), "") << version;
  }
  for (const char* version : {"V1.5", "V1.", ""}) {
    PlayerInfo info;
    std::string path = PutIni(std::string(version) + "\n" + settings);
    LogTail log;
    EXPECT_TRUE(LoadPlayerIni(path, info)) << version;
    EXPECT_EQ(log.Text(), "Warning: player ini file \"" + path + "\" not a recognized version.\n") << version;
  }
}

TEST(PlayerFile, SpecCharactersAreAnyCharacterThatEncodesPrintably) {
  const std::string settings = "V1.6\nName=n\nPassword=p\nColors=c\nDesc=d\n";
  struct Accepted {
    std::string lines;
    int spec1, spec2;
  };
  const Accepted accepted[] = {
      {"Spec=42\n", 4, 2},
      {"Spec=Az\n", 17, 74},
      {"Spec=\xe9~\n", -71, 78},
      {"Spec=\x7f\xd1\n", 79, -95},
      {"Spec=/1\nSpec=12\n", 1, 2},  // the last line counts
  };
  for (const Accepted& c : accepted) {
    PlayerInfo info;
    LogTail log;
    EXPECT_TRUE(LoadPlayerIni(PutIni(settings + c.lines), info)) << c.lines;
    EXPECT_EQ(log.Text(), "") << c.lines;
    EXPECT_EQ(info.Spec1, c.spec1) << c.lines;
    EXPECT_EQ(info.Spec2, c.spec2) << c.lines;
  }
  // A control character in the file encodes to 0xF1.
  PlayerInfo generated;
  EXPECT_TRUE(LoadPlayerIni(FixturePath("player/controlchar.ini"), generated));
  EXPECT_EQ(generated.Spec1, 1);
  EXPECT_EQ(generated.Spec2, 1 - '0');

  // Characters whose encoding is a control character: the blank to '/',
  // bytes 16 to 31, and 0xB1 to 0xD0.
  for (const char* line : {"Spec=/1", "Spec=1 ", "Spec=!0", "Spec=\x10" "0", "Spec=0\xb1", "Spec=\xd0" "0",
                           "Spec=12\nSpec=1/"}) {
    PlayerInfo info;
    std::string path = PutIni(settings + line + "\n");
    LogTail log;
    EXPECT_FALSE(LoadPlayerIni(path, info)) << line;
    EXPECT_EQ(log.Text(), "Error: player ini file \"" + path +
                              "\" has a Spec= character that would put a control character into the colour line.\n")
        << line;
  }
}

TEST(PlayerFile, MissingFile) {
  PlayerInfo info;
  LogTail log;
  EXPECT_FALSE(LoadPlayerIni("players_test\\nobody.ini", info));
  EXPECT_EQ(log.Text(), "Failed to open player ini file: players_test\\nobody.ini\n");
}

}  // namespace
