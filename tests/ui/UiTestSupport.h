// Helpers of the window tests: reading windows and their places.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace uitest {

inline std::string TextOf(HWND w) {
  std::string s(SendMessageA(w, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
  s.resize(SendMessageA(w, WM_GETTEXT, s.size(), (LPARAM)&s[0]));
  return s;
}

// Direct children of `parent` of the given class, in the order of the
// window list.
inline std::vector<HWND> ChildrenOfClass(HWND parent, const char* cls) {
  std::vector<HWND> found;
  for (HWND w = nullptr; (w = FindWindowExA(parent, w, cls, nullptr)) != nullptr;)
    found.push_back(w);
  return found;
}

}  // namespace uitest
