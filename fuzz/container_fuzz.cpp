// Fuzz target over the payload container reader: trailer and header records,
// the stub's record walk through the reused buffers, the volume checksum, the
// token and text decoders, and both inflaters, which must agree on the input.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/Utils.h"

namespace {

volatile size_t GSink;
void Use(const std::string& s) {
  GSink = GSink + s.size();
}

// Touches every byte handed out, so that a piece outside the buffers shows.
class TCheckSink : public TEntrySink {
public:
  void Begin(const TFileEntry& entry) override {
    Use(entry.FileName);
    Use(entry.MainEntry);
    FSize = 0;
  }
  void Write(const char* bytes, size_t count) override {
    size_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += (unsigned char)bytes[i];
    GSink = GSink + sum;
    FSize += count;
  }
  void End(uint64_t size) override {
    if (size != FSize) __builtin_trap();
  }

private:
  uint64_t FSize = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/korvix_fuzz_" + std::to_string(getpid()) + ".bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || (std::fwrite(data, 1, size, f) != size) | (std::fclose(f) != 0)) return 0;
  std::string bytes(reinterpret_cast<const char*>(data), size);

  TGFileInfo info(path);
  for (const std::string& s :
       {info.LanguageBlock(), info.GetOriginalFileName(), info.GetAgentExeName(),
        info.GetUpdateToken(true), info.GetDownloadToken(true)})
    Use(s);
  GSink = GSink + info.IsHiddenSetup() + info.SameDownloadToken(info) +
          (size_t)info.Trailer().SpaceRequired(4);

  static TStreamBuffers buffers;
  TCheckSink sink;
  TRecordWalk walk(path);
  TRecordHeader rec;
  for (int records = 0; walk.Next(rec) == KRecordRead && ++records < 10000;) {
    std::string d;
    bool has = false;
    try {
      if (walk.IsHeaderRecord(rec))
        walk.ReadData(d);
      else
        walk.StreamFileRecord(buffers, sink, has);
    } catch (const EZLibError&) {
      break;  // a damaged stream ends the extraction
    }
    Use(d);
  }

  GSink = GSink + (size_t)VolumeChecksum(path, 74) + PayloadEndFromBytes(bytes);
  // A stream both inflaters read gives the same bytes.
  static TWholeInflater whole;
  static unsigned char out[1 << 20];
  size_t produced = 0;
  const bool wholeRead = whole.Inflate(data, size, out, sizeof out, produced);
  try {
    const std::string plain = InflateText(bytes);
    Use(plain);
    if (wholeRead && plain != std::string(reinterpret_cast<char*>(out), produced)) __builtin_trap();
  } catch (const EZLibError&) {
  }
  std::string token, rest;
  SplitTokenText(bytes, token, rest);
  Use(rest);
  Use(UnscrambleToken(bytes));
  Use(Descramble(bytes));
  return 0;
}
