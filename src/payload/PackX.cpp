#include "payload/PackX.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include <zlib.h>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "text/Common.h"
#include "text/KSUB.h"

namespace fs = std::filesystem;

namespace {

// A build failure with the text shown to the author; caught in BuildSetup.
class EPackError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = (char)((v >> (8 * i)) & 0xFF);
}

std::string U32Bytes(uint32_t v) {
  std::string s(4, '\0');
  PutU32(s, 0, v);
  return s;
}

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

// ------------------------------------------------------------------ files

struct TFileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

TFilePtr OpenFile(const std::string& path, const char* mode) {
  return TFilePtr(std::fopen(path.c_str(), mode));
}

bool IsRegularFile(const std::string& path, uint64_t& size, int64_t& mtime) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::is_regular_file(st)) return false;
  size = fs::file_size(path, ec);
  if (ec) return false;
  struct stat sb;
  mtime = (stat(path.c_str(), &sb) == 0) ? (int64_t)sb.st_mtime : 0;
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  TFilePtr f = OpenFile(path, "rb");
  if (!f) throw EPackError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) data.append(buf, n);
  if (std::ferror(f.get())) throw EPackError("cannot read " + Quoted(path));
  return data;
}

void WriteAll(std::FILE* f, const std::string& data, const std::string& path) {
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size())
    throw EPackError("cannot write " + Quoted(path) + ": " + std::strerror(errno));
}

// Overwrites bytes of a closed file in place.
void PatchFile(const std::string& path, long offset, const std::string& bytes) {
  TFilePtr f = OpenFile(path, "r+b");
  if (!f || std::fseek(f.get(), offset, SEEK_SET) != 0)
    throw EPackError("cannot update " + Quoted(path));
  WriteAll(f.get(), bytes, path);
  if (std::fflush(f.get()) != 0) throw EPackError("cannot write " + Quoted(path));
}

std::string BaseName(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string JoinPath(const std::string& baseDir, const std::string& path) {
  if (baseDir.empty() || path.empty()) return path;
  bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
  if (absolute) return path;
  char last = baseDir.back();
  return (last == '/' || last == '\\') ? baseDir + path : baseDir + "/" + path;
}

// Temporary files of one build; removed unless the build commits them.
class TTempFiles {
public:
  explicit TTempFiles(TPackRandom& random) : FRandom(random) {}
  ~TTempFiles() {
    for (auto& t : FFiles) {
      std::error_code ec;
      fs::remove(t.first, ec);
    }
  }
  // A temporary name next to `finalPath`.
  std::string Add(const std::string& finalPath) {
    std::string tmp = finalPath + ".kpk" + IntToStr(FRandom.Range(10000, 99999)) + ".tmp";
    FFiles.emplace_back(tmp, finalPath);
    return tmp;
  }
  // Renames every temporary file to its final name, the setup program (the
  // first file) last, so that it never stands without its volumes.
  void Commit() {
    for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
      auto& t = *it;
      std::error_code ec;
      fs::rename(t.first, t.second, ec);
      if (ec)
        throw EPackError("cannot rename " + Quoted(t.first) + " to " + Quoted(t.second) + ": " +
                         ec.message());
    }
    FFiles.clear();
  }

private:
  TPackRandom& FRandom;
  std::vector<std::pair<std::string, std::string>> FFiles;
};

// -------------------------------------------------------------- volumes

struct TVolumeOut {
  std::string Final;
  std::string Temp;
  TFilePtr F;
  bool Exe = false;
  uint64_t Size = 0;
  uint32_t Records = 0;
  uint32_t RecordArea = 0;
  uint8_t HeaderCount = 0;
};

struct TBuildState {
  const TPackProject* Project = nullptr;
  std::string Stub;     // stub image
  std::string Headers;  // the header records, length-prefixed
  uint8_t HeaderCount = 2;
  std::array<uint32_t, 9> Space{};
  TPackReport* Report = nullptr;
};

void OpenVolume(TVolumeOut& v, const std::string& finalPath, bool withHeaders, TBuildState& st,
                TTempFiles& temps) {
  v.Final = finalPath;
  v.Temp = temps.Add(finalPath);
  v.F = OpenFile(v.Temp, "wb");
  if (!v.F) throw EPackError("cannot create " + Quoted(v.Temp) + ": " + std::strerror(errno));
  v.Size = 0;
  v.Records = 0;
  v.Exe = withHeaders;
  v.HeaderCount = 0;
  v.RecordArea = 0;
  if (withHeaders) {
    WriteAll(v.F.get(), st.Stub, v.Temp);
    v.RecordArea = (uint32_t)st.Stub.size();
    WriteAll(v.F.get(), st.Headers, v.Temp);
    v.Size = st.Stub.size() + st.Headers.size();
    v.HeaderCount = st.HeaderCount;
  }
}

void WriteRecord(TVolumeOut& v, const std::string& record) {
  WriteAll(v.F.get(), record, v.Temp);
  v.Size += record.size();
  v.Records++;
}

void FinishVolume(TVolumeOut& v, bool nextFollows, bool relaunch, TBuildState& st) {
  const TPackProject& p = *st.Project;
  TTrailer t;
  t.Clear();
  t.Bytes[KTrlHeaderCount] = v.HeaderCount;
  t.SetU32(KTrlRecordArea, v.RecordArea);
  t.SetU32(KTrlFileCount, v.Records);
  t.SetU32(KTrlMagic, KContainerMagic);
  t.SetU32(KTrlChecksum, (uint32_t)KNoVolumeChecksum);
  for (int k = 0; k < 9; ++k) t.SetU32(KTrlSpace + 4 * k, st.Space[k]);
  uint8_t options = p.Options & (uint8_t) ~(KOptNextVolume | KOptSpanRelaunch);
  if (nextFollows) options |= KOptNextVolume;
  if (relaunch) options |= KOptSpanRelaunch;
  t.Bytes[KTrlOptions] = options;
  t.Bytes[KTrlInternet] = p.Internet ? 1 : 0;
  t.Bytes[KTrlAskDownload] = p.AskBeforeDownload ? 1 : 0;
  t.Bytes[KTrlMakeAgent] = p.MakeAgentCopy ? 1 : 0;
  t.Bytes[KTrlIsAgent] = p.IsAgent ? 1 : 0;
  t.SetU32(KTrlLength, KTrailerSize);
  WriteAll(v.F.get(), std::string((const char*)t.Bytes, KTrailerSize), v.Temp);
  v.Size += KTrailerSize;
  if (std::fflush(v.F.get()) != 0 || std::ferror(v.F.get()))
    throw EPackError("cannot write " + Quoted(v.Temp));
  v.F.reset();

  if (v.Exe) {
    std::string ptr(8, '\0');
    PutU32(ptr, 0, (uint32_t)(v.Size >> 32));
    PutU32(ptr, 4, (uint32_t)(v.Size & 0xFFFFFFFFu));
    PatchFile(v.Temp, 248, ptr);
  }
  // The checksum field lies past the summed words, so the value computed
  // with the placeholder in place is the value of the finished volume.
  int32_t sum = VolumeChecksum(v.Temp, KTrailerSize);
  if (sum != KNoVolumeChecksum)
    PatchFile(v.Temp, (long)(v.Size - KTrailerSize + KTrlChecksum), U32Bytes((uint32_t)sum));

  TPackVolume info;
  info.Path = v.Final;
  info.Size = v.Size;
  info.Records = v.Records;
  info.Checksum = sum;
  st.Report->Volumes.push_back(info);
  st.Report->OutputBytes += v.Size;
}

// Reads a source file in order, keeping what was read but not yet packed.
class TSourceReader {
public:
  TSourceReader(const std::string& path, uint64_t size) : FPath(path), FLeft(size) {
    FFile = OpenFile(path, "rb");
    if (!FFile) throw EPackError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  }
  // Tops the pending bytes up to `want` (or to the end of the file).
  const std::string& Pending(size_t want) {
    while (FPending.size() < want && FLeft > 0) {
      size_t n = (size_t)std::min<uint64_t>(want - FPending.size(), FLeft);
      size_t old = FPending.size();
      FPending.resize(old + n);
      size_t got = std::fread(&FPending[old], 1, n, FFile.get());
      FPending.resize(old + got);
      FLeft -= got;
      if (got < n) throw EPackError(Quoted(FPath) + " changed or could not be read while packing");
    }
    return FPending;
  }
  void Consume(size_t n) { FPending.erase(0, n); }
  bool Done() const { return FLeft == 0 && FPending.empty(); }
  // True when the file has grown since its size was taken.
  bool Grew() {
    char c;
    return std::fread(&c, 1, 1, FFile.get()) == 1;
  }

private:
  std::string FPath;
  TFilePtr FFile;
  uint64_t FLeft;
  std::string FPending;
};

void CountRecord(TPackReport& report, bool compressed, size_t plain) {
  report.Records++;
  if (!compressed) report.Stored++;
  report.PlainBytes += plain;
}

struct TPacked {
  std::string Record;
  bool Compressed = false;
  size_t Plain = 0;
};

// Packs every file into one volume. The pieces are compressed on several
// threads and written in order, so the output does not depend on the
// thread count.
void PackIntoOneVolume(const TPackProject& p, const std::vector<uint64_t>& sizes,
                       const std::vector<uint32_t>& dates, TVolumeOut& cur, TPackReport& report) {
  unsigned threads = p.Threads ? p.Threads : std::max(1u, std::thread::hardware_concurrency());
  std::deque<std::future<TPacked>> inFlight;
  auto writeDone = [&](size_t keep) {
    while (inFlight.size() > keep) {
      TPacked r = inFlight.front().get();
      inFlight.pop_front();
      WriteRecord(cur, r.Record);
      CountRecord(report, r.Compressed, r.Plain);
    }
  };
  for (size_t i = 0; i < p.Entries.size(); ++i) {
    const TPackEntry& e = p.Entries[i];
    std::string header = EntryHeader(e.Name, e.IsEngine, e.EngineArgs, dates[i]) + '\0';
    TSourceReader src(e.Source, sizes[i]);
    bool first = true;
    while (first || !src.Done()) {
      first = false;
      const std::string& pending = src.Pending(KMaxRecordFileBytes);
      size_t plain = pending.size();
      std::string content = header + pending;
      src.Consume(plain);
      int level = p.Level;
      auto job = [content = std::move(content), level, plain]() {
        TPacked r;
        r.Record = PackRecord(content, level, r.Compressed);
        r.Plain = plain;
        return r;
      };
      if (threads <= 1) {
        TPacked r = job();
        WriteRecord(cur, r.Record);
        CountRecord(report, r.Compressed, r.Plain);
        continue;
      }
      inFlight.push_back(std::async(std::launch::async, std::move(job)));
      writeDone(threads);
    }
    if (src.Grew()) throw EPackError(Quoted(e.Source) + " changed while packing");
  }
  writeDone(0);
}

// Smallest room at the end of a volume worth cutting a piece for.
const uint64_t KMinCutRoom = 4096;

std::string EntryDisplayName(const TPackEntry& e) {
  return e.IsEngine ? e.Name + "*" + e.EngineArgs : e.Name;
}

bool ParseBool(const std::string& text, bool& value) {
  std::string v = LowerCase(Trim(text));
  if (v == "1" || v == "true" || v == "yes" || v == "on") {
    value = true;
    return true;
  }
  if (v == "0" || v == "false" || v == "no" || v == "off" || v.empty()) {
    value = false;
    return true;
  }
  return false;
}

bool ParseUInt(const std::string& text, uint64_t& value) {
  std::string v = Trim(text);
  if (v.empty() || v.size() > 19) return false;
  uint64_t r = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    r = r * 10 + (uint64_t)(c - '0');
  }
  value = r;
  return true;
}

}  // namespace

// ======================================================================
// Random source

TPackRandom::TPackRandom() {
  std::random_device rd;
  uint64_t seed = ((uint64_t)rd() << 32) ^ rd() ^
                  (uint64_t)std::chrono::high_resolution_clock::now().time_since_epoch().count();
  FGen.seed(seed);
}

TPackRandom::TPackRandom(uint64_t seed) : FGen(seed) {}

uint8_t TPackRandom::Byte() {
  return (uint8_t)(FGen() & 0xFF);
}

uint32_t TPackRandom::Range(uint32_t low, uint32_t high) {
  return low + (uint32_t)(FGen() % ((uint64_t)high - low + 1));
}

// ======================================================================
// Tokens

std::string ScrambleTokenWith(const std::string& plain, uint8_t k1, uint8_t k2,
                              const std::string& fillA, const std::string& fillB) {
  uint8_t a = (uint8_t)std::min<size_t>(fillA.size(), 255);
  uint8_t b = (uint8_t)(std::min<size_t>(fillB.size(), 254) + 1);
  std::string d;
  d += (char)k1;
  d += (char)a;
  d += (char)b;
  d += fillA.substr(0, a);
  d += plain;
  d += fillB.substr(0, b - 1);
  d += '\0';  // the sum, set below
  d += (char)k2;
  size_t n = d.size();
  uint8_t k = k1 ^ k2;
  for (size_t i = 1; i + 1 < n; ++i)  // positions 2 to n-1
    d[i] = (char)((uint8_t)d[i] ^ k);
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i)
    if (i != n - 2) sum = (uint8_t)(sum + (uint8_t)d[i]);
  d[n - 2] = (char)sum;

  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * n);
  for (unsigned char c : d) {
    out += (char)(hex[c >> 4] + 50);
    out += (char)(hex[c & 15] + 50);
  }
  return out;
}

std::string ScrambleToken(const std::string& plain, TPackRandom& random) {
  uint8_t k1 = random.Byte();
  uint8_t k2 = random.Byte();
  std::string fillA(random.Range(1, 8), '\0');
  std::string fillB(random.Range(1, 8) - 1, '\0');
  for (char& c : fillA) c = (char)random.Byte();
  for (char& c : fillB) c = (char)random.Byte();
  return ScrambleTokenWith(plain, k1, k2, fillA, fillB);
}

// ======================================================================
// Header records

bool ParseLanguageText(const std::string& text, TPackLanguage& language, std::string& error) {
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  size_t start = 0;
  int lineNo = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      error = "line " + IntToStr(lineNo) + ": no \"=\" in " + Quoted(t);
      return false;
    }
    std::string key = Trim(t.substr(0, eq));
    std::string value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key.empty()) {
      error = "line " + IntToStr(lineNo) + ": empty key";
      return false;
    }
    for (auto& e : language.Entries)
      if (SameText(e.first, key)) {
        error = "line " + IntToStr(lineNo) + ": key " + Quoted(key) + " given twice";
        return false;
      }
    language.Entries.emplace_back(key, value);
  }
  return true;
}

bool CheckLanguage(const TPackLanguage& language, std::string& error) {
  static const std::string bad("\0\x01\x02\r\n", 5);
  if (Trim(language.Name).empty()) {
    error = "a language has no name";
    return false;
  }
  if (language.Name.find_first_of(bad) != std::string::npos) {
    error = "language name " + Quoted(language.Name) + " holds a control byte";
    return false;
  }
  for (auto& e : language.Entries) {
    if (Trim(e.first).empty() || e.first.find('=') != std::string::npos ||
        e.first.find_first_of(bad) != std::string::npos) {
      error = "language " + language.Name + ": bad key " + Quoted(e.first);
      return false;
    }
    if (e.second.find_first_of(bad) != std::string::npos) {
      error = "language " + language.Name + ": the value of " + e.first +
              " holds a byte 0x00, 0x01, 0x02 or a line break";
      return false;
    }
  }
  return true;
}

std::string BuildLanguageBlock(const std::vector<TPackLanguage>& languages) {
  std::string block(1, '\x02');
  if (languages.empty())
    return block +
           "\x01"
           "English"
           "\x01"
           "\x02";
  for (auto& lang : languages) {
    block += '\x01';
    block += lang.Name;
    block += '\x01';
    for (auto& e : lang.Entries) {
      block += e.first;
      block += '=';
      block += e.second;
      block += '\x01';
    }
    block += '\x02';
  }
  return block;
}

std::string BuildUpdateSettings(const TUpdateItems& items, TPackRandom& random) {
  return SUB::FromItems({items.Server, items.InfoFile, items.AgentExe,
                         ScrambleToken(items.Token, random), items.Hidden ? "1" : "0"});
}

std::string BuildDownloadSettings(const TDownloadItems& items, TPackRandom& random) {
  return SUB::FromItems({items.Location, items.FileName, items.Always ? "1" : "0",
                         ScrambleToken(items.Token, random), items.Size});
}

// ======================================================================
// File records

bool CheckEntryName(const std::string& name, std::string& error) {
  if (name.empty()) {
    error = "an entry has an empty name";
    return false;
  }
  if (name.find("..") != std::string::npos) {
    error = "entry name " + Quoted(name) + " holds \"..\"";
    return false;
  }
  if (name[0] == '\\' || name[0] == '/') {
    error = "entry name " + Quoted(name) + " starts with a backslash";
    return false;
  }
  if (name.size() > 1 && name[1] == ':') {
    error = "entry name " + Quoted(name) + " holds a drive letter";
    return false;
  }
  if (name.find('|') != std::string::npos) {
    error = "entry name " + Quoted(name) + " holds \"|\"";
    return false;
  }
  if (name.find_first_of("\\/") != std::string::npos) {
    error = "entry name " + Quoted(name) +
            " holds a folder part; entries are extracted into one flat folder";
    return false;
  }
  for (unsigned char c : name)
    if (c < 32 || std::strchr("<>:\"?*", c) != nullptr) {
      error = "entry name " + Quoted(name) + " holds a character a file name cannot hold";
      return false;
    }
  if (name.back() == '.' || name.back() == ' ') {
    error = "entry name " + Quoted(name) + " ends with a dot or a blank";
    return false;
  }
  if (name.size() > 255) {
    error = "entry name " + Quoted(name) + " is longer than 255 characters";
    return false;
  }
  // Device names cannot be file names on Windows, with any extension.
  std::string stem = UpperCase(Trim(name.substr(0, name.find('.'))));
  static const char* devices[] = {"CON", "PRN", "AUX", "NUL"};
  bool device = false;
  for (const char* d : devices) device = device || stem == d;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
      stem[3] >= '1' && stem[3] <= '9')
    device = true;
  if (device) {
    error = "entry name " + Quoted(name) + " is a Windows device name";
    return false;
  }
  return true;
}

std::string EntryHeader(const std::string& name, bool isEngine, const std::string& extra,
                        uint32_t dosDateTime) {
  std::string item0 = name;
  if (isEngine) item0 += "*" + extra;
  return "|" + item0 + "|" + std::to_string(dosDateTime) + "|";
}

uint32_t DosDateTimeOf(int64_t unixTime) {
  std::time_t t = (std::time_t)unixTime;
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return 0;
#else
  if (!localtime_r(&t, &tm)) return 0;
#endif
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  uint32_t date =
      ((uint32_t)(year - 1980) << 9) | ((uint32_t)(tm.tm_mon + 1) << 5) | (uint32_t)tm.tm_mday;
  uint32_t time = ((uint32_t)tm.tm_hour << 11) | ((uint32_t)tm.tm_min << 5) |
                  (uint32_t)(std::min(tm.tm_sec, 59) / 2);
  return (date << 16) | time;
}

std::string PackRecord(const std::string& content, int level, bool& compressed) {
  uLongf bound = compressBound((uLong)content.size());
  std::string out(4 + (size_t)bound, '\0');
  uLongf len = bound;
  int rc =
      compress2((Bytef*)&out[4], &len, (const Bytef*)content.data(), (uLong)content.size(), level);
  compressed = rc == Z_OK && len < content.size();
  if (compressed) {
    out.resize(4 + len);
    PutU32(out, 0, (uint32_t)len);
    return out;
  }
  std::string stored = U32Bytes((uint32_t)(-(int64_t)content.size()));
  return stored + content;
}

std::array<uint32_t, 9> SpaceRequiredTable(const std::vector<uint64_t>& sizes) {
  std::array<uint32_t, 9> table{};
  for (int k = 0; k < 9; ++k) {
    uint64_t cluster = k == 0 ? 1 : (256ull << k);
    uint64_t sum = 0;
    for (uint64_t s : sizes) {
      uint64_t rounded = (s + cluster - 1) / cluster * cluster;
      sum = (sum + rounded < sum) ? UINT64_MAX : sum + rounded;
    }
    table[k] = sum > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)sum;
  }
  return table;
}

// ======================================================================
// Containers

bool CheckStubImage(const std::string& head, std::string& error) {
  if (head.size() < 260 || head[0] != 'M' || head[1] != 'Z' ||
      head.compare(256, 4, std::string("PE\0\0", 4)) != 0) {
    error = "not a setup stub: it needs \"MZ\" at offset 0 and \"PE\" at offset 256";
    return false;
  }
  if (PayloadEndFromBytes(head) != 0) {
    error = "the stub already carries a payload (its payload-end pointer is set)";
    return false;
  }
  return true;
}

void SetPayloadEnd(std::string& image, uint64_t end) {
  if (image.size() < 256) return;
  PutU32(image, 248, (uint32_t)(end >> 32));
  PutU32(image, 252, (uint32_t)(end & 0xFFFFFFFFu));
}

std::string VolumeFileName(const std::string& base, int j) {
  std::string num = std::to_string(j);
  while (num.size() < 3) num = "0" + num;
  return base + "." + num;
}

// ======================================================================
// The build

bool CheckProject(const TPackProject& p, std::vector<std::string>& warnings, std::string& error) {
  if (p.Output.empty()) {
    error = "no output file given";
    return false;
  }
  if (p.Stub.empty()) {
    error = "no stub given";
    return false;
  }
  uint64_t size;
  int64_t mtime;
  if (!IsRegularFile(p.Stub, size, mtime)) {
    error = "stub not found: " + Quoted(p.Stub);
    return false;
  }
  if (p.Level < 1 || p.Level > 9) {
    error = "compression level must be 1 to 9";
    return false;
  }
  for (auto& lang : p.Languages)
    if (!CheckLanguage(lang, error)) return false;

  const TPackEntry* engine = nullptr;
  for (size_t i = 0; i < p.Entries.size(); ++i) {
    const TPackEntry& e = p.Entries[i];
    if (!CheckEntryName(e.Name, error)) return false;
    if (e.IsEngine) {
      if (engine) {
        error = "two entries are marked \"*\" as the engine: " + Quoted(engine->Name) + " and " +
                Quoted(e.Name);
        return false;
      }
      engine = &e;
      if (e.EngineArgs.find('|') != std::string::npos || HasLineBreakOrNul(e.EngineArgs)) {
        error = "the engine's extra text must not hold \"|\" or line breaks";
        return false;
      }
    }
    for (size_t j = 0; j < i; ++j)
      if (SameText(p.Entries[j].Name, e.Name)) {
        error = "two entries are named " + Quoted(e.Name) +
                "; the stub would append them into one file";
        return false;
      }
    if (!IsRegularFile(e.Source, size, mtime)) {
      error = "file not found: " + Quoted(e.Source);
      return false;
    }
  }

  const std::string* texts[] = {&p.Update.Server,  &p.Update.InfoFile,   &p.Update.AgentExe,
                                &p.Update.Token,   &p.Download.Location, &p.Download.FileName,
                                &p.Download.Token, &p.Download.Size};
  for (const std::string* t : texts)
    if (HasLineBreakOrNul(*t)) {
      error = "a setting holds a line break or a NUL byte: " + Quoted(*t);
      return false;
    }
  if (!p.Download.Size.empty()) {
    uint64_t n;
    if (!ParseUInt(p.Download.Size, n)) {
      error = "download size must be a number of bytes: " + Quoted(p.Download.Size);
      return false;
    }
  }
  if (p.Internet &&
      (!p.Download.Given || p.Download.Location.empty() || p.Download.FileName.empty())) {
    error = "an internet setup needs the download location and file name";
    return false;
  }
  if (p.MakeAgentCopy && p.Update.AgentExe.empty()) {
    error = "make_agent_copy needs the update agent's file name (update.agent_exe)";
    return false;
  }
  if (p.IsAgent && p.Update.AgentExe.empty())
    warnings.push_back("an update-agent setup without update.agent_exe");
  if ((p.Options & KOptAgentLog) && !p.IsAgent && !p.MakeAgentCopy)
    warnings.push_back("agent_log is only read by an update-agent copy");
  if (p.Internet && !p.Entries.empty())
    warnings.push_back("an internet setup never extracts its own files");
  if (!p.Internet && !p.Entries.empty() && !engine)
    warnings.push_back("no entry is marked \"*\": no engine will start after extraction");
  return true;
}

bool BuildSetup(const TPackProject& project, TPackReport& report, std::string& error) {
  report = TPackReport();
  if (!CheckProject(project, report.Warnings, error)) return false;
  try {
    TPackRandom random = project.HasSeed ? TPackRandom(project.Seed) : TPackRandom();
    TBuildState st;
    st.Project = &project;
    st.Report = &report;
    st.Stub = ReadWholeFile(project.Stub);
    if (!CheckStubImage(st.Stub.substr(0, 512), error)) {
      error = Quoted(project.Stub) + ": " + error;
      return false;
    }
    SetPayloadEnd(st.Stub, 0);

    // Header records: stored, positive length.
    std::vector<std::string> headers = {BuildLanguageBlock(project.Languages),
                                        BuildUpdateSettings(project.Update, random)};
    if (project.Download.Given) headers.push_back(BuildDownloadSettings(project.Download, random));
    st.HeaderCount = (uint8_t)headers.size();
    for (auto& h : headers) st.Headers += U32Bytes((uint32_t)h.size()) + h;

    // Sizes and dates as they are now; a file that changes while it is
    // packed stops the build.
    std::vector<uint64_t> sizes;
    std::vector<uint32_t> dates;
    for (auto& e : project.Entries) {
      uint64_t size = 0;
      int64_t mtime = 0;
      IsRegularFile(e.Source, size, mtime);
      sizes.push_back(size);
      dates.push_back(e.HasDate ? e.DosDate : DosDateTimeOf(mtime));
    }
    st.Space = SpaceRequiredTable(sizes);

    std::error_code ec;
    fs::path parent = fs::path(project.Output).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec) && !fs::create_directories(parent, ec))
      throw EPackError("cannot create the folder " + Quoted(parent.string()) + ": " + ec.message());
    TTempFiles temps(random);
    const bool relaunch = (project.Options & KOptSpanRelaunch) != 0;
    const bool multi = project.VolumeSize > 0;
    uint64_t limit = multi ? project.VolumeSize : UINT64_MAX;
    TVolumeOut cur;
    int nextIndex = 2;
    if (relaunch) {
      // The setup program holds the settings only and relaunches itself
      // from the temporary folder, which then reads ".001" onward; both
      // files share the first medium.
      TVolumeOut head;
      OpenVolume(head, project.Output, true, st, temps);
      FinishVolume(head, true, true, st);
      OpenVolume(cur, VolumeFileName(project.Output, 1), true, st, temps);
      if (multi) limit = project.VolumeSize > head.Size ? project.VolumeSize - head.Size : 0;
    } else {
      // The setup program is volume 1; the stub names the next one ".002".
      OpenVolume(cur, project.Output, true, st, temps);
    }
    if (multi && cur.Size + KTrailerSize + 64 > limit)
      throw EPackError("volume size " + std::to_string(project.VolumeSize) +
                       " is too small for the stub and the settings (" +
                       std::to_string(cur.Size + KTrailerSize + (relaunch ? st.Stub.size() : 0)) +
                       " bytes and more)");

    if (!multi) PackIntoOneVolume(project, sizes, dates, cur, report);
    for (size_t i = 0; multi && i < project.Entries.size(); ++i) {
      const TPackEntry& e = project.Entries[i];
      std::string header = EntryHeader(e.Name, e.IsEngine, e.EngineArgs, dates[i]) + '\0';
      TSourceReader src(e.Source, sizes[i]);
      bool first = true;
      while (first || !src.Done()) {
        first = false;
        const std::string& pending = src.Pending(KMaxRecordFileBytes);
        size_t piece = pending.size();
        bool fresh = cur.Records == 0;
        for (;;) {
          bool compressed = false;
          std::string rec =
              PackRecord(header + pending.substr(0, piece), project.Level, compressed);
          if (cur.Size + rec.size() + KTrailerSize <= limit) {
            WriteRecord(cur, rec);
            CountRecord(report, compressed, piece);
            src.Consume(piece);
            break;
          }
          uint64_t used = cur.Size + KTrailerSize;
          uint64_t room = limit > used ? limit - used : 0;
          uint64_t minRecord = 4 + header.size() + 1;
          if (piece > 1 && room > minRecord && (room >= KMinCutRoom || fresh)) {
            // Cut the piece so that its record fills the rest of the volume;
            // the rest of it goes on in a further record of the same name.
            uint64_t want = (uint64_t)piece * (room - minRecord) / rec.size();
            want = want * 9 / 10;
            piece = (size_t)std::max<uint64_t>(1, std::min<uint64_t>(want, piece - 1));
            continue;
          }
          if (fresh)
            throw EPackError("volume size " + std::to_string(project.VolumeSize) +
                             " is too small for a record of " + Quoted(EntryDisplayName(e)));
          FinishVolume(cur, true, false, st);
          OpenVolume(cur, VolumeFileName(project.Output, nextIndex++), false, st, temps);
          limit = project.VolumeSize;  // only the first medium holds two files
          fresh = true;
          piece = pending.size();
        }
      }
      if (src.Grew()) throw EPackError(Quoted(e.Source) + " changed while packing");
    }
    FinishVolume(cur, false, false, st);
    temps.Commit();

    // Volumes of an earlier build of the same setup that this build did not
    // write would otherwise look like part of it.
    const int ours = (int)report.Volumes.size() + 1;
    for (int j = 1; j < 100000; ++j) {
      std::string old = VolumeFileName(project.Output, j);
      bool written = false;
      for (auto& v : report.Volumes) written = written || v.Path == old;
      std::error_code ec;
      if (written) continue;
      if (!fs::exists(old, ec)) {
        if (j > ours) break;
        continue;
      }
      fs::remove(old, ec);
    }
    return true;
  } catch (const EPackError& ex) {
    error = ex.what();
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& ex) {
    error = ex.what();
  }
  report.Volumes.clear();
  return false;
}

// ======================================================================
// Project file

bool ParseSize(const std::string& text, uint64_t& size) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  uint64_t mult = 1;
  char last = UpCase(t.back());
  if (last == 'K' || last == 'M' || last == 'G') {
    mult = last == 'K' ? 1024ull : last == 'M' ? 1024ull * 1024 : 1024ull * 1024 * 1024;
    t.pop_back();
  }
  uint64_t n;
  if (!ParseUInt(t, n) || n > UINT64_MAX / mult) return false;
  size = n * mult;
  return true;
}

bool AddLanguageFile(TPackProject& project, const std::string& name, const std::string& path,
                     std::string& error) {
  TPackLanguage lang;
  lang.Name = Trim(name);
  uint64_t size;
  int64_t mtime;
  if (!IsRegularFile(path, size, mtime)) {
    error = "language file not found: " + Quoted(path);
    return false;
  }
  try {
    if (!ParseLanguageText(ReadWholeFile(path), lang, error)) {
      error = Quoted(path) + ": " + error;
      return false;
    }
  } catch (const EPackError& ex) {
    error = ex.what();
    return false;
  }
  if (!CheckLanguage(lang, error)) return false;
  project.Languages.push_back(lang);
  return true;
}

bool AddFileLine(TPackProject& project, const std::string& line, const std::string& baseDir,
                 std::string& error) {
  std::string t = Trim(line);
  std::string entry, source;
  size_t eq = t.rfind('=');
  if (eq == std::string::npos) {
    source = t;
  } else {
    entry = Trim(t.substr(0, eq));
    source = Trim(t.substr(eq + 1));
  }
  if (source.empty()) {
    error = "a file line without a source file: " + Quoted(t);
    return false;
  }
  TPackEntry e;
  e.Source = JoinPath(baseDir, source);
  if (entry.empty()) entry = BaseName(source);
  size_t star = entry.find('*');
  if (star != std::string::npos) {
    e.IsEngine = true;
    e.EngineArgs = entry.substr(star + 1);
    entry = Trim(entry.substr(0, star));
  }
  e.Name = entry;
  project.Entries.push_back(e);
  return true;
}

bool ApplySetting(TPackProject& p, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& baseDir, std::string& error) {
  std::string s = LowerCase(Trim(section));
  std::string k = LowerCase(Trim(key));
  std::string v = Trim(value);
  bool b = false;
  auto boolValue = [&](bool& target) {
    if (!ParseBool(v, b)) {
      error = s + "." + k + ": not 0 or 1: " + Quoted(v);
      return false;
    }
    target = b;
    return true;
  };
  auto bit = [&](uint8_t mask) {
    if (!ParseBool(v, b)) {
      error = s + "." + k + ": not 0 or 1: " + Quoted(v);
      return false;
    }
    p.Options = b ? (uint8_t)(p.Options | mask) : (uint8_t)(p.Options & ~mask);
    return true;
  };
  // Settings that are a plain text or a 0/1 flag.
  const struct {
    const char* Section;
    const char* Key;
    std::string* Text;
    bool* Flag;
  } items[] = {
      {"options", "internet", nullptr, &p.Internet},
      {"options", "ask_before_download", nullptr, &p.AskBeforeDownload},
      {"options", "make_agent_copy", nullptr, &p.MakeAgentCopy},
      {"options", "agent", nullptr, &p.IsAgent},
      {"update", "server", &p.Update.Server, nullptr},
      {"update", "info_file", &p.Update.InfoFile, nullptr},
      {"update", "agent_exe", &p.Update.AgentExe, nullptr},
      {"update", "token", &p.Update.Token, nullptr},
      {"update", "hidden", nullptr, &p.Update.Hidden},
      {"download", "location", &p.Download.Location, nullptr},
      {"download", "file_name", &p.Download.FileName, nullptr},
      {"download", "always", nullptr, &p.Download.Always},
      {"download", "token", &p.Download.Token, nullptr},
      {"download", "size", &p.Download.Size, nullptr},
  };
  for (const auto& item : items) {
    if (s != item.Section || k != item.Key) continue;
    if (s == "download") p.Download.Given = true;
    if (item.Flag) return boolValue(*item.Flag);
    *item.Text = v;
    return true;
  }
  if (s == "setup") {
    if (k == "stub") {
      p.Stub = JoinPath(baseDir, v);
      return true;
    }
    if (k == "output") {
      p.Output = JoinPath(baseDir, v);
      return true;
    }
    if (k == "volume_size") {
      if (!ParseSize(v, p.VolumeSize)) {
        error = "setup.volume_size: not a size: " + Quoted(v);
        return false;
      }
      return true;
    }
    if (k == "level") {
      uint64_t n = 0;
      if (!ParseUInt(v, n) || n < 1 || n > 9) {
        error = "setup.level: must be 1 to 9";
        return false;
      }
      p.Level = (int)n;
      return true;
    }
    if (k == "threads") {
      uint64_t n = 0;
      if (!ParseUInt(v, n) || n > 256) {
        error = "setup.threads: must be 0 (one per processor) to 256";
        return false;
      }
      p.Threads = (unsigned)n;
      return true;
    }
    if (k == "seed") {
      if (v.empty()) {
        p.HasSeed = false;
        return true;
      }
      if (!ParseUInt(v, p.Seed)) {
        error = "setup.seed: not a number: " + Quoted(v);
        return false;
      }
      p.HasSeed = true;
      return true;
    }
  } else if (s == "options") {
    if (k == "ask_temp_drive") return bit(KOptTempDriveInfo);
    if (k == "span_relaunch") return bit(KOptSpanRelaunch);
    if (k == "activity_bar") return bit(KOptActivityBar);
    if (k == "agent_log") return bit(KOptAgentLog);
  } else if (s == "download") {
    p.Download.Given = true;
    if (k == "size_of") {
      uint64_t size;
      int64_t mtime;
      std::string path = JoinPath(baseDir, v);
      if (!IsRegularFile(path, size, mtime)) {
        error = "download.size_of: file not found: " + Quoted(path);
        return false;
      }
      p.Download.Size = std::to_string(size);
      return true;
    }
    if (k == "enabled") return boolValue(p.Download.Given);
  } else if (s != "update") {
    error = "unknown section [" + section + "]";
    return false;
  }
  error = "unknown setting " + s + "." + k;
  return false;
}

bool ParseProject(const std::string& text, const std::string& baseDir, TPackProject& project,
                  std::string& error) {
  std::string section;
  size_t start = 0;
  int lineNo = 0;
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string t = Trim(body.substr(start, end - start));
    start = end + 1;
    ++lineNo;
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    // A ";" after a blank starts a comment.
    for (size_t i = 1; i < t.size(); ++i)
      if (t[i] == ';' && (t[i - 1] == ' ' || t[i - 1] == '\t')) {
        t = Trim(t.substr(0, i));
        break;
      }
    std::string where = "line " + std::to_string(lineNo) + ": ";
    if (t[0] == '[') {
      if (t.back() != ']') {
        error = where + "bad section line " + Quoted(t);
        return false;
      }
      section = LowerCase(Trim(t.substr(1, t.size() - 2)));
      static const char* known[] = {"setup", "options", "update", "download", "languages", "files"};
      bool ok = false;
      for (const char* k : known) ok = ok || section == k;
      if (!ok) {
        error = where + "unknown section " + Quoted(t);
        return false;
      }
      continue;
    }
    if (section.empty()) {
      error = where + "setting outside a section: " + Quoted(t);
      return false;
    }
    bool ok;
    if (section == "files") {
      ok = AddFileLine(project, t, baseDir, error);
    } else {
      size_t eq = t.find('=');
      if (eq == std::string::npos) {
        error = where + "no \"=\" in " + Quoted(t);
        return false;
      }
      std::string key = Trim(t.substr(0, eq));
      std::string value = Trim(t.substr(eq + 1));
      if (section == "languages")
        ok = AddLanguageFile(project, key, JoinPath(baseDir, value), error);
      else
        ok = ApplySetting(project, section, key, value, baseDir, error);
    }
    if (!ok) {
      error = where + error;
      return false;
    }
  }
  return true;
}
