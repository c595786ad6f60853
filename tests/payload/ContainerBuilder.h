#pragma once
// Builds container files byte by byte for the reader tests: a stub-like
// image ("MZ", "PE\0\0" at 256), header and file records, the 74-byte trailer.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "payload/UnPack.h"

namespace testpayload {

inline void PutU32(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 4) s.resize(at + 4);
  for (int i = 0; i < 4; ++i) s[at + i] = (char)(v >> (8 * i));
}

inline std::string U32(uint32_t v) {
  std::string s;
  PutU32(s, 0, v);
  return s;
}

// A record: the 32-bit length as given, then the data.
inline std::string Record(int32_t length, const std::string& data) {
  return U32((uint32_t)length) + data;
}

inline std::string Deflate(const std::string& plain, int level = 6) {
  uLongf n = compressBound(plain.size());
  std::string out(n, '\0');
  compress2((Bytef*)&out[0], &n, (const Bytef*)plain.data(), plain.size(), level);
  return out.substr(0, n);
}

// A zlib stream of `count` zero bytes, made without holding them.
inline std::string DeflateZeros(size_t count) {
  z_stream s = {};
  deflateInit(&s, 1);
  static const std::string zeros(1 << 20, '\0');
  std::string out;
  char buf[65536];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    size_t n = count < zeros.size() ? count : zeros.size();
    s.next_in = (Bytef*)zeros.data();
    s.avail_in = (uInt)n;
    count -= n;
    do {
      s.next_out = (Bytef*)buf;
      s.avail_out = sizeof buf;
      rc = deflate(&s, count ? Z_NO_FLUSH : Z_FINISH);
      out.append(buf, sizeof buf - s.avail_out);
    } while (s.avail_out == 0 || (!count && rc != Z_STREAM_END));
  }
  deflateEnd(&s);
  return out;
}

// File records (entry header, 0x00, file bytes), compressed or stored.
inline std::string FileRecord(const std::string& header, const std::string& bytes) {
  std::string z = Deflate(header + '\0' + bytes);
  return Record((int32_t)z.size(), z);
}

inline std::string StoredFileRecord(const std::string& header, const std::string& bytes) {
  return Record(-(int32_t)(header.size() + 1 + bytes.size()), header + '\0' + bytes);
}

// Bytes of an alphabet of `alphabet` values, quickly generated: with all 256
// they do not compress.
inline std::string Noise(size_t n, uint32_t seed, int alphabet = 256) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = (char)((x >> 24) % (uint32_t)alphabet);
  }
  return s;
}

inline std::string StubImage(size_t size = 1024) {
  std::string s(size, '\x90');
  s.replace(0, 2, "MZ");
  s.replace(256, 4, std::string("PE\0\0", 4));
  s.replace(248, 8, std::string(8, '\0'));
  return s;
}

struct TContainer {
  std::string Image = StubImage();
  std::vector<std::string> Headers = {"\x02LANG\x02", "|http://u/|Product.info|Agent.exe||0|"};
  std::vector<std::string> Files;  // ready-made records

  std::string Build() const {
    TTrailer t;
    t.SetU32(KTrlMagic, KContainerMagic);
    t.SetU32(KTrlChecksum, 1234);
    t.SetU32(KTrlLength, 74);
    t.SetU32(KTrlRecordArea, (uint32_t)Image.size());
    t.Bytes[KTrlHeaderCount] = (uint8_t)Headers.size();
    t.SetU32(KTrlFileCount, (uint32_t)Files.size());
    std::string s = Image;
    for (const std::string& h : Headers) s += Record((int32_t)h.size(), h);
    for (const std::string& f : Files) s += f;
    return s.append((const char*)t.Bytes, KTrailerSize);
  }
};

// A fresh folder under the system's temporary folder, removed with its
// files when the test ends.
class TTempDir {
public:
  TTempDir() {
    static int counter = 0;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    FPath = (std::filesystem::temp_directory_path() /
             ("korvix_payload_" + std::to_string(stamp) + "_" + std::to_string(++counter)))
                .string();
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const {
    return (std::filesystem::path(FPath) / name).string();
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }

private:
  std::string FPath;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace testpayload
