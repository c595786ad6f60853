#include "support/KDebug.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string>* g_chunks = nullptr;
void Collect(const std::string& chunk)
{
    if (g_chunks) g_chunks->push_back(chunk);
}

// Captures every chunk of the device while it lives.
struct ChunkCapture {
    std::vector<std::string> chunks;
    DebugSink old;
    ChunkCapture() : old(SetDebugSink(Collect)) { g_chunks = &chunks; }
    ~ChunkCapture()
    {
        SetDebugSink(old);
        g_chunks = nullptr;
    }
};

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(DebugDevice, ShortLineLeavesAsOneChunkWithItsLineFeed)
{
    ChunkCapture c;
    DebugLine(std::string(127, 'x'));
    DebugLine("");
    ASSERT_EQ(2u, c.chunks.size());
    EXPECT_EQ(std::string(127, 'x') + "\n", c.chunks[0]);
    EXPECT_EQ("\n", c.chunks[1]);
}

TEST(DebugDevice, LongLineIsSplitAtEveryFullBuffer)
{
    ChunkCapture c;
    std::string line(300, 'a');
    line[0] = 'S';
    line[299] = 'E';
    DebugLine(line);
    ASSERT_EQ(3u, c.chunks.size());
    EXPECT_EQ(128u, c.chunks[0].size());
    EXPECT_EQ(128u, c.chunks[1].size());
    EXPECT_EQ(45u, c.chunks[2].size());
    EXPECT_EQ(line + "\n", c.chunks[0] + c.chunks[1] + c.chunks[2]);
}

TEST(DebugDevice, PartialWritesWaitForTheLineEnd)
{
    ChunkCapture c;
    DebugWrite("abc");
    DebugWrite("def");
    EXPECT_TRUE(c.chunks.empty());
    DebugLine("!");
    ASSERT_EQ(1u, c.chunks.size());
    EXPECT_EQ("abcdef!\n", c.chunks[0]);
}

TEST(DebugDevice, ItemsAreFormattedAsNumbersBooleansAndTexts)
{
    ChunkCapture c;
    DebugLine(1234, " ==== STUB START ====> ", std::string("cmd\x01\xFF", 5), "<");
    DebugLine(" TestMode=", true, " x=", false, " n=", -7LL, " u=", 4000000000u, " c=", 'Q');
    ASSERT_EQ(2u, c.chunks.size());
    EXPECT_EQ(std::string("1234 ==== STUB START ====> cmd") + "\x01\xFF<\n", c.chunks[0]);
    EXPECT_EQ(" TestMode=TRUE x=FALSE n=-7 u=4000000000 c=Q\n", c.chunks[1]);
}

namespace {
std::vector<std::string>* g_nested = nullptr;
bool g_inNested = false;
void NestedSink(const std::string& chunk)
{
    g_nested->push_back(chunk);
    // A line written while a chunk is being delivered (as a window procedure
    // run inside the viewer's send would) must not be lost.
    if (!g_inNested && chunk == "outer\n") {
        g_inNested = true;
        DebugLine("inner");
        g_inNested = false;
    }
}
}  // namespace

TEST(DebugDevice, LineWrittenDuringDeliveryIsNotLost)
{
    std::vector<std::string> chunks;
    g_nested = &chunks;
    DebugSink old = SetDebugSink(NestedSink);
    DebugLine("outer");
    DebugLine("after");
    SetDebugSink(old);
    std::vector<std::string> want = {"outer\n", "inner\n", "after\n"};
    EXPECT_EQ(want, chunks);
}

TEST(DebugFileTarget, EveryLineEndBecomesCrLf)
{
    EXPECT_EQ("a\r\nb\r\nc\r\n", NormalizeDebugLineEnds("a\rb\nc\r\n"));
    EXPECT_EQ("\r\n\r\n", NormalizeDebugLineEnds("\n\r"));
    EXPECT_EQ("x\r\ny\r\n", NormalizeDebugLineEnds(std::string("x\0y\r", 4)));
    EXPECT_EQ("\r\n\r\n", NormalizeDebugLineEnds("\r\n\r\n"));
    EXPECT_EQ("", NormalizeDebugLineEnds(""));
}

TEST(DebugFileTarget, ChunksAreAppendedNormalisedAndOnlyForFileTargets)
{
    std::string path = ::testing::TempDir() + "kdebug_file_target.txt";
    std::remove(path.c_str());
    WriteDebugTextTo(1, "a\rb\nc\r\n", path);
    WriteDebugTextTo(2, "line\n", path);
    WriteDebugTextTo(0, "viewer only\n", path);
    WriteDebugTextTo(3, "nowhere\n", path);
    EXPECT_EQ("a\r\nb\r\nc\r\nline\r\n", ReadAll(path));
    std::remove(path.c_str());
}

TEST(ExceptionLine, OnlyNonEmptyFieldsAreWrittenWithTheirLabels)
{
    EXPECT_EQ(" ---  [ Method = YieldX ]  [ ErrMsg = boom ] ", ExceptionLine("boom", "YieldX", ""));
    EXPECT_EQ(" ---  [ Method = M ]  [ Remark = r ]  [ ErrMsg = e ] ", ExceptionLine("e", "M", "r"));
    EXPECT_EQ(" --- ", ExceptionLine("", "", ""));

    ChunkCapture c;
    LogException(std::runtime_error("boom"), "Utils.GetExeVersion()");
    ASSERT_EQ(1u, c.chunks.size());
    EXPECT_EQ(" ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = boom ] \n", c.chunks[0]);
}

TEST(AgentLog, PathGetsTheXPrefixCaseSensitivelyAndTheLogExtension)
{
    EXPECT_EQ("C:\\Apps\\X_Setup.log", AgentLogPathFor("C:\\Apps\\Setup.exe"));
    EXPECT_EQ("C:\\Apps\\X_Setup.log", AgentLogPathFor("C:\\Apps\\X_Setup.exe"));
    EXPECT_EQ("C:\\Apps\\X_x_Setup.log", AgentLogPathFor("C:\\Apps\\x_Setup.exe"));
    EXPECT_EQ("C:\\Apps\\X_Tool.AutoUpdate.log", AgentLogPathFor("C:\\Apps\\Tool.AutoUpdate.exe"));
    EXPECT_EQ("C:\\X_Tool.log", AgentLogPathFor("C:\\Tool"));
}

TEST(AgentLog, LineHasDateThreadIdPrefixAndMessage)
{
    EXPECT_EQ("07/03/24 10:11:12    42   hello", AgentLogLine("07/03/24 10:11:12", 42, "   ", "hello"));
    EXPECT_EQ("d 1234567 X m", AgentLogLine("d", 1234567, " X ", "m"));
}

TEST(AgentLog, WritesOnlyWhenEnabled)
{
    std::string path = GetAgentLogPath();
    std::remove(path.c_str());
    SetAgentLogEnabled(false);
    AgentLog("nothing");
    EXPECT_FALSE(std::ifstream(path).good());

    SetAgentLogEnabled(true);
    SetAgentLogPrefix(" X ");
    AgentLog("first");
    AgentLog("second");
    SetAgentLogEnabled(false);
    SetAgentLogPrefix("   ");
    std::string text = ReadAll(path);
    std::remove(path.c_str());
    // "dd/mm/yy HH:NN:SS" + blank + id right-aligned to 5 + prefix + message + CR LF.
    std::size_t split = text.find("\r\n");
    ASSERT_NE(std::string::npos, split);
    std::string first = text.substr(0, split);
    std::string second = text.substr(split + 2);
    ASSERT_GE(first.size(), 17u + 1 + 5 + 3 + 5);
    EXPECT_EQ('/', first[2]);
    EXPECT_EQ('/', first[5]);
    EXPECT_EQ(':', first[11]);
    EXPECT_EQ(' ', first[17]);
    EXPECT_EQ(" X first", first.substr(first.size() - 8));
    EXPECT_EQ(first.size() + 1 + 2, second.size());
    EXPECT_EQ(" X second\r\n", second.substr(second.size() - 11));
}
