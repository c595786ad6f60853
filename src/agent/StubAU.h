// The update agent: the transient copy of the product's agent executable runs
// one step of the update cycle on every tick of the main window's one-second
// timer. When the probe interval has passed it fetches the ".info" file,
// decides with GetOkToPerformAU whether an update applies, and shows the
// inform page or performs the update. A controller program registers a window
// with the agent, receives notifications and reads or changes the agent's
// settings through private window messages. The plain agent (the installed
// file) only copies itself to "X_" + its name, starts that copy and forwards
// its control switches to it.
//
// Portable: the agent state, the tick's sequence, the probe timing, the
// settings codes and the decision levels, which work on a TAgentWorld; the
// world that acts on this machine is Windows only.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

// Process-wide state of the agent (values at start).
struct TAgentState {
  bool TestMode = false;
  std::string TestBase;                 // TestModeURL
  std::uint32_t LastTestModeCheck = 0;  // tick count
  std::int32_t QuitCountdown = -1;      // ticks until the agent quits; -1 never
  bool ShootNow = false;                // the next status check reports a probe as due
  std::int32_t Interactive = 0;         // 2 requested, 1 being performed, 0 background
  std::int32_t AutoUpdateTimerCount = -3;
  bool JustDownloadInfoFile = false;
  std::int32_t ShotState = 0;  // 0 idle, 1 .info, 2 update or page, 3 setup running
  std::uintptr_t ControllerWindow = 0;
  std::uint32_t ControllerMessage = 0;
  bool TickGuard = false;
  bool Enabled = true;  // the agent enable flag: lets the timer probe
};
extern TAgentState Agent;

// Notification codes posted to a controller (wParam; lParam the value).
enum TAgentNotify {
  KNotifyInfoDownload = 40,    // 1 start, 2 end
  KNotifyUpdateDownload = 41,  // 1 start, 2 end
  KNotifySetupRun = 42,        // 1 start, 2 end
  KNotifyLoopEnded = 43,       // 0
  KNotifyWindow = 50,          // the agent's main window
  KNotifySettingsMessage = 51  // 1125
};

// What a tick needs outside the state: the descriptor values, the clock,
// test mode, and the actions it takes.
class TAgentWorld {
public:
  virtual ~TAgentWorld() = default;
  virtual std::int64_t NowSeconds() = 0;
  virtual std::int64_t ReadOriginal(int key) = 0;  // a TDescKey of the ".original" file
  virtual std::int64_t ReadInfo(int key) = 0;      // a TDescKey of the ".info" file
  virtual void WriteOriginal(int key, std::int64_t value) = 0;
  virtual bool CheckTestMode(bool force) = 0;
  virtual void Debug(const std::string& line) = 0;
  virtual void PostQuit() = 0;
  virtual void DownloadInfoOnly() = 0;
  virtual void ApplyMessageFont() = 0;
  // The check-now question; false for No.
  virtual bool AskCheckNow() = 0;
  virtual void PerformShot() = 0;
};

// One timer tick (re-entry while a tick runs is ignored).
void AgentTickWith(TAgentState& state, TAgentWorld& world);
// 0 not due, 1 due, 2 due and the last one (ProbeSecondsInterval 0). Clears
// ShootNow.
int ShotTimeStatus(TAgentState& state, TAgentWorld& world);
// The answer to a controller's settings message (wm_AgentMsg): readers return
// the value's low 32 bits, setters 0, unknown codes 0.
std::int32_t AgentSettingWith(TAgentState& state, TAgentWorld& world, std::int32_t code,
                              std::int64_t value);

// The decision of a probe, level 0 to 6; 6 passes.
struct TOkInputs {
  bool InfoFetched = false;
  std::int64_t VersionOriginal = 0, VersionNew = 0;
  std::int64_t StampOriginal = 0, StampInfo = 0;
  bool ReAskDue = false;
  bool Interactive = false;
  bool ValidVersions = false;
  bool SizeOK = false;
};
int OkLevel(const TOkInputs& in);
// "Error downloading .INFO file" ... "OK" for levels 0 to 6.
std::string OkLevelText(int level);
// ReAskSecondsInterval > 0 and now > ReAskSecondsLast + interval.
bool ReAskDue(std::int64_t now, std::int64_t reAskLast, std::int64_t reAskInterval);

// The switches the plain agent gives its transient copy: " /TRANSIENTx=" and
// " /SleepX=" for the values of "/TRANSIENT=" and "/DELAY=" that are set.
std::string TransientSwitches(const std::string& transient, const std::string& delay);
// "/WM_MSG=" "W:L": the controller window and message (a non-number is 0).
void ParseControllerSwitch(const std::string& value, std::int64_t& window, std::int64_t& message);

#ifdef _WIN32
// What the agent needs of start-up, the main window, the own payload and the
// HTTP client; set by start-up before the main window runs. Unset entries do
// nothing (HTTP: no connection).
struct TAgentLinks {
  HWND (*MainWindow)() = nullptr;
  void (*SetStatus)(const std::string& text, const std::string& fontName, int fontSize,
                    int charset) = nullptr;
  void (*Progress)(int mode, int reserved, std::int64_t count, std::int64_t position, int step,
                   const std::string& text) = nullptr;
  // The own payload's update token against a fetched setup (kind 2) or page (3).
  bool (*CheckToken)(const std::string& path, int kind) = nullptr;
  std::string UpdateServer, InfoFileName, AgentExeName;
  // HTTP: the connection (systemText: the system's reason when there is none),
  // a download of url into target (into content for an empty target) that
  // returns an error text, empty on success, and the error text of a fetched
  // HTML error page (or def).
  bool (*HttpConnected)(std::string& systemText) = nullptr;
  std::string (*HttpDownload)(HWND progressWindow, const std::string& url,
                              const std::string& target, std::string& content) = nullptr;
  std::string (*HtmlErrorMessage)(const std::string& file, const std::string& content,
                                  const std::string& source, const std::string& def) = nullptr;
};
extern TAgentLinks AgentLinks;

// The plain agent: copies itself to "X_" + its name and starts the copy,
// forwarding "/TRANSIENT=" and "/DELAY="; copyRunningNow tells whether a copy
// runs at this moment. Returns copyWasRunning.
bool CreateAndRun_X_Exe(bool copyWasRunning, bool autoUpdateProg, bool (*copyRunningNow)());
// The plain agent: "/STOP=", "/WM_MSG=", "/TEST=" as messages to the running
// copy, "/TRANSIENTx=" into the override set; true when something was posted.
bool HandleParamOK(bool copyWasRunning);
// The transient copy at start: the overrides it was given ("/TRANSIENTx=")
// and test mode.
void StartTransientAgent();

// The main window's hooks in the transient copy.
void AgentTick();
void AgentSleepX(int value);
void AgentShutDown(WPARAM ticks);
void AgentRegister(HWND controller, UINT message);
LRESULT AgentSetting(WPARAM code, LPARAM value);
void AgentLoopEnded();
// Posts code and value to the registered controller.
void NotifyController(int code, LPARAM value);
// Test mode from the registry, re-read when forced or 30 s after the last
// check.
bool CheckTestMode(bool force);
// One probe: fetch the ".info" file, decide, and act on the decision.
void PerformShot();
// Fetches base + name (kind 1 ".info", 2 update setup, 3 inform page) from a
// folder or over HTTP into the agent's folder; error receives the reason.
bool DownloadFileAU(const std::string& base, const std::string& name, int kind, std::string& error);
// The decision of a probe: level 0 to 6 and its text; true at 6.
bool GetOkToPerformAU(bool infoFetched, int& level, std::string& text);
// Ends this copy and starts the plain agent anew (unless a quit countdown runs).
void ReStartAutoUpdateExe();
#endif
