// The container reader on Windows: file access through CreateFileA with
// sharing, Windows paths, the drive's cluster size.
#include "payload/UnPack.h"

#include <climits>

#include <windows.h>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"
#include "payload/ZLibOpen.h"

using namespace testpayload;

namespace {

TContainer SampleContainer()
{
  TContainer c;
  c.Headers = {"\x02LANG\x02", "|http://u/|C:\\p\\Prod.v2.info|A.exe|" +
                                   EncodeToken("TOK", 3, 9, 2, 2) + "|0|",
               "|http://d/|Real.exe|0|" + EncodeToken("DL", 1, 1, 0, 1) + "|77|"};
  c.Files = {FileRecord("|Engine.exe*|99|", std::string(300000, 'e')),
             StoredFileRecord("|b.txt|0|", "bee")};
  c.SetPointer = true;
  c.Tail = std::string(1000, '\0');
  return c;
}

}  // namespace

TEST(WinContainer, ReadsSignedSetupWhileOthersWriteIt)
{
  TTempDir dir;
  std::string path = dir.Write("Setup.exe", SampleContainer().Build());
  // Another program holds the file open for writing, sharing it.
  HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_TRUE(IsExeContainer(path));
  TGFileInfo info(path);
  EXPECT_TRUE(info.HasPayload());
  EXPECT_EQ("Prod.v2.info", info.GetInfoFileName());
  EXPECT_EQ("Prod.original", info.GetOriginalFileName());
  EXPECT_EQ("TOK", info.GetUpdateToken(true));
  EXPECT_EQ("77", info.GetDownloadSize());
  EXPECT_TRUE(info.CheckToken(path, 2));

  {  // the walk holds the file open while it exists
    TRecordWalk walk(path);
    ASSERT_TRUE(walk.IsOpen());
    TRecordHeader rec;
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(rsRecord, walk.Next(rec));
    TFileEntry e;
    std::string bytes;
    bool has = false;
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, bytes, has));
    EXPECT_EQ("Engine.exe", e.FileName);
    EXPECT_EQ(std::string(300000, 'e'), bytes);
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, bytes, has));
    EXPECT_EQ("bee", bytes);
    EXPECT_EQ(rsEnd, walk.Next(rec));
  }
  CloseHandle(other);

  // Readers keep no file open: the file can be deleted at once.
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(WinContainer, HostileLengthsAndMissingFiles)
{
  TTempDir dir;
  TContainer c = SampleContainer();
  std::string good = c.Build();
  size_t first = c.Image.size() + 12 + c.Headers[0].size() + c.Headers[1].size() + c.Headers[2].size();
  for (int32_t len : {INT32_MIN, INT32_MAX, -INT32_MAX}) {
    std::string b = good;
    PutU32(b, first, (uint32_t)len);
    TRecordWalk walk(dir.Write("h.exe", b));
    TRecordHeader rec;
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(rsRecord, walk.Next(rec));
    EXPECT_EQ(rsDamaged, walk.Next(rec));
  }
  std::string b = good;
  PutU32(b, b.size() - 1000 - 4, 0xFFFFFFFF);
  EXPECT_FALSE(TGFileInfo(dir.Write("t.exe", b)).HasPayload());
  EXPECT_FALSE(TGFileInfo(dir.File("missing.exe")).HasPayload());
  EXPECT_FALSE(TGFileInfo(dir.Path()).HasPayload());  // a folder
  EXPECT_EQ(1234, VolumeChecksum(dir.File("missing.001"), 74));
}

TEST(WinContainer, ClusterSizeOfTheDrive)
{
  DWORD spc = 0, bps = 0, f = 0, t = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &spc, &bps, &f, &t));
  EXPECT_EQ((int64_t)spc * bps, ClusterSize("C:\\Windows\\whatever.txt"));
  EXPECT_EQ((int64_t)spc * bps, ClusterSize("c:\\"));
  EXPECT_EQ(0, ClusterSize("Q:\\nothing"));
  EXPECT_EQ(0, ClusterSize(""));

  TTempDir dir;
  TContainer c;
  for (int k = 0; k <= 8; ++k)
    c.Trailer.SetU32(TRL_SPACE + 4 * k, 10 * (k + 1));
  TGFileInfo info(dir.Write("s.exe", c.Build()));
  EXPECT_EQ(10.0, info.GetSpaceRequired("Q:\\nothing"));  // failed query: entry 0
}
