// File utilities on paths and real files; run natively and under Wine.
#include "support/Files.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
const std::string KSep = "\\";
#else
#include <unistd.h>
const std::string KSep = "/";
#endif

// Doubled backslashes after path macros are collapsed, but network paths keep
// their two also as an item of a delimited list, and a backslash that is the
// second byte of a double-byte character is no separator.
TEST(PathShape, CollapsingKeepsNetworkItemsDoubleByteCharactersAndTheDoubledEnd) {
  auto leadByte = [](char c) { return c == '\x95'; };  // as in code page 932
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
  for (const auto& c : cases) EXPECT_EQ(CollapseBackslashes(c.In, leadByte), c.Out) << c.In;
  EXPECT_EQ(CollapseBackslashes("C:\\\x95\\\\x", [](char) { return false; }), "C:\\\x95\\x");
  EXPECT_EQ("C:\\a\\\\", NormalizePath("C:\\a\\\\", false));
  EXPECT_EQ("C:\\a\\", NormalizePath("C:\\a\\\\", true));
  EXPECT_EQ("C:\\a\\", WithBackslash("C:\\a\\\\", false));  // only one removed
  EXPECT_EQ("C:\\Users", RootForFreeSpace("C:/Users/Me", false));
  EXPECT_EQ("\\\\srv", RootForFreeSpace("\\\\srv\\share\\x", false));
}

// Each test gets a fresh folder of its own.
class FileOps : public ::testing::Test {
protected:
  std::string dir = TempFolder(true) + "korvix_files_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
  void SetUp() override { RecreateFolder(dir, ""); }
  void TearDown() override { DeleteTree(dir, true); }
  std::string P(const std::string& name) const { return dir + KSep + name; }
};

TEST_F(FileOps, WritesReadsAndAppendsAnyBytes) {
  const std::string text("a\0b\x01\x02\xFF\r\n", 8);
  ASSERT_TRUE(WriteTextFile(P("f.bin"), text, 0, false));
  EXPECT_EQ(text, ReadFilePart(P("f.bin"), 0, false, 0));
  EXPECT_EQ(std::string("\0b", 2), ReadFilePart(P("f.bin"), 2, false, 1));
  EXPECT_TRUE(WriteTextFile(P("f.bin"), "", 0, false));  // truncates, counts as written
  EXPECT_EQ(0, FileSizeByName(P("f.bin")));
  ASSERT_TRUE(WriteTextFile(P("t.txt"), "  value \r\n", 0, true));  // append creates
  EXPECT_TRUE(AppendText(P("t.txt"), "x", true));
  EXPECT_EQ("value \r\nx", ReadFilePart(P("t.txt"), 0, true, 0));
  EXPECT_FALSE(WriteTextFile(P("no") + KSep + "x.txt", "data", 0, false));
}

TEST_F(FileOps, ChunkedWriteReportsProgressAndACancelIsAFailure) {
  struct Log {
    std::vector<std::int64_t> Done;
    std::size_t CancelAfter;
  } whole{{}, 0}, stopped{{}, 3};  // the start report and two chunks
  auto onProgress = [](int, int, std::int64_t, std::int64_t done, int, bool& cancel, void* ctx) {
    auto* log = static_cast<Log*>(ctx);
    log->Done.push_back(done);
    cancel = log->Done.size() == log->CancelAfter;
  };
  const std::string text(20000, 'q');
  ASSERT_TRUE(WriteTextFile(P("p.bin"), text, 0, false, onProgress, &whole));
  EXPECT_EQ(0, whole.Done.front());
  EXPECT_EQ(20000, whole.Done.back());
  EXPECT_EQ(text, ReadFilePart(P("p.bin"), 0, false, 0));
  EXPECT_FALSE(WriteTextFile(P("c.bin"), text, 0, false, onProgress, &stopped));
  EXPECT_EQ(stopped.Done.back(), FileSizeByName(P("c.bin")));
  EXPECT_LT(FileSizeByName(P("c.bin")), 20000);
}

TEST_F(FileOps, DeleteFilesByMaskAndWholeTrees) {
  WriteTextFile(P("a.tmp"), "1", 0, false);
  WriteTextFile(P("keep.txt"), "3", 0, false);
  EXPECT_TRUE(DeleteFiles(P("*.tmp"), true));
  EXPECT_FALSE(FileExists(P("a.tmp")));
  EXPECT_TRUE(FileExists(P("keep.txt")));
  EXPECT_FALSE(DeleteFiles(P("*.tmp"), true));
  RecreateFolder(P("sub" + KSep + "deeper"), "");
  WriteTextFile(P("sub" + KSep + "deeper" + KSep + "f.txt"), "y", 0, false);
  EXPECT_TRUE(DeleteTree(dir, true));
  EXPECT_FALSE(DirExists(dir));
}

TEST_F(FileOps, FreshFoldersAndNewFilesReplaceNothingQuietly) {
  const std::string folder = P("x") + KSep + "fresh", run = folder + KSep + "run.exe";
  ASSERT_TRUE(RecreateFolder(folder + KSep + "sub", ""));  // parents too
  ASSERT_TRUE(WriteNewFile(run, "run", 0));
  EXPECT_FALSE(WriteNewFile(run, "other", 0));
  WriteTextFile(folder + KSep + "old.txt", "old", 0, false);
  EXPECT_TRUE(RecreateFolder(folder, "run.exe"));  // the running program stays
  EXPECT_EQ("run", ReadFilePart(run, 0, false, 0));
  EXPECT_FALSE(PathPresent(folder + KSep + "old.txt") || PathPresent(folder + KSep + "sub"));
  EXPECT_TRUE(RecreateFolder(folder, ""));
  EXPECT_FALSE(PathPresent(run));
  WriteTextFile(P("file"), "f", 0, false);  // a file where the folder goes
  EXPECT_TRUE(RecreateFolder(P("file"), "") && DirExists(P("file")));
}

#ifndef _WIN32
// Under Wine, links are planted by the end-to-end tests.
TEST_F(FileOps, LinksAreRemovedThemselvesAndNeverFollowed) {
  const std::string victim = P("victim"), v = victim + "/v.txt", tree = P("tree");
  RecreateFolder(victim, "");
  RecreateFolder(tree, "");
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
