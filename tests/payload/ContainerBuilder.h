#pragma once
// Builds container files byte by byte for the reader tests: a stub-like
// image ("MZ", "PE" at 256), records, the 74-byte trailer, optional data
// after the payload end.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "payload/UnPack.h"

namespace testpayload {

inline void PutU32(std::string& s, size_t at, uint32_t v)
{
  if (s.size() < at + 4)
    s.resize(at + 4);
  for (int i = 0; i < 4; ++i)
    s[at + i] = (char)(v >> (8 * i));
}

inline std::string U32(uint32_t v)
{
  std::string s;
  PutU32(s, 0, v);
  return s;
}

// A record: the 32-bit length as given, then the data.
inline std::string Record(int32_t length, const std::string& data)
{
  return U32((uint32_t)length) + data;
}

inline std::string Deflate(const std::string& plain, int level = 6)
{
  uLongf n = compressBound(plain.size());
  std::string out(n, '\0');
  compress2((Bytef*)&out[0], &n, (const Bytef*)plain.data(), plain.size(), level);
  out.resize(n);
  return out;
}

// A compressed file record: entry header, 0x00, file bytes.
inline std::string FileRecord(const std::string& header, const std::string& bytes)
{
  std::string z = Deflate(header + std::string(1, '\0') + bytes);
  return Record((int32_t)z.size(), z);
}

// A stored file record (length 0 or negative).
inline std::string StoredFileRecord(const std::string& header, const std::string& bytes)
{
  std::string c = header + std::string(1, '\0') + bytes;
  return Record(-(int32_t)c.size(), c);
}

inline std::string StubImage(size_t size = 1024)
{
  std::string s(size, '\x90');
  s[0] = 'M';
  s[1] = 'Z';
  s[256] = 'P';
  s[257] = 'E';
  for (int i = 248; i < 256; ++i)
    s[i] = 0;
  return s;
}

struct TContainer {
  std::string Image = StubImage();
  std::vector<std::string> Headers = {"\x02LANG\x02", "|http://u/|Product.info|Agent.exe||0|"};
  std::vector<std::string> Files;  // ready-made records
  TTrailer Trailer;
  bool SetPointer = false;  // write the payload-end pointer at 248/252
  std::string Tail;         // bytes after the payload end (a signature)

  TContainer()
  {
    Trailer.SetU32(TRL_MAGIC, KContainerMagic);
    Trailer.SetU32(TRL_CHECKSUM, 1234);
    Trailer.SetU32(TRL_LENGTH, 74);
  }

  std::string Build() const
  {
    std::string s = Image;
    TTrailer t = Trailer;
    t.SetU32(TRL_RECORD_AREA, (uint32_t)s.size());
    if (t.Bytes[TRL_HEADER_COUNT] == 0)
      t.Bytes[TRL_HEADER_COUNT] = (uint8_t)Headers.size();
    t.SetU32(TRL_FILE_COUNT, (uint32_t)Files.size());
    for (const std::string& h : Headers)
      s += Record((int32_t)h.size(), h);
    for (const std::string& f : Files)
      s += f;
    s.append((const char*)t.Bytes, KTrailerSize);
    if (SetPointer) {
      uint64_t end = s.size();
      PutU32(s, 248, (uint32_t)(end >> 32));
      PutU32(s, 252, (uint32_t)end);
    }
    return s + Tail;
  }
};

// A fresh folder under the system's temporary folder, removed with its
// files when the test ends.
class TTempDir {
public:
  TTempDir()
  {
    namespace fs = std::filesystem;
    static int counter = 0;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int i = 0; i < 100; ++i) {
      fs::path p = fs::temp_directory_path() /
                   ("korvix_payload_" + std::to_string(stamp) + "_" + std::to_string(++counter));
      std::error_code ec;
      if (fs::create_directory(p, ec)) {
        FPath = p.string();
        break;
      }
    }
  }
  ~TTempDir()
  {
    std::error_code ec;
    if (!FPath.empty())
      std::filesystem::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const
  {
#ifdef _WIN32
    return FPath + "\\" + name;
#else
    return FPath + "/" + name;
#endif
  }
  std::string Write(const std::string& name, const std::string& bytes) const
  {
    std::string path = File(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    return path;
  }

private:
  std::string FPath;
};

inline std::string ReadAll(const std::string& path)
{
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
    out.append(buf, n);
  std::fclose(f);
  return out;
}

// The authoring side of the token encoding: k1, a, b, a filler bytes, the
// token, b - 1 filler bytes, the sum byte, k2; positions 2 .. n-1 XORed with
// k1 ^ k2; the sum byte set last; two hex digits per byte, each character
// shifted up by 50.
// With fillA false the a filler bytes are left out (a damaged layout).
inline std::string EncodeToken(const std::string& token, uint8_t k1, uint8_t k2, uint8_t a,
                               uint8_t b, uint8_t filler = 0x5A, bool lowerHex = false,
                               bool fillA = true)
{
  std::string d;
  d += (char)k1;
  d += (char)a;
  d += (char)b;
  d += std::string(fillA ? a : 0, (char)filler);
  d += token;
  d += std::string(b - 1, (char)filler);
  d += '\0';
  d += (char)k2;
  size_t n = d.size();
  for (size_t i = 1; i < n - 1; ++i)
    d[i] = (char)((uint8_t)d[i] ^ (k1 ^ k2));
  unsigned sum = 0;
  for (size_t i = 0; i < n; ++i)
    if (i != n - 2)
      sum += (uint8_t)d[i];
  d[n - 2] = (char)sum;
  const char* digits = lowerHex ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  for (char c : d) {
    out += (char)(digits[(uint8_t)c >> 4] + 50);
    out += (char)(digits[(uint8_t)c & 15] + 50);
  }
  return out;
}

}  // namespace testpayload
