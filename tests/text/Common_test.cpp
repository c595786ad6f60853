#include <gtest/gtest.h>

#include "text/Common.h"

namespace {

using namespace std::string_literals;

TEST(CommonBasics, SmallTextFunctionsKeepDelimiterBytesAndRejectJunk) {
  EXPECT_EQ(Trim(" \t\r\n a b \v\f"), "a b");
  EXPECT_EQ(Trim("\x01 x \x02"s), "\x01 x \x02"s);
  EXPECT_EQ(Trim(" \0 "s), "\0"s);
  EXPECT_EQ(Pos("\0"s, "a\0"s), 2u);
  EXPECT_EQ(StrToInt64Def("-9223372036854775808", 7), INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 7), 7);
  EXPECT_EQ(HexToInt("10000000000000000", -5), -5);
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(PathFileName("C:setup.exe"), "setup.exe");
}

TEST(CommonMarkup, EscapesExactCaseThenTagsAnyCase) {
  EXPECT_EQ(MarkupToPlain("Line1<p>Line2<T>x"), "Line1\r\nLine2\tx");
  EXPECT_EQ(MarkupToPlain("a\\\\nb\\\\tc"), "a\r\nb\tc");
  EXPECT_EQ(MarkupToPlain("a\\\\Nb"), "a\\\\Nb");
  EXPECT_EQ(MarkupToPlain("\0<t>\xFF"s), "\0\t\xFF"s);
}

const std::string KExe = "C:\\A B\\setup.exe";
const std::string KCmd = "\"C:\\A B\\setup.exe\" /TH_ID=12 /x=\"a b\"";

TEST(CommonSwitches, ParamsWithoutTheProgramHoweverWrittenSwitchValuesAndTheDashCharacter) {
  EXPECT_EQ(GetParams(KCmd, KExe), "/TH_ID=12 /x=\"a b\"");
  EXPECT_EQ(GetParams("C:\\x\\SETUP.EXE  /a ", "c:\\x\\setup.exe"), "/a");
  EXPECT_EQ(GetParams("setup /a /b", "C:\\x\\setup.exe"), "/a /b");  // no extension
  EXPECT_EQ(GetParams("\"C:\\x\\setup\" /a", "C:\\x\\setup.exe"), "/a");
  EXPECT_EQ(GetSwitchValue(KCmd, KExe, "th_id", "d"), "12");
  EXPECT_EQ(GetSwitchValue(KCmd, KExe, "-TH_ID", "d"), "d");
  EXPECT_EQ(GetSwitchValue(KCmd, KExe, "/x", "d"), "a b");
  const std::string exe = "C:\\s.exe";
  EXPECT_EQ(GetSwitchValue("s.exe /e= /f=1", exe, "e", "d"), "");
  EXPECT_EQ(GetSwitchValue("s.exe /SleepX =  5  /f", exe, "sleepx", "d"), "5");
  EXPECT_EQ(GetSwitchValue("s.exe /p=C:\\a /b /c=2", exe, "p", "d"), "C:\\a");
  EXPECT_EQ(GetSwitchValue("s.exe -w=3 /w=5", exe, "-w", "d"), "3 /w=5");
  EXPECT_TRUE(HasSwitch("s.exe /hide /x", exe, "/HIDE"));
  EXPECT_FALSE(HasSwitch("s.exe /hidden", exe, "/hide"));
}

TEST(CommonReplace, IndexWindowAndRepeatedReplacement) {
  EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 2, 3), "aXb-c-");
  EXPECT_EQ(ReplaceText("aaaa", "aa", "b", 2, 2), "aba");  // resumes one later
  EXPECT_EQ(ReplaceAll("a\0b\0"s, "\0"s, "\377"), "a\377b\377");
  EXPECT_EQ(ReplaceRepeated("a   =b", " =", "="), "a=b");
  EXPECT_EQ(ReplaceRepeated("ab", "b", "bb"), "ab");  // would never end
  EXPECT_FALSE(ReplaceRepeated("abb", "ab", "bba").empty());
}

}  // namespace
