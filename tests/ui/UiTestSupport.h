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

// Children of `parent` of the given class (any case), in creation order.
inline std::vector<HWND> ChildrenOfClass(HWND parent, const char* cls) {
  struct TCtx {
    const char* Cls;
    std::vector<HWND> Found;
  } ctx{cls, {}};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM lp) -> BOOL {
        auto* c = (TCtx*)lp;
        char name[64] = {};
        GetClassNameA(w, name, sizeof name);
        if (lstrcmpiA(name, c->Cls) == 0) c->Found.push_back(w);
        return TRUE;
      },
      (LPARAM)&ctx);
  return ctx.Found;
}

}  // namespace uitest
