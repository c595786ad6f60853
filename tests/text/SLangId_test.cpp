// Language numbers, the choice of one record of a language block, key lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/UnPack.h"
#include "text/LangRes0.h"
#include "text/SLangId.h"

namespace {

// A language block "\x02record\x02..." of records "\x01name\x01entry\x01...".
std::string Block(const std::vector<std::string>& records) {
  std::string s = "\x02";
  for (const std::string& r : records) s += r + "\x02";
  return s;
}
std::string Record(const std::string& name, const std::string& entry = "a=1") {
  return "\x01" + name + "\x01" + entry + "\x01";
}

// Every test starts and ends with an undecided choice and an English user locale.
class LangChoice : public ::testing::Test {
protected:
  void SetUp() override {
    ResetLanguageChoice();
    SetUserLocale(0x0409);
  }
  void TearDown() override { SetUp(); }
};

TEST_F(LangChoice, NamesComeFromTheLanguageIdentifierFirstContainingEntryWins) {
  EXPECT_EQ(GetLanguageName(9), "ENGLISH");           // zero-padded to "09"
  EXPECT_EQ(GetLanguageName(26), "CROATIAN");         // shared with SERBIAN: the earlier entry
  EXPECT_EQ(GetLanguageName(43), "DUTCH(STANDARD)");  // inside a longer number
  EXPECT_EQ(GetLanguageName(40), "");
  const TUserLocale sorted = LocaleFromId(0x00020804);  // the sort identifier is not part of it
  EXPECT_EQ(sorted.PrimaryLanguage, 4);
  EXPECT_EQ(sorted.SubLanguage, 2);
  EXPECT_EQ(LocaleFromId(0).LocaleId, 0x0409u);
  SetUserLocale(0x041A);
  EXPECT_EQ(GetCurrentLanguageName(), "CROATIAN");
}

TEST_F(LangChoice, ExactNameThenTheSingleRecordThenEnglishThenTheStarMarker) {
  const std::string french = Record("  french ", "1"), english = Record("english", "2");
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("English"), french, Record("FRENCH")}), "French"),
            french);
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X")}), "JAPANESE"), Record("X"));
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X"), english}), "JAPANESE"), english);
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X"), Record("Y")}), ""), "*");
  EXPECT_EQ(ChooseLanguageRecord("", "ENGLISH"), "*");
}

TEST_F(LangChoice, ChoiceIsMadeOncePerProcessEvenWhenItFoundNothing) {
  const std::string first = Block({Record("English", "s0=First")});
  const std::string second = Block({Record("English", "s0=Second")});
  EXPECT_EQ(LangStrFromBlock(first, "s0", "def"), "First");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "First");
  ResetLanguageChoice();
  EXPECT_EQ(LangStrFromBlock("", "s0", "def"), "def");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "def");
}

TEST(LangValues, FontSizesRejectJunkAndAMissingContainerGivesTheBuiltInTexts) {
  const struct {
    const char* Text;
    int Want;
  } cases[] = {{" 12 ", 12}, {"-3", -3}, {"x1", 8}, {"", 8}, {"12pt", 8}, {"99999999999", 8}};
  for (const auto& c : cases) EXPECT_EQ(LangIntValue(c.Text, 8), c.Want) << c.Text;
  TGFileInfo none(::testing::TempDir() + "no such container.bin");
  EXPECT_EQ(GetLangText(none, "s0"), "Korvix Installation Suite");
  EXPECT_EQ(none.GetLangFontSize(), 8);
}

}  // namespace
