// Times one download by HTTP_DownloadFile, then the pauses its chunks take on
// their own (one WaitPumping(0, 2) per chunk, as the download loop makes).
//   download_bench URL DESTINATION
// Prints one line: bytes= ms= pause_ms= chunks= peak_ws= error=
#include <windows.h>
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

#include <cstdio>
#include <string>

#include "http/InetHTTP.h"
#include "support/ExecPipe.h"
#include "support/Files.h"

namespace {
double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL DESTINATION\n");
    return 2;
  }
  std::string error, content;
  HTTP_SetAbort(false);
  double t0 = NowMs();
  HTTP_DownloadFile(nullptr, argv[1], argv[2], error, nullptr, content);
  double ms = NowMs() - t0;
  long long bytes = FileSizeByName(argv[2]);
  long long chunks = (bytes + 8191) / 8192 + 1;  // the last read returns nothing
  t0 = NowMs();
  for (long long k = 0; k < chunks; ++k) WaitPumping(0, 2);
  double pauseMs = NowMs() - t0;
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  std::printf("bytes=%lld ms=%.0f pause_ms=%.0f chunks=%lld peak_ws=%llu error=%s\n", bytes, ms,
              pauseMs, chunks, static_cast<unsigned long long>(pmc.PeakWorkingSetSize),
              error.c_str());
  return error.empty() ? 0 : 1;
}
