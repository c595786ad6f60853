// The container reader on Windows: file access through CreateFileA with
// sharing, Windows paths, the drive's cluster size.
#include "payload/UnPack.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

TEST(WinContainer, ReadsSignedSetupWhileOthersWriteItAndKeepsNoFileOpen)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {"\x02LANG\x02", "|http://u/|C:\\p\\Prod.v2.info|A.exe||0|"};
  c.Files = {FileRecord("|Engine.exe*|99|", std::string(300000, 'e')), StoredFileRecord("|b.txt|0|", "bee")};
  c.SetPointer = true;
  c.Tail = std::string(1000, '\0');
  std::string path = dir.Write("Setup.exe", c.Build());
  HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_TRUE(IsExeContainer(path));
  EXPECT_EQ("Prod.original", TGFileInfo(path).GetOriginalFileName());
  {
    TRecordWalk walk(path);
    TRecordHeader rec;
    TFileEntry e;
    std::string bytes;
    bool has = false;
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, bytes, has));
    EXPECT_EQ(std::string(300000, 'e'), bytes);
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, bytes, has));
    EXPECT_EQ("bee", bytes);
    EXPECT_EQ(rsEnd, walk.Next(rec));
  }
  CloseHandle(other);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(TGFileInfo(path).HasPayload());
  EXPECT_FALSE(TGFileInfo(dir.Path()).HasPayload());  // a folder
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
  EXPECT_EQ(10.0, TGFileInfo(dir.Write("s.exe", c.Build())).GetSpaceRequired("Q:\\nothing"));  // failed query: entry 0
}
