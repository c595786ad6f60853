// agentctl: a controller of a running Korvix update agent. It finds the
// transient copy by its window class (".AutoUpdate.X_" + the agent's name
// without extension) and talks to it with the agent's private messages:
// settings codes (wm_AgentMsg), the quit countdown (wm_ShutDown) and the
// registration of a window that receives the agent's notifications
// (wm_LocalMsg).
//
//   agentctl AGENT get CODE          print the value of a reading code (4 .. 11)
//   agentctl AGENT set CODE VALUE    send a setting code with its value
//   agentctl AGENT probe [--interactive]
//   agentctl AGENT stop [TICKS]      quit after TICKS ticks (default 0)
//   agentctl AGENT watch [--ms N]    print "code value" per notification until
//                                    the agent's loop ends (43) or N ms passed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const UINT KShutDown = WM_USER + 99;   // wm_ShutDown
const UINT KLocalMsg = WM_USER + 100;  // wm_LocalMsg
const UINT KAgentMsg = WM_USER + 101;  // wm_AgentMsg
const UINT KNotify = WM_APP + 1;       // our notification message
const int KLoopEnded = 43;

void Usage() {
  std::printf(
      "agentctl - controls a running Korvix update agent\n"
      "\n"
      "usage: agentctl AGENT get CODE\n"
      "       agentctl AGENT set CODE VALUE\n"
      "       agentctl AGENT probe [--interactive]\n"
      "       agentctl AGENT stop [TICKS]\n"
      "       agentctl AGENT watch [--ms N]\n"
      "\n"
      "  AGENT   the agent executable's name or path (DemoAgent.exe)\n"
      "  get     4 VersionOriginal, 5 VersionNew, 7 shot state, 8 ProbeSecondsInterval,\n"
      "          9 ReAskSecondsInterval, 10 ProbeSecondsLast, 11 ReAskSecondsLast\n"
      "  set     12..15 write those keys, 20..25 overrides, 30 quit countdown,\n"
      "          32 fetch only the .info file on the next tick\n"
      "  probe   probe now (code 31); --interactive as a check the user asked for\n"
      "  watch   print each notification as \"code value\" (40 .info, 41 download,\n"
      "          42 setup run: 1 start, 2 end; 43 the agent's loop ended)\n"
      "\n"
      "Exit code 2 when no agent copy runs.\n");
}

HWND AgentWindow(const char* agent) {
  std::string name = agent;
  size_t slash = name.find_last_of("\\/:");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return FindWindowA((".AutoUpdate.X_" + name).c_str(), nullptr);
}

LRESULT CALLBACK WatchProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == KNotify) {
    std::printf("%d %lld\n", static_cast<int>(wp), static_cast<long long>(lp));
    std::fflush(stdout);
    if (wp == KLoopEnded) PostQuitMessage(0);
    return 0;
  }
  if (m == WM_TIMER) {
    PostQuitMessage(1);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

int Watch(HWND agent, unsigned ms) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WatchProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KorvixAgentCtl";
  RegisterClassA(&wc);
  HWND self = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              wc.hInstance, nullptr);
  SetTimer(self, 1, ms, nullptr);
  PostMessageA(agent, KLocalMsg, reinterpret_cast<WPARAM>(self), KNotify);
  MSG msg;
  int rc = 0;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  rc = static_cast<int>(msg.wParam);
  DestroyWindow(self);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || !std::strcmp(argv[1], "--help")) {
    Usage();
    return argc < 3 ? 1 : 0;
  }
  HWND agent = AgentWindow(argv[1]);
  if (!agent) {
    std::fprintf(stderr, "agentctl: no running agent copy of %s\n", argv[1]);
    return 2;
  }
  const std::string cmd = argv[2];
  auto arg = [&](int i, long long def) { return i < argc ? std::atoll(argv[i]) : def; };
  DWORD_PTR result = 0;
  if (cmd == "get" || cmd == "set") {
    SendMessageTimeoutA(agent, KAgentMsg, static_cast<WPARAM>(arg(3, 0)),
                        static_cast<LPARAM>(cmd == "set" ? arg(4, 0) : 0), SMTO_ABORTIFHUNG, 10000,
                        &result);
    std::printf("%d\n", static_cast<int>(result));
    return 0;
  }
  if (cmd == "probe") {
    const bool interactive = argc > 3 && !std::strcmp(argv[3], "--interactive");
    PostMessageA(agent, KAgentMsg, 31, interactive ? 2 : 0);
    return 0;
  }
  if (cmd == "stop") {
    PostMessageA(agent, KShutDown, static_cast<WPARAM>(arg(3, 0)), 0);
    return 0;
  }
  if (cmd == "watch") {
    const bool limit = argc > 4 && !std::strcmp(argv[3], "--ms");
    return Watch(agent, limit ? static_cast<unsigned>(arg(4, 60000)) : 60000);
  }
  Usage();
  return 1;
}
