#include "support/KDebug.h"

#include "support/Files.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct TDelivery {
  WPARAM source;
  std::string text;
};
std::vector<TDelivery> GReceived;
UINT g_debugMessage = 0;

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != g_debugMessage) return DefWindowProcA(w, msg, wp, lp);
  char text[256];
  UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp), text, sizeof text);
  GReceived.push_back({wp, std::string(text, n)});
  return 0;
}

}  // namespace

TEST(DebugViewer, ChunksArriveAsGlobalAtomsOfTheRegisteredMessage) {
  for (int i = 0; i < 50; ++i) DebugLine("nobody listens ", i, std::string(150, 'x'));

  g_debugMessage = RegisterWindowMessageA(".K_DebugMsg.");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = ".KDebug.";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, ".KDebug.", "viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, wc.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  GReceived.clear();
  DebugLine(std::string(300, 'v'));
  DestroyWindow(window);
  UnregisterClassA(".KDebug.", wc.hInstance);

  ASSERT_EQ(3u, GReceived.size());
  EXPECT_EQ(std::string(128, 'v'), GReceived[0].text);
  EXPECT_EQ(std::string(128, 'v'), GReceived[1].text);
  EXPECT_EQ(std::string(44, 'v') + "\n", GReceived[2].text);
  for (const TDelivery& d : GReceived) EXPECT_EQ(1u, d.source);
  EXPECT_EQ(0, GlobalFindAtomA(GReceived[2].text.c_str()));  // deleted after the send
}

TEST(AgentLogWin, LinesGoNextToTheProgramWithTheThreadId) {
  const std::string path = GetAgentLogPath();
  EXPECT_EQ(ProgramFolder(true) + "X_win_support_tests.log", path);
  DeleteFileA(path.c_str());
  SetAgentLogEnabled(true);
  AgentLog("hello agent");
  SetAgentLogEnabled(false);
  const std::string text = ReadFilePart(path, 0, false, 0);
  DeleteFileA(path.c_str());
  // The line's layout is the portable AgentLog test's; here the thread id.
  EXPECT_NE(std::string::npos,
            text.find(" " + std::to_string(GetCurrentThreadId()) + "   hello agent\r\n"))
      << text;
}
