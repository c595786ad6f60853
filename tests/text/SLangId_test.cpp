// Language-name table, locale numbers, record choice and key lookup.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "text/KSUB.h"
#include "text/LangRes0.h"
#include "text/SLangId.h"

namespace {

std::string Record(const std::string& name, const std::vector<std::string>& entries)
{
  std::string r = "\x01" + name + "\x01";
  for (const std::string& e : entries) r += e + "\x01";
  return r;
}

std::string Block(const std::vector<std::string>& records)
{
  std::string b = "\x02";
  for (const std::string& r : records) b += r + "\x02";
  return b;
}

// Every test starts with an undecided choice and the given user locale.
class LangChoice : public ::testing::Test {
protected:
  void SetUp() override
  {
    ResetLanguageChoice();
    SetUserLocale(0x0409);
  }
  void TearDown() override { ResetLanguageChoice(); }
};

}  // namespace

TEST(LanguageNames, TableHas51EntriesInSearchOrder)
{
  EXPECT_EQ(SUB::Count(LanguageNameTable), 51);
  EXPECT_EQ(SUB::Item(LanguageNameTable, 0).substr(0, 9), "AFRIKAANS");
  EXPECT_EQ(SUB::Item(LanguageNameTable, -1).substr(0, 16), "SERBIAN(CYRILIC)");
}

TEST(LanguageNames, NumbersFindTheirFirstEntry)
{
  EXPECT_EQ(GetLanguageName(9), "ENGLISH");
  EXPECT_EQ(GetLanguageName(7), "GERMAN");
  EXPECT_EQ(GetLanguageName(1), "ARABIC");
  EXPECT_EQ(GetLanguageName(13), "HEBREW");
  EXPECT_EQ(GetLanguageName(42), "VIETNAMESE");
  // Shared number: the earlier entry wins.
  EXPECT_EQ(GetLanguageName(26), "CROATIAN");
  // Full identifiers reach the four-digit entries.
  EXPECT_EQ(GetLanguageName(2052), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(GetLanguageName(3098), "SERBIAN(CYRILIC)");
  EXPECT_EQ(GetLanguageName(1046), "PORTUGUESE(BRAZIL)");
}

TEST(LanguageNames, SubstringRuleReachesInsideLongerNumbers)
{
  EXPECT_EQ(GetLanguageName(52), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(GetLanguageName(43), "DUTCH(STANDARD)");
  EXPECT_EQ(GetLanguageName(40), "");
  EXPECT_EQ(GetLanguageName(0), "");
  EXPECT_EQ(GetLanguageName(99), "");
}

TEST(UserLocaleValues, DerivedFromTheLocaleIdentifier)
{
  TUserLocale none = LocaleFromId(0);
  EXPECT_EQ(none.LocaleId, 0x0409u);
  EXPECT_EQ(none.PrimaryLanguage, 9);
  EXPECT_EQ(none.SubLanguage, 1);

  TUserLocale german = LocaleFromId(0x0407);
  EXPECT_EQ(german.PrimaryLanguage, 7);
  EXPECT_EQ(german.SubLanguage, 1);

  TUserLocale chinese = LocaleFromId(0x00020804);  // sort id above the language id
  EXPECT_EQ(chinese.LocaleId, 0x00020804u);
  EXPECT_EQ(chinese.PrimaryLanguage, 4);
  EXPECT_EQ(chinese.SubLanguage, 2);

  SetUserLocale(0x041A);  // Croatian
  EXPECT_EQ(GetCurrentLanguageName(), "CROATIAN");
  SetUserLocale(0x0409);
  EXPECT_EQ(GetCurrentLanguageName(), "ENGLISH");
}

TEST_F(LangChoice, ExactNameWinsIgnoringCaseAndBlanks)
{
  SetUserLocale(0x040C);  // French
  std::string block = Block({Record("English", {"s0=Hello"}), Record("  french ", {"s0=Bonjour"}),
                             Record("FRENCH", {"s0=Second"})});
  EXPECT_EQ(LangStrFromBlock(block, "s0", "def"), "Bonjour");
}

TEST_F(LangChoice, SingleRecordIsUsedWhateverItsName)
{
  std::string block = Block({Record("Deutsch", {"s0=Hallo"})});
  EXPECT_EQ(LangStrFromBlock(block, "s0", "def"), "Hallo");
}

TEST_F(LangChoice, EnglishIsTheFallbackAmongSeveral)
{
  SetUserLocale(0x0411);  // Japanese, not in the block
  std::string block = Block({Record("German", {"s0=Hallo"}), Record("english", {"s0=Hello"})});
  EXPECT_EQ(LangStrFromBlock(block, "s0", "def"), "Hello");
}

TEST_F(LangChoice, NoUsableRecordGivesEveryDefault)
{
  std::string block = Block({Record("German", {"s0=Hallo"}), Record("French", {"s0=Bonjour"})});
  EXPECT_EQ(SelectedLanguageRecord(block), "*");
  EXPECT_EQ(LangStrFromBlock(block, "s0", "Korvix"), "Korvix");
  EXPECT_EQ(LangStrFromBlock(block, "Charset", "0"), "0");
}

TEST_F(LangChoice, EmptyBlockGivesDefaults)
{
  EXPECT_EQ(LangStrFromBlock("", "s0", "Korvix"), "Korvix");
  EXPECT_EQ(SelectedLanguageRecord(""), "*");
}

TEST_F(LangChoice, UnknownLanguageUsesOnlyTheFallbacks)
{
  SetUserLocale(0x0428);  // primary 40: no name
  ASSERT_EQ(GetCurrentLanguageName(), "");
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X", {"a=1"})}), ""), Record("X", {"a=1"}));
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X", {"a=1"}), Record("English", {"a=2"})}), ""),
            Record("English", {"a=2"}));
  EXPECT_EQ(ChooseLanguageRecord(Block({Record("X", {}), Record("Y", {})}), ""), "*");
}

TEST_F(LangChoice, ChoiceIsMadeOncePerProcess)
{
  std::string first = Block({Record("English", {"s0=First"})});
  std::string second = Block({Record("English", {"s0=Second"})});
  EXPECT_EQ(LangStrFromBlock(first, "s0", "def"), "First");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "First");
  // A first lookup that found nothing is kept as well.
  ResetLanguageChoice();
  EXPECT_EQ(LangStrFromBlock("", "s0", "def"), "def");
  EXPECT_EQ(LangStrFromBlock(second, "s0", "def"), "def");
}

TEST_F(LangChoice, KeyLookupRules)
{
  std::string block = Block({Record(
      "English", {"s10=Downloading", "s1=", "btntext=|&Ja|&Nein|", "Confirm   =Sure",
                  "s2=a =b", "s12=x=y"})});
  EXPECT_EQ(LangStrFromBlock(block, "BTNTEXT", "def"), "|&Ja|&Nein|");
  EXPECT_EQ(LangStrFromBlock(block, "s10", "def"), "Downloading");
  // s1 is present and empty: not its default, and not the s10 entry.
  EXPECT_EQ(LangStrFromBlock(block, "s1", "Extracting Files..."), "");
  EXPECT_EQ(LangStrFromBlock(block, "Confirm", "def"), "Sure");
  // Blanks before "=" vanish inside values too once the record has a blank.
  EXPECT_EQ(LangStrFromBlock(block, "s2", "def"), "a=b");
  EXPECT_EQ(LangStrFromBlock(block, "s12", "def"), "x=y");
  EXPECT_EQ(LangStrFromBlock(block, "s12=", "def"), "x=y");
  EXPECT_EQ(LangStrFromBlock(block, "s3", "def"), "def");
}

TEST(LangDefaults, TableTextsAndFontValues)
{
  EXPECT_EQ(LangDefault("s0"), "Korvix Installation Suite");
  EXPECT_EQ(LangDefault("S1"), "Extracting Files...");
  EXPECT_EQ(LangDefault("s8"), "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
  EXPECT_EQ(LangDefault("s9"), "");
  EXPECT_EQ(LangDefault("BtnText"), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(SUB::Count(LangDefault("BtnText")), 7);
  EXPECT_EQ(LangDefault("FontName"), "Tahoma");

  EXPECT_EQ(LangIntValue("177", 0), 177);
  EXPECT_EQ(LangIntValue(" 12 ", 8), 12);
  EXPECT_EQ(LangIntValue("-3", 8), -3);
  EXPECT_EQ(LangIntValue("abc", 8), 8);
  EXPECT_EQ(LangIntValue("", 0), 0);
  EXPECT_EQ(LangIntValue("12pt", 8), 8);
  EXPECT_EQ(LangIntValue("99999999999", 8), 8);
}

// ---------------------------------------------------------------------------
// Through the container reader: a file with a payload and one without.

#include <cstdio>

#include "payload/UnPack.h"

namespace {

void AppendRecord(std::string& out, const std::string& data)
{
  uint32_t n = (uint32_t)data.size();
  for (int i = 0; i < 4; ++i) out += char((n >> (8 * i)) & 0xFF);
  out += data;
}

std::string WriteContainer(const std::string& name, const std::string& languageBlock)
{
  std::string bytes = "not an executable, just some leading bytes";
  TTrailer trailer;
  trailer.Bytes[TRL_HEADER_COUNT] = 2;
  trailer.SetU32(TRL_RECORD_AREA, (uint32_t)bytes.size());
  trailer.SetU32(TRL_MAGIC, KContainerMagic);
  trailer.SetU32(TRL_CHECKSUM, 1234);
  trailer.SetU32(TRL_LENGTH, KTrailerSize);
  AppendRecord(bytes, languageBlock);
  AppendRecord(bytes, "|||||");
  bytes.append((const char*)trailer.Bytes, KTrailerSize);
  std::string path = ::testing::TempDir() + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

}  // namespace

TEST_F(LangChoice, ReaderGivesTextsAndFontValues)
{
  std::string path = WriteContainer(
      "lang_hebrew.bin",
      Block({Record("Hebrew", {"Charset=177", "FontSize=10", "FontName=Arial", "s0=Title"})}));
  TGFileInfo info(path);
  ASSERT_TRUE(info.HasPayload());
  EXPECT_EQ(info.GetLangStr("s0", "def"), "Title");
  EXPECT_EQ(info.GetLangCharset(), 177);
  EXPECT_EQ(info.GetLangFontSize(), 10);
  EXPECT_EQ(info.GetLangFontName(), "Arial");
  EXPECT_EQ(GetLangText(info, "s1"), "Extracting Files...");
  std::remove(path.c_str());
}

TEST_F(LangChoice, ReaderWithoutPayloadGivesDefaults)
{
  TGFileInfo info(::testing::TempDir() + "no such container.bin");
  EXPECT_EQ(info.GetLangCharset(), 0);
  EXPECT_EQ(info.GetLangFontSize(), 8);
  EXPECT_EQ(info.GetLangFontName(), "Tahoma");
  EXPECT_EQ(GetLangText(info, "s0"), "Korvix Installation Suite");
}

TEST_F(LangChoice, MalformedFontValuesFallBack)
{
  std::string path = WriteContainer(
      "lang_bad.bin", Block({Record("English", {"Charset=x1", "FontSize=", "FontName="})}));
  TGFileInfo info(path);
  EXPECT_EQ(info.GetLangCharset(), 0);
  EXPECT_EQ(info.GetLangFontSize(), 8);
  EXPECT_EQ(info.GetLangFontName(), "");  // present and empty
  std::remove(path.c_str());
}
