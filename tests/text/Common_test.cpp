#include <gtest/gtest.h>

#include <cmath>

#include "text/Common.h"

namespace {

std::string S(const char* p, size_t n)
{
    return std::string(p, n);
}

TEST(CommonBasics, TrimCaseAndPositions)
{
    EXPECT_EQ(Trim(" \t\r\n a b \v\f"), "a b");
    // Control bytes used as list delimiters are not white space.
    EXPECT_EQ(Trim(S("\x01 x \x02", 5)), S("\x01 x \x02", 5));
    EXPECT_EQ(Trim(S(" \0 ", 3)), S("\0", 1));
    EXPECT_EQ(UpperCase("ab\xE4z{"), "AB\xE4Z{");
    EXPECT_EQ(LowerCase("AB\xC4Z@"), "ab\xC4z@");
    EXPECT_TRUE(SameText("Setup.EXE", "setup.exe"));
    EXPECT_FALSE(SameText("\xE4", "\xC4"));

    EXPECT_EQ(Pos("b", "abcb"), 2u);
    EXPECT_EQ(Pos("", "abc"), 0u);
    EXPECT_EQ(Pos("x", ""), 0u);
    EXPECT_EQ(Pos(S("\0", 1), S("a\0", 2)), 2u);
    EXPECT_EQ(PosNoCase("CB", "abcb"), 3u);
    EXPECT_EQ(LastPos("b", "abcb"), 4u);
    EXPECT_EQ(LastPos("", "abcb"), 0u);
    EXPECT_EQ(PosFrom("B", "abcb", 3), 4u);
    EXPECT_EQ(PosFrom("B", "abcb", 0), 2u);
    EXPECT_EQ(PosFrom("B", "abcb", 5), 0u);
    EXPECT_EQ(PosFrom("B", "abcb", static_cast<size_t>(-1)), 0u);

    EXPECT_TRUE(EndsWithNoCase(".EXE", "a.exe"));
    EXPECT_FALSE(EndsWith(".EXE", "a.exe"));
    EXPECT_FALSE(EndsWith("long text", "text"));
    EXPECT_TRUE(StartsWith("/s", "/SpanCdLvl", true));
    EXPECT_FALSE(StartsWith("/s", "/SpanCdLvl"));
    EXPECT_TRUE(SameTextTrim(" Ab ", "aB"));
}

TEST(CommonBasics, Numbers)
{
    EXPECT_EQ(StrToInt64Def(" -42 ", 7), -42);
    EXPECT_EQ(StrToInt64Def("+5", 7), 5);
    EXPECT_EQ(StrToInt64Def("9223372036854775807", 7), INT64_MAX);
    EXPECT_EQ(StrToInt64Def("-9223372036854775808", 7), INT64_MIN);
    EXPECT_EQ(StrToInt64Def("9223372036854775808", 7), 7);
    EXPECT_EQ(StrToInt64Def("12x", 7), 7);
    EXPECT_EQ(StrToInt64Def("-", 7), 7);
    EXPECT_EQ(StrToInt64Def("", 7), 7);
    EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");

    EXPECT_EQ(HexToInt("0x1F"), 31);
    EXPECT_EQ(HexToInt("0Xff "), 255);
    EXPECT_EQ(HexToInt("aBc"), 0xABC);
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("0x"), 0);
    EXPECT_EQ(HexToInt("1G", -1), -1);
    EXPECT_EQ(HexToInt("FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("0000000000000000001"), 1);
    EXPECT_EQ(HexToInt("10000000000000000", -5), -5);

    EXPECT_EQ(ClampInt64(5, 10, 0), 0);  // low first, then high
}

TEST(CommonMarkup, ConvertsTokens)
{
    EXPECT_EQ(MarkupToPlain("Line1<p>Line2<T>x"), "Line1\r\nLine2\tx");
    EXPECT_EQ(MarkupToPlain("a\\\\nb\\\\tc"), "a\r\nb\tc");
    EXPECT_EQ(MarkupToPlain("a\\\\Nb"), "a\\\\Nb");
    EXPECT_EQ(MarkupToPlain("<B>bold</B><P>"), "<B>bold</B>\r\n");
    EXPECT_EQ(MarkupToPlain(S("\0<t>\xFF", 5)), S("\0\t\xFF", 3));
}

const std::string kExe = "C:\\A B\\setup.exe";
const std::string kCmd = "\"C:\\A B\\setup.exe\" /TH_ID=12 /x=\"a b\"";

TEST(CommonSwitches, GetParamsStripsTheProgram)
{
    EXPECT_EQ(GetParams(kCmd, kExe), "/TH_ID=12 /x=\"a b\"");
    EXPECT_EQ(GetParams("C:\\x\\SETUP.EXE  /a ", "c:\\x\\setup.exe"), "/a");
    EXPECT_EQ(GetParams("\"C:\\x\\setup.exe\"", "C:\\x\\setup.exe"), "");
    EXPECT_EQ(GetParams("C:\\x\\setup.exe \"", "C:\\x\\setup.exe"), "");
    // Started without the extension: the first token is the program.
    EXPECT_EQ(GetParams("setup /a /b", "C:\\x\\setup.exe"), "/a /b");
    EXPECT_EQ(GetParams("\"C:\\x\\setup\" /a", "C:\\x\\setup.exe"), "/a");
    EXPECT_EQ(GetParams("", ""), "");
    EXPECT_EQ(GetParams("\"unterminated", ""), "");
}

TEST(CommonSwitches, GetSwitchValue)
{
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "th_id", "d"), "12");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "/TH_ID", "d"), "12");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "-TH_ID", "d"), "d");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "/x", "d"), "a b");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "TH", "d"), "d");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "  ", "d"), "d");
    EXPECT_EQ(GetSwitchValue(kCmd, kExe, "/", "d"), "d");
    EXPECT_EQ(GetSwitchInt(kCmd, kExe, "TH_ID", -1), 12);
    EXPECT_EQ(GetSwitchInt(kCmd, kExe, "x", -1), -1);
    EXPECT_EQ(GetSwitchInt(kCmd, kExe, "none", -1), -1);

    const std::string exe = "C:\\s.exe";
    EXPECT_EQ(GetSwitchValue("s.exe /e= /f=1", exe, "e", "d"), "");
    EXPECT_EQ(GetSwitchValue("s.exe /SleepX =  5  /f", exe, "sleepx", "d"), "5");
    EXPECT_EQ(GetSwitchValue("s.exe /p=C:\\a /b /c=2", exe, "p", "d"), "C:\\a");
    EXPECT_EQ(GetSwitchValue("s.exe -w=3 -v=4 /w=5", exe, "-w", "d"), "3");
    EXPECT_EQ(GetSwitchValue("s.exe -w=3 /w=5", exe, "-w", "d"), "3 /w=5");
    EXPECT_EQ(GetSwitchValue("s.exe /w=4", exe, "w=", "d"), "4");
}

TEST(CommonSwitches, HasSwitch)
{
    const std::string exe = "C:\\s.exe";
    EXPECT_TRUE(HasSwitch("s.exe /hide", exe, "/HIDE"));
    EXPECT_TRUE(HasSwitch("s.exe /hide /x", exe, "/hide"));
    EXPECT_FALSE(HasSwitch("s.exe /hidden", exe, "/hide"));
    EXPECT_FALSE(HasSwitch("s.exe /hide", exe, ""));
}

TEST(CommonReplace, ReplaceText)
{
    EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 2, 0), "aXb-cX");
    EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 2, 3), "aXb-c-");
    EXPECT_EQ(ReplaceText("aXbXcX", "X", "-", 0, 1), "a-bXcX");
    EXPECT_EQ(ReplaceAll("aXbXcX", "X", "--"), "a--b--c--");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    // A kept occurrence lets the scan resume one character later.
    EXPECT_EQ(ReplaceText("aaaa", "aa", "b", 2, 2), "aba");
    EXPECT_EQ(ReplaceAllNoCase("x<p>y<P>z", "<P>", "|"), "x|y|z");
    EXPECT_EQ(ReplaceText(" x ", "q", "r", 0, 0, false, true), "x");
    EXPECT_EQ(ReplaceText(" x ", "x", "", 0, 0, false, true), "");
    EXPECT_EQ(ReplaceAll("", "a", "b"), "");
    EXPECT_EQ(ReplaceAll("abc", "", "b"), "abc");
    EXPECT_EQ(ReplaceAll(S("a\0b\0", 4), S("\0", 1), "\xFF"), "a\xFF" "b\xFF");
    EXPECT_EQ(ReplaceAllNoCase("ab", "abc", "x"), "ab");

    std::string big(100000, 'x');
    EXPECT_EQ(ReplaceAll(big, "x", "yy").size(), 200000u);

    EXPECT_EQ(ReplaceRepeated("a   =b", " =", "="), "a=b");
    EXPECT_EQ(ReplaceRepeated("aab", "ab", "b"), "b");
    EXPECT_EQ(ReplaceRepeated("ab", "b", "bb"), "ab");  // would never end
    // Growing rewrites end too.
    EXPECT_FALSE(ReplaceRepeated("abb", "ab", "bba").empty());
}

TEST(CommonSmallText, BeforeAfterWrapStripQuote)
{
    EXPECT_EQ(TextBefore("k=v=w", "="), "k");
    EXPECT_EQ(TextBefore("kv", "=", "d"), "d");
    EXPECT_EQ(TextBefore(" k =v", "=", "", true), "k");
    EXPECT_EQ(TextAfter("k=v=w", "="), "v=w");
    EXPECT_EQ(TextAfter("aXYb", "xy", "d"), "d");
    EXPECT_EQ(TextAfter("aXYb ", "xy", "d", true, true), "b");

    EXPECT_EQ(WrapWith("a", '|'), "|a|");
    EXPECT_EQ(WrapWith("||a||", '|', true), "|a|");
    EXPECT_EQ(ReplaceChar(S("a\0b", 3), '\0', '|'), "a|b");
    EXPECT_EQ(KeepChars("a1-b2_c3", "abc123-", "-"), "a1b2c3");
    EXPECT_EQ(StripChar("\\", '\\'), "");
    EXPECT_EQ(StripChar("\\a\\\\", '\\'), "a");
    EXPECT_EQ(StripChar("\\a", '\\'), "\\a");
    EXPECT_EQ(StripChar("\\a", '\\', true), "a");
    EXPECT_EQ(Unquote("  \"C:\\a b\"  "), "C:\\a b");
    EXPECT_EQ(Unquote("\""), "");
    EXPECT_EQ(Quote("\"x\""), "\"x\"");
}

TEST(CommonNumbers, SizeText)
{
    EXPECT_EQ(KBText(0), "0");
    EXPECT_EQ(KBText(1), "1");
    EXPECT_EQ(KBText(1024), "1");
    EXPECT_EQ(KBText(1025), "2");
    EXPECT_EQ(KBText(1536, 2), "1.50");
    EXPECT_EQ(KBText(1536, 7), "1.5");
    EXPECT_EQ(MBText(3 * 1048576 + 1), "4");
    EXPECT_EQ(SizeText(9876543, 1, 0, true), "9,876,543");
    EXPECT_EQ(SizeText(987654, 1, 0, true), "987,654");
    EXPECT_EQ(SizeText(-9876543, 1, 0, true), "-9,876,543");
    EXPECT_EQ(SizeText(1234567890, 1024, 2, true), "1,205,632.71");
    EXPECT_EQ(SizeText(-1, 1024), "0");
    EXPECT_EQ(SizeText(100, 0), "100");  // no division by zero
    EXPECT_EQ(SizeText(INT64_MAX, 1), "9223372036854775807");
}

TEST(CommonNumbers, FloatTextParseFloatPadding)
{
    EXPECT_EQ(FloatText(12.5, 3), "12.500");
    EXPECT_EQ(FloatText(12.5, 3, true), "12.5");
    EXPECT_EQ(FloatText(0.5, 2, true), ".5");
    EXPECT_EQ(FloatText(10, 2, true), "10");
    EXPECT_EQ(FloatText(0, 2, true), "0");
    EXPECT_EQ(FloatText(100, 0, true), "100");
    EXPECT_EQ(FloatText(-2.25, 1), "-2.2");
    EXPECT_EQ(FloatText(1.0, -3), "1");
    EXPECT_FALSE(FloatText(1e300, 2).empty());

    EXPECT_DOUBLE_EQ(ParseFloat("6,2"), 6.2);
    EXPECT_DOUBLE_EQ(ParseFloat("4,567.5"), 4567.5);
    EXPECT_DOUBLE_EQ(ParseFloat(" -1.5e2 "), -150);
    EXPECT_DOUBLE_EQ(ParseFloat("+3"), 3);
    EXPECT_DOUBLE_EQ(ParseFloat("abc", 9), 9);
    EXPECT_DOUBLE_EQ(ParseFloat("1.2.3", 9), 9);
    EXPECT_DOUBLE_EQ(ParseFloat("inf", 9), 9);
    EXPECT_DOUBLE_EQ(ParseFloat("", 9), 9);

    EXPECT_EQ(ZeroPad(7, 3), "007");
    EXPECT_EQ(ZeroPad(1234, 2), "1234");
    EXPECT_EQ(ZeroPad(-7, 3), "-07");

    EXPECT_EQ(PadLeft("abcdefghijk", -6), "abcde.");
    EXPECT_EQ(PadLeft("abc", -6), "   abc");
    EXPECT_EQ(PadLeft("42", 8), "      42");
    EXPECT_EQ(PadLeft("long", 2), "long");
    EXPECT_EQ(PadLeft("abc", -1), "abc");
    EXPECT_EQ(PadLeft("abc", -2), "abc");
    EXPECT_EQ(PadLeft("abcdef", -3), "ab.");
}

TEST(CommonNumbers, RandomTextStaysInRange)
{
    for (int i = 0; i < 200; ++i) {
        const int64_t v = StrToInt64Def(RandomText(-3, 3), 100);
        EXPECT_GE(v, -3);
        EXPECT_LE(v, 3);
    }
    EXPECT_EQ(RandomText(5, 5), "5");
    EXPECT_EQ(RandomText(3, -3).size() <= 2, true);  // bounds in either order
    EXPECT_NE(StrToInt64Def(RandomText(INT64_MIN, INT64_MAX), 1) , 1);
}

TEST(CommonDates, EncodeDecodeRoundTrip)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2024, 3, 7), 45358);
    EXPECT_EQ(EncodeDate(2023, 2, 29), 0);
    EXPECT_EQ(EncodeTime(24, 0, 0), 0);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0), 0.25);

    int y, m, d, h, n, s, ms;
    const double v = EncodeDateTime(2024, 3, 7, 23, 59, 58, 999);
    DecodeDate(v, y, m, d);
    DecodeTime(v, h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240307);
    EXPECT_EQ(h * 10000 + n * 100 + s, 235958);
    EXPECT_EQ(ms, 999);

    // Before 1899 the fraction is still the time of day.
    const double old = EncodeDateTime(1899, 12, 29, 6, 0, 0);
    EXPECT_DOUBLE_EQ(old, -1.25);
    DecodeDate(old, y, m, d);
    DecodeTime(old, h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    EXPECT_EQ(h, 6);

    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 7)), 5);  // Thursday
    EXPECT_EQ(DayOfWeek(0), 7);                       // Saturday
    EXPECT_EQ(DateTimeToSeconds(EncodeDateTime(1900, 1, 1, 0, 0, 10)), 2 * 86400 + 10);
    EXPECT_EQ(DateTimeToSeconds(-1.25), -108000);
    EXPECT_DOUBLE_EQ(SecondsToDateTime(-108000), -1.25);

    // Out-of-range values are clamped, never undefined.
    DecodeDate(1e300, y, m, d);
    EXPECT_EQ(y, 9999);
    DecodeDate(-1e300, y, m, d);
    EXPECT_EQ(y, 1);
    DecodeDate(NAN, y, m, d);
    EXPECT_EQ(y, 1899);
    EXPECT_EQ(MonthAbbrev(12), "DEC");
    EXPECT_EQ(MonthAbbrev(0), "");
    EXPECT_EQ(MonthAbbrev(13), "");
}

TEST(CommonDates, DateTexts)
{
    const double v = EncodeDateTime(2024, 3, 7, 9, 5, 3);
    EXPECT_EQ(DateStampText(v), "07-MAR-2024");
    EXPECT_EQ(DateStampText(EncodeDate(999, 1, 1)), "01-JAN-0999");
    EXPECT_EQ(DateTimeText(v, ".", "-"), "07.03.24 09-05-03");
    EXPECT_EQ(DateTimeText(v), "07/03/24 09:05:03");
    EXPECT_EQ(DateStampTimeText(v, " @ ", "."), "07-MAR-2024 @ 09.05.03");
    EXPECT_EQ(DateStampTimeText(v), "07-MAR-2024 09:05:03");
    EXPECT_EQ(DateStampText(1e12), "31-DEC-9999");
    EXPECT_EQ(DateStampText(-1e12), "01-JAN-0001");
    EXPECT_EQ(DateTimeText(NAN), "30/12/99 00:00:00");

    // -1 is the current time.
    int y, m, d;
    DecodeDate(Now(), y, m, d);
    EXPECT_EQ(DateStampText(-1).substr(7), ZeroPad(y, 4));
}

TEST(CommonClock, NowMsAndPixels)
{
    const int64_t a = NowMs();
    int64_t b = a;
    while (b - a < 20)
        b = NowMs();
    EXPECT_LT(b - a, 1000);
    EXPECT_EQ(PointsToPixels(8, 96), 11);
    EXPECT_EQ(PointsToPixels(12, 96), 16);
    EXPECT_EQ(PointsToPixels(9, 120), 15);
    EXPECT_EQ(PointsToPixels(-10, 96), -13);
    EXPECT_EQ(PointsToPixels(10), 13);
    EXPECT_EQ(PointsToPixels(INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_FALSE(LastErrorText(2).empty());
}

}  // namespace
