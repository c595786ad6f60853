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
  std::string out, err;
  unsigned long code = 99;
  ASSERT_TRUE(RunCaptured(d / "probe.exe", "out 70000", SW_HIDE, 1, out, err, code)) << err;
  EXPECT_EQ(0u, code);
  ASSERT_EQ(70000u, out.size());
  for (std::size_t i = 0; i < out.size(); i += 997)
    ASSERT_EQ(static_cast<char>('A' + i % 26), out[i]) << i;
  EXPECT_EQ("", err);
}

TEST(RunCaptured, ErrorOutputAndExitCodesIncludingTheStillActiveCode) {
  std::string out, err;
  unsigned long code = 0;
  EXPECT_FALSE(RunCaptured(ProbePath(), "err boom 3", SW_HIDE, 1, out, err, code));
  EXPECT_EQ(3u, code);
  EXPECT_EQ("boom", err);
  EXPECT_FALSE(RunCaptured(ProbePath(), "exit 259", SW_HIDE, 1, out, err, code));
  EXPECT_EQ(259u, code);
}

TEST(RunCaptured, OemOutputIsConvertedToAnsi) {
  if (GetOEMCP() != 437 || GetACP() != 1252) GTEST_SKIP() << "needs OEM 437 and ANSI 1252";
  std::string out, err;
  unsigned long code = 0;
  ASSERT_TRUE(RunCaptured(ProbePath(), "oem", SW_HIDE, 1, out, err, code)) << err;
  EXPECT_EQ("\xFCx", out);
}

TEST(RunCaptured, StartFailureGivesCode21WithCommandLineAndErrorText) {
  std::string out, err;
  unsigned long code = 0;
  const std::string head = "\"C:\\korvix\\no such.exe\" /x --- ";
  EXPECT_FALSE(RunCaptured("C:\\korvix\\no such.exe", "/x", SW_HIDE, 1, out, err, code));
  EXPECT_EQ(21u, code);
  EXPECT_EQ(1u, Pos(head, err)) << err;
  EXPECT_GT(err.size(), head.size());
  err.clear();
  EXPECT_FALSE(
      RunCaptured("C:\\korvix\\none.exe", std::string(33000, 'a'), SW_HIDE, 1, out, err, code));
  EXPECT_EQ("Command line is too long", err);
}

namespace {

LRESULT CALLBACK ThrowingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 1) throw std::runtime_error("boom");
  return DefWindowProcA(w, m, wp, lp);
}

std::vector<std::string> GLines;
void Capture(const std::string& chunk) {
  GLines.push_back(chunk);
}

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
  TDebugSink old = SetDebugSink(Capture);
  PostMessageA(w, WM_USER + 1, 0, 0);
  const DWORD start = GetTickCount();
  PumpMessages(3000);
  EXPECT_LT(GetTickCount() - start, 2000u);  // no sleep after the exception
  SetDebugSink(old);
  DestroyWindow(w);
  const std::vector<std::string> want = {" ---  [ Method = YieldX ]  [ ErrMsg = boom ] \n"};
  EXPECT_EQ(want, GLines);
}
