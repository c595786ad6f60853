// The container reader on Windows: file access through CreateFileA with
// sharing, Windows paths.
#include "payload/UnPack.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

TEST(WinContainer, ReadsSignedSetupWhileOthersWriteItAndKeepsNoFileOpen) {
  TTempDir dir;
  TContainer c;
  c.Headers = {"\x02LANG\x02", "|http://u/|C:\\p\\Prod.v2.info|A.exe||0|"};
  c.Files = {FileRecord("|Engine.exe*|99|", std::string(300000, 'e')),
             StoredFileRecord("|b.txt|0|", "bee")};
  c.SetPointer = true;
  c.Tail = std::string(1000, '\0');
  std::string path = dir.Write("Setup.exe", c.Build());
  HANDLE other =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_TRUE(IsExeContainer(path));
  EXPECT_EQ("Prod.original", TGFileInfo(path).GetOriginalFileName());
  {
    TRecordWalk walk(path);
    TRecordHeader rec;
    TFileEntry e;
    std::string bytes, all;
    bool has = false;
    for (int i = 0; walk.Next(rec) == KRecordRead; ++i)
      if (i >= 2 && walk.ReadFileRecord(e, bytes, has) == KRecordRead) all += bytes;
    EXPECT_EQ(std::string(300000, 'e') + "bee", all);
  }
  CloseHandle(other);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(TGFileInfo(path).HasPayload());
  EXPECT_FALSE(TGFileInfo(dir.Path()).HasPayload());  // a folder
}
