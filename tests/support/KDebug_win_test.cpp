#include "support/KDebug.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

UINT g_debugMessage = 0;
std::vector<std::string> GReceived;  // "source:text" of each delivery

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != g_debugMessage) return DefWindowProcA(w, msg, wp, lp);
  char text[256];
  UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp), text, sizeof text);
  GReceived.push_back(std::to_string(wp) + ":" + std::string(text, n));
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

  const std::string tail = std::string(44, 'v') + "\n";
  const std::vector<std::string> want = {"1:" + std::string(128, 'v'), "1:" + std::string(128, 'v'),
                                         "1:" + tail};
  EXPECT_EQ(want, GReceived);
  EXPECT_EQ(0, GlobalFindAtomA(tail.c_str()));  // deleted after the send
}
