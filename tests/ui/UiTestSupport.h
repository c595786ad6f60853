// Helpers of the window tests: reading open windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uitest {

inline std::string TextOf(HWND w) {
  std::string s(SendMessageA(w, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
  s.resize(SendMessageA(w, WM_GETTEXT, s.size(), (LPARAM)&s[0]));
  return s;
}

// Direct children of `parent` of class `cls`, in the window list's order.
inline std::vector<HWND> ChildrenOfClass(HWND parent, const char* cls) {
  std::vector<HWND> found;
  for (HWND w = nullptr; (w = FindWindowExA(parent, w, cls, nullptr)) != nullptr;)
    found.push_back(w);
  return found;
}

// Runs `show`; once a window of class `cls` is visible (with a child of class
// `child`, if given), `probe` runs on it from a thread timer that the
// window's own loop dispatches, and then the window is closed unless `close`
// is false. True when the probe ran.
inline bool WithOpenWindow(const char* cls, const char* child, const std::function<void()>& show,
                           const std::function<void(HWND)>& probe, bool close = true) {
  static const char *GClass, *GChild;
  static std::function<void(HWND)> GProbe;
  static bool GProbed, GClose;
  GClass = cls;
  GChild = child;
  GProbe = probe;
  GProbed = false;
  GClose = close;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND w = FindWindowA(GClass, nullptr);
    if (!w || !IsWindowVisible(w) || (GChild && !FindWindowExA(w, nullptr, GChild, nullptr)))
      return;
    KillTimer(nullptr, id);
    GProbed = true;
    GProbe(w);
    if (GClose) PostMessageA(w, WM_CLOSE, 0, 0);
  });
  show();
  KillTimer(nullptr, timer);
  return GProbed;
}

}  // namespace uitest
