// The native ceiling of a setup's extraction: every file record of a built
// setup (one container) is streamed through the stub's record reader (the
// same reused buffers and inflater) and appended to its file in OUT_DIR, and
// timed.
//   extract_bench SETUP OUT_DIR
// Prints the plain bytes written, the milliseconds and MB/s (MB = 10^6).
#include <chrono>
#include <cstdio>
#include <string>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"

namespace {

// Appends each record's bytes to its file.
class TAppendSink : public TEntrySink {
public:
  explicit TAppendSink(const std::string& folder) : FFolder(folder) {}
  ~TAppendSink() override { Close(); }
  void Begin(const TFileEntry& entry) override {
    FName = entry.FileName;
    FFile = std::fopen((FFolder + "/" + FName).c_str(), "ab");
    Failed = Failed || !FFile;
  }
  void Write(const char* bytes, size_t count) override {
    if (FFile && std::fwrite(bytes, 1, count, FFile) != count) Failed = true;
    Bytes += count;
  }
  void End(uint64_t) override {
    Close();
    ++Files;
  }
  bool Failed = false;
  unsigned long long Bytes = 0;
  unsigned Files = 0;

private:
  void Close() {
    if (FFile && std::fclose(FFile) != 0) Failed = true;
    FFile = nullptr;
  }
  std::string FFolder, FName;
  FILE* FFile = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench SETUP OUT_DIR\n");
    return 2;
  }
  auto t0 = std::chrono::steady_clock::now();
  TRecordWalk walk(argv[1]);
  if (!walk.IsOpen()) {
    std::fprintf(stderr, "no payload in %s\n", argv[1]);
    return 1;
  }
  TStreamBuffers buffers;
  TAppendSink sink(argv[2]);
  TRecordHeader rec;
  try {
    while (walk.Next(rec) == KRecordRead) {
      bool has = false;
      if (!walk.IsHeaderRecord(rec) && walk.StreamFileRecord(buffers, sink, has) != KRecordRead) {
        std::fprintf(stderr, "damaged record\n");
        return 1;
      }
    }
  } catch (const EZLibError& e) {
    std::fprintf(stderr, "damaged record: %s\n", e.what());
    return 1;
  }
  if (sink.Failed) {
    std::fprintf(stderr, "cannot write into %s\n", argv[2]);
    return 1;
  }
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::printf("native  %u records  %.1f MB  %.0f ms  %.1f MB/s\n", sink.Files, sink.Bytes / 1e6, ms,
              sink.Bytes / 1e6 / (ms / 1000.0));
  return 0;
}
