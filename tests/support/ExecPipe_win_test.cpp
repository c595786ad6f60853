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
  EXPECT_EQ(0u, r.Code);
  ASSERT_EQ(70000u, r.Out.size());
  for (std::size_t i = 0; i < r.Out.size(); i += 997)
    ASSERT_EQ(static_cast<char>('A' + i % 26), r.Out[i]) << i;
  EXPECT_EQ("", r.Err);
}

TEST(RunCaptured, FailuresGiveTheExitCodeTheStillActiveCodeOrCode21WithTheCommandLine) {
  TCaptured r = RunHidden(ProbePath(), "err boom 3");
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(3u, r.Code);
  EXPECT_EQ("boom", r.Err);
  EXPECT_EQ(259u, RunHidden(ProbePath(), "err x 259").Code);
  r = RunHidden("C:\\korvix\\no such.exe", "/x");
  const std::string head = "\"C:\\korvix\\no such.exe\" /x --- ";
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(21u, r.Code);
  EXPECT_EQ(1u, Pos(head, r.Err)) << r.Err;
  EXPECT_GT(r.Err.size(), head.size());  // and the system's error text
  EXPECT_EQ("Command line is too long", RunHidden("C:\\none.exe", std::string(33000, 'a')).Err);
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
  const std::vector<std::string> want = {" ---  [ Method = YieldX ]  [ ErrMsg = boom ] \n"};
  EXPECT_EQ(want, GLines);
}
