// File utilities on paths and real files; run natively and under Wine.
#include "support/Files.h"

#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

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
// Records the progress reports; cancels after `cancelAfter` of them.
struct ProgressLog {
  std::vector<std::int64_t> done;
  std::size_t cancelAfter = 0;
};
void OnProgress(int, int, std::int64_t, std::int64_t done, int, bool& cancel, void* ctx) {
  auto* log = static_cast<ProgressLog*>(ctx);
  log->done.push_back(done);
  cancel = log->cancelAfter && log->done.size() >= log->cancelAfter;
}
}  // namespace

TEST_F(FileOps, ChunkedWriteReportsProgressAndStopsOnCancel) {
  const std::string text(20000, 'q');
  ProgressLog log;
  ASSERT_TRUE(WriteTextFile(P("p.bin"), text, 0, false, OnProgress, &log));
  EXPECT_EQ(0, log.done.front());
  EXPECT_EQ(20000, log.done.back());
  EXPECT_EQ(text, ReadFilePart(P("p.bin"), 0, false, 0));
  ProgressLog cancel;
  cancel.cancelAfter = 3;  // the start report and two chunks
  EXPECT_FALSE(WriteTextFile(P("c.bin"), text, 0, false, OnProgress, &cancel));
  EXPECT_EQ(cancel.done.back(), FileSizeByName(P("c.bin")));
  EXPECT_LT(FileSizeByName(P("c.bin")), 20000);
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

TEST_F(FileOps, FreshFoldersAndNewFilesReplaceNothingQuietly) {
  const std::string folder = P("x") + KSep + "y" + KSep + "fresh";
  ASSERT_TRUE(RecreateFolder(folder, ""));  // parents too
  ASSERT_TRUE(WriteNewFile(folder + KSep + "run.exe", "run", 0));
  EXPECT_FALSE(WriteNewFile(folder + KSep + "run.exe", "other", 0));
  EXPECT_EQ("run", ReadFilePart(folder + KSep + "run.exe", 0, false, 0));
  WriteTextFile(folder + KSep + "old.txt", "old", 0, false);
  MKDIR((folder + KSep + "sub").c_str());
  EXPECT_TRUE(RecreateFolder(folder, "run.exe"));  // the running program stays
  EXPECT_TRUE(FileExists(folder + KSep + "run.exe"));
  EXPECT_FALSE(PathPresent(folder + KSep + "old.txt") || PathPresent(folder + KSep + "sub"));
  EXPECT_TRUE(RecreateFolder(folder, ""));
  EXPECT_FALSE(PathPresent(folder + KSep + "run.exe"));
  WriteTextFile(P("file"), "f", 0, false);  // a file where the folder goes
  EXPECT_TRUE(RecreateFolder(P("file"), "") && DirExists(P("file")));
}

#ifndef _WIN32
// Under Wine, links are planted by the end-to-end tests.
TEST_F(FileOps, LinksAreRemovedThemselvesAndNeverFollowed) {
  const std::string victim = P("victim"), v = victim + "/v.txt", tree = P("tree");
  MKDIR(victim.c_str());
  MKDIR(tree.c_str());
  WriteTextFile(v, "keep me", 0, false);
  ASSERT_EQ(0, symlink(victim.c_str(), (tree + "/dir").c_str()));
  ASSERT_EQ(0, symlink(v.c_str(), (tree + "/file").c_str()));
  EXPECT_TRUE(DeleteTree(tree, true));
  ASSERT_EQ(0, symlink(victim.c_str(), P("link").c_str()));
  EXPECT_TRUE(DeleteTree(P("link"), true));  // the folder itself is a link
  EXPECT_FALSE(PathPresent(P("link")));
  ASSERT_EQ(0, symlink(victim.c_str(), P("fresh").c_str()));
  EXPECT_TRUE(RecreateFolder(P("fresh"), "v.txt"));  // a link is no folder to keep
  ASSERT_EQ(0, symlink(v.c_str(), P("fresh/new.txt").c_str()));
  EXPECT_FALSE(WriteNewFile(P("fresh/new.txt"), "x", 0));
  EXPECT_EQ("keep me", ReadFilePart(v, 0, false, 0));
}
#endif
