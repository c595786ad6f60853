#include "agent/StubAU.h"

#include <algorithm>

#include "agent/StubGlob.h"
#include "text/Common.h"
#include "text/KSUB.h"

TAgentState Agent;

namespace {

const char* const KOkTexts =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch"
    "|Download file size error|OK|";

// Clears the tick guard on every way out of a tick.
struct TTickGuard {
  TAgentState& State;
  explicit TTickGuard(TAgentState& s) : State(s) { State.TickGuard = true; }
  ~TTickGuard() {
    State.ShotState = 0;
    State.TickGuard = false;
  }
};

}  // namespace

int ShotTimeStatus(TAgentState& state, TAgentWorld& world) {
  int status = 0;
  if (state.Enabled || state.ShootNow) {
    const std::int64_t interval = world.ReadOriginal(KProbeSecondsInterval);
    const std::int64_t step = state.TestMode ? 5 : interval;
    if (world.NowSeconds() >= world.ReadOriginal(KProbeSecondsLast) + step) status = 1;
    if (interval == 0 && status == 1) status = 2;
    if (interval == -1) status = 0;
    if (state.ShootNow) status = 1;
  }
  state.ShootNow = false;
  return status;
}

void AgentTickWith(TAgentState& state, TAgentWorld& world) {
  if (state.TickGuard) return;
  TTickGuard guard(state);
  if (state.JustDownloadInfoFile) {
    world.Debug("-------------- JustDownloadInfoFile ---------------");
    state.JustDownloadInfoFile = false;
    world.DownloadInfoOnly();
    return;
  }
  world.ApplyMessageFont();
  state.ShotState = 0;
  if (state.Interactive == 2) state.Interactive = 1;
  if (state.Interactive == 1) state.AutoUpdateTimerCount = 0;
  if (state.QuitCountdown == 0) world.PostQuit();
  if (state.QuitCountdown >= 0) --state.QuitCountdown;
  ++state.AutoUpdateTimerCount;
  world.Debug(" AutoUpdateTimerCount=" + IntToStr(state.AutoUpdateTimerCount));
  if (state.AutoUpdateTimerCount <= 0) return;
  state.TestMode = world.CheckTestMode(false);
  int status = ShotTimeStatus(state, world);
  world.Debug(" ShotTimeStatus=" + IntToStr(status));
  if (status == 2) state.Enabled = false;
  if (status >= 1 && (state.Interactive == 1 || AgentOverrides.Values[KOvAskBeforeProbe] == 1) &&
      !world.AskCheckNow())
    status = 0;
  if (status >= 1) {
    world.PerformShot();
    if (state.Interactive == 1) state.Interactive = 0;
  }
}

std::int32_t AgentSettingWith(TAgentState& state, TAgentWorld& world, std::int32_t code,
                              std::int64_t value) {
  struct TKeyCode {
    std::int32_t Read, Write;
    TDescKey Key;
  };
  static const TKeyCode keys[] = {{4, 0, KVersionOriginal},
                                  {8, 12, KProbeSecondsInterval},
                                  {9, 13, KReAskSecondsInterval},
                                  {10, 14, KProbeSecondsLast},
                                  {11, 15, KReAskSecondsLast}};
  for (const TKeyCode& k : keys) {
    if (code == k.Read) return static_cast<std::int32_t>(world.ReadOriginal(k.Key));
    if (code == k.Write) {
      world.WriteOriginal(k.Key, value);
      return 0;
    }
  }
  if (code == 5) return static_cast<std::int32_t>(world.ReadInfo(KVersionNew));
  if (code == 7) return state.ShotState;
  if (code >= 20 && code <= 25) AgentOverrides.Set(code - 20, value);
  if (code == 30) state.QuitCountdown = static_cast<std::int32_t>(value);
  if (code == 31) {
    state.ShootNow = true;
    if (state.AutoUpdateTimerCount < 1) state.AutoUpdateTimerCount = 1;
    if (value == 2) state.Interactive = 2;
  }
  if (code == 32) state.JustDownloadInfoFile = true;
  return 0;
}

int OkLevel(const TOkInputs& in) {
  if (!in.InfoFetched) return 0;
  if (in.VersionOriginal <= 0) return 1;
  if (in.StampInfo == in.StampOriginal && !in.ReAskDue && !in.Interactive) return 2;
  if (in.VersionOriginal >= in.VersionNew) return 3;
  if (!in.ValidVersions) return 4;
  if (!in.SizeOK) return 5;
  return 6;
}

std::string OkLevelText(int level) {
  return SUB::Item(KOkTexts, level, "");
}

bool ReAskDue(std::int64_t now, std::int64_t reAskLast, std::int64_t reAskInterval) {
  return reAskInterval > 0 && now > reAskLast + reAskInterval;
}

std::string TransientSwitches(const std::string& transient, const std::string& delay) {
  std::string switches;
  if (!transient.empty()) switches += " /TRANSIENTx=" + transient;
  if (!delay.empty()) switches += " /SleepX=" + delay;
  return switches;
}

void ParseControllerSwitch(const std::string& value, std::int64_t& window, std::int64_t& message) {
  const std::string list = ":" + value + ":";
  window = SUB::ItemInt(list, 0, 0);
  message = SUB::ItemInt(list, 1, 0);
}

#ifdef _WIN32
#include "agent/Process.h"
#include "agent/StubAUInform.h"
#include "agent/StubAUInstall.h"
#include "http/InetHTTP.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "support/Win64.h"
#include "ui/KMsgBox.h"

TAgentLinks AgentLinks;

namespace {

unsigned long Pid() {
  return GetCurrentProcessId();
}

// The agent's private messages (wm_ShutDown, wm_LocalMsg, wm_AgentMsg of the
// main window, which lies above this module).
const UINT KAgentShutDown = WM_USER + 99;
const UINT KAgentLocalMsg = WM_USER + 100;
const UINT KAgentSettingMsg = WM_USER + 101;

// The longest wait "/WAIT=" may ask for.
const std::int64_t KMaxWaitSeconds = 3600;
// The largest ".info" file read from a folder.
const std::int64_t KMaxInfoBytes = 1 << 20;

std::string OwnFileName() {
  return LastPathElement(ProgramPath());
}

std::string CopyPath() {
  return ProgramFolder(true) + "X_" + OwnFileName();
}

// Starts program (by its full path, quoted on the command line) hidden.
bool StartHidden(const std::string& program, const std::string& switches) {
  std::string cmd = "\"" + program + "\"" + switches;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(program.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  TProcess started(pi);
  return true;
}

void ShowMain(bool show) {
  HWND w = AgentLinks.MainWindow ? AgentLinks.MainWindow() : nullptr;
  if (w) ShowWindow(w, show ? SW_SHOW : SW_HIDE);
}

// The [MsgBox] settings of the ".original" file for every box.
struct TBoxStyle {
  int Charset = static_cast<int>(DescInt(KCharSet));
  std::string Buttons = DescText(KBtnText);
};

void Attention(intptr_t owner, const std::string& text) {
  TBoxStyle b;
  ShowAttention(owner, text, DescText(KAttentionCaption), b.Charset, b.Buttons);
}

void Error(intptr_t owner, const std::string& text) {
  TBoxStyle b;
  ShowError(owner, text, DescText(KErrorCaption), b.Charset, b.Buttons);
}

bool Ask(intptr_t owner, const std::string& text) {
  TBoxStyle b;
  return AskYesNo(owner, text, DescText(KConfirmCaption), b.Charset, b.Buttons);
}

bool HttpConnected(std::string& systemText) {
  return AgentLinks.HttpConnected && AgentLinks.HttpConnected(systemText);
}

std::string HtmlError(const std::string& file, const std::string& content,
                      const std::string& source, const std::string& def) {
  return AgentLinks.HtmlErrorMessage ? AgentLinks.HtmlErrorMessage(file, content, source, def)
                                     : def;
}

// The check-now question; false for No.
bool AskCheckNowQuestion() {
  const bool testMode = CheckTestMode(true);
  const std::string base = testMode ? Agent.TestBase : AgentLinks.UpdateServer;
  std::string text = DescText(KS22);
  if (base.size() >= 2 && base[1] != ':') text += DescText(KS23);
  text += DescText(KS24);
  if (testMode) text += "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
  return Ask(1, ReplaceAll(text, "PROG_NAME", DescText(KProgramNameOriginal)));
}

// Fetches the ".info" file between the notifications 40/1 and 40/2.
bool DownloadInfoFile(std::string& error) {
  NotifyController(KNotifyInfoDownload, 1);
  const bool fetched = DownloadFileAU(AgentLinks.UpdateServer, AgentLinks.InfoFileName, 1, error);
  NotifyController(KNotifyInfoDownload, 2);
  return fetched;
}

class TSystemAgentWorld : public TAgentWorld {
public:
  std::int64_t NowSeconds() override { return ::NowSeconds(); }
  std::int64_t ReadOriginal(int key) override { return DescInt(static_cast<TDescKey>(key)); }
  std::int64_t ReadInfo(int key) override { return DescInt(static_cast<TDescKey>(key)); }
  void WriteOriginal(int key, std::int64_t value) override {
    WriteDescInt(static_cast<TDescKey>(key), value);
  }
  bool CheckTestMode(bool force) override { return ::CheckTestMode(force); }
  void Debug(const std::string& line) override {
    if (!line.empty() && line[0] == ' ')
      DebugLine(Pid(), line);
    else
      DebugLine(line);
  }
  void PostQuit() override { PostQuitMessage(0); }
  void DownloadInfoOnly() override {
    std::string error;
    DownloadInfoFile(error);
  }
  void ApplyMessageFont() override {
    SetMsgBoxFont(DescText(KFontName), static_cast<int>(DescInt(KFontSize)),
                  static_cast<int>(DescInt(KCharSet)));
  }
  bool AskCheckNow() override { return AskCheckNowQuestion(); }
  void PerformShot() override { ::PerformShot(); }
};

TSystemAgentWorld GWorld;

}  // namespace

bool CreateAndRun_X_Exe(bool copyWasRunning, bool autoUpdateProg, bool (*copyRunningNow)()) {
  AgentLog("CreateAndRun_X_Exe() --- Start");
  const std::string zz = GetSwitchValue("/_ZZ=", "");
  DebugLine(Pid(), " CreateAndRun_X_Exe-1 ", zz);
  const bool running = copyRunningNow && copyRunningNow();
  if (autoUpdateProg && !(running && zz != "99") &&
      SameTextTrim(OwnFileName(), AgentLinks.AgentExeName)) {
    DebugLine(Pid(), " CreateAndRun_X_Exe-2");
    const std::int64_t wait =
        std::min(std::max<std::int64_t>(GetSwitchInt("/WAIT=", 0), 0), KMaxWaitSeconds);
    AgentLog("Wait " + IntToStr(wait) + " SEC");
    if (wait > 0) WaitPumping(0, static_cast<unsigned>(wait * 1000));
    const std::string copy = CopyPath();
    CopyFileA(ProgramPath().c_str(), copy.c_str(), FALSE);
    AgentLog("Create X_ File ");
    const std::string switches =
        TransientSwitches(GetSwitchValue("/TRANSIENT=", ""), GetSwitchValue("/DELAY=", ""));
    AgentLog("WinExec: " + copy + switches);
    StartHidden(copy, switches);
    // The switches that follow go to the copy's window: wait for the window,
    // not only the process, or they are lost while reported as posted.
    auto ready = [&] { return copyRunningNow ? copyRunningNow() : IsProcessRunning(copy); };
    if (!GetParams().empty())
      for (int waited = 0; waited < 3000 && !ready(); waited += 200) WaitPumping(0, 200);
  }
  AgentLog("CreateAndRun_X_Exe() --- End");
  return copyWasRunning;
}

bool HandleParamOK(bool copyWasRunning) {
  AgentLog("HandleParamOK() --- Start");
  const std::string copy = CopyPath();
  bool posted = false;
  const std::int64_t stop = GetSwitchInt("/STOP=", -1);
  if (stop >= 0 && FileExists(copy)) {
    AgentLog("PostProcessMessage(wm_ShutDown) to: " + copy);
    PostProcessMessage(copy, true, KAgentShutDown, static_cast<WPARAM>(stop), 0);
    posted = true;
  }
  const std::string controller = GetSwitchValue("/WM_MSG=", "");
  if (!controller.empty() && FileExists(copy)) {
    std::int64_t w = 0, l = 0;
    ParseControllerSwitch(controller, w, l);
    AgentLog("PostProcessMessage(wm_LocalMsg) to: " + copy + " - :" + controller + ":");
    PostProcessMessage(copy, true, KAgentLocalMsg, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
    posted = true;
  }
  const std::int64_t test = GetSwitchInt("/TEST=", -1);
  if (test >= 0 && FileExists(copy)) {
    AgentLog("PostProcessMessage(wm_AgentMsg) to: " + copy + " - AU_PerformUpdateCycle (" +
             IntToStr(test) + ")");
    PostProcessMessage(copy, true, KAgentSettingMsg, 31, static_cast<LPARAM>(test));
    // A copy started only for this test quits two ticks later.
    if (!copyWasRunning && test > 0) PostProcessMessage(copy, true, KAgentShutDown, 2, 0);
    posted = true;
  }
  const std::string overrides = GetSwitchValue("/TRANSIENTx=", "");
  if (!overrides.empty()) AgentOverrides.Parse(overrides);
  AgentLog("HandleParamOK() --- End");
  return posted;
}

void StartTransientAgent() {
  // The overrides that a restart carried over reach the copy on its command
  // line; only the plain agent once read them there.
  const std::string overrides = GetSwitchValue("/TRANSIENTx=", "");
  if (!overrides.empty()) AgentOverrides.Parse(overrides);
  CheckTestMode(true);
}

void AgentTick() {
  AgentTickWith(Agent, GWorld);
}

void AgentSleepX(int value) {
  Agent.AutoUpdateTimerCount = value;
}

void AgentShutDown(WPARAM ticks) {
  Agent.QuitCountdown = static_cast<std::int32_t>(ticks);
}

void AgentRegister(HWND controller, UINT message) {
  Agent.ControllerWindow = reinterpret_cast<std::uintptr_t>(controller);
  Agent.ControllerMessage = message;
  HWND own = AgentLinks.MainWindow ? AgentLinks.MainWindow() : nullptr;
  NotifyController(KNotifyWindow, reinterpret_cast<LPARAM>(own));
  NotifyController(KNotifySettingsMessage, KAgentSettingMsg);
}

LRESULT AgentSetting(WPARAM code, LPARAM value) {
  return AgentSettingWith(Agent, GWorld, static_cast<std::int32_t>(code), value);
}

void AgentLoopEnded() {
  NotifyController(KNotifyLoopEnded, 0);
}

void NotifyController(int code, LPARAM value) {
  if (Agent.ControllerWindow && Agent.ControllerMessage)
    PostMessageA(reinterpret_cast<HWND>(Agent.ControllerWindow), Agent.ControllerMessage,
                 static_cast<WPARAM>(code), value);
}

bool CheckTestMode(bool force) {
  const std::uint32_t now = GetTickCount();
  if (force || now - Agent.LastTestModeCheck > 30000) {
    const TTestModeValues v = ReadTestModeValues();
    Agent.TestMode = TestModeHolds(v.TestMode, v.TestModeDate, DateStampText());
    Agent.TestBase = v.TestModeURL;
  }
  Agent.LastTestModeCheck = now;
  return Agent.TestMode;
}

bool GetOkToPerformAU(bool infoFetched, int& level, std::string& text) {
  TOkInputs in;
  in.InfoFetched = infoFetched;
  in.VersionOriginal = DescInt(KVersionOriginal);
  in.VersionNew = DescInt(KVersionNew);
  in.StampOriginal = DescInt(KStampOriginal);
  in.StampInfo = DescInt(KStampInfo);
  in.ReAskDue = ReAskDue(NowSeconds(), DescInt(KReAskSecondsLast), DescInt(KReAskSecondsInterval));
  in.Interactive = Agent.Interactive == 1;
  in.ValidVersions = ValidVersionsOK(DescText(KValidVersions), in.VersionOriginal);
  in.SizeOK = true;
  level = OkLevel(in);
  // The size test asks the server: only when everything before it passed.
  if (level == 6) {
    in.SizeOK = UpdateSizeOK(Agent.TestMode, Agent.TestBase);
    level = OkLevel(in);
  }
  text = OkLevelText(level);
  DebugLine(Pid(), " GetOkToPerformAU=", level);
  AgentLog("GetOkToPerformAU = " + IntToStr(level) + " - " + text);
  return level == 6;
}

bool DownloadFileAU(const std::string& base, const std::string& name, int kind,
                    std::string& error) {
  static const TDescKey statusTexts[] = {KS31, KS32, KS33};
  error.clear();
  std::string content;
  const std::string file = LastPathElement(name);
  const std::string folder = Agent.TestMode ? Agent.TestBase : base;
  const std::string target = ProgramFolder(true) + file;
  std::string source = folder + "\\" + file;
  DebugLine(Pid(), " DownloadFileAU: ", source);
  AgentLog("TestMode=" + BoolText(Agent.TestMode));
  AgentLog("Download START: " + source);
  const bool shown = kind == 2 && EffectiveSwitch(KOvConfirmDownload) && Agent.Interactive != 1;
  if (shown) ShowMain(true);
  if (AgentLinks.SetStatus && kind >= 1 && kind <= 3)
    AgentLinks.SetStatus(DescText(statusTexts[kind - 1]), DescText(KFontName),
                         static_cast<int>(DescInt(KFontSize)), static_cast<int>(DescInt(KCharSet)));
  std::string systemText;
  if (FileExists(source)) {
    // A folder source: the ".info" text is read (bounded), a setup or page
    // is copied rather than held in memory.
    if (kind == 1)
      content = ReadFilePart(source, KMaxInfoBytes, false, 0);
    else if (!CopyFileA(source.c_str(), target.c_str(), FALSE))
      error = LastErrorText();
    if (shown && AgentLinks.Progress) {
      AgentLinks.Progress(0, 0, 10, 0, 1, "");
      for (int i = 0; i < 10; ++i) {
        AgentLinks.Progress(1, 0, 10, i + 1, 1, "");
        WaitPumping(0, 300);
      }
      AgentLinks.Progress(0, 0, 0, 0, 0, "");
    }
  } else if (!Agent.TestMode && HttpConnected(systemText) && AgentLinks.HttpDownload) {
    WaitPumping(0, 500);
    source = folder + "/" + file;
    HTTP_SetAbort(false);
    HWND window =
        Agent.Interactive == 1 && AgentLinks.MainWindow ? AgentLinks.MainWindow() : nullptr;
    error = AgentLinks.HttpDownload(window, source, kind == 1 ? std::string() : target, content);
    WaitPumping(0, 500);
  }
  if (shown) ShowMain(false);
  AgentLog("Download END:   " + source);

  bool success = false;
  if (kind == 1) {
    if (!content.empty()) error = HtmlError("", content, source, error);
    success = error.empty() && !content.empty();
    WriteTextFile(target, content, 0, false);
    return success;
  }
  // Nothing fetched is no success, even without an error text.
  if (error.empty() && FileSizeByName(target) <= 0) error = "File not found: " + source;
  if (error.empty()) {
    success = true;
    if (!AgentLinks.CheckToken || !AgentLinks.CheckToken(target, kind)) {
      success = false;
      error = HtmlError(target, "", source, "Bad Secret Token!");
      DeleteFileA(target.c_str());
      AgentLog("ERROR: " + error);
      Error(0, error);
    }
    return success;
  }
  if (source.size() > 2 && EffectiveSwitch(KOvConfirmDownload)) {
    std::string text;
    if (HTTP_IsAborted())
      text = DescText(KS3);
    else if (source[1] == ':' || source.compare(0, 2, "\\\\") == 0)
      text = source + "<P><P>" + DescText(KS4);
    else
      text = source + "<P><P>" + DescText(KS5);
    AgentLog("ATTENTION: " + text);
    Attention(0, text);
  }
  return false;
}

void PerformShot() {
  DebugLine(Pid(), " Fire  ", DateStampTimeText(Now(), " "));
  CheckTestMode(true);
  Agent.ShotState = 1;
  std::string error;
  const bool fetched = DownloadInfoFile(error);
  WriteDescInt(KProbeSecondsLast, NowSeconds());
  int level = 0;
  std::string levelText;
  const bool passed = GetOkToPerformAU(fetched, level, levelText);
  if (passed) {
    DebugLine(Pid(), " ==== PerformShot-1 ====");
    WriteDescInt(KReAskSecondsLast, NowSeconds());
    WriteDescInt(KStampOriginal, DescInt(KStampInfo));
    if (DescInt(KAutoInform) == 1) {
      PerformAutoInform();
    } else if (PerformAutoUpdate()) {
      ReStartAutoUpdateExe();
    }
    DebugLine(Pid(), " ==== PerformShot-2 ====");
  }
  if (Agent.Interactive != 1) return;
  WaitPumping(0, 1000);
  ShowMain(false);
  if (passed) return;
  std::string systemText;
  const bool connected = HttpConnected(systemText);
  DebugLine(Pid(), " TestMode=", Agent.TestMode, " InternetConnected=", connected);
  if (!Agent.TestMode && !connected)
    Error(0, DescText(KS2) + (systemText.empty() ? "" : "<P><P>" + systemText));
  else if (!Agent.TestMode && !error.empty())
    Error(0, error);
  else
    Attention(
        1, DescText(KS21) +
               (IsDeveloperMode() ? "<P><P>(" + IntToStr(level) + " - " + levelText + ")   " : ""));
}

void ReStartAutoUpdateExe() {
  AgentLog(".. ReStartAutoUpdateExe() - Start");
  if (Agent.QuitCountdown <= 0) {
    const std::string agent = ProgramFolder(true) + AgentLinks.AgentExeName;
    const std::string switches = " /_ZZ=99 /WAIT=10 /TRANSIENT=" + AgentOverrides.Text();
    AgentLog(".. WinExec - " + agent + switches);
    StartHidden(agent, switches);
    WaitPumping(0, 1000);
    AgentLog(".. PostMessage(WM_DESTROY)");
    HWND own = AgentLinks.MainWindow ? AgentLinks.MainWindow() : nullptr;
    if (own) PostMessageA(own, WM_DESTROY, 0, 0);
  }
  AgentLog(".. ReStartAutoUpdateExe() - End");
}
#endif
