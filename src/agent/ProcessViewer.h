// Process listings and main windows: the running processes by program name
// from whichever listing the Windows version supports (tasklist on Windows 8
// and later, PSAPI on older NT systems, Toolhelp on Windows 9x, the owners of
// top-level windows), and the choice of a process's main window.
//
// Portable: reading tasklist's CSV output and scoring windows; the listings
// themselves are Windows only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// The process id in tasklist's "/FO csv" output whose image name equals
// fileName (any case): with forward clear the lines are visited from the last
// to the first (the header is never visited), else from the first. 0 when
// none.
std::uint32_t TasklistPid(const std::string& output, const std::string& fileName, bool forward);

// What the main-window choice needs of one window of the process.
struct TWindowFacts {
  std::uintptr_t Handle = 0;
  std::uintptr_t TopOwner = 0;  // the end of its owner chain (itself when unowned)
  bool Titled = false;
  bool Visible = false;
};
// Index of the main window: a window scores 4 for every collected window it
// is the top-most owner of, 2 for a title, 1 when visible; the first highest
// score wins. -1 for no windows. scores, when given, receives every score.
int ChooseMainWindow(const std::vector<TWindowFacts>& windows, std::uint16_t* scores = nullptr);

#ifdef _WIN32
// Chooses the main window of one process among its top-level windows (at
// most KMaxWindows of them, in the system's order).
class TAnalizer {
public:
  static const int KMaxWindows = 2001;
  explicit TAnalizer(DWORD targetPid) : TargetPid(targetPid) {}
  HWND MainWindow();

  HWND Handles[KMaxWindows] = {};
  std::uint16_t Scores[KMaxWindows] = {};
  int Count = 0;
  DWORD TargetPid;
};

// "|" list of program names (full paths with withPath on Windows XP), with
// "=" and the process id when withIds. Windows XP: every process from PSAPI;
// other systems: one entry per program that owns a top-level window.
std::string ProcessList(bool withPath, bool withIds);

// The id of a process running program: tasklist (Windows 8 and later, by file
// name), PSAPI (other NT systems; pathOnly compares full paths and short
// forms only), Toolhelp (Windows 9x). 0 when none.
DWORD FindProcessId(const std::string& program, bool pathOnly, bool forward);

// The 8.3 form of a path, "*XX*" when it has none.
std::string ShortForm(const std::string& path);
// Whether a listed program name names program: the full path when the entry
// has a folder, else the file name; case-insensitive after trimming, or by
// equal short forms (a path without a short form matches nothing).
bool ProcessNameMatches(const std::string& entry, const std::string& program);
#endif
