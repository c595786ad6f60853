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
class DebugLock {
public:
#ifdef _WIN32
  DebugLock() {
    InitializeCriticalSection(&cs_);
  }
  void Enter() {
    EnterCriticalSection(&cs_);
  }
  void Leave() {
    LeaveCriticalSection(&cs_);
  }

private:
  CRITICAL_SECTION cs_;
#else
  void Enter() {
    m_.lock();
  }
  void Leave() {
    m_.unlock();
  }

private:
  std::recursive_mutex m_;
#endif
};

class Hold {
public:
  explicit Hold(DebugLock& l) : l_(l) { l_.Enter(); }
  ~Hold() { l_.Leave(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

private:
  DebugLock& l_;
};

struct Device {
  DebugLock lock;
  char buffer[DebugBufferSize];
  std::size_t pending = 0;
  unsigned messageId = 0;
  DebugSink sink = nullptr;
};

Device& Dev() {
  // Never destroyed: the device lives to process exit and may still be
  // written from destructors of other modules.
  static Device* d = [] {
    Device* p = new Device;
#ifdef _WIN32
    p->messageId = RegisterWindowMessageA(DebugMessageName);
#endif
    return p;
  }();
  return *d;
}

// Hands the pending bytes on. The count is reset before the delivery so that
// a line written while the chunk is being delivered (message dispatch inside
// the send) starts a fresh buffer instead of being discarded.
void Flush(Device& d) {
  Hold h(d.lock);
  if (d.pending == 0) return;
  std::string chunk(d.buffer, d.pending);
  d.pending = 0;
  try {
    if (d.sink)
      d.sink(chunk);
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
  HWND viewer = FindWindowA(DebugViewerClass, nullptr);
  if (!viewer) return;
  ATOM atom = GlobalAddAtomA(chunk.c_str());
  if (!atom) return;
  // A viewer that hangs must not hang the program: the send gives up when
  // the viewer does not answer.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(viewer, Dev().messageId, DebugSourceId, static_cast<LPARAM>(atom),
                      SMTO_NORMAL | SMTO_ABORTIFHUNG, 10000, &result);
  GlobalDeleteAtom(atom);
#else
  const char* e = std::getenv("KORVIX_DEBUG_STDERR");
  if (e && std::strcmp(e, "1") == 0) std::fwrite(chunk.data(), 1, chunk.size(), stderr);
#endif
}

struct AgentLogState {
  bool enabled = false;
  std::string prefix = "   ";
  std::string path;
  bool pathKnown = false;
};

AgentLogState& AgentState() {
  static AgentLogState s;
  return s;
}

}  // namespace

void InitDebugOutput() {
  Dev();
}

void DebugWrite(const std::string& text) {
  Device& d = Dev();
  Hold h(d.lock);
  for (char c : text) {
    d.buffer[d.pending++] = c;
    if (d.pending == DebugBufferSize) Flush(d);
  }
}

void DebugLine(const std::string& line) {
  Device& d = Dev();
  Hold h(d.lock);
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

DebugSink SetDebugSink(DebugSink sink) {
  Device& d = Dev();
  Hold h(d.lock);
  DebugSink old = d.sink;
  d.sink = sink;
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
  WriteDebugTextTo(DebugTarget, chunk, DebugFilePath);
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
  AgentState().enabled = on;
}
bool AgentLogEnabled() {
  return AgentState().enabled;
}
void SetAgentLogPrefix(const std::string& prefix) {
  AgentState().prefix = prefix;
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
  AgentLogState& s = AgentState();
  if (!s.pathKnown) {
    s.path = AgentLogPathFor(ProgramPath());
    s.pathKnown = true;
  }
  return s.path;
}

std::string AgentLogLine(const std::string& dateTime, unsigned long threadId,
                         const std::string& prefix, const std::string& message) {
  std::string id = UIntToStr(threadId);
  if (id.size() < 5) id.insert(0, 5 - id.size(), ' ');
  return dateTime + " " + id + prefix + message;
}

void AgentLog(const std::string& message) {
  AgentLogState& s = AgentState();
  if (!s.enabled) return;
  try {
#ifdef _WIN32
    unsigned long tid = GetCurrentThreadId();
#else
    unsigned long tid = static_cast<unsigned long>(getpid());
#endif
    AppendText(GetAgentLogPath(), AgentLogLine(DateTimeText(-1), tid, s.prefix, message), true);
  } catch (...) {
  }
}
