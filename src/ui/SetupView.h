// The main window as the setup flow sees it: the status line, the progress
// procedure, showing and hiding the window and the activity bar, stopping
// the timer. The main window fills it in when it starts; a member left
// unset (no window, as in tests) does nothing.
#pragma once

#include <cstdint>
#include <string>

struct TSetupView {
  void (*SetStatusText)(const std::string& text, const std::string& fontName, int fontSize,
                        int charset) = nullptr;
  // The one progress procedure: kind (0 set up, 1 step), reserved, maximum,
  // position, step, text.
  void (*ExtractProgress)(int kind, int reserved, int64_t maximum, int64_t position, int step,
                          const std::string& text) = nullptr;
  void (*ShowMainWindow)(bool show) = nullptr;
  void (*ShowActivityBar)() = nullptr;
  void (*StopMainTimer)() = nullptr;
  // The window's handle (an HWND), for downloads that show it.
  void* (*WindowHandle)() = nullptr;
};

// The view of the running program's main window.
inline TSetupView SetupView;
