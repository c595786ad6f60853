// The nested message loop of the program's modal windows (the message box,
// the inform dialog) and the window class they register for themselves.
//
// Windows only.
#pragma once

#include <windows.h>

// Runs until `closed` is set: every message of the thread goes to `filter`
// first and is translated and dispatched unless the filter consumed it. A
// quit message ends the loop early: the result is then true and `quitCode`
// its code, and the caller posts it again once its window is gone, for the
// loop that waits for it.
bool RunModalLoop(const bool& closed, bool (*filter)(const MSG&), int& quitCode);

// Registers a window class that redraws on resizing, takes double-clicks,
// has the button-face background and the arrow cursor.
bool RegisterModalClass(const char* name, WNDPROC proc, HINSTANCE instance);
