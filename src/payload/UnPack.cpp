#include "payload/UnPack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include <zlib.h>

#include "payload/ZLibOpen.h"
#include "support/KDebug.h"
#include "support/Utils.h"
#include "text/Common.h"
#include "text/LangRes0.h"
#include "text/Numbers.h"
#include "text/SLangId.h"
#include "text/KSUB.h"

namespace {

void NoPump() {}
void (*GReadPump)() = NoPump;

// Records are read in pieces of this size, letting the windows run between.
const size_t KReadPiece = 65536;

uint32_t GetU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}

// Reads `count` bytes at `offset` into `out` in pieces, pumping between.
bool ReadPieces(TPayloadFile& f, uint64_t offset, size_t count, std::string& out) {
  out.resize(count);
  size_t done = 0;
  while (done < count) {
    size_t n = count - done < KReadPiece ? count - done : KReadPiece;
    size_t got = f.ReadAt(offset + done, &out[done], n);
    done += got;
    GReadPump();
    if (got < n) {  // the bytes cannot come: never wait for them
      out.resize(done);
      return false;
    }
  }
  return true;
}

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The file-name part of a path: the text after the last backslash.
std::string NamePart(const std::string& path) {
  size_t p = path.find_last_of('\\');
  return p == std::string::npos ? path : path.substr(p + 1);
}

}  // namespace

// ---------------------------------------------------------------- TTrailer

void TTrailer::Clear() {
  std::memset(Bytes, 0, sizeof Bytes);
}

uint32_t TTrailer::U32(int offset) const {
  return GetU32(Bytes + offset);
}

void TTrailer::SetU32(int offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) Bytes[offset + i] = (uint8_t)(value >> (8 * i));
}

uint32_t TTrailer::SpaceRequired(int k) const {
  if (k < 0 || k > 8) return 0;
  return U32(KTrlSpace + 4 * k);
}

// ---------------------------------------------------------------- TPayloadFile

#ifdef _WIN32

bool TPayloadFile::Open(const std::string& path) {
  Close();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  FHandle.Reset(h);
  return FHandle.Valid();
}

void TPayloadFile::Close() {
  FHandle.Reset();
}

bool TPayloadFile::IsOpen() const {
  return FHandle.Valid();
}

uint64_t TPayloadFile::Size() const {
  LARGE_INTEGER n;
  if (!FHandle || !GetFileSizeEx(FHandle.Get(), &n)) return 0;
  return (uint64_t)n.QuadPart;
}

size_t TPayloadFile::ReadAt(uint64_t offset, void* buf, size_t count) {
  if (!FHandle || offset > (uint64_t)INT64_MAX) return 0;
  LARGE_INTEGER pos;
  pos.QuadPart = (LONGLONG)offset;
  if (!SetFilePointerEx(FHandle.Get(), pos, nullptr, FILE_BEGIN)) return 0;
  size_t done = 0;
  while (done < count) {
    DWORD want = count - done > 0x40000000 ? 0x40000000 : (DWORD)(count - done);
    DWORD got = 0;
    if (!ReadFile(FHandle.Get(), static_cast<char*>(buf) + done, want, &got, nullptr) || got == 0)
      break;
    done += got;
  }
  return done;
}

#else

bool TPayloadFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  FFd = fd;
  return true;
}

void TPayloadFile::Close() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
}

bool TPayloadFile::IsOpen() const {
  return FFd >= 0;
}

uint64_t TPayloadFile::Size() const {
  struct stat st;
  if (FFd < 0 || fstat(FFd, &st) != 0) return 0;
  return (uint64_t)st.st_size;
}

size_t TPayloadFile::ReadAt(uint64_t offset, void* buf, size_t count) {
  if (FFd < 0 || offset > (uint64_t)INT64_MAX) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t got =
        ::pread(FFd, static_cast<char*>(buf) + done, count - done, (off_t)(offset + done));
    if (got <= 0) break;
    done += (size_t)got;
  }
  return done;
}

#endif

// ---------------------------------------------------------------- container functions

bool IsExeContainer(TPayloadFile& file) {
  uint8_t mz[2], pe[2];
  return file.ReadExact(0, mz, 2) && mz[0] == 'M' && mz[1] == 'Z' && file.ReadExact(256, pe, 2) &&
         pe[0] == 'P' && pe[1] == 'E';
}

bool IsExeContainer(const std::string& path) {
  TPayloadFile f(path);
  return f.IsOpen() && IsExeContainer(f);
}

uint64_t PayloadEndFromHeader(TPayloadFile& file) {
  uint8_t w[8];
  if (!file.ReadExact(248, w, 8)) return 0;
  return ((uint64_t)GetU32(w) << 32) | GetU32(w + 4);
}

uint64_t PayloadEndFromBytes(const void* bytes, size_t count) {
  if (!bytes || count < 256) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  return ((uint64_t)GetU32(p + 248) << 32) | GetU32(p + 252);
}

uint64_t PayloadEndFromBytes(const std::string& bytes) {
  return PayloadEndFromBytes(bytes.data(), bytes.size());
}

uint64_t PayloadEnd(TPayloadFile& file) {
  if (IsExeContainer(file)) {
    uint64_t p = PayloadEndFromHeader(file);
    if (p > 0) return p;
  }
  return file.Size();
}

uint64_t ReadTrailer(TPayloadFile& file, TTrailer& record) {
  uint64_t end = PayloadEnd(file);
  uint8_t w[4];
  if (end < 4 || !file.ReadExact(end - 4, w, 4))
    return end;  // nothing to read: the record stays cleared
  uint32_t len = GetU32(w);
  uint32_t m = len < (uint32_t)KTrailerSize ? len : (uint32_t)KTrailerSize;
  // A length that reaches before the file start, or that cannot even hold
  // itself, gives no trailer.
  if (len >= 4 && (uint64_t)len <= end) file.ReadAt(end - len, record.Bytes, m - 4);
  record.SetU32(KTrlLength, m);
  if (record.Bytes[KTrlHeaderCount] == 0) record.Bytes[KTrlHeaderCount] = 2;
  return end;
}

bool PayloadPresent(const TTrailer& trailer, uint64_t payloadEnd, uint64_t fileSize) {
  if (!trailer.MagicOK() || payloadEnd > fileSize) return false;
  uint64_t len = trailer.Length();
  if (len < 4 || len > payloadEnd) return false;
  return trailer.RecordArea() <= payloadEnd - len;
}

int64_t ClusterSize(const std::string& path) {
#ifdef _WIN32
  DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
  std::string root = path.substr(0, 3);
  if (root.empty() || !GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &freeClusters, &total)) return 0;
  return (int64_t)spc * bps;
#else
  // The file system holding the path, or its nearest existing parent.
  std::string p = path.empty() ? std::string(".") : path;
  struct statvfs st;
  while (statvfs(p.c_str(), &st) != 0) {
    if (p == "/" || p == ".") return 0;
    size_t slash = p.find_last_of('/');
    p = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
  }
  return (int64_t)(st.f_frsize ? st.f_frsize : st.f_bsize);
#endif
}

bool TryUnscrambleToken(const std::string& text, std::string& token) {
  token.clear();
  std::string d;
  d.reserve(text.size() / 2 + 1);
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit((unsigned char)(text[i] - 50));
    if (i + 1 < text.size()) {
      int lo = HexDigit((unsigned char)(text[i + 1] - 50));
      d += (char)(hi < 0 || lo < 0 ? 0xFF : hi * 16 + lo);
    } else {
      d += (char)(hi < 0 ? 0xFF : hi);
    }
  }
  size_t n = d.size();
  if (n <= 4) return false;
  // d[i - 1] is the byte at position i.
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += (unsigned char)d[i];
  if ((sum & 0xFF) != (unsigned char)d[n - 2]) return false;
  unsigned char k = (unsigned char)d[0] ^ (unsigned char)d[n - 1];
  for (size_t i = 1; i < n - 1; ++i) d[i] = (char)((unsigned char)d[i] ^ k);
  size_t a = (unsigned char)d[1], b = (unsigned char)d[2];
  // Token bytes a + 4 .. n - b - 1 (1-based); a layout that does not fit is
  // damaged.
  if (a + b + 4 > n) return false;
  token = d.substr(a + 3, n - a - b - 4);
  return true;
}

std::string UnscrambleToken(const std::string& text) {
  // A damaged token reads as a random number, so that it never equals a
  // real one by accident; comparisons use SameToken, which never matches it.
  std::string token;
  return TryUnscrambleToken(text, token) ? token : RandomText(0, 99998);
}

bool SameToken(const std::string& a, const std::string& b) {
  std::string x, y;
  return TryUnscrambleToken(a, x) && TryUnscrambleToken(b, y) && x == y;
}

namespace {

// The scrambled token field of an inform text, and the text after the fourth
// "|" in `rest` (see SplitTokenText).
std::string InformTokenField(const std::string& text, std::string& rest) {
  std::string plain = Descramble(text);
  rest.clear();
  size_t bar[4];
  size_t from = 0;
  int found = 0;
  for (; found < 4; ++found) {
    size_t p = plain.find('|', from);
    if (p == std::string::npos) break;
    bar[found] = p;
    from = p + 1;
  }
  if (found == 4) rest = plain.substr(bar[3] + 1);
  if (found >= 2) return plain.substr(bar[0] + 1, bar[1] - bar[0] - 1);
  return found == 1 ? plain.substr(bar[0] + 1) : std::string();
}

}  // namespace

void SplitTokenText(const std::string& text, std::string& token, std::string& rest) {
  token = UnscrambleToken(InformTokenField(text, rest));
}

// ---------------------------------------------------------------- record walk

void ParseEntryHeader(const std::string& header, TFileEntry& entry) {
  entry = TFileEntry();
  entry.Header = header;
  entry.Item0 = SUB::Item(header, 0, "");
  entry.FileName = entry.Item0;
  if (header.find('*') != std::string::npos) entry.MainEntry = header;
  size_t star = entry.Item0.find('*');
  if (star != std::string::npos) {
    entry.MainEntry = entry.Item0;
    entry.FileName = entry.Item0.substr(0, star);
  }
  int64_t date = StrToInt64Def(SUB::Item(header, 1, ""), 0);
  entry.DosDateTime = date < 0 || date > 0xFFFFFFFFLL ? 0 : (uint32_t)date;
}

bool ParseFileRecord(const std::string& content, TFileEntry& entry, std::string& fileBytes) {
  entry = TFileEntry();
  fileBytes.clear();
  size_t zero = content.find('\0');
  if (zero == std::string::npos) return false;
  ParseEntryHeader(content.substr(0, zero), entry);
  fileBytes = content.substr(zero + 1);
  return true;
}

void SetRecordPumpHook(void (*hook)()) {
  GReadPump = hook ? hook : NoPump;
}

bool TRecordWalk::Open(const std::string& path) {
  FValid = FDamaged = FHaveData = FCompressed = false;
  FTrailer.Clear();
  FEnd = FPos = FDataPos = FHeaderEnd = 0;
  FDataSize = 0;
  FCount = 0;
  if (!FFile.Open(path)) return false;
  uint64_t end = ReadTrailer(FFile, FTrailer);
  if (!PayloadPresent(FTrailer, end, FFile.Size())) {
    FFile.Close();
    return false;
  }
  FEnd = end;
  FPos = FTrailer.RecordArea();
  FValid = true;
  return true;
}

TRecordStatus TRecordWalk::Next(TRecordHeader& rec) {
  rec = TRecordHeader();
  if (!FValid) return KRecordEnd;
  if (FDamaged) return KRecordDamaged;
  if (FHaveData) {  // data of the previous record not read: skip them
    FHaveData = false;
    FPos = FDataPos + FDataSize;
  }
  // At most the trailer is left: the walk ends.
  if (FPos >= FEnd || FEnd - FPos <= (uint64_t)KTrailerSize) return KRecordEnd;
  uint8_t w[4];
  if (!FFile.ReadExact(FPos, w, 4)) {
    FDamaged = true;
    return KRecordDamaged;
  }
  int32_t n = (int32_t)GetU32(w);
  // |n| computed in 64 bits: INT32_MIN has no 32-bit magnitude.
  uint64_t size = n < 0 ? (uint64_t)(-(int64_t)n) : (uint64_t)n;
  uint64_t dataPos = FPos + 4;
  rec.Offset = FPos;
  rec.Length = n;
  rec.Index = FCount + 1;
  // The data must lie before the payload end; nothing past it is trusted.
  if (size > FEnd - dataPos) {
    FDamaged = true;
    DebugLine("UnPack: damaged record Offset=", rec.Offset, " Length=", n, " PayloadEnd=", FEnd);
    rec.DataSize = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
    return KRecordDamaged;
  }
  rec.DataSize = (uint32_t)size;
  ++FCount;
  FDataPos = dataPos;
  FDataSize = (uint32_t)size;
  FCompressed = n > 0;
  FHaveData = true;
  FPos = dataPos + size;
  if (FCount == HeaderCount()) FHeaderEnd = FPos;
  return KRecordRead;
}

TRecordStatus TRecordWalk::ReadData(std::string& data) {
  data.clear();
  if (!FValid || FDamaged) return FDamaged ? KRecordDamaged : KRecordEnd;
  if (!FHaveData) return KRecordEnd;
  FHaveData = false;
  bool read = false;
  if (FDataSize <= KMaxRecordContent) {
    try {
      read = ReadPieces(FFile, FDataPos, FDataSize, data);
    } catch (const std::bad_alloc&) {
    }
  }
  if (!read) {
    data.clear();
    FDamaged = true;
    DebugLine("UnPack: record data at ", FDataPos, " cannot be read whole");
    return KRecordDamaged;
  }
  return KRecordRead;
}

namespace {

// Cuts record content into the entry header (up to the first 0x00) and the
// file bytes, which go to the sink as they come.
class TContentSplit {
public:
  TContentSplit(std::string& header, TEntrySink& sink) : FHeader(header), FSink(sink) {
    FHeader.clear();
  }
  void Feed(const unsigned char* p, size_t n) {
    const char* c = reinterpret_cast<const char*>(p);
    if (!FFound) {
      if (FSkip) return;
      const char* zero = static_cast<const char*>(std::memchr(c, 0, n));
      size_t take = zero ? (size_t)(zero - c) : n;
      if (FHeader.size() + take > KMaxEntryHeader) {
        DebugLine("UnPack: entry header longer than ", (unsigned long long)KMaxEntryHeader);
        FSkip = true;
        return;
      }
      FHeader.append(c, take);
      if (!zero) return;
      FFound = true;
      TFileEntry entry;
      ParseEntryHeader(FHeader, entry);
      FSink.Begin(entry);
      c = zero + 1;
      n -= take + 1;
    }
    if (n > 0) {
      FSink.Write(c, n);
      FSize += n;
    }
  }
  bool Finish() {
    if (FFound) FSink.End(FSize);
    return FFound;
  }

private:
  std::string& FHeader;
  TEntrySink& FSink;
  bool FFound = false;
  bool FSkip = false;
  uint64_t FSize = 0;
};

// Collects a record's file bytes in memory (at most KMaxRecordContent).
class TMemorySink : public TEntrySink {
public:
  TMemorySink(TFileEntry& entry, std::string& bytes) : FEntry(entry), FBytes(bytes) {}
  void Begin(const TFileEntry& entry) override { FEntry = entry; }
  void Write(const char* bytes, size_t count) override {
    try {
      FBytes.append(bytes, count);
    } catch (const std::bad_alloc&) {
      throw EZLibError(Z_MEM_ERROR);  // reads as damage
    }
  }
  void End(uint64_t) override {}

private:
  TFileEntry& FEntry;
  std::string& FBytes;
};

}  // namespace

TStreamBuffers::TStreamBuffers()
    : In(static_cast<unsigned char*>(std::malloc(KInSize))),
      Out(static_cast<unsigned char*>(std::malloc(KOutSize))) {
  if (!In || !Out) {
    std::free(In);
    std::free(Out);
    throw EZLibError(Z_MEM_ERROR);
  }
}

TStreamBuffers::~TStreamBuffers() {
  std::free(In);
  std::free(Out);
  std::free(WholeIn);
  std::free(WholeOut);
}

bool TStreamBuffers::TakeWholeBuffers() {
  if (!WholeIn) WholeIn = static_cast<unsigned char*>(std::malloc(KWholeInSize));
  if (!WholeOut) WholeOut = static_cast<unsigned char*>(std::malloc(KWholeOutSize));
  return WholeIn && WholeOut;
}

bool TRecordWalk::ReadRecordBytes(uint64_t offset, unsigned char* to, size_t count) {
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(count - done, TStreamBuffers::KInSize);
    const size_t got = FFile.ReadAt(offset + done, to + done, n);
    GReadPump();
    if (got < n) {  // the bytes cannot come: never wait for them
      FDamaged = true;
      DebugLine("UnPack: short read of record data at ", offset + done);
      return false;
    }
    done += n;
  }
  return true;
}

TRecordStatus TRecordWalk::StreamFileRecord(TStreamBuffers& buffers, TEntrySink& sink,
                                            bool& hasEntry) {
  hasEntry = false;
  if (!FValid || FDamaged) return FDamaged ? KRecordDamaged : KRecordEnd;
  if (!FHaveData) return KRecordEnd;
  FHaveData = false;
  TContentSplit split(buffers.Header, sink);
  if (FCompressed && FDataSize <= TStreamBuffers::KWholeInSize && buffers.TakeWholeBuffers()) {
    if (!ReadRecordBytes(FDataPos, buffers.WholeIn, FDataSize)) return KRecordDamaged;
    size_t n = 0;
    if (buffers.WholeInflater.Inflate(buffers.WholeIn, FDataSize, buffers.WholeOut,
                                      TStreamBuffers::KWholeOutSize, n)) {
      for (size_t at = 0; at < n; at += TStreamBuffers::KWholePiece) {
        split.Feed(buffers.WholeOut + at, std::min(n - at, TStreamBuffers::KWholePiece));
        GReadPump();
      }
      hasEntry = split.Finish();
      return KRecordRead;
    }
    // Not inflated whole: streamed from its start instead.
  }
  uint64_t pos = FDataPos;
  size_t left = FDataSize;
  const unsigned char* in = buffers.In;
  size_t inLeft = 0;
  bool ended = !FCompressed;
  uint64_t content = 0;
  if (FCompressed) buffers.Inflater.Begin();
  while (left > 0 || !ended) {
    if (inLeft == 0 && left > 0) {
      size_t n = left < TStreamBuffers::KInSize ? left : TStreamBuffers::KInSize;
      if (!ReadRecordBytes(pos, buffers.In, n)) return KRecordDamaged;
      pos += n;
      left -= n;
      in = buffers.In;
      inLeft = n;
    }
    if (!FCompressed) {
      split.Feed(in, inLeft);
      inLeft = 0;
      continue;
    }
    size_t before = inLeft;
    size_t out =
        buffers.Inflater.Step(in, inLeft, left == 0, buffers.Out, TStreamBuffers::KOutSize, ended);
    if (out == 0 && inLeft == before && !ended) throw EZLibError(Z_BUF_ERROR);
    if (out == TStreamBuffers::KOutSize) GReadPump();
    content += out;
    if (content > KMaxRecordContent) throw EZLibError(Z_DATA_ERROR);
    split.Feed(buffers.Out, out);
    if (ended) break;
  }
  hasEntry = split.Finish();
  return KRecordRead;
}

TRecordStatus TRecordWalk::ReadFileRecord(TFileEntry& entry, std::string& fileBytes,
                                          bool& hasEntry) {
  entry = TFileEntry();
  fileBytes.clear();
  TStreamBuffers buffers;
  TMemorySink sink(entry, fileBytes);
  return StreamFileRecord(buffers, sink, hasEntry);
}

// ---------------------------------------------------------------- TGFileInfo

TGFileInfo::TGFileInfo(const std::string& path) {
  if (path.empty()) return;
  TRecordWalk walk;
  bool open = walk.Open(path);
  FTrailer = walk.Trailer();  // keeps the bytes that were read
  if (!open) return;
  // Header records are stored plain and never decompressed. One that
  // reaches past the payload end means the container is damaged: its texts
  // all stay empty.
  std::string* texts[3] = {&FLanguageBlock, &FUpdateSettings, &FDownloadSettings};
  int count = FTrailer.HeaderCount() >= 3 ? 3 : 2;
  std::string got[3];
  TRecordHeader rec;
  for (int i = 0; i < count; ++i) {
    if (walk.Next(rec) != KRecordRead || walk.ReadData(got[i]) != KRecordRead) {
      DebugLine("UnPack: damaged header record ", i + 1, " Offset=", rec.Offset,
                " Length=", rec.Length);
      return;
    }
  }
  for (int i = 0; i < count; ++i) texts[i]->swap(got[i]);
  FTrailer.SetU32(KTrlRecordArea, (uint32_t)walk.Position());
  FHasPayload = true;
}

double TGFileInfo::GetSpaceRequired(const std::string& path) const {
  int64_t c = ClusterSize(path);
  double result = FTrailer.SpaceRequired(0);
  for (int k = 1; k <= 8; ++k)
    if (c >= (int64_t)256 << k) result = FTrailer.SpaceRequired(k);
  return result;
}

std::string TGFileInfo::GetUpdateServer() const {
  return SUB::Item(FUpdateSettings, 0, "");
}

std::string TGFileInfo::GetInfoFileName() const {
  return NamePart(SUB::Item(FUpdateSettings, 1, ""));
}

std::string TGFileInfo::GetOriginalFileName() const {
  std::string name = GetInfoFileName();
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + ".original";
}

std::string TGFileInfo::GetAgentExeName() const {
  return SUB::Item(FUpdateSettings, 2, "");
}

std::string TGFileInfo::GetUpdateToken(bool plain) const {
  std::string t = SUB::Item(FUpdateSettings, 3, "");
  return plain ? UnscrambleToken(t) : t;
}

bool TGFileInfo::IsHiddenSetup() const {
  return SUB::Item(FUpdateSettings, 4, "") == "1";
}

std::string TGFileInfo::GetDownloadLocation() const {
  return SUB::Item(FDownloadSettings, 0, "");
}

std::string TGFileInfo::GetDownloadFileName() const {
  return SUB::Item(FDownloadSettings, 1, "");
}

bool TGFileInfo::DownloadAlways() const {
  return SUB::Item(FDownloadSettings, 2, "") == "1";
}

std::string TGFileInfo::GetDownloadToken(bool plain) const {
  std::string t = SUB::Item(FDownloadSettings, 3, "");
  return plain ? UnscrambleToken(t) : t;
}

std::string TGFileInfo::GetDownloadSize() const {
  return SUB::Item(FDownloadSettings, 4, "");
}

bool TGFileInfo::SameDownloadToken(const TGFileInfo& other) const {
  return SameToken(GetDownloadToken(false), other.GetDownloadToken(false));
}

bool TGFileInfo::CheckToken(const std::string& path, int kind) const {
  if (kind == 2) {
    TGFileInfo other(path);
    return SameToken(GetUpdateToken(false), other.GetUpdateToken(false));
  }
  if (kind == 3) {
    TPayloadFile f(path);
    if (!f.IsOpen() || f.Size() > KMaxRecordContent) return false;
    std::string text;
    try {
      ReadPieces(f, 0, (size_t)f.Size(), text);
    } catch (const std::bad_alloc&) {
      return false;
    }
    std::string rest;
    return SameToken(InformTokenField(text, rest), GetUpdateToken(false));
  }
  return false;
}

// ---------------------------------------------------------------------------
// Language operations: the selected record of the language block, with the
// built-in texts of the string table as defaults.

std::string TGFileInfo::GetLangStr(const std::string& key, const std::string& def) const {
  return LangStrFromBlock(LanguageBlock(), key, def);
}

int TGFileInfo::GetLangCharset() const {
  return LangIntValue(GetLangStr("Charset", "0"), 0);
}

int TGFileInfo::GetLangFontSize() const {
  return LangIntValue(GetLangStr("FontSize", "8"), 8);
}

std::string TGFileInfo::GetLangFontName() const {
  return GetLangStr("FontName", "Tahoma");
}

std::string GetLangText(const TGFileInfo& info, const std::string& key) {
  return info.GetLangStr(key, LangDefault(key));
}
