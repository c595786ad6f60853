#include "payload/ZLibOpen.h"

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

namespace {

// Streams written by python3's zlib module (tests/payload/zlib_fixtures.py).
class PythonStreams : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    Dir = new TTempDir();
    std::string cmd = "python3 '" KORVIX_SOURCE_DIR "/tests/payload/zlib_fixtures.py' '" +
                      Dir->Path() + "'";
    Made = std::system(cmd.c_str()) == 0;
  }
  static void TearDownTestSuite()
  {
    delete Dir;
    Dir = nullptr;
  }
  static std::vector<std::string> Names(bool bad)
  {
    std::vector<std::string> out;
    DIR* d = opendir(Dir->Path().c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
      std::string n = e->d_name;
      if (n.size() > 2 && n.compare(n.size() - 2, 2, ".z") == 0 &&
          (n.compare(0, 4, "bad_") == 0) == bad)
        out.push_back(n.substr(0, n.size() - 2));
    }
    if (d)
      closedir(d);
    return out;
  }
  static std::string Read(const std::string& name) { return ReadAll(Dir->Path() + "/" + name); }

  static TTempDir* Dir;
  static bool Made;
};
TTempDir* PythonStreams::Dir = nullptr;
bool PythonStreams::Made = false;

std::string InflateError(const std::string& stream)
{
  try {
    InflateText(stream);
  } catch (const EZLibError& e) {
    return e.what();
  }
  return "no error";
}

std::vector<int64_t> GProgress;
void RecordProgress(int kind, int reserved, int64_t maximum, int64_t position, int step,
                    const std::string& text)
{
  EXPECT_EQ(0, kind);
  EXPECT_EQ(1, step);
  GProgress.push_back(position);
}

int GPumps = 0;
void CountPump()
{
  ++GPumps;
}

}  // namespace

TEST_F(PythonStreams, InflateToThePlainBytes)
{
  ASSERT_TRUE(Made);
  std::vector<std::string> names = Names(false);
  ASSERT_GE(names.size(), 40u);
  for (const std::string& n : names) {
    std::string plain = Read(n + ".plain");
    std::string z = Read(n + ".z");
    EXPECT_EQ(plain, InflateText(z)) << n;
    // Bytes after the stream end are ignored.
    EXPECT_EQ(plain, InflateText(z + "trailing")) << n;
  }
}

TEST_F(PythonStreams, DamagedStreamsRaise)
{
  ASSERT_TRUE(Made);
  EXPECT_EQ("need dictionary", InflateError(Read("bad_dictionary.z")));
  EXPECT_EQ("buffer error", InflateError(Read("bad_truncated.z")));
  EXPECT_EQ("buffer error", InflateError(Read("bad_no_checksum.z")));
  EXPECT_EQ("data error", InflateError(Read("bad_checksum.z")));
  EXPECT_EQ("data error", InflateError(Read("bad_header.z")));
  EXPECT_EQ("data error", InflateError(Read("bad_raw.z")));
  EXPECT_EQ("buffer error", InflateError(""));
}

TEST(InflateBuffer, EveryTruncationRaisesAndNeverHangs)
{
  std::string plain;
  for (int i = 0; i < 3000; ++i)
    plain += "record " + std::to_string(i * 31 % 977) + ";";
  std::string z = Deflate(plain, 9);
  for (size_t cut = 0; cut < z.size(); ++cut) {
    std::string msg = InflateError(z.substr(0, cut));
    EXPECT_TRUE(msg == "buffer error" || msg == "data error") << cut << ": " << msg;
  }
  EXPECT_EQ(plain, InflateText(z));
}

TEST(InflateBuffer, ErrorsCarryZLibMessages)
{
  EXPECT_EQ(5, ZLibCheck(5));
  EXPECT_EQ(0, ZLibCheck(0));
  const char* msgs[] = {"file error", "stream error", "data error", "insufficient memory",
                        "buffer error", "incompatible version"};
  for (int code = -1; code >= -6; --code) {
    try {
      ZLibCheck(code);
      ADD_FAILURE() << code;
    } catch (const EZLibError& e) {
      EXPECT_STREQ(msgs[-code - 1], e.what());
      EXPECT_EQ(code, e.Code());
    }
  }
  EXPECT_EQ("need dictionary", ZLibMessage(2));
  EXPECT_EQ("stream end", ZLibMessage(1));
}

TEST(InflateBuffer, OrdinaryRecordsGrowByTheStep)
{
  // Letters from a small generator: compresses to about 60 %.
  std::string plain;
  uint32_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1103515245u + 12345u;
    plain += (char)('a' + (x >> 16) % 26);
  }
  std::string z = Deflate(plain, 6);
  size_t step = (z.size() + 255) / 256 * 256;
  ASSERT_LT(plain.size() / step, 10u);  // a few steps only

  GProgress.clear();
  GPumps = 0;
  SetInflatePumpHook(CountPump);
  void* out = nullptr;
  size_t n = 0;
  EXPECT_EQ(plain.size(), InflateBuffer(z.data(), z.size(), 0, out, n, RecordProgress));
  SetInflatePumpHook(nullptr);
  ASSERT_EQ(plain.size(), n);
  EXPECT_EQ(plain, std::string((char*)out, n));
  std::free(out);
  // Once before the first step, then after every full block.
  ASSERT_EQ(plain.size() / step + 1, GProgress.size());
  for (size_t i = 0; i < GProgress.size(); ++i)
    EXPECT_EQ((int64_t)(i * step), GProgress[i]);
  EXPECT_EQ((int)GProgress.size() - 1, GPumps);

  // With an exact estimate the whole record comes in one step.
  GProgress.clear();
  InflateBuffer(z.data(), z.size(), plain.size(), out, n, RecordProgress);
  EXPECT_EQ(plain.size(), n);
  EXPECT_EQ(1u, GProgress.size());
  std::free(out);
}

TEST(InflateBuffer, HighlyCompressibleRecordsGrowGeometrically)
{
  // 5 MiB of one byte: about 5 KiB compressed, so a thousand plain steps.
  std::string plain(5 * 1024 * 1024, 'A');
  std::string z = Deflate(plain, 9);
  int64_t step = (int64_t)(z.size() + 255) / 256 * 256;
  GProgress.clear();
  void* out = nullptr;
  size_t n = 0;
  InflateBuffer(z.data(), z.size(), 0, out, n, RecordProgress);
  ASSERT_EQ(plain.size(), n);
  EXPECT_EQ(plain, std::string((char*)out, n));
  std::free(out);
  EXPECT_GT(plain.size() / step, 500);
  EXPECT_LT(GProgress.size(), 60u);
  // The first steps are the plain step size.
  for (size_t i = 0; i < 10; ++i)
    EXPECT_EQ((int64_t)i * step, GProgress[i]);
  for (size_t i = 1; i < GProgress.size(); ++i)
    EXPECT_GT(GProgress[i], GProgress[i - 1]);
}

// ---------------------------------------------------------------- volume checksum

TEST(VolumeChecksum, SmallVolumeFiles)
{
  TTempDir dir;
  // Word j holds j. r starts at size - 74 = 4926; word j is added while
  // r - 4 (j + 1) > 4, that is for j = 0 .. 1229; after the first full block
  // r is 830, so 1234 is added once.
  std::string vol;
  for (uint32_t j = 0; j < 1250; ++j)
    vol += U32(j);
  ASSERT_EQ(5000u, vol.size());
  std::string p = dir.Write("s.001", vol);
  EXPECT_EQ(1229 * 1230 / 2 + 1234, VolumeChecksum(p, 74));

  // 100 bytes: r = 26, words 0 .. 4 count.
  EXPECT_EQ(0 + 1 + 2 + 3 + 4, VolumeChecksum(dir.Write("t.001", vol.substr(0, 100)), 74));
  // A trailer length larger than the file: nothing counts.
  EXPECT_EQ(0, VolumeChecksum(dir.Write("u.001", vol.substr(0, 40)), 74));

  // An executable with the pointer set: the sum starts at 512 and ends
  // 74 bytes before the pointer. r = 1900 - 74 - 512 = 1314: words 0 .. 326
  // after offset 512 count.
  std::string exe = StubImage(512);
  for (uint32_t j = 0; j < 372; ++j)
    exe += U32(j);
  PutU32(exe, 252, 1900);
  ASSERT_EQ(2000u, exe.size());
  EXPECT_EQ(326 * 327 / 2, VolumeChecksum(dir.Write("e.exe", exe), 74));
  // With the pointer 0 it is summed from offset 0 to the file's end.
  PutU32(exe, 252, 0);
  uint32_t expect = 0;
  int64_t r = 2000 - 74;
  for (size_t i = 0; i < exe.size(); i += 4) {
    r -= 4;
    if (r > 4)
      expect += (uint8_t)exe[i] | (uint8_t)exe[i + 1] << 8 | (uint8_t)exe[i + 2] << 16 |
                (uint32_t)(uint8_t)exe[i + 3] << 24;
  }
  EXPECT_EQ((int32_t)expect, VolumeChecksum(dir.Write("f.exe", exe), 74));
}

TEST(VolumeChecksum, LargeAndMissingFilesCarryNone)
{
  TTempDir dir;
  EXPECT_EQ(1234, VolumeChecksum(dir.Write("big", std::string(51201, 'x')), 74));
  EXPECT_NE(1234, VolumeChecksum(dir.Write("limit", std::string(51200, 'x')), 74));
  EXPECT_EQ(1234, VolumeChecksum(dir.Path() + "/missing", 74));

  EXPECT_TRUE(ChecksumMatches(5, 5));
  EXPECT_FALSE(ChecksumMatches(5, 6));
  EXPECT_TRUE(ChecksumMatches(1234, 6));  // big file: never computed
  EXPECT_TRUE(ChecksumMatches(6, 1234));  // stored "none"
  EXPECT_FALSE(ChecksumMatches(-1, 1));
}
