#include "text/RunTimeDir.h"

#include <gtest/gtest.h>

#include "text/Common.h"

namespace {

// A machine with C:\Windows, C:\Windows\System32 and a fixed clock; the full
// path of a relative path is marked so the tests see which texts reached it.
class TFakeSource : public TMacroSource {
public:
  double Clock = EncodeDateTime(2026, 3, 5, 14, 7, 9);
  int Lookups = 0;
  std::string Value(TMacroValue which) override {
    ++Lookups;
    switch (which) {
      case KMvWindowsFolder:
        return "C:\\Windows";
      case KMvSystemFolder:
        return "C:\\Windows\\System32\\";  // a trailing backslash is dropped
      case KMvOriginFolder:
        return "E:\\Downloads";
      case KMvUserName:
        return "Owner";
      default:
        return std::string();
    }
  }
  double Now() override { return Clock; }
  std::string DateText(const std::string& pattern, double value) override {
    return MacroDateText(pattern, value, "/", ":", "March");
  }
  std::string FullPath(const std::string& path) override { return "[" + path + "]"; }
};

std::string Expand(const std::string& text, bool collapse = false, bool paths = true) {
  TFakeSource source;
  return ExpandMacrosWith(source, text, "\\", collapse, paths);
}

struct TMacroCase {
  const char* Text;
  const char* Expected;
};

class Macros : public ::testing::Test {
protected:
  void SetUp() override { SetMacroFolders("C:\\Apps\\X", "C:\\Common", ""); }
  void TearDown() override { SetMacroFolders("", "", ""); }
};

}  // namespace

TEST_F(Macros, FolderMacrosTakeTheSeparatorOnlyWhereMorePathFollows) {
  const TMacroCase cases[] = {
      {"<winDIR>\\system.ini", "C:\\Windows\\system.ini"},
      {"<InstallDir>Program.exe", "C:\\Apps\\X\\Program.exe"},
      {"<InstallDir> /S", "C:\\Apps\\X /S"},
      {"<Application Folder><InstallDir>", "C:\\Apps\\X\\"},
      {"<AbsoluteDir>D:\\Tools\\t.exe", "D:\\Tools\\t.exe"},
      {"|<WinDir>|<InstallDir>|", "|C:\\Windows|C:\\Apps\\X|"},
      {"<WinSysDir>\\a.dll", "C:\\Windows\\System32\\a.dll"},
      {"<InstallAuxDir>a.exe", "\\a.exe"},  // an unset folder leaves the separator
      {"<InstallDrive>|<WinDisk>|<OriginDrive>", "C:\\|C:|E:\\"},
      {"<NoSuchDir>\\a <UserName>", "<NoSuchDir>\\a Owner"},
      {"<EnteredUserName><LastExecutableExitCode>", "0"},
  };
  for (const TMacroCase& c : cases) EXPECT_EQ(c.Expected, Expand(c.Text)) << c.Text;
  SetMacroFolders("D:\\Apps\\", "", "");
  EXPECT_EQ("D:\\|D:", Expand("<InstallDrive>|<InstallDisk>"));
}

TEST_F(Macros, WithoutPathMacrosOnlyValuesAndTheDateAreReplaced) {
  EXPECT_EQ("<WinDir>\\\\x Owner 2026-03-05",
            Expand("<WinDir>\\\\x <UserName> <Date=6>", false, false));
  // No "<": nothing is looked up, only the relative step runs.
  TFakeSource source;
  EXPECT_EQ("C:\\A\\\\B", ExpandMacrosWith(source, "C:\\A\\\\B", "\\", false, true));
  EXPECT_EQ(0, source.Lookups);
}

// The codes' forms are the date texts' (Dates_test); here what the macro's
// spelling decides.
TEST(MacroDates, SpellingsOfTheMacro) {
  TFakeSource source;
  const TMacroCase cases[] = {
      {"<Date=#>", "05/March/2026"},
      {"<date=6>", "2026-03-05"},
      {"<Date=9>", "<Date=9>"},
      {"a<Date=6>b<Date=6>", "a2026-03-05b<Date=6>"},
      {"<Date=6", "<Date=6"},
      {"<Date=6x> ok", "<Date=6x> ok"},  // not a date macro: left whole
  };
  for (const TMacroCase& c : cases)
    EXPECT_EQ(c.Expected, ExpandDateMacro(c.Text, source)) << c.Text;
}

TEST(MacroRelativePaths, WholeTextsAndListItemsGoToFullPaths) {
  const TMacroCase cases[] = {
      {"C:\\A\\B\\..\\c.exe", "[C:\\A\\B\\..\\c.exe]"},
      {"|C:\\A\\..\\x|D:\\y|", "|[C:\\A\\..\\x]|D:\\y|"},
      {",..\\a,b,", ",[..\\a],b,"},
      {"C:\\A\\B\\c.exe", "C:\\A\\B\\c.exe"},
  };
  for (const TMacroCase& c : cases) EXPECT_EQ(c.Expected, Expand(c.Text, true)) << c.Text;
}

TEST(MacroOrigin, SwitchValueOrTheRunningProgram) {
  EXPECT_EQ("C:\\Setup\\S.exe", OriginExeFor("\"C:\\Setup\\S.exe\"", "C:\\p.exe"));
  EXPECT_EQ("C:\\p.exe", OriginExeFor("", "C:\\p.exe"));
}
