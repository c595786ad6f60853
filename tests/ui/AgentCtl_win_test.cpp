// agentctl.exe against a fake agent window in this process that answers the
// private messages as the update agent does; agentctl with the real agent
// runs end to end (tests/agent/update_e2e.py).
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

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
  int Requests;
} GAgent;

LRESULT CALLBACK FakeAgentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg < wm_ShutDown || msg > wm_AgentMsg) return DefWindowProcA(w, msg, wp, lp);
  ++GAgent.Requests;
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
  // between messages); its exit code (-1 when it ran for 30 s) and output.
  int Run(
      const std::string& args, std::string& out, const std::function<void()>& pass = [] {}) {
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
    out = ReadFilePart(Out, 0, false, 0);
    return code == STILL_ACTIVE ? -1 : (int)code;
  }
};

}  // namespace

// The agent found by its class, window or process (by file name end to end);
// a vanished agent or none at all is a failure.
TEST_F(AgentCtl, FindsTheAgentAndEndsWithAFailureWhenItGoesWithoutNotifying) {
  std::string out;
  for (std::string target : {std::string(), "--window " + std::to_string((intptr_t)GAgent.Window),
                             "--pid " + std::to_string(GetCurrentProcessId())}) {
    EXPECT_EQ(Run(target + " --no-register --get VersionOriginal", out), 0) << target;
    EXPECT_NE(out.find(" get 4 100 VersionOriginal\n"), std::string::npos) << out;
  }
  EXPECT_EQ(GAgent.Requests, 3);  // no registration
  EXPECT_EQ(Run("--agent NoSuchAgent.exe --get 4", out), 1);
  auto closeOnRegistration = [] {
    if (GAgent.Controller) DestroyWindow(GAgent.Window);
  };
  EXPECT_EQ(Run("--wait-ms 0", out, closeOnRegistration), 3);
  EXPECT_NE(out.find(" gone "), std::string::npos) << out;
}
