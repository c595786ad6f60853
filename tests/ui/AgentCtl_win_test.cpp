// agentctl.exe against a fake agent window in this process that answers the
// private messages as the update agent does; agentctl with the real agent
// runs end to end (tests/agent/cycle_e2e.py).
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "startup/StubWin.h"
#include "support/Files.h"
#include "support/Handles.h"

namespace {

const char* const KFakeClass = ".AutoUpdate.X_KorvixFakeAgent";

// What reached the fake agent. It answers a registration with the
// notifications 50 and 51, and setting 4 with 100.
struct TFakeAgent {
  HWND Window, Controller;
  UINT Message;
  std::vector<std::string> Received;
} GAgent;

LRESULT CALLBACK FakeAgentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg < wm_ShutDown || msg > wm_AgentMsg) return DefWindowProcA(w, msg, wp, lp);
  GAgent.Received.push_back(std::to_string(msg) + " " + std::to_string(wp));
  if (msg == wm_LocalMsg) {
    GAgent.Controller = (HWND)wp;
    GAgent.Message = (UINT)lp;
    PostMessageA(GAgent.Controller, GAgent.Message, 50, (LPARAM)w);
    PostMessageA(GAgent.Controller, GAgent.Message, 51, wm_AgentMsg);
  }
  return msg == wm_AgentMsg && wp == 4 ? 100 : 0;
}

class AgentCtl : public ::testing::Test {
protected:
  std::string Out = TempFolder(true) + "korvix_agentctl.txt";
  void SetUp() override {
    GAgent = TFakeAgent();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FakeAgentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = KFakeClass;
    RegisterClassA(&wc);
    GAgent.Window = CreateWindowExA(0, KFakeClass, "", WS_POPUP, 0, 0, 1, 1, 0, 0, wc.hInstance, 0);
  }
  void TearDown() override {
    DestroyWindow(GAgent.Window);
    UnregisterClassA(KFakeClass, GetModuleHandleA(nullptr));
  }

  // Runs agentctl while this thread answers the fake agent (`pass` runs
  // between messages); its exit code, -1 when it ran for 30 s. `lines`: what
  // it printed, each line's time stamp "hh:mm:ss.mmm " checked and dropped.
  int Run(
      const std::string& args, std::vector<std::string>& lines,
      const std::function<void()>& pass = [] {}) {
    DeleteFileA(Out.c_str());
    std::string cmd = "\"" + ProgramFolder(true) + "agentctl.exe\" " + args + " --out " + Out;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessA(nullptr, &cmd[0], 0, 0, 0, 0, 0, 0, &si, &pi));
    TProcess ctl(pi);
    HANDLE h = ctl.Process.Get();
    DWORD code = STILL_ACTIVE, start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &h, 0, 50, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < 30000) {
      for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&m);
      pass();
    }
    if (!GetExitCodeProcess(h, &code) || code == STILL_ACTIVE) TerminateProcess(h, 99);
    std::string text = ReadFilePart(Out, 0, false, 0);
    lines.clear();
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string line = text.substr(at, end - at);
      EXPECT_TRUE(line.size() > 13 && line[2] == ':' && line[8] == '.' && line[12] == ' ') << line;
      lines.push_back(line.substr(13));
    }
    return code == STILL_ACTIVE ? -1 : (int)code;
  }
};

}  // namespace

TEST_F(AgentCtl, FindsTheAgentByEveryTarget) {
  std::vector<std::string> lines;
  for (std::string target : {std::string(), std::string("--agent Korvix\\KorvixFakeAgent.exe"),
                             "--window " + std::to_string((intptr_t)GAgent.Window),
                             "--pid " + std::to_string(GetCurrentProcessId())}) {
    EXPECT_EQ(Run(target + " --no-register --get VersionOriginal", lines), 0) << target;
    // Unregistered, it names its window for "/WM_MSG=" first.
    ASSERT_EQ(lines.size(), 2u) << target;
    EXPECT_EQ(lines[0].rfind("window ", 0), 0u) << target;
    EXPECT_EQ(lines[1], "get 4 100 VersionOriginal") << target;
  }
  EXPECT_EQ(GAgent.Received.size(), 4u);  // no registration
  EXPECT_EQ(Run("--agent NoSuchAgent.exe --get 4", lines), 1);
}

TEST_F(AgentCtl, RegistersAndEndsWhenTheAgentGoesWithoutNotifying) {
  std::vector<std::string> lines;
  auto closeOnRegistration = [] {
    if (GAgent.Controller) DestroyWindow(GAgent.Window);
  };
  EXPECT_EQ(Run("--wait-ms 0", lines, closeOnRegistration), 3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "notify 50 " + std::to_string((intptr_t)GAgent.Window) + " agent window");
  EXPECT_EQ(lines[1], "notify 51 1125 settings message");
  EXPECT_EQ(lines[2], "gone agent window closed without notification 43");
}
