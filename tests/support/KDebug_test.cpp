#include "support/KDebug.h"

#include "support/Files.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

std::vector<std::string> GChunks;
void Collect(const std::string& chunk) {
  GChunks.push_back(chunk);
  // A line written while a chunk is being delivered (as a window procedure
  // run inside the viewer's send would) must not be lost.
  if (chunk == "outer\n") DebugLine("inner");
}

}  // namespace

TEST(DebugDevice, ChunksLeaveAtFullBufferAndAtLineEndAndNoneIsLostDuringDelivery) {
  const TDebugSink old = SetDebugSink(Collect);
  DebugLine(std::string(127, 'x'));
  DebugWrite("abc");
  EXPECT_EQ(1u, GChunks.size());  // partial writes wait for the line end
  DebugLine(1234, " START> ", std::string("\x01\xFF", 2), true, false, -7LL, " ", 4000000000u, 'Q');
  const std::string line = std::string(299, 'a') + "E";
  DebugLine(line);
  DebugLine("outer");
  DebugLine("after");
  SetDebugSink(old);
  const std::vector<std::string> want = {std::string(127, 'x') + "\n",
                                         "abc1234 START> \x01\xFFTRUEFALSE-7 4000000000Q\n",
                                         line.substr(0, 128),
                                         line.substr(128, 128),
                                         line.substr(256) + "\n",
                                         "outer\n",
                                         "inner\n",
                                         "after\n"};
  EXPECT_EQ(want, GChunks);
}

TEST(DebugFileTarget, ChunksAreAppendedWithEveryLineEndAsCrLfOnlyForFileTargets) {
  EXPECT_EQ("\r\n\r\nx\r\ny\r\n\r\n", NormalizeDebugLineEnds(std::string("\n\rx\0y\r\n", 8)));
  const std::string path = ::testing::TempDir() + "kdebug_file_target.txt";
  std::remove(path.c_str());
  WriteDebugTextTo(1, "a\rb\nc\r\n", path);
  WriteDebugTextTo(2, "line\n", path);
  WriteDebugTextTo(0, "viewer only\n", path);
  WriteDebugTextTo(3, "nowhere\n", path);
  EXPECT_EQ("a\r\nb\r\nc\r\nline\r\n", ReadFilePart(path, 0, false, 0));
  std::remove(path.c_str());
}

// The log's place and lines are read end to end (tests/agent).
TEST(AgentLog, WrittenOnlyWhenEnabled) {
  EXPECT_EQ("C:\\Apps\\X_x_Setup.log", AgentLogPathFor("C:\\Apps\\x_Setup.exe"));  // case-sensitive
  const std::string path = GetAgentLogPath();
  std::remove(path.c_str());
  SetAgentLogEnabled(false);
  AgentLog("nothing");
  EXPECT_FALSE(FileExists(path));
  SetAgentLogEnabled(true);
  AgentLog("first");
  SetAgentLogEnabled(false);
  AgentLog("second");
  const std::string text = ReadFilePart(path, 0, false, 0);
  std::remove(path.c_str());
  EXPECT_EQ(AgentLogLine(text.substr(0, 17), getpid(), "   ", "first") + "\r\n", text);
}
