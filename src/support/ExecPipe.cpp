// Waiting with a live message queue, captured child processes, shell open.
#include "support/ExecPipe.h"

#include "support/KDebug.h"
#include "text/Common.h"

#include <exception>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "support/Handles.h"
#else
#include <time.h>
#endif

namespace {

void SleepMs(unsigned ms) {
#ifdef _WIN32
  Sleep(ms);
#else
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  nanosleep(&ts, nullptr);
#endif
}

}  // namespace

void PumpMessages(unsigned sleepMs) {
#ifdef _WIN32
  try {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  } catch (const std::exception& e) {
    LogException(e, "YieldX");
    return;
  }
#endif
  SleepMs(sleepMs);
}

unsigned PumpInterval(unsigned intervalMs, unsigned totalMs) {
  if (intervalMs != 0) return intervalMs;
  unsigned i = totalMs / 10;
  if (i < 1) i = 1;
  if (i > 25) i = 25;
  return i;
}

void WaitPumping(unsigned intervalMs, unsigned totalMs) {
  const unsigned interval = PumpInterval(intervalMs, totalMs);
  const std::int64_t end = NowMs() + totalMs;
  do {
    PumpMessages(interval);
  } while (NowMs() < end);
}

void WaitWindowGone(const std::string& className, const std::string& title) {
#ifdef _WIN32
  const char* c = className.empty() ? nullptr : className.c_str();
  const char* t = title.empty() ? nullptr : title.c_str();
  while (FindWindowA(c, t)) {
    PumpMessages(0);
    Sleep(100);
  }
#else
  (void)className;
  (void)title;
#endif
}

std::string CapturedCommandLine(const std::string& program, const std::string& parameters) {
  std::string cmd = program;
  if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos)
    cmd = "\"" + program + "\"";
  if (!parameters.empty()) cmd += " " + parameters;
  return cmd;
}

#ifdef _WIN32
namespace {

// The two ends of one anonymous pipe, closed when it goes out of scope.
struct Pipe {
  THandle read, write;
  // Both ends inheritable; `keep` (the end this process uses) is then made
  // private again so that the child does not hold this process's ends.
  bool Create(bool keepRead) {
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &sa, 0)) return false;
    read.Reset(r);
    write.Reset(w);
    SetHandleInformation(keepRead ? r : w, HANDLE_FLAG_INHERIT, 0);
    return true;
  }
};

constexpr DWORD kPipeReadSize = 30000;

// Reads what the pipe holds (at most one buffer) into target, converting the
// OEM text to ANSI. True when bytes were left unread.
bool Drain(HANDLE pipe, std::string& target, std::vector<char>& buf) {
  DWORD avail = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return false;
  DWORD want = avail < kPipeReadSize ? avail : kPipeReadSize;
  DWORD got = 0;
  if (!ReadFile(pipe, buf.data(), want, &got, nullptr)) return false;
  OemToCharBuffA(buf.data(), buf.data(), got);
  std::size_t n = 0;
  while (n < got && buf[n] != '\0') ++n;
  target.append(buf.data(), n);
  return got < avail;
}

}  // namespace

bool RunCaptured(const std::string& program, const std::string& parameters, int showWindow,
                 unsigned waitAfterMs, std::string& output, std::string& errors,
                 unsigned long& exitCode) {
  Pipe in, out, err;
  if (!in.Create(false) || !out.Create(true) || !err.Create(true)) return false;

  std::string cmd = CapturedCommandLine(program, parameters);
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
  si.wShowWindow = static_cast<WORD>(showWindow);
  si.hStdInput = in.read.Get();
  si.hStdOutput = out.write.Get();
  si.hStdError = err.write.Get();
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof pi);
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  // A program given by its path starts by that path, never through a search
  // over the blank-separated prefixes of the command line.
  const bool byPath =
      program.find('\\') != std::string::npos && program.find('"') == std::string::npos;
  if (!CreateProcessA(byPath ? program.c_str() : nullptr, line.data(), nullptr, nullptr, TRUE,
                      IDLE_PRIORITY_CLASS, nullptr, nullptr, &si, &pi)) {
    std::string why = LastErrorText();
    exitCode = 21;
    errors = cmd.substr(0, 256) + " --- " + why;
    if (cmd.size() > 32766) errors = "Command line is too long";
    return false;
  }

  TProcess child(pi);
  std::vector<char> buf(kPipeReadSize);
  DWORD interval = 100;
  DWORD code = STILL_ACTIVE;
  bool ended = false, moreOut = false, moreErr = false;
  do {
    if (!output.empty() && interval > 10) interval -= 10;
    // The process handle, not the exit code, says whether the child has
    // ended: a child may well exit with the code 259 itself.
    ended = WaitForSingleObject(child.Process.Get(), interval) == WAIT_OBJECT_0;
    moreOut = Drain(out.read.Get(), output, buf);
    moreErr = Drain(err.read.Get(), errors, buf);
    GetExitCodeProcess(child.Process.Get(), &code);
  } while (!ended || moreOut || moreErr);

  WaitPumping(0, waitAfterMs);
  while (Drain(out.read.Get(), output, buf)) {
  }
  while (Drain(err.read.Get(), errors, buf)) {
  }
  exitCode = code;
  return code == 0;
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showWindow) {
  HINSTANCE r =
      ShellExecuteA(GetDesktopWindow(), nullptr, file.c_str(),
                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, showWindow);
  return reinterpret_cast<INT_PTR>(r) > 32;
}
#endif
