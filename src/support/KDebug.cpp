// Debug output device, exception lines and the agent log.
#include "support/KDebug.h"

#include "support/Files.h"
#include "text/Common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "support/Handles.h"
#else
#include <mutex>
#include <unistd.h>
#endif

namespace {

// Process-wide lock, re-entrant for its holder.
class TDebugLock {
public:
#ifdef _WIN32
  TDebugLock() {
    InitializeCriticalSection(&FSection);
  }
  void Enter() {
    EnterCriticalSection(&FSection);
  }
  void Leave() {
    LeaveCriticalSection(&FSection);
  }

private:
  CRITICAL_SECTION FSection;
#else
  void Enter() {
    FMutex.lock();
  }
  void Leave() {
    FMutex.unlock();
  }

private:
  std::recursive_mutex FMutex;
#endif
};

class THold {
public:
  explicit THold(TDebugLock& l) : FLock(l) { FLock.Enter(); }
  ~THold() { FLock.Leave(); }
  THold(const THold&) = delete;
  THold& operator=(const THold&) = delete;

private:
  TDebugLock& FLock;
};

struct TDevice {
  TDebugLock Lock;
  char Buffer[KDebugBufferSize];
  std::size_t Pending = 0;
  unsigned MessageId = 0;
  TDebugSink Sink = nullptr;
};

TDevice& Dev() {
  // Never destroyed: the device lives to process exit and may still be
  // written from destructors of other modules.
  static TDevice* d = [] {
    TDevice* p = new TDevice;
#ifdef _WIN32
    p->MessageId = RegisterWindowMessageA(KDebugMessageName);
#endif
    return p;
  }();
  return *d;
}

// Hands the pending bytes on. The count is reset before the delivery so that
// a line written while the chunk is being delivered (message dispatch inside
// the send) starts a fresh buffer instead of being discarded.
void Flush(TDevice& d) {
  THold h(d.Lock);
  if (d.Pending == 0) return;
  std::string chunk(d.Buffer, d.Pending);
  d.Pending = 0;
  try {
    if (d.Sink)
      d.Sink(chunk);
    else
      WriteDebugText(chunk);
  } catch (...) {
  }
}

void AppendToFile(const std::string& path, const std::string& text) {
#ifdef _WIN32
  THandle f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return;
  SetFilePointer(f.Get(), 0, nullptr, FILE_END);
  DWORD done = 0;
  if (!text.empty())
    WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
#else
  if (FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
#endif
}

void SendToViewer(const std::string& chunk) {
#ifdef _WIN32
  HWND viewer = FindWindowA(KDebugViewerClass, nullptr);
  if (!viewer) return;
  ATOM atom = GlobalAddAtomA(chunk.c_str());
  if (!atom) return;
  // A viewer that hangs must not hang the program: the send gives up when
  // the viewer does not answer.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(viewer, Dev().MessageId, KDebugSourceId, static_cast<LPARAM>(atom),
                      SMTO_NORMAL | SMTO_ABORTIFHUNG, 10000, &result);
  GlobalDeleteAtom(atom);
#else
  const char* e = std::getenv("KORVIX_DEBUG_STDERR");
  if (e && std::strcmp(e, "1") == 0) std::fwrite(chunk.data(), 1, chunk.size(), stderr);
#endif
}

struct TAgentLogState {
  bool Enabled = false;
  std::string Prefix = "   ";
  std::string Path;
  bool PathKnown = false;
};

TAgentLogState& AgentState() {
  static TAgentLogState s;
  return s;
}

}  // namespace

void InitDebugOutput() {
  Dev();
}

void DebugWrite(const std::string& text) {
  TDevice& d = Dev();
  THold h(d.Lock);
  for (char c : text) {
    d.Buffer[d.Pending++] = c;
    if (d.Pending == KDebugBufferSize) Flush(d);
  }
}

void DebugLine(const std::string& line) {
  TDevice& d = Dev();
  THold h(d.Lock);
  DebugWrite(line);
  DebugWrite(std::string(1, '\n'));
  Flush(d);
}

void DebugPiece(std::string& out, long long v) {
  out += IntToStr(v);
}

void DebugPiece(std::string& out, unsigned long long v) {
  out += UIntToStr(v);
}

TDebugSink SetDebugSink(TDebugSink sink) {
  TDevice& d = Dev();
  THold h(d.Lock);
  TDebugSink old = d.Sink;
  d.Sink = sink;
  return old;
}

std::string NormalizeDebugLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n' || c == '\0') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

void WriteDebugTextTo(unsigned target, const std::string& chunk, const std::string& filePath) {
  if (target == 1 || target == 2) AppendToFile(filePath, NormalizeDebugLineEnds(chunk));
  if (target == 0 || target == 2) SendToViewer(chunk);
}

void WriteDebugText(const std::string& chunk) {
  WriteDebugTextTo(KDebugTarget, chunk, KDebugFilePath);
}

std::string ExceptionLine(const std::string& message, const std::string& method,
                          const std::string& remark) {
  static const char* const labels[4] = {"Method = ", "Remark = ", "SX = ", "ErrMsg = "};
  const std::string fields[4] = {method, remark, std::string(), message};
  std::string line = " --- ";
  for (int i = 0; i < 4; ++i)
    if (!fields[i].empty()) line += " [ " + std::string(labels[i]) + fields[i] + " ] ";
  return line;
}

void LogExceptionText(const std::string& message, const std::string& method,
                      const std::string& remark) {
  try {
    DebugLine(ExceptionLine(message, method, remark));
  } catch (...) {
  }
}

void LogException(const std::exception& e, const std::string& method, const std::string& remark) {
  LogExceptionText(e.what() ? e.what() : "", method, remark);
}

void SetAgentLogEnabled(bool on) {
  AgentState().Enabled = on;
}
bool AgentLogEnabled() {
  return AgentState().Enabled;
}
void SetAgentLogPrefix(const std::string& prefix) {
  AgentState().Prefix = prefix;
}

std::string AgentLogPathFor(const std::string& programPath) {
  std::size_t slash = programPath.find_last_of("\\/");
  std::string folder, name;
  char sep = '\\';
  if (slash == std::string::npos) {
    name = programPath;
  } else {
    folder = programPath.substr(0, slash);
    name = programPath.substr(slash + 1);
    sep = programPath[slash];
  }
  if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot >= 2) name.erase(dot);
  name += ".log";
  return folder + sep + name;
}

std::string GetAgentLogPath() {
  TAgentLogState& s = AgentState();
  if (!s.PathKnown) {
    s.Path = AgentLogPathFor(ProgramPath());
    s.PathKnown = true;
  }
  return s.Path;
}

std::string AgentLogLine(const std::string& dateTime, unsigned long threadId,
                         const std::string& prefix, const std::string& message) {
  std::string id = UIntToStr(threadId);
  if (id.size() < 5) id.insert(0, 5 - id.size(), ' ');
  return dateTime + " " + id + prefix + message;
}

void AgentLog(const std::string& message) {
  TAgentLogState& s = AgentState();
  if (!s.Enabled) return;
  try {
#ifdef _WIN32
    unsigned long tid = GetCurrentThreadId();
#else
    unsigned long tid = static_cast<unsigned long>(getpid());
#endif
    AppendText(GetAgentLogPath(), AgentLogLine(DateTimeText(-1), tid, s.Prefix, message), true);
  } catch (...) {
  }
}
