// The native ceiling of a setup's extraction: every file record of a built
// setup (one container) is read, inflated with InflateText and appended to
// its file in OUT_DIR, as the stub does, and timed.
//   extract_bench SETUP OUT_DIR
// Prints the plain bytes written, the milliseconds and MB/s (MB = 10^6).
#include <chrono>
#include <cstdio>
#include <string>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/Files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench SETUP OUT_DIR\n");
    return 2;
  }
  const std::string out = argv[2];
  auto t0 = std::chrono::steady_clock::now();
  TRecordWalk walk(argv[1]);
  if (!walk.IsOpen()) {
    std::fprintf(stderr, "no payload in %s\n", argv[1]);
    return 1;
  }
  unsigned long long bytes = 0;
  unsigned files = 0;
  TRecordHeader rec;
  while (walk.Next(rec) == KRecordRead) {
    if (walk.IsHeaderRecord(rec)) continue;
    TFileEntry entry;
    std::string data;
    bool has = false;
    if (walk.ReadFileRecord(entry, data, has) != KRecordRead) {
      std::fprintf(stderr, "damaged record\n");
      return 1;
    }
    if (!has) continue;
    if (!WriteTextFile(out + "/" + entry.FileName, data, 0, true)) {
      std::fprintf(stderr, "cannot write %s\n", entry.FileName.c_str());
      return 1;
    }
    bytes += data.size();
    ++files;
  }
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::printf("native  %u records  %.1f MB  %.0f ms  %.1f MB/s\n", files, bytes / 1e6, ms,
              bytes / 1e6 / (ms / 1000.0));
  return 0;
}
