#include "agent/Process.h"

#include "agent/ProcessViewer.h"
#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "support/Win64.h"
#include "text/Common.h"
#include "text/KSUB.h"

namespace {

// Searches the process list, newest entries first, for a name that names
// program; pid receives its id.
bool FindListed(const std::string& program, bool withPath, DWORD& pid) {
  const std::string list = ProcessList(withPath, true);
  for (int i = SUB::Count(list) - 1; i >= 0; --i) {
    const std::string item = SUB::Item(list, i, "");
    const size_t eq = item.rfind('=');
    if (eq == std::string::npos || !ProcessNameMatches(item.substr(0, eq), program)) continue;
    pid = static_cast<DWORD>(StrToInt64Def(item.substr(eq + 1), 0));
    return true;
  }
  return false;
}

}  // namespace

bool IsProcessRunning(const std::string& program) {
  const std::string p = Unquote(program);
  if (p.empty()) return false;
  DWORD pid = 0;
  return IsNT() ? FindListed(p, false, pid) : FindProcessId(p, false, false) != 0;
}

HWND FindProcessWindow(const std::string& program, bool pathOnly, bool forward) {
  const DWORD pid = FindProcessId(Unquote(program), pathOnly, forward);
  if (!pid) return nullptr;
  TAnalizer analizer(pid);
  return analizer.MainWindow();
}

bool PostProcessMessage(const std::string& program, bool pathOnly, UINT message, WPARAM wParam,
                        LPARAM lParam) {
  HWND window = FindProcessWindow(program, pathOnly, false);
  if (!window) return false;
  PostMessageA(window, message, wParam, lParam);
  return true;
}

bool CloseProcess(const std::string& program, bool pathOnly, unsigned waitMs) {
  const bool posted =
      PostProcessMessage(program, pathOnly, WM_CLOSE, KShutDownWParam, KShutDownLParam);
  if (waitMs > 0) WaitProcessGone(program, waitMs);
  return posted;
}

bool QuitProcess(const std::string& program, bool pathOnly) {
  return PostProcessMessage(program, pathOnly, WM_QUIT, KShutDownWParam, KShutDownLParam);
}

bool TerminateProcessByName(const std::string& program, bool pathOnly) {
  const std::string p = Unquote(program);
  DWORD pid = 0;
  if (IsNT())
    FindListed(p, pathOnly, pid);
  else
    pid = FindProcessId(p, pathOnly, false);
  if (!pid) return false;
  THandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  return process && TerminateProcess(process.Get(), 0) != FALSE;
}

void WaitProcessGone(const std::string& program, unsigned timeoutMs) {
  const std::string p = Unquote(program);
  const int64_t limit = timeoutMs == 0 ? 1000 : timeoutMs;
  const int64_t start = NowMs();
  while (IsProcessRunning(p) && NowMs() - start <= limit) WaitPumping(0, 100);
}
