// agentctl.exe against a fake agent window in this process that answers the
// private messages as the update agent does.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "startup/StubWin.h"
#include "support/Files.h"
#include "support/Handles.h"

namespace {

const char* const KFakeClass = ".AutoUpdate.X_KorvixFakeAgent";

// What reached the fake agent; readers 4..11 answer from Values, writers
// 12..15 store into the matching reader.
struct TFakeAgent {
  HWND Window, Controller;
  UINT Message;
  std::vector<std::string> Received;
  std::map<WPARAM, LRESULT> Values = {{4, 100}, {8, 3600}};
  void Notify(WPARAM code, LPARAM value) { PostMessageA(Controller, Message, code, value); }
} GAgent;

LRESULT CALLBACK FakeAgentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg < wm_ShutDown || msg > wm_AgentMsg) return DefWindowProcA(w, msg, wp, lp);
  GAgent.Received.push_back(std::to_string(msg) + " " + std::to_string(wp) + " " +
                            std::to_string(lp));
  if (msg == wm_LocalMsg) {
    GAgent.Controller = (HWND)wp;
    GAgent.Message = (UINT)lp;
    GAgent.Notify(50, (LPARAM)w);
    GAgent.Notify(51, wm_AgentMsg);
  } else if (msg == wm_ShutDown) {
    GAgent.Notify(43, 0);
  } else if (wp >= 12 && wp <= 15) {
    GAgent.Values[wp - 4] = lp;
  } else if (wp == 31) {
    GAgent.Notify(40, 1), GAgent.Notify(40, 2);
  }
  return msg == wm_AgentMsg && wp <= 11 ? GAgent.Values[wp] : 0;
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

TEST_F(AgentCtl, RegistersReadsWritesAsksForAShotAndEndsWithTheAgent) {
  std::vector<std::string> lines;
  EXPECT_EQ(Run("--class " + std::string(KFakeClass) +
                    " --get ProbeSecondsInterval --set ProbeSecondsInterval=60 --get 8"
                    " --set Override2=-1 --shot --quit 0 --wait-ms 0",
                lines),
            0);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "notify 50 " + std::to_string((intptr_t)GAgent.Window) + " agent window",
                       "notify 51 1125 settings message", "get 8 3600 ProbeSecondsInterval",
                       "set 12 60 -> 0 ProbeSecondsInterval", "get 8 60 ProbeSecondsInterval",
                       "set 22 -1 -> 0 Override2", "set 31 1 -> 0 ShootNow", "quit 0",
                       "notify 40 1 .INFO download started", "notify 40 2 .INFO download ended",
                       "notify 43 0 agent ended"}));
  EXPECT_EQ(GAgent.Received.at(0), "1124 " + std::to_string((intptr_t)GAgent.Controller) + " " +
                                       std::to_string(GAgent.Message));
  EXPECT_EQ(GAgent.Received.at(4), "1125 22 -1");
  EXPECT_EQ(GAgent.Received.back(), "1123 0 0");
}

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

TEST_F(AgentCtl, AnAgentGoneWithoutNotifyingEndsIt) {
  std::vector<std::string> lines;
  auto closeOnRegistration = [] {
    if (GAgent.Controller) DestroyWindow(GAgent.Window);
  };
  EXPECT_EQ(Run("--wait-ms 0", lines, closeOnRegistration), 3);
  EXPECT_EQ(lines.empty() ? "" : lines.back(), "gone agent window closed without notification 43");
}
