// The stub's main window: a small top-level window with the setup's icon, a
// status line, a progress bar counting the extracted files and a six-position
// activity indicator. Its 1000 ms timer starts the real work, and its message
// loop is the program's only one.
//
// What start-up (and the setup flow and update agent) must call and set:
//   1. Set the hooks below that apply, before RunStubWinMain:
//        OnSetupTick    = RunSetupFlow      (plain setup; it calls
//                                            StopMainTimer() first)
//        OnAgentTick    = the update cycle's tick (update agent)
//        OnSleepX       = sets AutoUpdateTimerCount := value (-N for "/SleepX=N")
//        OnAgentShutDown, OnAgentRegister, OnAgentSetting
//                       = the agent's handlers of the messages 1123, 1124, 1125
//        OnRemoveTempDir = DeleteTree(GetSetupTempDir(), false)
//        OnMainLoopEnd  = the controller notification 43/0
//      Unset hooks do nothing (1125 then answers 0).
//   2. Call RunStubWinMain(instance, MainWindowClass, ThisIs_AutoUpdateProg)
//      from DoRunStubWin for the roles that run the window; it returns
//      when the window has ended.
//   3. During the flow: SetStatusText, ExtractProgress, ShowWindow(MainWindow,
//      ...), ShowWindow(ActivityBar, SW_SHOW).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Private messages of a controller of the update agent.
const UINT wm_ShutDown = WM_USER + 99;   // 1123: quit countdown := wParam
const UINT wm_LocalMsg = WM_USER + 100;  // 1124: wParam controller window, lParam its message
const UINT wm_AgentMsg = WM_USER + 101;  // 1125: result = AgentSetting(wParam, lParam)

// Size and places, in pixels (outer size of the window, client positions of
// the controls).
const int KMainWindowWidth = 492;
const int KMainWindowHeight = 110;
const DWORD KMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// Process-wide window state.
extern HWND MainWindow;
extern HWND StatusLine;   // "Static"
extern HWND FilesBar;     // "msctls_progress32": one step per extracted file
extern HWND ActivityBar;  // "msctls_progress32": six positions, hidden until shown
extern int ActivityPos;   // 0..5
extern bool QuitFlag;     // set by DestroyMainWindow; ends the message loop

// Hooks filled by the start-up, setup and agent modules.
extern void (*OnSetupTick)();
extern void (*OnAgentTick)();
extern void (*OnSleepX)(int value);
extern void (*OnAgentShutDown)(WPARAM ticks);
extern void (*OnAgentRegister)(HWND controller, UINT message);
extern LRESULT (*OnAgentSetting)(WPARAM code, LPARAM value);
extern void (*OnRemoveTempDir)();
extern void (*OnMainLoopEnd)();

// WinMain of the stub: registers the class `windowClass`, creates the hidden
// window (title: language key s0) centred in the work area, sets the message
// box font from the language, runs the message loop until the window ends,
// then stops the timer, sets the download abort flag, frees WinINet and calls
// OnMainLoopEnd.
// `agentRole`: each timer tick runs OnAgentTick instead of OnSetupTick.
// Returns 0.
int RunStubWinMain(HINSTANCE instance, const std::string& windowClass, bool agentRole);

// Stops timer 1 (the setup flow does so before it runs).
void StopMainTimer();

// Status line text and font; the Hebrew and Arabic character sets read right
// to left.
void SetStatusText(const std::string& text, const std::string& fontName, int fontSize, int charset);

// The one progress procedure. Mode 0 sets up both bars (files bar range 0 to
// the low 16 bits of count, position, step; activity bar 0..5 at 0), mode 1
// steps the files bar and moves the activity bar one place (1..5, then 0).
void ExtractProgress(int mode, int reserved, int64_t count, int64_t position, int step,
                     const std::string& text);

// Close (message 16): the first request only sets the download abort flag and
// returns false; when the flag was already set it returns true and the window
// is destroyed.
bool CloseMainWindow();
// Destroy (message 2): abort flag, temporary folder, quit message, QuitFlag.
void DestroyMainWindow();
