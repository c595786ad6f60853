#include "support/ExecPipe.h"

#include "SupportWin.h"
#include "support/KDebug.h"
#include "text/Common.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(RunCaptured, LargeOutputArrivesWhole)
{
    std::string out, err;
    unsigned long code = 99;
    ASSERT_TRUE(RunCaptured(ProbePath(), "out 70000", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_EQ(0u, code);
    ASSERT_EQ(70000u, out.size());
    for (std::size_t i = 0; i < out.size(); i += 997)
        ASSERT_EQ(static_cast<char>('A' + i % 26), out[i]) << i;
    EXPECT_EQ("", err);
}

TEST(RunCaptured, ErrorsAndExitCodeAreReported)
{
    std::string out, err;
    unsigned long code = 0;
    EXPECT_FALSE(RunCaptured(ProbePath(), "err boom 3", SW_HIDE, 1, out, err, code));
    EXPECT_EQ(3u, code);
    EXPECT_EQ("boom", err);
    EXPECT_EQ("", out);
}

TEST(RunCaptured, ChildExitingWithTheStillActiveCodeEnds)
{
    std::string out, err;
    unsigned long code = 0;
    EXPECT_FALSE(RunCaptured(ProbePath(), "exit 259", SW_HIDE, 1, out, err, code));
    EXPECT_EQ(259u, code);
}

TEST(RunCaptured, OemOutputIsConvertedToAnsi)
{
    if (GetOEMCP() != 437 || GetACP() != 1252) GTEST_SKIP() << "needs OEM 437 and ANSI 1252";
    std::string out, err;
    unsigned long code = 0;
    ASSERT_TRUE(RunCaptured(ProbePath(), "oem", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_EQ("\xFCx", out);
}

TEST(RunCaptured, ProgramPathWithBlankIsQuoted)
{
    ScratchDir d("korvix with blank");
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (d / "probe.exe").c_str(), FALSE));
    std::string out, err;
    unsigned long code = 0;
    ASSERT_TRUE(RunCaptured(d / "probe.exe", "out 5", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_EQ("ABCDE", out);
}

TEST(RunCaptured, MissingProgramGivesCode21AndTheCommandLine)
{
    std::string out, err;
    unsigned long code = 0;
    EXPECT_FALSE(RunCaptured("C:\\korvix\\no such.exe", "/x", SW_HIDE, 1, out, err, code));
    EXPECT_EQ(21u, code);
    EXPECT_EQ(1u, Pos("\"C:\\korvix\\no such.exe\" /x --- ", err)) << err;
    EXPECT_GT(err.size(), std::string("\"C:\\korvix\\no such.exe\" /x --- ").size());

    err.clear();
    EXPECT_FALSE(RunCaptured("C:\\korvix\\none.exe", std::string(33000, 'a'), SW_HIDE, 1, out, err, code));
    EXPECT_EQ("Command line is too long", err);
}

TEST(ShellOpen, FileWithoutAssociationFails)
{
    ScratchDir d("korvix_shell");
    WriteTextFile(d / "x.korvixnoassoc", "x", 0, false);
    EXPECT_FALSE(ShellOpen(d / "x.korvixnoassoc", "", SW_HIDE));
}

namespace {

int g_seen = 0;
LRESULT CALLBACK ThrowingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_USER + 1) throw std::runtime_error("boom");
    if (m == WM_USER + 2) {
        ++g_seen;
        return 0;
    }
    if (m == WM_TIMER) {
        DestroyWindow(w);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

HWND MakeWindow(const char* cls)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ThrowingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, cls, "pump probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

std::vector<std::string> g_lines;
void Capture(const std::string& chunk) { g_lines.push_back(chunk); }

}  // namespace

TEST(PumpMessages, HandlerExceptionIsLoggedAsYieldXAndSkipsTheSleep)
{
    HWND w = MakeWindow("KorvixPumpThrow");
    ASSERT_NE(nullptr, w);
    g_lines.clear();
    DebugSink old = SetDebugSink(Capture);
    PostMessageA(w, WM_USER + 1, 0, 0);
    DWORD start = GetTickCount();
    PumpMessages(3000);
    DWORD spent = GetTickCount() - start;
    SetDebugSink(old);
    DestroyWindow(w);
    EXPECT_LT(spent, 2000u);
    ASSERT_EQ(1u, g_lines.size());
    EXPECT_EQ(" ---  [ Method = YieldX ]  [ ErrMsg = boom ] \n", g_lines[0]);
}

TEST(WaitPumping, PostedMessagesAreHandledMeanwhile)
{
    HWND w = MakeWindow("KorvixPumpSeen");
    g_seen = 0;
    PostMessageA(w, WM_USER + 2, 0, 0);
    PostMessageA(w, WM_USER + 2, 0, 0);
    DWORD start = GetTickCount();
    WaitPumping(0, 100);
    EXPECT_GE(GetTickCount() - start, 85u);  // tick granularity
    EXPECT_EQ(2, g_seen);
    DestroyWindow(w);
}

TEST(WaitWindowGone, ReturnsOnceTheWindowHasGone)
{
    WaitWindowGone("KorvixNoSuchClass", "");  // nothing to wait for
    HWND w = MakeWindow("KorvixGoneProbe");
    ASSERT_NE(nullptr, w);
    SetTimer(w, 1, 300, nullptr);  // the window destroys itself on the tick
    DWORD start = GetTickCount();
    WaitWindowGone("KorvixGoneProbe", "pump probe");
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_FALSE(IsWindow(w));
}
