// Shutting down the product the agent updates: whether a program runs,
// posting to its main window, close and quit requests, termination, and
// waiting until it has gone. A process is always named by its program path
// or file name; process ids are never kept between calls.
//
// Windows only.
#pragma once

#include <windows.h>

#include <string>

// First and second parameter of the close and quit requests.
const WPARAM KShutDownWParam = 15;
const LPARAM KShutDownLParam = 255;

// True when a process of that program file runs (quotes are removed first).
bool IsProcessRunning(const std::string& program);
// The main top-level window of the program's process, or nullptr.
HWND FindProcessWindow(const std::string& program, bool pathOnly, bool forward);
// Posts message to that window; true when a window was found.
bool PostProcessMessage(const std::string& program, bool pathOnly, UINT message, WPARAM wParam,
                        LPARAM lParam);
// WM_CLOSE (15, 255); then, when waitMs > 0, WaitProcessGone.
bool CloseProcess(const std::string& program, bool pathOnly, unsigned waitMs);
// WM_QUIT (15, 255) to the main window's thread queue.
bool QuitProcess(const std::string& program, bool pathOnly);
// Ends the program's process with exit code 0; the system's result.
bool TerminateProcessByName(const std::string& program, bool pathOnly);
// Returns when the program no longer runs or timeoutMs (0: 1000) has
// passed, handling window messages meanwhile. Does not tell which.
void WaitProcessGone(const std::string& program, unsigned timeoutMs);
