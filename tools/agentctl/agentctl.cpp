// agentctl: a controller of a running Korvix update agent. It registers a
// window of its own with the agent (the agent then posts its notifications
// to it), prints every notification with a time stamp, reads and writes the
// agent's settings, asks for a probe or a quit countdown, and ends after a
// given time, when the agent reports that it has ended, or when the agent's
// window is gone, so a script never waits for ever.
//
//   agentctl [--class NAME | --agent FILE | --window HWND | --pid PID]
//            [--get NAME|CODE]... [--set NAME|CODE=VALUE]... [--shot] [--check]
//            [--info] [--quit TICKS] [--no-register] [--msg N] [--out FILE]
//            [--wait-ms N]
//   agentctl --help
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "startup/StubWin.h"

namespace {

const char* const KAgentClassPrefix = ".AutoUpdate.";
const char* const KOwnClass = "KorvixAgentCtl";
const DWORD KReplyWaitMs = 5000;  // registration replies and each setting
const DWORD KDefaultWaitMs = 2000;

// Exit codes.
const int KExitOk = 0;
const int KExitNoAgent = 1;  // not found, no reply to the registration, a setting unanswered
const int KExitUsage = 2;
const int KExitAgentGone = 3;  // the window went away without the exit notification

// Settings by name: the code that reads and the code that writes (0: none).
struct TSettingName {
  const char* Name;
  int Get, Set;
};
const TSettingName KSettings[] = {
    {"VersionOriginal", 4, 0},
    {"VersionNew", 5, 0},
    {"ShotState", 7, 0},
    {"ProbeSecondsInterval", 8, 12},
    {"ReAskSecondsInterval", 9, 13},
    {"ProbeSecondsLast", 10, 14},
    {"ReAskSecondsLast", 11, 15},
    {"Override0", 0, 20},
    {"Override1", 0, 21},
    {"Override2", 0, 22},
    {"Override3", 0, 23},
    {"Override4", 0, 24},
    {"Override5", 0, 25},
    {"QuitCountdown", 0, 30},
    {"ShootNow", 0, 31},
    {"JustDownloadInfoFile", 0, 32},
};
const int KFirstCode = 4;
const int KLastCode = 32;

const char* SettingName(int code) {
  for (const TSettingName& s : KSettings)
    if (s.Get == code || s.Set == code) return s.Name;
  return "";
}

const char* NotificationText(WPARAM code, LPARAM value) {
  switch (code) {
    case 40:
      return value == 1 ? ".INFO download started" : ".INFO download ended";
    case 41:
      return value == 1 ? "update download started" : "update download ended";
    case 42:
      return value == 1 ? "update setup started" : "update setup ended";
    case 43:
      return "agent ended";
    case 50:
      return "agent window";
    case 51:
      return "settings message";
  }
  return "";
}

// One step of the command line, run in order after the registration.
struct TCommand {
  enum TKind { KGet, KSet, KQuit } Kind;
  int Code;
  long long Value;
};

FILE* GOut = stdout;
UINT GNotifyMessage = WM_APP + 1;
UINT GSettingsMessage = wm_AgentMsg;
bool GRegistered = false;
bool GAgentEnded = false;

void Line(const char* format, ...) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  std::fprintf(GOut, "%02d:%02d:%02d.%03d ", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  va_list args;
  va_start(args, format);
  std::vfprintf(GOut, format, args);
  va_end(args);
  std::fputc('\n', GOut);
  std::fflush(GOut);
}

LRESULT CALLBACK ControllerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == GNotifyMessage) {
    Line("notify %u %lld %s", (unsigned)wParam, (long long)lParam,
         NotificationText(wParam, lParam));
    if (wParam == 51) {
      GRegistered = true;
      if (lParam) GSettingsMessage = (UINT)lParam;
    }
    if (wParam == 43) GAgentEnded = true;
    return 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

// Handles messages until `done` holds, the agent window is gone, or
// `waitMs` has passed (0: no time limit). False when the agent window went.
bool Listen(HWND agent, DWORD waitMs, const bool& done) {
  DWORD start = GetTickCount();
  while (!done) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (done) break;
    if (!IsWindow(agent)) return false;
    DWORD elapsed = GetTickCount() - start;
    if (waitMs && elapsed >= waitMs) break;
    DWORD slice = waitMs ? waitMs - elapsed : 200;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice < 200 ? slice : 200, QS_ALLINPUT);
  }
  return true;
}

// ---------------------------------------------------------------- finding the agent

struct TSearch {
  DWORD Pid;  // 0: any process
  std::vector<HWND> Found;
};

BOOL CALLBACK CollectAgent(HWND w, LPARAM lp) {
  auto* s = (TSearch*)lp;
  char cls[256] = {};
  GetClassNameA(w, cls, sizeof cls);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (std::strncmp(cls, KAgentClassPrefix, std::strlen(KAgentClassPrefix)) == 0 &&
      (s->Pid == 0 || s->Pid == pid))
    s->Found.push_back(w);
  return TRUE;
}

// The one agent window of the process (any process for pid 0).
HWND FindAgentWindow(DWORD pid) {
  TSearch s = {pid, {}};
  EnumWindows(CollectAgent, (LPARAM)&s);
  if (s.Found.size() > 1) {
    std::fprintf(stderr, "agentctl: %u agent windows; name one with --class or --pid\n",
                 (unsigned)s.Found.size());
    return nullptr;
  }
  return s.Found.empty() ? nullptr : s.Found[0];
}

std::string AgentClassOf(const std::string& programName) {
  std::string name = programName.substr(programName.find_last_of("\\/:") + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return std::string(KAgentClassPrefix) + "X_" + name;
}

// ---------------------------------------------------------------- command line

void Usage() {
  std::printf(
      "agentctl - steers a running Korvix update agent\n"
      "\n"
      "usage: agentctl [TARGET] [COMMAND]... [OPTION]...\n"
      "\n"
      "target (default: the only window whose class begins with \".AutoUpdate.\"):\n"
      "  --class NAME           the agent's main-window class, e.g. .AutoUpdate.X_DemoAgent\n"
      "  --agent FILE           the agent program's name (DemoAgent.exe)\n"
      "  --window HWND          the agent's main window (decimal, or hexadecimal with 0x)\n"
      "  --pid PID              the agent's process\n"
      "\n"
      "commands, run in order once the agent has answered the registration:\n"
      "  --get NAME|CODE        read a setting and print it\n"
      "  --set NAME|CODE=VALUE  write a setting and print the agent's answer\n"
      "  --shot                 probe now (code 31, value 1)\n"
      "  --check                interactive check now (code 31, value 2)\n"
      "  --info                 only fetch the .INFO file on the next tick (code 32)\n"
      "  --quit TICKS           quit countdown (wm_ShutDown)\n"
      "\n"
      "options:\n"
      "  --no-register          do not register (the agent keeps its current controller)\n"
      "  --msg N                message number of the notifications (default %u)\n"
      "  --out FILE             append the lines to FILE (default: standard output)\n"
      "  --wait-ms N            listen N ms after the commands (default %u, none\n"
      "                         with --no-register); 0: until the agent ends\n"
      "\n"
      "Settings: codes %d to %d, or by name:",
      WM_APP + 1, (unsigned)KDefaultWaitMs, KFirstCode, KLastCode);
  for (const TSettingName& s : KSettings) {
    std::printf("\n  %-22s", s.Name);
    if (s.Get) std::printf(" read %d", s.Get);
    if (s.Set) std::printf(" write %d", s.Set);
  }
  std::printf(
      "\n\nEvery notification, reading and answer is one line with a time stamp:\n"
      "  12:00:00.000 notify 51 1125 settings message\n"
      "  12:00:00.001 get 8 3600 ProbeSecondsInterval\n"
      "  12:00:00.002 set 12 60 -> 0 ProbeSecondsInterval\n"
      "The controller ends after --wait-ms, on the agent's exit notification (43)\n"
      "or when the agent's window is gone. Exit codes: 0 done, 1 no agent or no\n"
      "answer, 2 usage, 3 the agent's window went away without notification 43.\n");
}

bool ParseNumber(const char* s, long long& value) {
  char* end = nullptr;
  value = std::strtoll(s, &end, 0);
  return *s && *end == 0;
}

// A setting named or numbered; `reading` picks the reading code of a name.
int SettingCode(const std::string& text, bool reading) {
  long long n = 0;
  if (ParseNumber(text.c_str(), n)) return n >= KFirstCode && n <= KLastCode ? (int)n : 0;
  for (const TSettingName& s : KSettings)
    if (_stricmp(s.Name, text.c_str()) == 0) return reading ? s.Get : s.Set;
  return 0;
}

int UsageError(const char* what, const std::string& arg) {
  std::fprintf(stderr, "agentctl: %s %s (try --help)\n", what, arg.c_str());
  return KExitUsage;
}

// What the command line asks for.
struct TOptions {
  std::string TargetClass, Out;
  HWND Agent = nullptr;
  DWORD Pid = 0;
  long long WaitMs = -1;  // default: KDefaultWaitMs after a registration, else none
  bool Registering = true;
  std::vector<TCommand> Commands;
};

// One option with its value; false for an unknown option or a bad value.
bool TakeOption(const std::string& a, const char* value, TOptions& o) {
  long long n = 0;
  bool number = ParseNumber(value, n);
  if (a == "--class") {
    o.TargetClass = value;
  } else if (a == "--agent") {
    o.TargetClass = AgentClassOf(value);
  } else if (a == "--window" && number && n > 0) {
    o.Agent = (HWND)(intptr_t)n;
  } else if (a == "--pid" && number && n > 0 && n <= 0xFFFFFFFF) {
    o.Pid = (DWORD)n;
  } else if (a == "--get" && SettingCode(value, true)) {
    o.Commands.push_back({TCommand::KGet, SettingCode(value, true), 0});
  } else if (a == "--set") {
    std::string s = value;
    size_t eq = s.find('=');
    int code = eq == std::string::npos ? 0 : SettingCode(s.substr(0, eq), false);
    if (!code || !ParseNumber(s.c_str() + eq + 1, n)) return false;
    o.Commands.push_back({TCommand::KSet, code, n});
  } else if (a == "--quit" && number && n >= 0 && n <= 0x7FFFFFFF) {
    o.Commands.push_back({TCommand::KQuit, 0, n});
  } else if (a == "--msg" && number && n >= WM_USER && n <= 0xFFFF) {
    GNotifyMessage = (UINT)n;
  } else if (a == "--out") {
    o.Out = value;
  } else if (a == "--wait-ms" && number && n >= 0 && n < 0xFFFFFFFF) {
    o.WaitMs = n;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--help" || a == "-h" || a == "/?") {
      Usage();
      return KExitOk;
    } else if (a == "--shot" || a == "--check") {
      o.Commands.push_back({TCommand::KSet, 31, a == "--shot" ? 1 : 2});
    } else if (a == "--info") {
      o.Commands.push_back({TCommand::KSet, 32, 0});
    } else if (a == "--no-register") {
      o.Registering = false;
    } else if (!value) {
      return UsageError("unknown argument or missing value:", a);
    } else if (!TakeOption(a, value, o)) {
      return UsageError("unknown argument or bad value:", a + " " + value);
    } else {
      ++i;  // the option's value
    }
  }

  HWND agent = o.Agent;
  if (!agent)
    agent = o.TargetClass.empty() ? FindAgentWindow(o.Pid)
                                  : FindWindowA(o.TargetClass.c_str(), nullptr);
  if (!agent || !IsWindow(agent)) {
    std::fprintf(stderr, "agentctl: no agent window found\n");
    return KExitNoAgent;
  }
  if (!o.Out.empty() && !(GOut = std::fopen(o.Out.c_str(), "ab"))) {
    std::fprintf(stderr, "agentctl: cannot open %s\n", o.Out.c_str());
    return KExitUsage;
  }

  WNDCLASSA wc = {};
  wc.lpfnWndProc = ControllerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = KOwnClass;
  RegisterClassA(&wc);
  HWND own = CreateWindowExA(0, KOwnClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
  if (!own) return KExitNoAgent;

  int exitCode = KExitOk;
  // Unregistered, the window is named so that a script can register it
  // through the plain agent's "/WM_MSG=window:message".
  if (!o.Registering)
    Line("window %llu message %u", (unsigned long long)(uintptr_t)own, GNotifyMessage);
  if (o.Registering) {
    PostMessageA(agent, wm_LocalMsg, (WPARAM)own, GNotifyMessage);
    bool alive = Listen(agent, KReplyWaitMs, GRegistered);
    if (!GRegistered) {
      std::fprintf(stderr, "agentctl: the agent did not answer the registration\n");
      return alive ? KExitNoAgent : KExitAgentGone;
    }
  }
  for (const TCommand& c : o.Commands) {
    if (c.Kind == TCommand::KQuit) {
      PostMessageA(agent, wm_ShutDown, (WPARAM)c.Value, 0);
      Line("quit %lld", c.Value);
      continue;
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(agent, GSettingsMessage, c.Code, (LPARAM)c.Value, SMTO_ABORTIFHUNG,
                             KReplyWaitMs, &result)) {
      Line("%s %d failed", c.Kind == TCommand::KGet ? "get" : "set", c.Code);
      exitCode = KExitNoAgent;
    } else if (c.Kind == TCommand::KGet) {
      Line("get %d %d %s", c.Code, (int)result, SettingName(c.Code));
    } else {
      Line("set %d %lld -> %d %s", c.Code, c.Value, (int)result, SettingName(c.Code));
    }
  }
  if (o.WaitMs < 0 && o.Registering) o.WaitMs = KDefaultWaitMs;
  if (o.WaitMs >= 0 && !Listen(agent, (DWORD)o.WaitMs, GAgentEnded) && !GAgentEnded) {
    Line("gone agent window closed without notification 43");
    exitCode = KExitAgentGone;
  }
  DestroyWindow(own);
  if (GOut != stdout) std::fclose(GOut);
  return exitCode;
}
