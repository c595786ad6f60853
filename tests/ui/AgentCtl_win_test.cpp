// The agent controller (agentctl.exe, next to this program) against a fake
// agent window in this process that answers the private messages as the
// update agent does: registration with the replies 50 and 51, settings read
// and written, a shot with its .INFO notifications, the quit countdown
// followed by the exit notification.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "startup/StubWin.h"
#include "support/Files.h"
#include "support/Handles.h"

namespace {

const char* const KFakeClass = ".AutoUpdate.X_KorvixFakeAgent";

// The fake agent: records what reaches it; readers 4..11 answer from
// `Values`, writers 12..15 store into the matching reader.
struct TFakeAgent {
  HWND Window = nullptr;
  HWND Controller = nullptr;
  UINT Message = 0;
  std::vector<std::pair<WPARAM, LPARAM>> Settings;
  std::vector<WPARAM> ShutDowns;
  std::map<WPARAM, LRESULT> Values = {{4, 100}, {8, 3600}, {10, 12345}};

  void Notify(WPARAM code, LPARAM value) {
    if (Controller && Message) PostMessageA(Controller, Message, code, value);
  }
} GAgent;

LRESULT CALLBACK FakeAgentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case wm_LocalMsg:
      GAgent.Controller = (HWND)wp;
      GAgent.Message = (UINT)lp;
      GAgent.Notify(50, (LPARAM)w);
      GAgent.Notify(51, wm_AgentMsg);
      return 0;
    case wm_AgentMsg:
      GAgent.Settings.push_back({wp, lp});
      if (wp >= 12 && wp <= 15) GAgent.Values[wp - 4] = lp;
      if (wp == 31) GAgent.Notify(40, 1), GAgent.Notify(40, 2);
      return wp <= 11 ? GAgent.Values[wp] : 0;
    case wm_ShutDown:
      GAgent.ShutDowns.push_back(wp);
      GAgent.Notify(43, 0);
      return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
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
    GAgent.Window = CreateWindowExA(0, KFakeClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    ASSERT_TRUE(GAgent.Window);
    DeleteFileA(Out.c_str());
  }
  void TearDown() override {
    if (IsWindow(GAgent.Window)) DestroyWindow(GAgent.Window);
    UnregisterClassA(KFakeClass, GetModuleHandleA(nullptr));
    DeleteFileA(Out.c_str());
  }

  // Runs agentctl with `args` and --out while this thread answers the fake
  // agent's messages; `whileRunning` is called on each pass. Returns the exit
  // code (-1 when it had to be stopped after 30 seconds).
  int Run(
      const std::string& args, const std::function<void()>& whileRunning = [] {}) {
    std::string cmd =
        "\"" + ProgramFolder(true) + "agentctl.exe\" " + args + " --out \"" + Out + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start " << cmd;
      return -1;
    }
    TProcess ctl(pi);
    HANDLE h = ctl.Process.Get();
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
      if (MsgWaitForMultipleObjects(1, &h, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) break;
      MSG m;
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
      whileRunning();
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(h, &code);
    if (code == STILL_ACTIVE) TerminateProcess(h, 99);
    return code == STILL_ACTIVE ? -1 : (int)code;
  }

  // The printed lines without their time stamps, which must be "hh:mm:ss.mmm".
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::string text = ReadFilePart(Out, 0, false, 0);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::string line = text.substr(start, end - start);
      EXPECT_TRUE(line.size() > 13 && line[2] == ':' && line[5] == ':' && line[8] == '.' &&
                  line[12] == ' ')
          << line;
      lines.push_back(line.substr(13));
    }
    return lines;
  }

  std::string Registered() {
    return "notify 50 " + std::to_string((intptr_t)GAgent.Window) + " agent window";
  }
};

}  // namespace

TEST_F(AgentCtl, RegistersThenReadsWritesAndAsksForAShot) {
  EXPECT_EQ(Run("--class " + std::string(KFakeClass) +
                " --get ProbeSecondsInterval --set ProbeSecondsInterval=60 --get 8"
                " --set Override2=1 --shot --wait-ms 1500"),
            0);
  EXPECT_TRUE(GAgent.Controller);
  EXPECT_GE(GAgent.Message, (UINT)WM_USER);
  const std::vector<std::string> want = {
      Registered(),
      "notify 51 1125 settings message",
      "get 8 3600 ProbeSecondsInterval",
      "set 12 60 -> 0 ProbeSecondsInterval",
      "get 8 60 ProbeSecondsInterval",
      "set 22 1 -> 0 Override2",
      "set 31 1 -> 0 ShootNow",
      "notify 40 1 .INFO download started",
      "notify 40 2 .INFO download ended",
  };
  EXPECT_EQ(Lines(), want);
  const std::vector<std::pair<WPARAM, LPARAM>> settings = {
      {8, 0}, {12, 60}, {8, 0}, {22, 1}, {31, 1}};
  EXPECT_EQ(GAgent.Settings, settings);
}

TEST_F(AgentCtl, FindsTheAgentByEveryTarget) {
  const std::string targets[] = {
      "",  // the only agent window there is
      "--agent KorvixFakeAgent.exe",
      "--window " + std::to_string((intptr_t)GAgent.Window),
      "--pid " + std::to_string(GetCurrentProcessId()),
  };
  for (const std::string& t : targets) {
    DeleteFileA(Out.c_str());
    GAgent.Settings.clear();
    EXPECT_EQ(Run(t + " --no-register --get VersionOriginal"), 0) << t;
    EXPECT_EQ(Lines(), std::vector<std::string>{"get 4 100 VersionOriginal"}) << t;
    EXPECT_EQ(GAgent.Settings.size(), 1u) << t;
  }
  EXPECT_FALSE(GAgent.Controller);  // --no-register keeps the agent's controller
  EXPECT_EQ(Run("--class .AutoUpdate.X_NoSuchAgent --get 4"), 1);
  EXPECT_EQ(Run("--get NoSuchSetting"), 2);
  EXPECT_EQ(Run("--get Override0"), 2);  // only written
}

TEST_F(AgentCtl, EndsOnTheExitNotificationOrWhenTheAgentIsGone) {
  // The quit countdown makes the fake agent end at once: notification 43.
  EXPECT_EQ(Run("--quit 0 --wait-ms 0"), 0);
  EXPECT_EQ(GAgent.ShutDowns, std::vector<WPARAM>{0});
  std::vector<std::string> lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "notify 43 0 agent ended");

  // An agent that disappears without notifying does not keep it waiting.
  DeleteFileA(Out.c_str());
  GAgent.Controller = nullptr;
  EXPECT_EQ(Run("--wait-ms 0",
                [] {
                  if (GAgent.Controller && IsWindow(GAgent.Window)) DestroyWindow(GAgent.Window);
                }),
            3);
  lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "gone agent window closed without notification 43");
}
