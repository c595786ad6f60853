// Shared helpers of the Windows support tests.
#pragma once

#include "support/Files.h"

#include <windows.h>

#include <string>

// The helper program and the stand-in RICHED32.DLL built with the tests.
inline std::string ProbePath() {
  return ProgramFolder(true) + "support_probe.exe";
}
inline std::string FakeRichEditPath() {
  return ProgramFolder(true) + "..\\support_fixture\\RICHED32.dll";
}

// A fresh, empty folder under the temporary folder; removed again on scope exit.
struct ScratchDir {
  std::string path;
  explicit ScratchDir(const std::string& name) : path(TempFolder(true) + name) {
    DeleteTree(path, true);
    CreateDirectoryA(path.c_str(), nullptr);
  }
  ~ScratchDir() { DeleteTree(path, true); }
  std::string operator/(const std::string& name) const { return path + "\\" + name; }
};
