#include "payload/ZLibOpen.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

namespace {

// Streams written by python3's zlib module (zlib_fixtures.py): NAME.plain and
// NAME.z for every case, made once per test run.
const TTempDir& PythonStreams() {
  static TTempDir dir;
  static int rc = std::system(
      ("python3 '" KORVIX_SOURCE_DIR "/tests/payload/zlib_fixtures.py' '" + dir.Path() + "'")
          .c_str());
  EXPECT_EQ(0, rc);
  return dir;
}

std::string InflateError(const std::string& stream) {
  try {
    InflateText(stream);
  } catch (const EZLibError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(Inflate, PythonStreamsGiveThePlainBytes) {
  const TTempDir& dir = PythonStreams();
  int count = 0;
  for (const auto& f : std::filesystem::directory_iterator(dir.Path())) {
    std::string name = f.path().stem().string();
    if (f.path().extension() != ".z" || name.compare(0, 4, "bad_") == 0) continue;
    ++count;
    std::string plain = ReadAll(dir.File(name + ".plain")), z = ReadAll(dir.File(name + ".z"));
    EXPECT_EQ(plain, InflateText(z)) << name;
    EXPECT_EQ(plain, InflateText(z + "trailing"))
        << name;  // bytes after the stream end are ignored
  }
  EXPECT_GE(count, 40);
}

TEST(Inflate, DamagedDictionaryAndTruncatedStreamsRaise) {
  const TTempDir& dir = PythonStreams();
  const std::pair<const char*, const char*> cases[] = {
      {"bad_dictionary", "need dictionary"}, {"bad_truncated", "buffer error"},
      {"bad_no_checksum", "buffer error"},   {"bad_checksum", "data error"},
      {"bad_header", "data error"},          {"bad_raw", "data error"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.second, InflateError(ReadAll(dir.File(std::string(c.first) + ".z")))) << c.first;
  EXPECT_EQ("buffer error", InflateError(""));

  // Every cut of a stream raises; none waits for more input.
  std::string plain;
  for (int i = 0; i < 3000; ++i) plain += "record " + std::to_string(i * 31 % 977) + ";";
  std::string z = Deflate(plain, 9);
  for (size_t cut = 0; cut < z.size(); ++cut) {
    std::string msg = InflateError(z.substr(0, cut));
    EXPECT_TRUE(msg == "buffer error" || msg == "data error") << cut << ": " << msg;
  }
  EXPECT_EQ(plain, InflateText(z));
}

TEST(Inflate, Adler32MatchesZLibAtEveryAlignmentLengthAndByteRange) {
  std::string v(3 * 5552 + 100, '\0');
  for (size_t i = 0; i < v.size(); ++i) v[i] = (char)(i * 7 + (i >> 9));
  for (int fill : {-1, 0, 255})
    for (size_t off : {0, 1, 15})
      for (size_t len : {0, 1, 15, 16, 17, 5551, 5552, 5553, 2 * 5552 + 31, 3 * 5552}) {
        std::string t = v.substr(off, len);
        if (fill >= 0) t.assign(len, (char)fill);
        const Bytef* p = (const Bytef*)t.data();
        for (uint32_t seed : {1u, 0xFFF0FFF0u % 65521 | 65520u << 16})
          EXPECT_EQ(adler32(seed, p, (uInt)len), Adler32(seed, p, len))
              << fill << " " << off << " " << len;
      }
}

TEST(VolumeChecksum, SumsTheWordsBeforeTheTrailer) {
  TTempDir dir;
  // Word j holds j. r starts at size - 74 = 4926; word j is added while
  // r - 4 (j + 1) > 4, that is for j = 0 .. 1229; after the first full block
  // r is 830, so 1234 is added once.
  std::string vol;
  for (uint32_t j = 0; j < 1250; ++j) vol += U32(j);
  EXPECT_EQ(1229 * 1230 / 2 + 1234, VolumeChecksum(dir.Write("s.001", vol), 74));
  // 100 bytes: r = 26, words 0 .. 4 count; a trailer longer than the file: none.
  EXPECT_EQ(0 + 1 + 2 + 3 + 4, VolumeChecksum(dir.Write("t.001", vol.substr(0, 100)), 74));
  EXPECT_EQ(0, VolumeChecksum(dir.Write("u.001", vol.substr(0, 40)), 74));

  // An executable with the pointer set: the sum starts at 512 and ends 74
  // bytes before the pointer. r = 1900 - 74 - 512 = 1314: words 0 .. 326
  // after offset 512 count.
  std::string exe = StubImage(512);
  for (uint32_t j = 0; j < 372; ++j) exe += U32(j);
  PutU32(exe, 252, 1900);
  EXPECT_EQ(326 * 327 / 2, VolumeChecksum(dir.Write("e.exe", exe), 74));
  // Files above 51,200 bytes and missing files carry none (1234), which
  // matches anything.
  EXPECT_EQ(1234, VolumeChecksum(dir.Write("big", std::string(51201, 'x')), 74));
  EXPECT_NE(1234, VolumeChecksum(dir.Write("limit", std::string(51200, 'x')), 74));
  EXPECT_EQ(1234, VolumeChecksum(dir.File("missing"), 74));
  EXPECT_TRUE(ChecksumMatches(5, 5) && ChecksumMatches(1234, 6) && ChecksumMatches(6, 1234));
  EXPECT_FALSE(ChecksumMatches(5, 6));
}
