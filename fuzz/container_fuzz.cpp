// Fuzz target over the payload container reader: the trailer and header
// records (TGFileInfo), the record walk with inflation of every file record,
// the volume checksum, the token and scrambled-text decoders, and the
// inflate wrapper on the raw input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/Utils.h"

namespace {

std::string InputPath()
{
  static std::string path;
  if (path.empty()) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = std::string(dir) + "/korvix_fuzz_" + std::to_string(getpid()) + ".bin";
  }
  return path;
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f)
    return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

volatile size_t GSink;

void Use(const std::string& s)
{
  GSink = GSink + s.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::string path = InputPath();
  if (!WriteInput(path, data, size))
    return 0;
  std::string bytes(reinterpret_cast<const char*>(data), size);

  {
    TGFileInfo info(path);
    Use(info.LanguageBlock());
    Use(info.GetUpdateServer());
    Use(info.GetInfoFileName());
    Use(info.GetOriginalFileName());
    Use(info.GetAgentExeName());
    Use(info.GetUpdateToken(true));
    Use(info.GetDownloadLocation());
    Use(info.GetDownloadFileName());
    Use(info.GetDownloadToken(true));
    Use(info.GetDownloadSize());
    GSink = GSink + info.IsHiddenSetup() + info.DownloadAlways() + info.HasNextVolume() +
            (size_t)info.Trailer().SpaceRequired(4);
    GSink = GSink + info.SameDownloadToken(info);
  }

  {
    TRecordWalk walk(path);
    TRecordHeader rec;
    int records = 0;
    while (walk.Next(rec) == rsRecord && ++records < 10000) {
      if (walk.IsHeaderRecord(rec)) {
        std::string d;
        walk.ReadData(d);
        Use(d);
        continue;
      }
      TFileEntry entry;
      std::string fileBytes;
      bool has = false;
      try {
        walk.ReadFileRecord(entry, fileBytes, has);
      } catch (const EZLibError&) {
        break;  // a damaged stream ends the extraction
      }
      Use(entry.FileName);
      Use(fileBytes);
    }
  }

  GSink = GSink + (size_t)VolumeChecksum(path, 74);
  GSink = GSink + PayloadEndFromBytes(bytes);

  try {
    Use(InflateText(bytes));
  } catch (const EZLibError&) {
  }

  std::string token, rest;
  SplitTokenText(bytes, token, rest);
  Use(UnscrambleToken(bytes));
  Use(Descramble(bytes));
  Use(rest);
  return 0;
}
