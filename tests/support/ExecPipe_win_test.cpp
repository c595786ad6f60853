#include "support/ExecPipe.h"

#include "SupportWin.h"
#include "support/KDebug.h"
#include "text/Common.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(RunCaptured, LargeOutputOfAProgramInAFolderWithABlankArrivesWhole) {
  ScratchDir d("korvix with blank");
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (d / "probe.exe").c_str(), FALSE));
  const TCaptured r = RunHidden(d / "probe.exe", "out 70000");
  ASSERT_TRUE(r.Ok) << r.Err;
  ASSERT_EQ(70000u, r.Out.size());
  EXPECT_EQ('A' + 69999 % 26, r.Out.back());
}

// A failed run is never Ok: the program's code, or 21 with the command line
// and the system's reason.
TEST(RunCaptured, FailuresGiveTheExitCodeTheStillActiveCodeOrCode21WithTheCommandLine) {
  TCaptured r = RunHidden(ProbePath(), "err boom 3");
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(3u, r.Code);
  EXPECT_EQ("boom", r.Err);
  EXPECT_EQ(259u, RunHidden(ProbePath(), "err x 259").Code);  // STILL_ACTIVE, yet ended
  r = RunHidden("C:\\korvix\\no such.exe", "/x");
  const std::string head = "\"C:\\korvix\\no such.exe\" /x --- ";
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(21u, r.Code);
  EXPECT_EQ(1u, Pos(head, r.Err)) << r.Err;
  EXPECT_GT(r.Err.size(), head.size());
  EXPECT_FALSE(RunHidden("C:\\none.exe", std::string(33000, 'a')).Ok);
}

TEST(RunCaptured, OemOutputIsConvertedToAnsi) {
  if (GetOEMCP() != 437 || GetACP() != 1252) GTEST_SKIP() << "needs OEM 437 and ANSI 1252";
  EXPECT_EQ("\xFCx", RunHidden(ProbePath(), "oem").Out);
}

namespace {

LRESULT CALLBACK ThrowingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 1) throw std::runtime_error("boom");
  return DefWindowProcA(w, m, wp, lp);
}

std::vector<std::string> GLines;

}  // namespace

TEST(PumpMessages, HandlerExceptionIsLoggedAsYieldXAndSkipsTheSleep) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ThrowingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvixPumpProbe";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ASSERT_NE(nullptr, w);
  GLines.clear();
  TDebugSink old = SetDebugSink([](const std::string& chunk) { GLines.push_back(chunk); });
  PostMessageA(w, WM_USER + 1, 0, 0);
  const DWORD start = GetTickCount();
  PumpMessages(3000);
  EXPECT_LT(GetTickCount() - start, 2000u);  // no sleep after the exception
  SetDebugSink(old);
  DestroyWindow(w);
  ASSERT_EQ(1u, GLines.size());
  EXPECT_NE(0u, Pos("YieldX", GLines[0]) * Pos("boom", GLines[0])) << GLines[0];
}
