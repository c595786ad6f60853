#include "support/ExecPipe.h"

#include "text/Common.h"

#include <gtest/gtest.h>

TEST(WaitPumping, IntervalIsATenthLimitedTo1To25)
{
    EXPECT_EQ(1u, PumpInterval(0, 5));
    EXPECT_EQ(1u, PumpInterval(0, 0));
    EXPECT_EQ(25u, PumpInterval(0, 1000));
    EXPECT_EQ(20u, PumpInterval(0, 200));
    EXPECT_EQ(7u, PumpInterval(7, 1000));
}

TEST(WaitPumping, LastsAtLeastTheTotalAndPumpsOnce)
{
    std::int64_t start = NowMs();
    WaitPumping(0, 60);
    std::int64_t spent = NowMs() - start;
    EXPECT_GE(spent, 60);
    EXPECT_LT(spent, 1000);
    start = NowMs();
    WaitPumping(30, 0);  // one pass even when no time is asked for
    EXPECT_GE(NowMs() - start, 25);
}

TEST(CapturedCommand, ProgramWithBlankIsQuoted)
{
    EXPECT_EQ("\"C:\\My Tools\\x.exe\" /a", CapturedCommandLine("C:\\My Tools\\x.exe", "/a"));
    EXPECT_EQ("\"C:\\My Tools\\x.exe\"", CapturedCommandLine("\"C:\\My Tools\\x.exe\"", ""));
    EXPECT_EQ("tasklist.exe /FO csv", CapturedCommandLine("tasklist.exe", "/FO csv"));
    EXPECT_EQ("x.exe", CapturedCommandLine("x.exe", ""));
}
