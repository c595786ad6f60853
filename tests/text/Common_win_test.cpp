// The Win32 layer of the text toolbox: the process's own command line,
// the locale separators, the performance counter, system error texts and the
// screen resolution.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "text/Common.h"

namespace {

const char kChildEnv[] = "KORVIX_TEXT_CHILD_OUT";

std::string SelfPath()
{
    char buf[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, buf, sizeof buf);
    return buf;
}

std::string ReadFileText(const std::string& path)
{
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

// Runs this test program again as `program` + `args` so that only the child
// test below runs; returns what the child wrote, or the empty text on failure.
std::string RunChild(const std::string& program, const std::string& args)
{
    char tmpDir[MAX_PATH] = {};
    char tmpFile[MAX_PATH] = {};
    GetTempPathA(sizeof tmpDir, tmpDir);
    if (!GetTempFileNameA(tmpDir, "ktx", 0, tmpFile))
        return std::string();
    SetEnvironmentVariableA(kChildEnv, tmpFile);
    std::string cmd = program + " --gtest_filter=TextWinChild.*" + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi);
    SetEnvironmentVariableA(kChildEnv, nullptr);
    std::string out;
    if (ok) {
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        if (code == 0)
            out = ReadFileText(tmpFile);
    }
    DeleteFileA(tmpFile);
    return out;
}

// In a child started by RunChild: writes what the Win32 layer reads from the
// real command line, one "name=value" line each.
TEST(TextWinChild, ReportSwitches)
{
    char path[MAX_PATH] = {};
    if (!GetEnvironmentVariableA(kChildEnv, path, sizeof path))
        GTEST_SKIP() << "only runs as a child";
    std::string text;
    text += "params=" + GetParams() + "\n";
    text += "th_id=" + GetSwitchValue("th_id", "none") + "\n";
    text += "dash=" + GetSwitchValue("-TH_ID", "none") + "\n";
    text += "x=" + GetSwitchValue("/x", "none") + "\n";
    text += "empty=" + GetSwitchValue("empty", "none") + "\n";
    text += "missing=" + GetSwitchValue("missing", "none") + "\n";
    text += "int=" + IntToStr(GetSwitchInt("TH_ID", -1)) + "\n";
    text += "hide=" + BoolText(HasSwitch("/HIDE")) + "\n";
    text += "hid=" + BoolText(HasSwitch("/hid")) + "\n";
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST(TextWin, SwitchesOfTheRealCommandLine)
{
    const std::string self = SelfPath();
    const std::string args = " /TH_ID=12 /x=\"a b\" /empty= /hide";

    const std::string quoted = RunChild("\"" + self + "\"", args);
    ASSERT_FALSE(quoted.empty());
    EXPECT_NE(quoted.find("params=--gtest_filter=TextWinChild.* /TH_ID=12 /x=\"a b\" /empty= "
                          "/hide\n"),
              std::string::npos)
        << quoted;
    EXPECT_NE(quoted.find("th_id=12\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("dash=none\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("x=a b\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("empty=\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("missing=none\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("int=12\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("hide=TRUE\n"), std::string::npos) << quoted;
    EXPECT_NE(quoted.find("hid=FALSE\n"), std::string::npos) << quoted;

    // Unquoted and in another case the program's name is still found.
    const std::string upper = RunChild(UpperCase(self), " /th_id=7");
    ASSERT_FALSE(upper.empty());
    EXPECT_NE(upper.find("params=--gtest_filter=TextWinChild.* /th_id=7\n"), std::string::npos) << upper;
    EXPECT_NE(upper.find("th_id=7\n"), std::string::npos) << upper;
    EXPECT_NE(upper.find("hide=FALSE\n"), std::string::npos) << upper;
}

TEST(TextWin, NowMsIsMonotonicMilliseconds)
{
    int64_t last = NowMs();
    for (int i = 0; i < 1000; ++i) {
        const int64_t t = NowMs();
        ASSERT_GE(t, last);
        last = t;
    }
    const int64_t a = NowMs();
    Sleep(100);
    const int64_t d = NowMs() - a;
    EXPECT_GE(d, 90);
    EXPECT_LT(d, 2000);
}

TEST(TextWin, LastErrorTexts)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = LastErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("Error Reading"), std::string::npos) << text;
    EXPECT_EQ(text, Trim(text));
    EXPECT_EQ(LastErrorText(ERROR_FILE_NOT_FOUND), text);
    EXPECT_EQ(LastErrorText(0x2DEADBEFu), "Error Reading \"System error " + IntToStr(0x2DEADBEF) + "\"");
}

TEST(TextWin, DateTextsUseTheLocaleSeparators)
{
    char ds[8] = {}, ts[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDATE, ds, sizeof ds);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, ts, sizeof ts);
    const std::string d = *ds ? ds : "/";
    const std::string t = *ts ? ts : ":";
    EXPECT_EQ(LocaleDateSeparator(), d);
    EXPECT_EQ(LocaleTimeSeparator(), t);

    const double v = EncodeDateTime(2024, 3, 7, 9, 5, 3);
    EXPECT_EQ(DateTimeText(v), "07" + d + "03" + d + "24 09" + t + "05" + t + "03");
    EXPECT_EQ(DateStampTimeText(v), "07-MAR-2024 09" + t + "05" + t + "03");

    SYSTEMTIME st;
    GetLocalTime(&st);
    const std::string now = DateStampText(-1);
    EXPECT_EQ(now.substr(now.size() - 4), ZeroPad(st.wYear, 4));
}

TEST(TextWin, PointsToPixelsUsesTheScreen)
{
    HDC dc = GetDC(nullptr);
    ASSERT_NE(dc, nullptr);
    const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    ASSERT_GT(ppi, 0);
    EXPECT_EQ(PointsToPixels(10), PointsToPixels(10, ppi));
    EXPECT_EQ(PointsToPixels(72), ppi);
}

}  // namespace
