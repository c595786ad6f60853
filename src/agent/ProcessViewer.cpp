#include "agent/ProcessViewer.h"

#include "text/Common.h"
#include "text/KSUB.h"

#ifdef _WIN32
#include <tlhelp32.h>

#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/Win64.h"
#endif

std::uint32_t TasklistPid(const std::string& output, const std::string& fileName, bool forward) {
  std::string lines = ReplaceAll(ReplaceAll(Trim(output), "\"", ""), "\r\n", "|");
  while (!lines.empty() && lines.front() == '|') lines.erase(0, 1);
  while (!lines.empty() && lines.back() == '|') lines.pop_back();
  lines = "|" + lines + "|";
  const int n = SUB::Count(lines);
  for (int k = 0; k < n; ++k) {
    // Backwards: n - k is n for the first step, which is past the last line.
    const int i = forward ? k : n - k;
    const std::string line = "," + SUB::Item(lines, i, "") + ",";
    if (!SameText(SUB::Item(line, 0, ""), fileName)) continue;
    const std::int64_t pid = SUB::ItemInt(line, 1, 0);
    if (pid > 0 && pid <= 0xFFFFFFFFLL) return static_cast<std::uint32_t>(pid);
  }
  return 0;
}

int ChooseMainWindow(const std::vector<TWindowFacts>& windows, std::uint16_t* scores) {
  int best = -1;
  unsigned bestScore = 0;
  for (size_t i = 0; i < windows.size(); ++i) {
    unsigned score = 0;
    for (const TWindowFacts& w : windows)
      if (w.TopOwner == windows[i].Handle) ++score;
    score = score * 4 + (windows[i].Titled ? 2 : 0) + (windows[i].Visible ? 1 : 0);
    if (scores) scores[i] = static_cast<std::uint16_t>(score);
    if (best < 0 || score > bestScore) {
      best = static_cast<int>(i);
      bestScore = score;
    }
  }
  return best;
}

#ifdef _WIN32
namespace {

// The NT version is compared by its numbers: the named tests of the version
// module bring the float parser and the name tables into the stub (24 KB).
bool NtVersionIs(DWORD major, DWORD minor) {
  const auto& v = GetOsVersion();
  return v.PlatformId == 2 && v.Major == major && v.Minor == minor;
}

bool NtVersionAtLeast(DWORD major, DWORD minor) {
  const auto& v = GetOsVersion();
  return v.PlatformId == 2 && (v.Major > major || (v.Major == major && v.Minor >= minor));
}

// PSAPI, loaded from the system folder on first use.
struct TPsapi {
  using TEnumProcesses = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
  using TModuleText = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  TEnumProcesses EnumProcesses = nullptr;
  TModuleText GetModuleFileNameExA = nullptr;
  TModuleText GetModuleBaseNameA = nullptr;
  TPsapi() {
    HMODULE lib = LoadSystemLibrary("psapi.dll");
    if (!lib) return;
    EnumProcesses = reinterpret_cast<TEnumProcesses>(
        reinterpret_cast<void*>(GetProcAddress(lib, "EnumProcesses")));
    GetModuleFileNameExA = reinterpret_cast<TModuleText>(
        reinterpret_cast<void*>(GetProcAddress(lib, "GetModuleFileNameExA")));
    GetModuleBaseNameA = reinterpret_cast<TModuleText>(
        reinterpret_cast<void*>(GetProcAddress(lib, "GetModuleBaseNameA")));
  }
  bool Ready() const { return EnumProcesses && GetModuleFileNameExA && GetModuleBaseNameA; }
};

const TPsapi& Psapi() {
  static const TPsapi psapi;
  return psapi;
}

// Process ids from PSAPI: the buffer grows by 1024 bytes until the system
// returns less than it holds (at most 64 K ids).
std::vector<DWORD> PsapiIds(DWORD startBytes, bool grow) {
  std::vector<DWORD> ids;
  if (!Psapi().Ready()) return ids;
  for (DWORD bytes = startBytes; bytes <= 65536 * sizeof(DWORD); bytes += 1024) {
    ids.assign(bytes / sizeof(DWORD), 0);
    DWORD got = 0;
    if (!Psapi().EnumProcesses(ids.data(), bytes, &got)) return {};
    if (got < bytes || !grow) {
      ids.resize(got / sizeof(DWORD));
      return ids;
    }
  }
  return ids;
}

// Full path and base name of a process's main module; false when it cannot
// be opened (another user's, elevated).
bool ModuleNames(DWORD pid, std::string& path, std::string& base) {
  THandle h(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!h) return false;
  char buf[256];
  DWORD n = Psapi().GetModuleFileNameExA(h.Get(), nullptr, buf, sizeof buf);
  path.assign(buf, n < sizeof buf ? n : 0);
  n = Psapi().GetModuleBaseNameA(h.Get(), nullptr, buf, sizeof buf);
  base.assign(buf, n < sizeof buf ? n : 0);
  return !path.empty() || !base.empty();
}

std::string FileNameOf(const std::string& path) {
  const size_t p = path.find_last_of('\\');
  return p == std::string::npos ? path : path.substr(p + 1);
}

// Every process's exe file field from one Toolhelp snapshot.
struct TToolhelpEntry {
  DWORD Pid;
  std::string ExeFile;
};
std::vector<TToolhelpEntry> ToolhelpEntries() {
  std::vector<TToolhelpEntry> entries;
  THandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return entries;
  PROCESSENTRY32 pe = {};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.Get(), &pe); ok; ok = Process32Next(snap.Get(), &pe))
    entries.push_back({pe.th32ProcessID, pe.szExeFile});
  return entries;
}

std::string XpProcessList(bool withPath, bool withIds) {
  std::string list = "|";
  for (DWORD pid : PsapiIds(4100, false)) {
    std::string name, path, base;
    if (pid == 0)
      name = "System Idle Process";
    else if ((pid == 2 && NtVersionIs(4, 0)) || (pid == 8 && NtVersionIs(5, 0)))
      name = "System Process";
    else if (ModuleNames(pid, path, base))
      name = withPath ? path : FileNameOf(path);
    if (name.empty()) continue;
    list += (withIds ? name + "=" + IntToStr(pid) : name) + "|";
  }
  return list;
}

struct TWindowWalk {
  std::vector<TToolhelpEntry> Entries;
  std::vector<std::string> Names;
  std::string List = "|";
  bool WithIds = false;
};

BOOL CALLBACK AddWindowOwner(HWND window, LPARAM context) {
  TWindowWalk& walk = *reinterpret_cast<TWindowWalk*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  for (const TToolhelpEntry& e : walk.Entries) {
    if (e.Pid != pid) continue;
    for (const std::string& n : walk.Names)
      if (SameText(n, e.ExeFile)) return TRUE;
    walk.Names.push_back(e.ExeFile);
    walk.List += (walk.WithIds ? e.ExeFile + "=" + IntToStr(pid) : e.ExeFile) + "|";
    break;
  }
  return TRUE;
}

std::string WindowProcessList(bool withIds) {
  TWindowWalk walk;
  walk.Entries = ToolhelpEntries();
  walk.WithIds = withIds;
  EnumWindows(AddWindowOwner, reinterpret_cast<LPARAM>(&walk));
  return walk.List;
}

DWORD TasklistSearch(const std::string& program, bool forward) {
  std::string output, errors;
  unsigned long code = 0;
  RunCaptured(SystemFolder(true) + "tasklist.exe", "/FO csv", SW_HIDE, 0, output, errors, code);
  return TasklistPid(output, FileNameOf(program), forward);
}

DWORD PsapiSearch(const std::string& program, bool pathOnly) {
  std::vector<DWORD> ids = PsapiIds(1024, true);
  const std::string shortProgram = ShortForm(program);
  for (size_t i = ids.size(); i-- > 0;) {
    std::string path, base;
    if (!ModuleNames(ids[i], path, base)) continue;
    if (SameTextTrim(program, path) || (!pathOnly && SameTextTrim(program, base)) ||
        (shortProgram != "*XX*" && SameTextTrim(shortProgram, ShortForm(path))))
      return ids[i];
  }
  return 0;
}

DWORD ToolhelpSearch(const std::string& program, bool pathOnly) {
  DWORD found = 0;
  const std::string shortProgram = ShortForm(program);
  for (const TToolhelpEntry& e : ToolhelpEntries()) {
    if (SameTextTrim(program, e.ExeFile) ||
        (!pathOnly && SameTextTrim(program, FileNameOf(e.ExeFile))) ||
        (shortProgram != "*XX*" && SameTextTrim(shortProgram, ShortForm(e.ExeFile))))
      found = e.Pid;  // the last match wins
  }
  return found;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  TAnalizer& a = *reinterpret_cast<TAnalizer*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == a.TargetPid && a.Count < TAnalizer::KMaxWindows) a.Handles[a.Count++] = window;
  return TRUE;
}

}  // namespace

HWND TAnalizer::MainWindow() {
  Count = 0;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(this));
  std::vector<TWindowFacts> facts(Count);
  for (int i = 0; i < Count; ++i) {
    HWND top = Handles[i];
    // Owner chains are short; the bound only guards against a broken one.
    for (int step = 0; step < 64; ++step) {
      HWND owner = GetWindow(top, GW_OWNER);
      if (!owner) break;
      top = owner;
    }
    facts[i].Handle = reinterpret_cast<std::uintptr_t>(Handles[i]);
    facts[i].TopOwner = reinterpret_cast<std::uintptr_t>(top);
    facts[i].Titled = GetWindowTextLengthA(Handles[i]) > 0;
    facts[i].Visible = IsWindowVisible(Handles[i]) != FALSE;
  }
  const int best = ChooseMainWindow(facts, Scores);
  return best < 0 ? nullptr : Handles[best];
}

std::string ProcessList(bool withPath, bool withIds) {
  return NtVersionIs(5, 1) ? XpProcessList(withPath, withIds) : WindowProcessList(withIds);
}

DWORD FindProcessId(const std::string& program, bool pathOnly, bool forward) {
  if (!IsNT()) return ToolhelpSearch(program, pathOnly);
  if (NtVersionAtLeast(6, 2)) return TasklistSearch(program, forward);
  return PsapiSearch(program, pathOnly);
}

std::string ShortForm(const std::string& path) {
  char buf[MAX_PATH * 2];
  const DWORD n = GetShortPathNameA(Trim(path).c_str(), buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string("*XX*");
}

bool ProcessNameMatches(const std::string& entry, const std::string& program) {
  const std::string target = Pos("\\", entry) ? program : FileNameOf(program);
  if (SameTextTrim(entry, target)) return true;
  // "*XX*" stands for "no short form" and must not match itself.
  const std::string a = ShortForm(entry), b = ShortForm(target);
  return a != "*XX*" && b != "*XX*" && SameTextTrim(a, b);
}
#endif
