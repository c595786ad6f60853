// The update agent end to end (run by agent_run.sh, which packs the agent):
// this test is the controller. It starts the plain agent with control
// switches, receives the transient copy's notifications and reads a setting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "agent/Process.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/Utils.h"
#include "support/Win64.h"
#include "text/Common.h"

namespace {

const UINT KControllerMessage = WM_APP + 7;
const UINT KAgentSettingMsg = WM_USER + 101;

std::vector<std::pair<WPARAM, LPARAM>> GNotes;

LRESULT CALLBACK ControllerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == KControllerMessage) GNotes.push_back({wp, lp});
  return DefWindowProcA(w, m, wp, lp);
}

bool Noted(WPARAM code, LPARAM value) {
  for (const auto& n : GNotes)
    if (n.first == code && n.second == value) return true;
  return false;
}

// Pumps until a notification arrives or limitMs passed.
bool WaitNote(WPARAM code, LPARAM value, int limitMs) {
  for (int waited = 0; waited < limitMs && !Noted(code, value); waited += 50) WaitPumping(0, 50);
  return Noted(code, value);
}

// Runs the plain agent with switches and waits (bounded) until it has ended.
void RunPlainAgent(const std::string& agent, const std::string& switches) {
  std::string cmd = "\"" + agent + "\" " + switches;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(agent.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  TProcess plain(pi);
  for (int waited = 0; waited < 20000; waited += 50) {
    if (WaitForSingleObject(plain.Process.Get(), 0) == WAIT_OBJECT_0) return;
    WaitPumping(0, 50);
  }
  ADD_FAILURE() << "the plain agent did not end: " << switches;
}

}  // namespace

TEST(AgentRun, PlainAgentStartsTheCopyAndForwardsRegistrationProbeAndStop) {
  const char* setup = std::getenv("KORVIX_AGENT_SETUP");
  if (!setup) GTEST_SKIP() << "run by agent_run.sh";
  const std::string agent = setup;
  const std::string folder = agent.substr(0, agent.rfind('\\'));
  const std::string copy = folder + "\\X_DemoAgent.exe";
  const std::string original = folder + "\\Demo.original";
  WriteTextFile(original,
                "[OriginalSetup]\r\nVersionOriginal=3\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n", 0,
                false);
  // An offer whose update file is missing: the decision stops at the size.
  WriteTextFile(folder + "\\srv\\Demo.info",
                "[NewSetup]\r\nVersionNew=4\r\nStamp=2\r\nDownloadURL_UPDATE=" + folder +
                    "\\srv\r\nNameOfUpdateFile=Upd.exe\r\nSizeOfUpdateFile=10\r\n",
                0, false);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = ControllerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvixTestController";
  RegisterClassA(&wc);
  HWND controller = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    wc.hInstance, nullptr);
  ASSERT_TRUE(controller);
  const std::string reg = "/WM_MSG=" + IntToStr(reinterpret_cast<intptr_t>(controller)) + ":" +
                          IntToStr(KControllerMessage);

  // No copy runs: the plain agent makes one, starts it and registers us.
  RunPlainAgent(agent, reg);
  ASSERT_TRUE(WaitNote(51, KAgentSettingMsg, 10000));
  HWND agentWindow = nullptr;
  for (const auto& n : GNotes)
    if (n.first == 50) agentWindow = reinterpret_cast<HWND>(n.second);
  ASSERT_TRUE(agentWindow);
  EXPECT_EQ(".AutoUpdate.X_DemoAgent", WindowClassName(agentWindow));
  EXPECT_TRUE(IsProcessRunning(copy));
  EXPECT_EQ(3, SendMessageA(agentWindow, KAgentSettingMsg, 4, 0));  // VersionOriginal

  // A probe on request: the ".info" file is fetched, ProbeSecondsLast written.
  RunPlainAgent(agent, "/TEST=1");
  EXPECT_TRUE(WaitNote(40, 2, 15000));
  EXPECT_TRUE(FileExists(folder + "\\Demo.info"));
  EXPECT_GT(ReadIniInt(original, "OriginalSetup", "ProbeSecondsLast", 0), 0);
  EXPECT_NE("", ReadIniString(original, "OriginalSetup", "__ProbeSecondsLast", ""));
  EXPECT_TRUE(IsProcessRunning(copy));  // a running copy keeps running

  // Stop: the copy quits on its next tick and tells us its loop ended.
  RunPlainAgent(agent, "/STOP=0");
  EXPECT_TRUE(WaitNote(43, 0, 10000));
  WaitProcessGone(copy, 5000);
  EXPECT_FALSE(IsProcessRunning(copy));
  DestroyWindow(controller);
}
