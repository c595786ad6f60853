#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "text/Common.h"

namespace {

std::string S(const char* p, size_t n) {
  return std::string(p, n);
}

TEST(CommonBasics, SmallTextFunctionsKeepDelimiterBytesAndRejectJunk) {
  EXPECT_EQ(Trim(" \t\r\n a b \v\f"), "a b");
  EXPECT_EQ(Trim(S("\x01 x \x02", 5)), S("\x01 x \x02", 5));
  EXPECT_EQ(Trim(S(" \0 ", 3)), S("\0", 1));
  EXPECT_EQ(Pos(S("\0", 1), S("a\0", 2)), 2u);
  EXPECT_EQ(StrToInt64Def("-9223372036854775808", 7), INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 7), 7);
  EXPECT_EQ(HexToInt("10000000000000000", -5), -5);
  EXPECT_EQ(Unquote("  \"C:\\a b\"  "), "C:\\a b");
}

TEST(CommonMarkup, EscapesExactCaseThenTagsAnyCase) {
  EXPECT_EQ(MarkupToPlain("Line1<p>Line2<T>x"), "Line1\r\nLine2\tx");
  EXPECT_EQ(MarkupToPlain("a\\\\nb\\\\tc"), "a\r\nb\tc");
  EXPECT_EQ(MarkupToPlain("a\\\\Nb"), "a\\\\Nb");
  EXPECT_EQ(MarkupToPlain(S("\0<t>\xFF", 5)), S("\0\t\xFF", 3));
}

const std::string kExe = "C:\\A B\\setup.exe";
const std::string kCmd = "\"C:\\A B\\setup.exe\" /TH_ID=12 /x=\"a b\"";

TEST(CommonSwitches, GetParamsStripsTheProgramHoweverItWasWritten) {
  EXPECT_EQ(GetParams(kCmd, kExe), "/TH_ID=12 /x=\"a b\"");
  EXPECT_EQ(GetParams("C:\\x\\SETUP.EXE  /a ", "c:\\x\\setup.exe"), "/a");
  EXPECT_EQ(GetParams("setup /a /b", "C:\\x\\setup.exe"), "/a /b");  // no extension
  EXPECT_EQ(GetParams("\"C:\\x\\setup\" /a", "C:\\x\\setup.exe"), "/a");
}

TEST(CommonSwitches, SwitchValuesAndTheDashSwitchCharacter) {
  EXPECT_EQ(GetSwitchValue(kCmd, kExe, "th_id", "d"), "12");
  EXPECT_EQ(GetSwitchValue(kCmd, kExe, "/TH_ID", "d"), "12");
  EXPECT_EQ(GetSwitchValue(kCmd, kExe, "-TH_ID", "d"), "d");
  EXPECT_EQ(GetSwitchValue(kCmd, kExe, "/x", "d"), "a b");
  const std::string exe = "C:\\s.exe";
  EXPECT_EQ(GetSwitchValue("s.exe /e= /f=1", exe, "e", "d"), "");
  EXPECT_EQ(GetSwitchValue("s.exe /SleepX =  5  /f", exe, "sleepx", "d"), "5");
  EXPECT_EQ(GetSwitchValue("s.exe /p=C:\\a /b /c=2", exe, "p", "d"), "C:\\a");
  EXPECT_EQ(GetSwitchValue("s.exe -w=3 /w=5", exe, "-w", "d"), "3 /w=5");
  EXPECT_TRUE(HasSwitch("s.exe /hide /x", exe, "/HIDE"));
  EXPECT_FALSE(HasSwitch("s.exe /hidden", exe, "/hide"));
}

TEST(CommonReplace, IndexWindowAndRepeatedReplacement) {
  EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 2, 0), "aXb-cX");
  EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 2, 3), "aXb-c-");
  EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 0, 1), "a-bXcX");
  EXPECT_EQ(ReplaceText("aaaa", "aa", "b", 2, 2), "aba");  // resumes one later
  EXPECT_EQ(ReplaceAll(S("a\0b\0", 4), S("\0", 1), "\xFF"),
            "a\xFF"
            "b\xFF");
  EXPECT_EQ(ReplaceRepeated("a   =b", " =", "="), "a=b");
  EXPECT_EQ(ReplaceRepeated("ab", "b", "bb"), "ab");  // would never end
  EXPECT_FALSE(ReplaceRepeated("abb", "ab", "bba").empty());
}

TEST(CommonNumbers, SizeTextRoundsUpWithoutDecimalsAndGroupsThousands) {
  EXPECT_EQ(KBText(1025), "2");
  EXPECT_EQ(KBText(1536, 2), "1.50");
  EXPECT_EQ(MBText(3 * 1048576 + 1), "4");
  EXPECT_EQ(SizeText(-9876543, 1, 0, true), "-9,876,543");
  EXPECT_EQ(SizeText(1234567890, 1024, 2, true), "1,205,632.71");
  EXPECT_EQ(SizeText(100, 0), "100");  // no division by zero
  EXPECT_EQ(SizeText(INT64_MAX, 1), "9223372036854775807");
}

TEST(CommonNumbers, FloatTextsParsingAndPadding) {
  EXPECT_DOUBLE_EQ(ParseFloat("6,2"), 6.2);
  EXPECT_DOUBLE_EQ(ParseFloat("4,567.5"), 4567.5);
  EXPECT_DOUBLE_EQ(ParseFloat(" -1.5e2 "), -150);
  EXPECT_DOUBLE_EQ(ParseFloat("1.2.3", 9), 9);
  EXPECT_EQ(PadLeft("abcdefghijk", -6), "abcde.");
  EXPECT_EQ(PadLeft("abc", -6), "   abc");
  EXPECT_EQ(PadLeft("abc", -2), "abc");
  EXPECT_EQ(PadLeft("abcdef", -3), "ab.");
  for (int i = 0; i < 100; ++i)  // bounds in either order
    EXPECT_LE(std::abs(StrToInt64Def(RandomText(3, -3), 100)), 3);
  EXPECT_NE(StrToInt64Def(RandomText(INT64_MIN, INT64_MAX), 1), 1);
}

TEST(CommonDates, DateTextsRoundTripIncludingDaysBefore1899AndClamp) {
  EXPECT_EQ(EncodeDate(2023, 2, 29), 0);
  EXPECT_EQ(DateStampText(EncodeDate(2024, 3, 7)), "07-MAR-2024");
  EXPECT_EQ(DateStampText(EncodeDate(999, 1, 1)), "01-JAN-0999");
  EXPECT_EQ(DateTimeText(EncodeDateTime(2024, 3, 7, 23, 59, 58, 999), "/", ":"),
            "07/03/24 23:59:58");
  // Before 1899 the fraction is still the time of day.
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_EQ(DateStampTimeText(-1.25, " @ ", "."), "29-DEC-1899 @ 06.00.00");
  EXPECT_EQ(DateStampText(1e12), "31-DEC-9999");
  EXPECT_EQ(DateTimeText(NAN), "30/12/99 00:00:00");
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  EXPECT_EQ(DateStampText(-1).substr(7), ZeroPad(y, 4));  // -1 is now
}

// Fixed-point texts are computed without printf; they must match "%.*f"
// exactly: ties to even on the exact binary value, every digit of huge and
// tiny values, the sign of negative zero and of values rounded to zero.
TEST(CommonNumbers, FixedPointTextsMatchPrintf) {
  auto printfText = [](double v, int d) {
    char b[2048];
    std::snprintf(b, sizeof b, "%.*f", d, v);
    return std::string(b);
  };
  const double tricky[] = {0.0,      -0.0,     0.5,      1.5,        2.5,
                           -2.5,     0.125,    0.15,     2.675,      1.005,
                           9.995,    -0.001,   1e22,     1e23,       DBL_MAX,
                           -DBL_MAX, DBL_MIN,  4.9e-324, 1e15 + 0.5, 1205632.7109375,
                           INFINITY, -INFINITY};
  for (double v : tricky)
    for (int d = 0; d <= 30; ++d)
      ASSERT_EQ(FloatText(v, d, false), printfText(v, d)) << v << " " << d;
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isnan(v)) continue;
    const int d = static_cast<int>(rng() % 31);
    ASSERT_EQ(FloatText(v, d, false), printfText(v, d)) << v << " " << d;
  }
  EXPECT_EQ(FloatText(2.5, -3, false), "2");  // decimals clamped to 0..30
  EXPECT_EQ(FloatText(0.1, 40, false), printfText(0.1, 30));
}

TEST(CommonNumbers, IntegerTexts) {
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(UIntToStr(UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(HexDigits(0x4B0, 4), "04B0");
  EXPECT_EQ(HexDigits(0x12345, 4), "12345");
  EXPECT_EQ(HexDigits(0), "0");
}

}  // namespace
