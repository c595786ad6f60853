// Helper program for the support tests under Wine: each mode exercises one
// behaviour that needs a process of its own (captured output, self-deletion,
// DLL search, debug lines for the viewer, the Windows version).
#include "support/Files.h"
#include "support/KDebug.h"
#include "support/Win64.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>

#include <zlib.h>

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
  if (mode == "sums") {  // the program's CRC-32 and Adler-32 of each file, whole and in pieces
    for (int i = 2; i < argc; ++i) {
      const std::string data = ReadFilePart(argv[i], 0, false, 0);
      const Bytef* p = reinterpret_cast<const Bytef*>(data.data());
      const uInt n = static_cast<uInt>(data.size());
      uLong crcPieces = crc32(0, nullptr, 0), adlerPieces = adler32(0, nullptr, 0);
      uInt piece = 1;
      for (uInt at = 0; at < n; at += piece, piece = piece * 7 % 20011 + 1) {
        if (piece > n - at) piece = n - at;
        crcPieces = crc32(crcPieces, p + at, piece);
        adlerPieces = adler32(adlerPieces, p + at, piece);
      }
      std::printf("%08lx %08lx %08lx %08lx\n", crc32(0, p, n), adler32(1, p, n), crcPieces,
                  adlerPieces);
    }
    return 0;
  }
  if (mode == "selfdelete") return DeleteMySelf(arg == "1") ? 0 : 1;
  if (mode == "lines") {
    for (int i = 1; i <= std::atoi(arg.c_str()); ++i) DebugLine("line ", i);
    DebugLine(std::string(300, 'L'));
    return 0;
  }
  if (mode == "osname") {
    std::string vt, name, sp;
    std::uint32_t build = 0;
    const std::uint32_t code = GetOsName(vt, name, sp, build);
    std::printf("version=%s name=%s code=%u is64=%d\n", vt.c_str(), name.c_str(), code,
                Is64BitWindows() ? 1 : 0);
    return 0;
  }
  std::fprintf(stderr, "support_probe: unknown mode\n");
  return 2;
}
