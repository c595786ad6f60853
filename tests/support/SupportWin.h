// Shared helpers of the Windows support tests.
#pragma once

#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"

#include <windows.h>

#include <string>

// The helper program and the stand-in RICHED32.DLL and comctl32.dll (whose
// start-up code leaves "planted_comctl32.marker" beside itself).
inline std::string ProbePath() {
  return ProgramFolder(true) + "support_probe.exe";
}
inline std::string FakeRichEditPath() {
  return ProgramFolder(true) + "..\\support_fixture\\RICHED32.dll";
}
inline std::string FakeComCtlPath() {
  return ProgramFolder(true) + "..\\support_fixture\\comctl32.dll";
}

// A hidden run of a program with its output captured.
struct TCaptured {
  bool Ok;
  unsigned long Code = 99;
  std::string Out, Err;
};
inline TCaptured RunHidden(const std::string& program, const std::string& parameters) {
  TCaptured r;
  r.Ok = RunCaptured(program, parameters, SW_HIDE, 1, r.Out, r.Err, r.Code);
  return r;
}

// Wine takes its own copy of some system libraries even where Windows takes
// the one beside the program. While this lives, `library` is looked up
// native-first for the program `exeName` only, as on Windows.
struct TNativeFirst {
  std::string Key;
  TNativeFirst(const std::string& exeName, const char* library)
      : Key("Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY created = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, (Key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &created, nullptr);
    const TRegKey k(created);
    static const char KNativeFirst[] = "native,builtin";
    RegSetValueExA(k.Get(), library, 0, REG_SZ, reinterpret_cast<const BYTE*>(KNativeFirst),
                   sizeof KNativeFirst);
  }
  ~TNativeFirst() { RegDeleteTreeA(HKEY_CURRENT_USER, Key.c_str()); }
};

// A fresh, empty folder under the temporary folder; removed again on scope exit.
struct ScratchDir {
  std::string path;
  explicit ScratchDir(const std::string& name) : path(TempFolder(true) + name) {
    RecreateFolder(path, "");
  }
  ~ScratchDir() { DeleteTree(path, true); }
  std::string operator/(const std::string& name) const { return path + "\\" + name; }
};
