// The Win32 layer of the text toolbox: the process's own command line and
// system error texts (the locale separators are checked with the agent log).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/ExecPipe.h"
#include "support/Files.h"
#include "text/Common.h"
#include "text/KSUB.h"

namespace {

// In a child started by RunChild: what the Win32 layer reads from the real
// command line, one "name=value" line each.
TEST(TextWinChild, ReportSwitches) {
  if (!GetEnvironmentVariableA("KORVIX_TEXT_CHILD", nullptr, 0)) GTEST_SKIP() << "child only";
  const std::string report =
      "params=" + GetParams() + "\nth_id=" + GetSwitchValue("th_id", "none") +
      "\ndash=" + GetSwitchValue("-TH_ID", "none") + "\nx=" + GetSwitchValue("/x", "none") +
      "\nempty=" + GetSwitchValue("empty", "none") +
      "\nint=" + IntToStr(GetSwitchInt("TH_ID", -1)) + "\nhide=" + BoolText(HasSwitch("/HIDE")) +
      "\nhid=" + BoolText(HasSwitch("/hid")) + "\n";
  std::fputs(report.c_str(), stdout);
  std::fflush(stdout);
}

// Runs this test program again as `program` + `args` so that only the child
// test above runs; returns its standard output.
std::string RunChild(const std::string& program, const std::string& args) {
  std::string out, err;
  unsigned long code = 0;
  SetEnvironmentVariableA("KORVIX_TEXT_CHILD", "1");
  EXPECT_TRUE(
      RunCaptured(program, "--gtest_filter=TextWinChild.*" + args, SW_HIDE, 1, out, err, code))
      << err;
  SetEnvironmentVariableA("KORVIX_TEXT_CHILD", nullptr);
  return ReplaceAll(out, "\r", "");
}

TEST(TextWin, SwitchesOfTheRealCommandLineWithQuotedOrUnquotedProgram) {
  const std::string self = ProgramPath();
  const std::string quoted = RunChild("\"" + self + "\"", " /TH_ID=12 /x=\"a b\" /empty= /hide");
  EXPECT_NE(std::string::npos,
            quoted.find("params=--gtest_filter=TextWinChild.* /TH_ID=12 /x=\"a b\" /empty= /hide\n"
                        "th_id=12\ndash=none\nx=a b\nempty=\nint=12\nhide=TRUE\nhid=FALSE\n"))
      << quoted;
  // Unquoted and in another case the program's name is still found.
  const std::string upper = RunChild(UpperCase(self), " /th_id=7");
  EXPECT_NE(std::string::npos,
            upper.find("params=--gtest_filter=TextWinChild.* /th_id=7\nth_id=7\n"
                       "dash=none\nx=none\nempty=none\nint=7\nhide=FALSE\nhid=FALSE\n"))
      << upper;
}

// A code the system has no text for gives an empty text, so that callers can
// put their own (the download falls back to the server's reply).
TEST(TextWin, SystemErrorTextsAreTrimmedAndEmptyForUnknownCodes) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = LastErrorText();
  EXPECT_NE("", text);
  EXPECT_EQ(Trim(text), text);
  EXPECT_EQ(LastErrorText(ERROR_FILE_NOT_FOUND), text);
  EXPECT_EQ(LastErrorText(0x2DEADBEFu), "");
}

// The locale's month names and separators reach the date texts.
TEST(TextWin, UserLocaleDatesFeedTheDateTexts) {
  const TLocaleDates locale = UserLocaleDates();
  char name[80] = {};
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME3, name, sizeof name), 1);
  EXPECT_EQ(SUB::Item(locale.MonthNames, 3, ""), name);
  std::string value;
  ASSERT_TRUE(DateMacroValue('#', EncodeDate(2026, 3, 5), locale, value));
  EXPECT_EQ(value, "05" + locale.DateSep + name + locale.DateSep + "2026");
  EXPECT_EQ(DateTimeText(EncodeDate(2026, 3, 5)).substr(2, locale.DateSep.size()), locale.DateSep);
}

}  // namespace
