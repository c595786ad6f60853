#include "payload/ZLibOpen.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

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

// Volume files without a program part are checked against the sum of
// tests/e2e/container.py by the stub itself (e2e.py, case_bad_crc).
TEST(VolumeChecksum, SumsTheWordsBeforeTheTrailer) {
  TTempDir dir;
  EXPECT_EQ(0, VolumeChecksum(dir.Write("u.001", std::string(40, 'x')), 74));  // shorter than 74
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
