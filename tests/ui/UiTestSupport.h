// Helpers of the window tests: programs beside the test program, child
// processes with a time limit, waiting for windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uitest {

// Folder of the running test program, with a trailing backslash.
inline std::string BinDir()
{
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.find_last_of('\\') + 1);
}

// A started child process; killed if still running when dropped.
class TChild {
public:
  TChild() {}
  ~TChild()
  {
    if (FInfo.hProcess) {
      if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FInfo.hProcess, 99);
      CloseHandle(FInfo.hProcess);
      CloseHandle(FInfo.hThread);
    }
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  bool Start(const std::string& program, const std::string& arguments)
  {
    std::string cmd = "\"" + program + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::vector<char> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    return CreateProcessA(program.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &FInfo) != 0;
  }
  // Exit code, or -1 when the process did not end within timeoutMs.
  long Wait(DWORD timeoutMs)
  {
    if (!FInfo.hProcess || WaitForSingleObject(FInfo.hProcess, timeoutMs) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    GetExitCodeProcess(FInfo.hProcess, &code);
    return (long)code;
  }
  DWORD Pid() const { return FInfo.dwProcessId; }

private:
  PROCESS_INFORMATION FInfo = {};
};

// Polls until `found` gives a window or the time is up.
template <typename F>
HWND PollWindow(F found, DWORD timeoutMs)
{
  for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(25)) {
    if (HWND w = found()) return w;
  }
  return nullptr;
}

inline std::string TextOf(HWND w)
{
  LRESULT n = SendMessageA(w, WM_GETTEXTLENGTH, 0, 0);
  std::string s((size_t)n + 1, '\0');
  n = SendMessageA(w, WM_GETTEXT, s.size(), (LPARAM)&s[0]);
  s.resize(n > 0 ? (size_t)n : 0);
  return s;
}

inline std::string ClassOf(HWND w)
{
  char buf[256] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

// Children of `parent` of the given class (any case), in creation order.
inline std::vector<HWND> ChildrenOfClass(HWND parent, const char* cls)
{
  struct Ctx {
    const char* Cls;
    std::vector<HWND> Found;
  } ctx{cls, {}};
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM lp) -> BOOL {
        auto* c = (Ctx*)lp;
        if (lstrcmpiA(ClassOf(w).c_str(), c->Cls) == 0) c->Found.push_back(w);
        return TRUE;
      },
      (LPARAM)&ctx);
  return ctx.Found;
}

// Window rectangle of a child in its parent's client coordinates.
inline RECT ClientRectOf(HWND child)
{
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), (POINT*)&r, 2);
  return r;
}

inline RECT WorkArea()
{
  RECT wa;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
  return wa;
}

}  // namespace uitest
