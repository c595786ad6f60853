// The program's own path and command-line switches (see Switches.h).
#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

#include "text/Switches.h"

#include "text/Common.h"
#include "text/KSUB.h"

namespace {

// The command line after its first token, by the usual Windows rules: a
// quoted program name runs to the closing quote, otherwise to the first blank.
std::string SkipFirstToken(const std::string& cmd) {
  size_t i = 0;
  while (i < cmd.size() && (cmd[i] == ' ' || cmd[i] == '\t')) ++i;
  if (i < cmd.size() && cmd[i] == '"') {
    size_t q = cmd.find('"', i + 1);
    return q == std::string::npos ? std::string() : cmd.substr(q + 1);
  }
  while (i < cmd.size() && cmd[i] != ' ' && cmd[i] != '\t') ++i;
  return cmd.substr(i);
}

}  // namespace

std::string GetParams(const std::string& rawCommandLine, const std::string& programPath) {
  const std::string name = PathFileName(programPath);
  std::string rest;
  bool byName = false;
  size_t p;
  if (!name.empty() && (p = PosNoCase(name + "\"", rawCommandLine)) > 0) {
    rest = rawCommandLine.substr(p - 1 + name.size() + 1);
    byName = true;
  } else if (!name.empty() && (p = PosNoCase(name, rawCommandLine)) > 0) {
    rest = rawCommandLine.substr(p - 1 + name.size());
    byName = true;
  } else if (!programPath.empty() && (p = PosNoCase(programPath, rawCommandLine)) > 0) {
    rest = rawCommandLine;
    rest.erase(p - 1, programPath.size());
  } else {
    // The program was started under a name that is not its file name
    // (e.g. without ".exe"): its own path is still the first token.
    rest = SkipFirstToken(rawCommandLine);
  }
  if (byName && Trim(rest).size() == 1) rest.clear();
  return Trim(rest);
}

std::string GetSwitchValue(const std::string& rawCommandLine, const std::string& programPath,
                           const std::string& name, const std::string& def) {
  std::string key = Trim(name);
  if (key.empty()) return def;
  const char sc = key[0] == '-' || key[0] == '/' ? key[0] : '/';
  key = ReplaceAll(key, std::string(1, sc), "");
  if (key.empty()) return def;
  std::string list = " " + GetParams(rawCommandLine, programPath);
  list = ReplaceAll(list, "\"", "");
  list = ReplaceAll(list, std::string(" ") + sc, "\x01");
  list = "\x01" + list + "\x01";
  // A sentinel default that no switch value can equal: it holds the
  // delimiter of the switch list.
  static const std::string KMissing("\x01");
  std::string v = SUB::Value(list, key, KMissing);
  if (v == KMissing) return def;
  return Trim(v);
}

int64_t GetSwitchInt(const std::string& rawCommandLine, const std::string& programPath,
                     const std::string& name, int64_t def) {
  const std::string v = GetSwitchValue(rawCommandLine, programPath, name, "");
  return v.empty() ? def : StrToInt64Def(v, def);
}

bool HasSwitch(const std::string& rawCommandLine, const std::string& programPath,
               const std::string& name) {
  if (name.empty()) return false;
  return PosNoCase(name + " ", GetParams(rawCommandLine, programPath) + " ") > 0;
}

#ifdef _WIN32
std::string ProgramPath() {
  // Room for the longest path; a path cut short reads as none.
  std::string buf(32768, '\0');
  const DWORD n = GetModuleFileNameA(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

namespace {

std::string RawCommandLine() {
  const char* cmd = GetCommandLineA();
  return cmd ? std::string(cmd) : std::string();
}

}  // namespace

std::string GetParams() {
  return GetParams(RawCommandLine(), ProgramPath());
}

std::string GetSwitchValue(const std::string& name, const std::string& def) {
  return GetSwitchValue(RawCommandLine(), ProgramPath(), name, def);
}

int64_t GetSwitchInt(const std::string& name, int64_t def) {
  return GetSwitchInt(RawCommandLine(), ProgramPath(), name, def);
}

bool HasSwitch(const std::string& name) {
  return HasSwitch(RawCommandLine(), ProgramPath(), name);
}
#else
std::string ProgramPath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
#endif
