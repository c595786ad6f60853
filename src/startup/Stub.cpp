// The start-up program of a Korvix setup: banners, role choice, exit code.
#include "startup/Stub.h"

#include <windows.h>
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

#include <cstdlib>

#include "agent/StubAU.h"
#include "agent/StubGlob.h"
#include "http/CommUtils.h"
#include "http/InetHTTP.h"
#include "payload/StubInternet.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "startup/StubWin.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/KDebug.h"
#include "support/Win64.h"
#include "ui/KProgBar.h"
#include "text/Common.h"

// The stub has no console: a failure that escapes everything ends the
// process without the verbose report (which would pull in the demangler and
// stdio and double the program's size).
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

std::unique_ptr<TGFileInfo> StubFileInfo;
bool ThisIs_AutoUpdateProg = false;
std::string MainWindowClass;

namespace {

HINSTANCE GInstance = nullptr;

unsigned long Pid() {
  return GetCurrentProcessId();
}

std::string AgentExeName() {
  return StubFileInfo ? StubFileInfo->GetAgentExeName() : std::string();
}

// Lets the windows run while records are read and inflated, at most once in
// 10 ms: a pass through the message queue is a round trip to the window
// system (under Wine more than the 64 KiB read piece it follows costs to
// inflate), and 10 ms keeps the windows as quick as every piece did.
void PumpWhileReading() {
  static DWORD last = 0;
  const DWORD now = GetTickCount();
  if (now - last < 10) return;
  last = now;
  PumpMessages(0);
}

// Only a folder this process made goes: asking for the name first would make
// the folder, and an agent copy carries the date of the setup that made it, so
// the name could be that of a setup running beside it.
void RemoveSetupTempDir() {
  if (SetupTempDirMade()) DeleteTree(GetSetupTempDir(), false);
}

HWND AgentMainWindow() {
  return MainWindow;
}

bool AgentCheckToken(const std::string& path, int kind) {
  return StubFileInfo && StubFileInfo->CheckToken(path, kind);
}

bool AgentHttpConnected(std::string& systemText) {
  return HTTP_CheckConnection(systemText);
}

// Downloads with the program's progress bar, as the internet setup does.
std::string AgentHttpDownload(HWND window, const std::string& url, const std::string& target,
                              std::string& content) {
  std::string error;
  HTTP_DownloadFile(window, url, target, error, &ProgBar(), content);
  return error;
}

std::int64_t AgentHttpSize(const std::string& url) {
  return HTTP_IsConnected() ? HTTP_GetFileSize(url) : -1;
}

// The agent's links to the own payload, the main window and the descriptor
// files next to the program.
void LinkAgent() {
  AgentLinks.MainWindow = AgentMainWindow;
  AgentLinks.SetStatus = SetStatusText;
  AgentLinks.Progress = ExtractProgress;
  AgentLinks.CheckToken = AgentCheckToken;
  AgentLinks.HttpConnected = AgentHttpConnected;
  AgentLinks.HttpDownload = AgentHttpDownload;
  AgentLinks.HtmlErrorMessage = HtmlErrorMessage;
  SetHttpSizeQuery(AgentHttpSize);
  AgentLinks.UpdateServer = StubFileInfo->GetUpdateServer();
  AgentLinks.InfoFileName = StubFileInfo->GetInfoFileName();
  AgentLinks.AgentExeName = Trim(AgentExeName());
  SetDescriptorFiles(ProgramFolder(false), StubFileInfo->GetInfoFileName(),
                     StubFileInfo->GetOriginalFileName());
}

int RunWinMain() {
  OnSetupTick = RunSetupFlow;
  SetInternetSetupHandler(RunInternetSetup);
  OnAgentTick = AgentHook_UpdateTick;
  OnSleepX = AgentHook_SleepX;
  OnRemoveTempDir = RemoveSetupTempDir;
  if (ThisIs_AutoUpdateProg) {
    OnAgentShutDown = AgentShutDown;
    OnAgentRegister = AgentRegister;
    OnAgentSetting = AgentSetting;
    OnMainLoopEnd = AgentLoopEnded;
  }
  return RunStubWinMain(GInstance, MainWindowClass, ThisIs_AutoUpdateProg);
}

// The peak working set of this process, for the run's figures.
unsigned long long PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof pmc;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) return 0;
  return pmc.PeakWorkingSetSize;
}

}  // namespace

// ---------------------------------------------------------------- agent hooks

bool AgentHook_CreateAndRun_X_Exe(bool copyWasRunning) {
  return CreateAndRun_X_Exe(copyWasRunning, ThisIs_AutoUpdateProg, X_ExeIsRunning);
}

bool AgentHook_HandleParamOK(bool copyWasRunning) {
  return HandleParamOK(copyWasRunning);
}

void AgentHook_CheckTestMode() {
  StartTransientAgent();
}

void AgentHook_UpdateTick() {
  AgentTick();
}

void AgentHook_SleepX(int value) {
  AgentSleepX(value);
}

// ---------------------------------------------------------------- derived tests

bool X_ExeIsRunning() {
  std::string cls = ".AutoUpdate.X_" + FileNameNoExt(Trim(AgentExeName()), false);
  return FindWindowA(cls.c_str(), nullptr) != nullptr;
}

bool ThisIs_Plain_AutoUpdate_Exe() {
  return ThisIs_AutoUpdateProg && SameTextTrim(PathFileName(ProgramPath()), AgentExeName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return ThisIs_AutoUpdateProg &&
         SameTextTrim(PathFileName(ProgramPath()), "X_" + Trim(AgentExeName()));
}

bool SpanRelaunchWanted() {
  return GetSwitchInt("/SpanCdLvl=", 1) == 1 && StubFileInfo && StubFileInfo->SpanRelaunch();
}

bool ThisIs_SpanCopy() {
  return GetSwitchInt("/SpanCdLvl=", 1) == 2;
}

std::string MainWindowClassFor(bool autoUpdateProg, const std::string& programPath) {
  return autoUpdateProg ? ".AutoUpdate." + FileNameNoExt(programPath, false) : programPath;
}

// ---------------------------------------------------------------- dispatch

void DoRunStubWin() {
  AgentLog("DoRunStubWin() --- Start");
  MainWindowClass = MainWindowClassFor(ThisIs_AutoUpdateProg, ProgramPath());
  const bool xRunning = X_ExeIsRunning();
  const bool plainAgent = ThisIs_Plain_AutoUpdate_Exe();
  const bool xAgent = ThisIs_X_AutoUpdate_Exe();
  const struct {
    const char* Name;
    bool Value;
  } tests[] = {{"X_ExeIsRunning=", xRunning},
               {"ThisIs_Plain_AutoUpdate_Exe=", plainAgent},
               {"ThisIs_X_AutoUpdate_Exe=", xAgent}};
  for (const auto& t : tests) AgentLog(t.Name + BoolText(t.Value));

  // Another process already plays this role: run nothing.
  if (!FindWindowA(MainWindowClass.c_str(), nullptr)) {
    if (plainAgent) {
      AgentHook_CreateAndRun_X_Exe(xRunning);
    } else if (xAgent) {
      AgentLog("CheckTestMode");
      AgentHook_CheckTestMode();
      AgentLog("WinMain");
      RunWinMain();
      AgentLog("DeleteMySelf");
      DeleteMySelf(false);
    } else if (SpanRelaunchWanted()) {
      StartSpanCopy();
    } else {
      RunWinMain();
      if (ThisIs_SpanCopy()) DeleteMySelf(true);
    }
  }
  if (plainAgent) AgentHook_HandleParamOK(xRunning);
  AgentLog("DoRunStubWin() --- End");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  InitSafeDllSearch();
  InitDebugOutput();
  SetInflatePumpHook(PumpWhileReading);
  SetRecordPumpHook(PumpWhileReading);
  GInstance = instance;
  const std::string raw = GetCommandLineA();
  const std::string program = ProgramPath();

  DebugLine(Pid(), " ==== STUB START ====> ", raw, "<");
  StubFileInfo.reset(new TGFileInfo(program));
  ThisIs_AutoUpdateProg = StubFileInfo->IsAutoUpdateProg();
  SetAgentLogEnabled(ThisIs_AutoUpdateProg && StubFileInfo->AgentLogOn());
  if (ThisIs_X_AutoUpdate_Exe()) SetAgentLogPrefix(" X ");
  AgentLog("");
  AgentLog("");
  AgentLog("=== START === " + program);
  AgentLog("CommandLine=" + raw);
  AgentLog("Agent Version=" + GetExeVersion("", 1, 4));
  DebugLine(Pid(), " ==== ThisIs_AutoUpdateProg=", ThisIs_AutoUpdateProg);
  SetSetupFlowContext(StubFileInfo.get(), ThisIs_AutoUpdateProg);
  if (ThisIs_AutoUpdateProg) LinkAgent();

  DoRunStubWin();

  SetSetupFlowContext(nullptr, ThisIs_AutoUpdateProg);
  StubFileInfo.reset();
  DebugLine(Pid(), " PeakWorkingSetSize=", PeakWorkingSet());
  DebugLine(Pid(), " ==== STUB END ====> ", raw, "<");
  DebugLine("");
  AgentLog("=== EXIT === " + program);
  AgentLog("");
  ExitProcess(StubExitCode());
}
