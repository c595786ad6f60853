// Program start: the reader of the program's own payload, the start and exit
// banners, the choice of the role this process plays (plain setup, span
// relaunch, update agent or its transient copy), the single-instance test and
// the process exit code.
//
// Windows only.
#pragma once

#include <memory>
#include <string>

class TGFileInfo;

// Process-wide start-up state, set once during start.
extern std::unique_ptr<TGFileInfo> StubFileInfo;  // reader of the running program
extern bool ThisIs_AutoUpdateProg;                // trailer byte 69 of the own payload
extern std::string MainWindowClass;               // main window class, single-instance key

// Derived tests (evaluated when asked).
bool X_ExeIsRunning();
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();
bool SpanRelaunchWanted();  // "/SpanCdLvl=" is 1 and the span-relaunch bit is set
bool ThisIs_SpanCopy();     // "/SpanCdLvl=" is 2

// The window class of a role: ".AutoUpdate." + own name without extension
// for an agent, the program's full path otherwise.
std::string MainWindowClassFor(bool autoUpdateProg, const std::string& programPath);

// Decides the role and runs it; returns when the role has ended.
void DoRunStubWin();

// Hooks of the update agent, empty until the agent modules fill them in:
// the plain agent's copy-and-start step and its forwarding of control
// switches (both get X_ExeIsRunning as evaluated once), test mode from the
// registry, one tick of the update cycle, and "/SleepX=".
bool AgentHook_CreateAndRun_X_Exe(bool copyWasRunning);
bool AgentHook_HandleParamOK(bool copyWasRunning);
void AgentHook_CheckTestMode();
void AgentHook_UpdateTick();
void AgentHook_SleepX(int value);
