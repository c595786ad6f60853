// Helper program for the support tests under Wine: each mode exercises one
// behaviour that needs a process of its own (captured output, DLL search,
// debug lines for the viewer).
#include "support/KDebug.h"
#include "support/Win64.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>

static int LoadReport(HMODULE m) {
  char path[MAX_PATH] = {0};
  if (m) GetModuleFileNameA(m, path, sizeof path);
  const bool marker = m && GetProcAddress(m, "KorvixFakeMarker");
  std::printf("loaded=%d marker=%d path=%s\n", m ? 1 : 0, marker ? 1 : 0, path);
  return 0;
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "", arg = argc > 2 ? argv[2] : "";
  _setmode(_fileno(stdout), _O_BINARY);
  if (mode == "loadsafe") {
    InitSafeDllSearch();
    return LoadReport(LoadSystemLibrary("RICHED32.DLL"));
  }
  if (mode == "loadplain")
    return LoadReport(LoadLibraryA(arg.empty() ? "RICHED32.DLL" : arg.c_str()));
  if (mode == "loadproc") {
    HMODULE m = nullptr;
    FARPROC p = LoadProc("RICHED32.DLL", "KorvixFakeMarker", m);
    return std::printf("proc=%d module=%d\n", p ? 1 : 0, m ? 1 : 0) < 0;
  }
  if (mode == "out") {  // n bytes "ABC...ZAB..."
    std::string s(std::strtoul(arg.c_str(), nullptr, 10), ' ');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('A' + i % 26);
    return std::fwrite(s.data(), 1, s.size(), stdout) != s.size();
  }
  if (mode == "err") return std::fputs(arg.c_str(), stderr), std::atoi(argv[3]);
  if (mode == "oem") return std::fwrite("\x81x", 1, 2, stdout) != 2;  // u with diaeresis, page 437
  if (mode == "lines") {
    for (int i = 1; i <= std::atoi(arg.c_str()); ++i) DebugLine("line ", i);
    DebugLine(std::string(300, 'L'));
    // The atom table is small and shared by every program: each chunk's atom
    // must go after its send.
    return GlobalFindAtomA("line 1\n") != 0;
  }
  std::fprintf(stderr, "support_probe: unknown mode\n");
  return 2;
}
