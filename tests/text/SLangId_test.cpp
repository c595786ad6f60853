// Language-name table, locale numbers, record choice and key lookup.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "payload/UnPack.h"
#include "text/KSUB.h"
#include "text/LangRes0.h"
#include "text/SLangId.h"

namespace {

std::string Record(const std::string& name, const std::vector<std::string>& entries) {
  std::string r = "\x01" + name + "\x01";
  for (const std::string& e : entries) r += e + "\x01";
  return r;
}

std::string Block(const std::vector<std::string>& records) {
  std::string b = "\x02";
  for (const std::string& r : records) b += r + "\x02";
  return b;
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

TEST(LanguageNames, FirstEntryContainingTheNumberWins) {
  const struct {
    int number;
    const char* name;
  } cases[] = {{9, "ENGLISH"},
               {26, "CROATIAN"},  // shared with SERBIAN: the earlier entry
               {2052, "CHINESE(SIMPLIFIED)"},
               {43, "DUTCH(STANDARD)"},  // inside longer numbers
               {40, ""},
               {0, ""}};
  for (const auto& c : cases) EXPECT_EQ(GetLanguageName(c.number), c.name) << c.number;
}

TEST_F(LangChoice, LocaleNumbersComeFromTheLanguageIdentifier) {
  auto numbers = [](const TUserLocale& l) {
    return std::make_tuple(l.LocaleId, l.PrimaryLanguage, l.SubLanguage);
  };
  EXPECT_EQ(numbers(LocaleFromId(0)), std::make_tuple(0x0409u, 9, 1));
  // The sort identifier above the language identifier is not part of it.
  EXPECT_EQ(numbers(LocaleFromId(0x00020804)), std::make_tuple(0x00020804u, 4, 2));
  SetUserLocale(0x041A);
  EXPECT_EQ(GetCurrentLanguageName(), "CROATIAN");
}

TEST_F(LangChoice, ExactNameWinsIgnoringCaseAndBlanksFirstInStoredOrder) {
  SetUserLocale(0x040C);  // French
  EXPECT_EQ(
      LangStrFromBlock(Block({Record("English", {"s0=Hello"}), Record("  french ", {"s0=Bonjour"}),
                              Record("FRENCH", {"s0=Second"})}),
                       "s0", "def"),
      "Bonjour");
}

TEST_F(LangChoice, FallbacksAreTheSingleRecordThenEnglishThenTheStarMarker) {
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X", {"a=1"})}), "JAPANESE"), Record("X", {"a=1"}));
  EXPECT_EQ(
      ChooseLanguageRecord(Block({Record("X", {"a=1"}), Record("english", {"a=2"})}), "JAPANESE"),
      Record("english", {"a=2"}));
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X", {}), Record("Y", {})}), ""), "*");
  EXPECT_EQ(SelectedLanguageRecord(""), "*");
  EXPECT_EQ(LangStrFromBlock("", "s0", "Korvix"), "Korvix");
}

TEST_F(LangChoice, ChoiceIsMadeOncePerProcessEvenWhenItFoundNothing) {
  const std::string first = Block({Record("English", {"s0=First"})});
  const std::string second = Block({Record("English", {"s0=Second"})});
  EXPECT_EQ(LangStrFromBlock(first, "s0", "def"), "First");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "First");
  ResetLanguageChoice();
  EXPECT_EQ(LangStrFromBlock("", "s0", "def"), "def");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "def");
}

TEST_F(LangChoice, KeysMatchWholeAndEmptyValuesAreKept) {
  const std::string block = Block(
      {Record("English", {"s10=Downloading", "s1=", "Confirm   =Sure", "s2=a =b", "s12=x=y"})});
  EXPECT_EQ(LangStrFromBlock(block, "s10", "def"), "Downloading");
  EXPECT_EQ(LangStrFromBlock(block, "s1", "Extracting Files..."), "");  // not s10, not default
  EXPECT_EQ(LangStrFromBlock(block, "CONFIRM", "def"), "Sure");
  EXPECT_EQ(LangStrFromBlock(block, "s2", "def"), "a=b");  // blanks before "=" fold everywhere
  EXPECT_EQ(LangStrFromBlock(block, "s12=", "def"), "x=y");
  EXPECT_EQ(LangStrFromBlock(block, "s3", "def"), "def");
}

TEST_F(LangChoice, BuiltInTextsFontValuesAndReaderDefaults) {
  EXPECT_EQ(LangDefault("S1"), "Extracting Files...");
  const struct {
    const char* text;
    int want;
  } cases[] = {{" 12 ", 12}, {"-3", -3}, {"x1", 8}, {"", 8}, {"12pt", 8}, {"99999999999", 8}};
  for (const auto& c : cases) EXPECT_EQ(LangIntValue(c.text, 8), c.want) << c.text;
  TGFileInfo none(::testing::TempDir() + "no such container.bin");
  EXPECT_EQ(GetLangText(none, "s0"), "Korvix Installation Suite");
  EXPECT_EQ(none.GetLangCharset(), 0);
  EXPECT_EQ(none.GetLangFontSize(), 8);
  EXPECT_EQ(none.GetLangFontName(), "Tahoma");
}

}  // namespace
