// The container reader on Windows: file access through CreateFileA with
// sharing, Windows paths.
#include "payload/UnPack.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

// Signed setups are read and run in pack_win_test.sh.
TEST(WinContainer, ReadsASetupWhileOthersWriteItAndKeepsNoFileOpen) {
  TTempDir dir;
  TContainer c;
  c.Headers = {"\x02LANG\x02", "|http://u/|C:\\p\\Prod.v2.info|A.exe||0|"};
  c.Files = {FileRecord("|Engine.exe*|99|", std::string(300000, 'e'))};
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
    std::string data;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(KRecordRead, walk.Next(rec));
    EXPECT_EQ(KRecordRead, walk.ReadData(data));
    EXPECT_EQ(c.Files[0].substr(4), data);
  }
  CloseHandle(other);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(TGFileInfo(dir.Path()).HasPayload());  // a folder
}
