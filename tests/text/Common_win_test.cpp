// The Win32 layer of the text toolbox: the process's own command line and
// system error texts (the locale separators are checked with the agent log).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/ExecPipe.h"
#include "support/Files.h"
#include "text/Common.h"

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

TEST(TextWin, SystemErrorTextsAreTrimmedWithAFallbackForUnknownCodes) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = LastErrorText();
  EXPECT_NE("", text);
  EXPECT_EQ(Trim(LastErrorText(ERROR_FILE_NOT_FOUND)), text);
  EXPECT_EQ(LastErrorText(0x2DEADBEFu),
            "Error Reading \"System error " + IntToStr(0x2DEADBEF) + "\"");
}

}  // namespace
