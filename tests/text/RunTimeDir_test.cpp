#include "text/RunTimeDir.h"

#include <gtest/gtest.h>

#include <map>

#include "text/Common.h"

namespace {

// A machine with C:\Windows, C:\Windows\System32 and a fixed clock; the full
// path of a relative path is marked so the tests see which texts reached it.
class TFakeSource : public TMacroSource {
public:
  std::string Value(TMacroValue which) override {
    static const std::map<TMacroValue, std::string> values = {
        {KMvWindowsFolder, "C:\\Windows"},
        {KMvSystemFolder, "C:\\Windows\\System32\\"},  // a trailing backslash is dropped
        {KMvOriginFolder, "E:\\Downloads"},
        {KMvUserName, "Owner"}};
    const auto it = values.find(which);
    return it == values.end() ? std::string() : it->second;
  }
  double Now() override { return EncodeDateTime(2026, 3, 5, 14, 7, 9); }
  std::string DateText(const std::string& pattern, double value) override {
    return MacroDateText(pattern, value, "/", ":", "March");
  }
  std::string FullPath(const std::string& path) override { return "[" + path + "]"; }
};

std::string Expand(const std::string& text) {
  TFakeSource source;
  return ExpandMacrosWith(source, text, "\\", true, true);
}

class Macros : public ::testing::Test {
protected:
  void SetUp() override { SetMacroFolders("C:\\Apps\\X", "C:\\Common", ""); }
  void TearDown() override { SetMacroFolders("", "", ""); }
};

}  // namespace

// Folder macros take the separator only where more path follows; relative
// paths, whole or as list items, go to their full paths.
TEST_F(Macros, FoldersSeparatorsAndRelativePaths) {
  const char* cases[][2] = {
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
      {"C:\\A\\B\\..\\c.exe", "[C:\\A\\B\\..\\c.exe]"},
      {"|C:\\A\\..\\x|D:\\y|", "|[C:\\A\\..\\x]|D:\\y|"},
      {",..\\a,b,", ",[..\\a],b,"},
      {"C:\\A\\B\\c.exe", "C:\\A\\B\\c.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], Expand(c[0])) << c[0];
}

TEST_F(Macros, WithoutPathMacrosOnlyValuesAndTheDateAreReplaced) {
  TFakeSource source;
  EXPECT_EQ("<WinDir>\\\\x Owner 2026-03-05",
            ExpandMacrosWith(source, "<WinDir>\\\\x <UserName> <Date=6>", "\\", false, false));
}

// The codes' forms are the date texts' (Dates_test); here what the macro's
// spelling decides.
TEST(MacroDates, SpellingsOfTheMacro) {
  TFakeSource source;
  const char* cases[][2] = {
      {"<Date=#>", "05/March/2026"},
      {"<date=6>", "2026-03-05"},
      {"<Date=9>", "<Date=9>"},
      {"a<Date=6>b<Date=6>", "a2026-03-05b<Date=6>"},
      {"<Date=6", "<Date=6"},
      {"<Date=6x> ok", "<Date=6x> ok"},  // not a date macro: left whole
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], ExpandDateMacro(c[0], source)) << c[0];
}
