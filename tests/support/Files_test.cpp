// File utilities on paths and real files; run natively and under Wine.
#include "support/Files.h"

#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <direct.h>
#define MKDIR(p) _mkdir(p)
const std::string KSep = "\\";
#else
#define MKDIR(p) mkdir(p, 0755)
const std::string KSep = "/";
#endif

TEST(PathShape, TrailingBackslashesAndInnerRuns) {
  EXPECT_EQ("\\\\", WithBackslash("\\\\", false));
  EXPECT_EQ("C:\\a\\", WithBackslash("C:\\a\\\\", false));  // only one removed
  EXPECT_EQ("\\\\server\\share\\dir", NormalizePath("\\\\server\\\\share\\\\\\dir", false));
  EXPECT_EQ("C:\\a\\\\", NormalizePath("C:\\a\\\\", false));  // doubled end kept
  EXPECT_EQ("Tool", FileNameNoExt("C:\\Apps\\Tool.AutoUpdate.exe", true));
  EXPECT_EQ("C:\\Users", RootForFreeSpace("C:/Users/Me", false));
  EXPECT_EQ("\\\\srv", RootForFreeSpace("\\\\srv\\share\\x", false));
}

// The cleaning of doubled backslashes after path macros: network paths keep
// their two backslashes also as an item of a delimited list, and a backslash
// that is the second byte of a double-byte character is no separator.
TEST(PathShape, CollapsingKeepsNetworkItemsAndDoubleByteCharacters) {
  auto shiftJisLead = [](char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  };
  auto noLead = [](char) { return false; };
  const struct {
    const char *In, *Out;
  } cases[] = {
      {"|\\\\srv\\a|C:\\\\x|", "|\\\\srv\\a|C:\\x|"},
      {"|C:\\\\x|\\\\srv\\\\a|", "|C:\\x|\\\\srv\\a|"},
      {"\\\\\\srv\\a", "\\\\srv\\a"},
      {"\\\\a.exe", "\\\\a.exe"},          // an empty folder macro in front
      {"C:\\\x95\\\\x", "C:\\\x95\\\\x"},  // 0x95 0x5C is one character
      {"C:\\\x41\\\\x", "C:\\\x41\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseBackslashes(c.In, shiftJisLead), c.Out) << c.In;
  EXPECT_EQ(CollapseBackslashes("C:\\\x95\\\\x", noLead), "C:\\\x95\\x");
  EXPECT_EQ("C:\\a\\", NormalizePath("C:\\a\\\\", true));
}

// Each test gets a fresh folder of its own.
class FileOps : public ::testing::Test {
protected:
  std::string dir = TempFolder(true) + "korvix_files_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
  void SetUp() override {
    DeleteTree(dir, true);
    MKDIR(dir.c_str());
  }
  void TearDown() override { DeleteTree(dir, true); }
  std::string P(const std::string& name) const { return dir + KSep + name; }
};

TEST_F(FileOps, WritesReadsAndAppendsAnyBytes) {
  const std::string text("a\0b\x01\x02\xFF\r\n", 8);
  ASSERT_TRUE(WriteTextFile(P("f.bin"), text, 0, false));
  EXPECT_EQ(text, ReadFilePart(P("f.bin"), 0, false, 0));
  EXPECT_EQ(std::string("\0b", 2), ReadFilePart(P("f.bin"), 2, false, 1));
  EXPECT_EQ("", ReadFilePart(P("f.bin"), 0, false, -1));
  EXPECT_TRUE(WriteTextFile(P("f.bin"), "", 0, false));  // truncates, counts as written
  EXPECT_EQ(0, FileSizeByName(P("f.bin")));
  ASSERT_TRUE(WriteTextFile(P("t.txt"), "  value \r\n", 0, true));  // append creates
  EXPECT_EQ("value", ReadFilePart(P("t.txt"), 0, true, 0));
  EXPECT_TRUE(AppendText(P("t.txt"), "x", true));
  EXPECT_EQ("  value \r\nx\r\n", ReadFilePart(P("t.txt"), 0, false, 0));
  EXPECT_FALSE(WriteTextFile(P("no") + KSep + "x.txt", "data", 0, false));
}

namespace {
struct ProgressLog {
  std::vector<std::int64_t> done;
  std::size_t cancelAfter = 0;
};
void OnProgress(int op, int reserved, std::int64_t total, std::int64_t done, int flag, bool& cancel,
                void* ctx) {
  auto* log = static_cast<ProgressLog*>(ctx);
  EXPECT_EQ(std::make_tuple(0, 0, 1, std::int64_t(20000)),
            std::make_tuple(op, reserved, flag, total));
  log->done.push_back(done);
  cancel = log->cancelAfter && log->done.size() >= log->cancelAfter;
}
}  // namespace

TEST_F(FileOps, ChunkedWriteReportsEveryTenthAndStopsOnCancel) {
  EXPECT_EQ(1024u, WriteChunkSize(5000));
  const std::string text(20000, 'q');
  ProgressLog log;
  ASSERT_TRUE(WriteTextFile(P("p.bin"), text, 0, false, OnProgress, &log));
  const std::vector<std::int64_t> tenths = {0,     2000,  4000,  6000,  8000, 10000,
                                            12000, 14000, 16000, 18000, 20000};
  EXPECT_EQ(tenths, log.done);
  EXPECT_EQ(text, ReadFilePart(P("p.bin"), 0, false, 0));
  ProgressLog cancel;
  cancel.cancelAfter = 3;  // the start report and two chunks
  EXPECT_FALSE(WriteTextFile(P("c.bin"), text, 0, false, OnProgress, &cancel));
  EXPECT_EQ(4000, FileSizeByName(P("c.bin")));
}

TEST_F(FileOps, DeleteFilesByMaskAndWholeTrees) {
  WriteTextFile(P("a.tmp"), "1", 0, false);
  WriteTextFile(P("keep.txt"), "3", 0, false);
  EXPECT_TRUE(DeleteFiles(P("*.tmp"), true));
  EXPECT_FALSE(FileExists(P("a.tmp")));
  EXPECT_TRUE(FileExists(P("keep.txt")));
  EXPECT_FALSE(DeleteFiles(P("*.tmp"), true));
  MKDIR(P("sub").c_str());
  MKDIR(P("sub" + KSep + "deeper").c_str());
  WriteTextFile(P("sub" + KSep + "deeper" + KSep + "f.txt"), "y", 0, false);
  EXPECT_TRUE(DeleteTree(dir, true));
  EXPECT_FALSE(DirExists(dir));
  EXPECT_FALSE(DeleteTree(dir, true));  // no longer there
}
