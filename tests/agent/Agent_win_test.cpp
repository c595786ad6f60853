// INI files, descriptor readers and writers, and the path macros with this
// machine's values.
#include <gtest/gtest.h>

#include "agent/StubAU.h"
#include "agent/StubGlob.h"
#include "support/SupportWin.h"
#include "support/Utils.h"
#include "text/Common.h"
#include "text/RunTimeDir.h"

TEST(Ini, DefaultsForWhatIsMissingOrBadAndWritesNeedSectionAndKey) {
  ScratchDir d("korvix_ini");
  const std::string f = d / "a.ini";
  WriteTextFile(f, "[S]\r\nempty=\r\nq = \"  x \" \r\nnum=12abc\r\nneg= -7 \r\n", 0, false);
  struct {
    const char* Section;
    const char* Key;
    const char* Expected;
  } cases[] = {{"S", "empty", "def"}, {"S", "missing", "def"}, {"S", "q", "  x "},
               {"", "q", "def"},      {"S", "", "def"},        {"T", "q", "def"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.Expected, ReadIniString(f, c.Section, c.Key, "def")) << c.Section << "/" << c.Key;
  EXPECT_EQ("def", ReadIniString(d / "none.ini", "S", "q", "def"));
  EXPECT_EQ(5, ReadIniInt(f, "S", "num", 5));
  EXPECT_EQ(-7, ReadIniInt(f, "S", "neg", 5));

  // Writes need file, section and key; long values come back whole.
  const std::string w = d / "w.ini";
  EXPECT_FALSE(WriteIniString(w, "", "k", "v") || WriteIniString(w, "S", "", "v") ||
               WriteIniString("", "S", "k", "v") || FileExists(w));
  EXPECT_TRUE(WriteIniInt(w, "S", "big", -9000000000LL));
  EXPECT_EQ(-9000000000LL, ReadIniInt(w, "S", "big", 0));
  const std::string value(20000, 'v');
  ASSERT_TRUE(WriteIniString(w, "S", "k", value));
  EXPECT_EQ(value, ReadIniString(w, "S", "k", ""));
}

class DescriptorFiles : public ::testing::Test {
protected:
  ScratchDir Dir{"korvix_desc"};
  void SetUp() override {
    SetDescriptorFiles(Dir.path + "\\", "Product.info", "Product.original");
    AgentOverrides = TOverrideSet();
  }
  void TearDown() override { AgentOverrides = TOverrideSet(); }
  void Info(const std::string& text) { WriteTextFile(InfoFilePath(), text, 0, false); }
};

TEST_F(DescriptorFiles, SwitchesAndTheirOverrides) {
  Info("[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n");
  EXPECT_TRUE(EffectiveSwitch(KOvConfirmDownload));
  AgentOverrides.Set(KOvConfirmDownload, 0);
  AgentOverrides.Set(KOvConfirmInstall, 1);
  EXPECT_FALSE(EffectiveSwitch(KOvConfirmDownload));
  EXPECT_TRUE(EffectiveSwitch(KOvConfirmInstall));
  EXPECT_FALSE(EffectiveSwitch(KOvAskBeforeProbe));
}

TEST_F(DescriptorFiles, SizeTestTakesTheLocalUpdateOrInformFile) {
  CreateDirectoryA((Dir / "srv").c_str(), nullptr);
  WriteTextFile(Dir / "srv\\Upd.exe", std::string(1000099, 'x'), 0, false);
  WriteTextFile(Dir / "srv\\Page.htm", std::string(1000100, 'x'), 0, false);
  Info("[NewSetup]\r\nDownloadURL_UPDATE=" + Dir / "srv" +
       "\r\nNameOfUpdateFile=sub\\Upd.exe\r\nSizeOfUpdateFile=1000000\r\n"
       "[AutoInform]\r\nNameOfInformFile=Page.htm\r\nSizeOfInformFile=1000000\r\n");
  EXPECT_TRUE(UpdateSizeOK(false, ""));
  WriteIniString(InfoFilePath(), "General", "AutoInform", "1");
  EXPECT_FALSE(UpdateSizeOK(false, ""));
  WriteIniString(InfoFilePath(), "General", "AutoInform", "0");
  WriteIniString(InfoFilePath(), "NewSetup", "DownloadURL_UPDATE", "http://127.0.0.1:9/u");
  EXPECT_TRUE(UpdateSizeOK(true, Dir / "srv"));  // test mode takes its own base
}

// The macros' rules run against a fake (RunTimeDir_test); here the folders
// of this machine reach them.
TEST(MacrosHere, FoldersOfThisMachine) {
  EXPECT_EQ(TempFolder(false), ExpandMacros("<TempDir>", "\\", true, true));
  for (const char* m : {"<UserDir>", "<UserAppDataDir>", "<AllUsersDesktopDir>", "<FontDir>"}) {
    const std::string v = ExpandMacros(m, "\\", false, true);
    EXPECT_FALSE(v.empty() || v.back() == '\\' || v[0] == '<') << m << " = " << v;
  }
  // The user's folder is the parent of the documents folder.
  const std::string docs = ExpandMacros("<MyDocumentsDir>", "\\", false, true);
  EXPECT_EQ(docs.substr(0, docs.rfind('\\')), ExpandMacros("<UserDir>", "\\", false, true));
}

TEST_F(DescriptorFiles, NothingFetchedIsNoDownload) {
  std::string error;
  EXPECT_FALSE(DownloadFileAU(Dir / "srv", "Upd.exe", 2, error));
  EXPECT_NE("", error);
  EXPECT_FALSE(FileExists(ProgramFolder(true) + "Upd.exe"));
}
