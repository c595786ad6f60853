#include "support/Files.h"

#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <direct.h>
#define MKDIR(p) _mkdir(p)
#else
#define MKDIR(p) mkdir(p, 0755)
#endif

TEST(PathShape, WithBackslashRemovesOneAndAddsOne)
{
    EXPECT_EQ("C:", WithBackslash("C:\\", false));
    EXPECT_EQ("C:\\", WithBackslash("C:\\", true));
    EXPECT_EQ("\\\\", WithBackslash("\\\\", false));
    EXPECT_EQ("C:\\a\\", WithBackslash("C:\\a", true));
    EXPECT_EQ("C:\\a\\", WithBackslash("C:\\a\\", true));
    EXPECT_EQ("C:\\a\\", WithBackslash("C:\\a\\\\", false));  // only one removed
    EXPECT_EQ("C:", WithBackslash("C:", false));
}

TEST(PathShape, StripBackslash)
{
    EXPECT_EQ("", StripBackslash("\\"));
    EXPECT_EQ("C:", StripBackslash("C:\\"));
    EXPECT_EQ("C:\\a", StripBackslash("C:\\a"));
    EXPECT_EQ("\\", StripBackslash("\\\\"));
    EXPECT_EQ("", StripBackslash(""));
}

TEST(PathShape, NormalizePathCollapsesInnerRunsAndKeepsNetworkStart)
{
    EXPECT_EQ("\\\\server\\share\\dir", NormalizePath("\\\\server\\\\share\\\\\\dir", false));
    EXPECT_EQ("C:\\a\\b", NormalizePath("C:\\\\a\\\\\\b", false));
    EXPECT_EQ("C:\\a\\\\", NormalizePath("C:\\a\\\\", false));  // doubled end kept
    EXPECT_EQ("C:\\a\\", NormalizePath("C:\\a\\\\", true));
    EXPECT_EQ("C:\\a", NormalizePath("C:\\a\\", true));
    EXPECT_EQ("", NormalizePath("", true));
}

TEST(PathShape, FileNameNoExt)
{
    EXPECT_EQ("Setup", FileNameNoExt("C:\\x.y\\Setup.exe", false));
    EXPECT_EQ("Tool.AutoUpdate", FileNameNoExt("C:\\Apps\\Tool.AutoUpdate.exe", false));
    EXPECT_EQ("Tool", FileNameNoExt("C:\\Apps\\Tool.AutoUpdate.exe", true));
    EXPECT_EQ("noext", FileNameNoExt("dir/noext", false));
}

TEST(FreeSpaceRoot, DriveOrFirstFolderLevel)
{
    EXPECT_EQ("C:\\Users", RootForFreeSpace("C:\\Users\\Me\\Temp", false));
    EXPECT_EQ("C:\\Users", RootForFreeSpace("C:/Users/Me", false));
    EXPECT_EQ("C:\\", RootForFreeSpace("c:\\Users\\Me", true));
    EXPECT_EQ("D:\\", RootForFreeSpace("d:", false));
    EXPECT_EQ("C:\\abc", RootForFreeSpace("C:\\abc", false));
    EXPECT_EQ("\\\\srv", RootForFreeSpace("\\\\srv\\share\\x", false));
    EXPECT_EQ("", RootForFreeSpace("", false));
}

TEST(ChunkedWrite, ChunkIsATenthBetween1KiBAnd1MiB)
{
    EXPECT_EQ(200000u, WriteChunkSize(2000000));
    EXPECT_EQ(1048576u, WriteChunkSize(50000000));
    EXPECT_EQ(1024u, WriteChunkSize(10240));
    EXPECT_EQ(1024u, WriteChunkSize(5000));
    EXPECT_EQ(300u, WriteChunkSize(300));
    EXPECT_EQ(1025u, WriteChunkSize(10250));
}

TEST(SelfDeleteScript, LinesWithAndWithoutFolderRemoval)
{
    std::string bat = "C:\\T\\_DEL_ME_.BAT";
    EXPECT_EQ(":START\r\n"
              "DEL \"C:\\T\\SETUP_1\\x.exe\"\r\n"
              "IF exist \"C:\\T\\SETUP_1\\x.exe\" GOTO START\r\n"
              "RD \"C:\\T\\SETUP_1\"\r\n"
              "DEL \"C:\\T\\_DEL_ME_.BAT\"\r\n",
              SelfDeleteScript("C:\\T\\SETUP_1\\x.exe", "C:\\T\\SETUP_1", bat, true));
    EXPECT_EQ(":START\r\n"
              "DEL \"C:\\T\\SETUP_1\\x.exe\"\r\n"
              "IF exist \"C:\\T\\SETUP_1\\x.exe\" GOTO START\r\n"
              "DEL \"C:\\T\\_DEL_ME_.BAT\"\r\n",
              SelfDeleteScript("C:\\T\\SETUP_1\\x.exe", "C:\\T\\SETUP_1", bat, false));
}

// File operations on real files; the same tests run natively and under Wine.
class FileOps : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
#ifdef _WIN32
        dir = TempFolder(true) + "korvix_files_" + name;
        sep = "\\";
#else
        dir = TempFolder(true) + "korvix_files_" + name;
        sep = "/";
#endif
        DeleteTree(dir, true);
        MKDIR(dir.c_str());
    }
    void TearDown() override { DeleteTree(dir, true); }
    std::string P(const std::string& name) const { return dir + sep + name; }
    std::string sep;
};

namespace {
struct Report {
    std::int64_t total, done;
};
struct ProgressLog {
    std::vector<Report> reports;
    std::size_t cancelAfter = 0;
};
void OnProgress(int op, int reserved, std::int64_t total, std::int64_t done, int flag, bool& cancel,
                void* ctx)
{
    auto* log = static_cast<ProgressLog*>(ctx);
    EXPECT_EQ(0, op);
    EXPECT_EQ(0, reserved);
    EXPECT_EQ(1, flag);
    log->reports.push_back({total, done});
    if (log->cancelAfter && log->reports.size() >= log->cancelAfter) cancel = true;
}
}  // namespace

TEST_F(FileOps, WriteReadRoundTripWithAnyBytes)
{
    std::string text("a\0b\x01\x02\xFF\r\n", 8);
    ASSERT_TRUE(WriteTextFile(P("f.bin"), text, 0, false));
    EXPECT_EQ(text, ReadFilePart(P("f.bin"), 0, false, 0));
    EXPECT_EQ(8, FileSizeByName(P("f.bin")));
    EXPECT_EQ(std::string("\0b", 2), ReadFilePart(P("f.bin"), 2, false, 1));
    EXPECT_EQ("", ReadFilePart(P("f.bin"), 0, false, 8));   // offset at the end
    EXPECT_EQ("", ReadFilePart(P("f.bin"), 0, false, -1));  // negative offset
    EXPECT_EQ("", ReadFilePart(P("missing"), 0, false, 0));
    EXPECT_EQ(0, FileSizeByName(P("missing")));
}

TEST_F(FileOps, ReadFilePartTrims)
{
    ASSERT_TRUE(WriteTextFile(P("t.txt"), "  value \r\n", 0, false));
    EXPECT_EQ("value", ReadFilePart(P("t.txt"), 0, true, 0));
}

TEST_F(FileOps, EmptyTextTruncatesAndCountsAsWritten)
{
    ASSERT_TRUE(WriteTextFile(P("e.txt"), "old content", 0, false));
    EXPECT_TRUE(WriteTextFile(P("e.txt"), "", 0, false));
    EXPECT_TRUE(FileExists(P("e.txt")));
    EXPECT_EQ(0, FileSizeByName(P("e.txt")));
}

TEST_F(FileOps, AppendCreatesThenExtends)
{
    EXPECT_TRUE(WriteTextFile(P("a.txt"), "one", 0, true));
    EXPECT_TRUE(WriteTextFile(P("a.txt"), "two", 0, true));
    EXPECT_TRUE(AppendText(P("a.txt"), "three", true));
    EXPECT_TRUE(AppendText(P("a.txt"), "", false));
    EXPECT_EQ("onetwothree\r\n", ReadFilePart(P("a.txt"), 0, false, 0));
}

TEST_F(FileOps, WriteToMissingFolderFails)
{
    EXPECT_FALSE(WriteTextFile(P("no") + sep + "x.txt", "data", 0, false));
    EXPECT_FALSE(AppendText(P("no") + sep + "x.txt", "data", true));
}

TEST_F(FileOps, ProgressReportsEveryChunkAndCancelStops)
{
    std::string text(20000, 'q');
    ProgressLog log;
    ASSERT_TRUE(WriteTextFile(P("p.bin"), text, 0, false, OnProgress, &log));
    ASSERT_EQ(11u, log.reports.size());
    EXPECT_EQ(0, log.reports[0].done);
    EXPECT_EQ(2000, log.reports[1].done);
    EXPECT_EQ(20000, log.reports.back().done);
    for (const Report& r : log.reports) EXPECT_EQ(20000, r.total);
    EXPECT_EQ(text, ReadFilePart(P("p.bin"), 0, false, 0));

    ProgressLog cancel;
    cancel.cancelAfter = 3;  // the start report and two chunks
    EXPECT_FALSE(WriteTextFile(P("c.bin"), text, 0, false, OnProgress, &cancel));
    EXPECT_EQ(4000, FileSizeByName(P("c.bin")));
}

TEST_F(FileOps, LargeTextIsWrittenWhole)
{
    std::string text(2000000, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(WriteTextFile(P("big.bin"), text, 0, false));
    EXPECT_EQ(text, ReadFilePart(P("big.bin"), 0, false, 0));
}

TEST_F(FileOps, DeleteFilesMatchesMaskOnly)
{
    WriteTextFile(P("a.tmp"), "1", 0, false);
    WriteTextFile(P("b.tmp"), "2", 0, false);
    WriteTextFile(P("keep.txt"), "3", 0, false);
    EXPECT_TRUE(DeleteFiles(P("*.tmp"), true));
    EXPECT_FALSE(FileExists(P("a.tmp")));
    EXPECT_FALSE(FileExists(P("b.tmp")));
    EXPECT_TRUE(FileExists(P("keep.txt")));
    EXPECT_FALSE(DeleteFiles(P("*.tmp"), true));
}

TEST_F(FileOps, DeleteTreeRemovesNestedFoldersAndReportsAbsence)
{
    MKDIR(P("sub").c_str());
    MKDIR(P("sub" + sep + "deeper").c_str());
    WriteTextFile(P("top.txt"), "x", 0, false);
    WriteTextFile(P("sub" + sep + "deeper" + sep + "f.txt"), "y", 0, false);
    EXPECT_TRUE(DeleteTree(dir, true));
    EXPECT_FALSE(DirExists(dir));
    EXPECT_FALSE(DeleteTree(dir, true));  // no longer there
}
