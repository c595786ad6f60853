// The setup flow's text and byte rules: engine command line, switch removal,
// space texts, folder and volume names, entry-name safety, the two forms of
// the update-agent copy, the hand-shake atom.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"

TEST(StubUtil, SpaceMBTextPicksDecimalsBySize)
{
    EXPECT_EQ(SpaceMBText(15728640), "15.0");
    EXPECT_EQ(SpaceMBText(1572864), "1.50");
    EXPECT_EQ(SpaceMBText(524288), "0.500");
    EXPECT_EQ(SpaceMBText(10 * 1048576.0), "10.00");  // "above 10" only
    EXPECT_EQ(SpaceMBText(1048576), "1.00");
    EXPECT_EQ(SpaceMBText(-5), "0.000");
}

TEST(StubUtil, RemoveSwitchTakesValueAndFollowingBlank)
{
    EXPECT_EQ(RemoveSwitch("a.exe /SpanCdLvl=2 /x", "/SpanCdLvl="), "a.exe /x");
    EXPECT_EQ(RemoveSwitch("a.exe /x /SpanCdLvl=2", "/SpanCdLvl="), "a.exe /x ");
    EXPECT_EQ(RemoveSwitch("a.exe /SpanDiskFName1=\"C:\\S p\\Setup.exe.001\" /y=1", "/SpanDiskFName1="),
              "a.exe /y=1");
    EXPECT_EQ(RemoveSwitch("a.exe /x", "/SpanCdLvl="), "a.exe /x");
    EXPECT_EQ(RemoveSwitch("a.exe /spancdlvl=2", "/SpanCdLvl="), "a.exe /spancdlvl=2");  // case-sensitive
}

TEST(StubUtil, EngineCommandLineOfAPlainStart)
{
    EXPECT_EQ(EngineCommandLine("C:\\T\\SETUP_25692", "Engine.exe*", "", "_77", "C:\\Downloads\\Setup.exe", false),
              "C:\\T\\SETUP_25692\\Engine.exe /TH_ID=_77 /OriginExe=\"C:\\Downloads\\Setup.exe\"");
}

TEST(StubUtil, EngineCommandLineArgumentsAndSwitches)
{
    // Extra text after "*" goes before /TH_ID=, after the setup's own arguments.
    EXPECT_EQ(EngineCommandLine("C:\\T\\", "Engine.exe* /silent ", "/a", "_1", "C:\\S.exe", true),
              "C:\\T\\Engine.exe /a /silent /TH_ID=_1 /OriginExe=\"C:\\S.exe\" /AutoUpdateProg");
    // A command line that already has /OriginExe= gets no second one; the
    // span switches never reach the engine.
    std::string cmd = EngineCommandLine(
        "C:\\T", "Engine.exe*",
        "/SpanCdLvl=2 /SpanDiskFName1=\"E:\\Setup.exe.001\" /OriginExe=\"E:\\Setup.exe\"", "_5",
        "C:\\T\\Y_Setup.exe", false);
    EXPECT_EQ(cmd, "C:\\T\\Engine.exe /OriginExe=\"E:\\Setup.exe\" /TH_ID=_5");
}

TEST(StubUtil, FolderAndVolumeNames)
{
    // 12:34:56 packs to 12 * 2048 + 34 * 32 + 28.
    EXPECT_EQ(SetupTempDirName("C:\\Temp\\", 12 * 2048 + 34 * 32 + 56 / 2), "C:\\Temp\\SETUP_25692");
    EXPECT_EQ(SetupTempDirName("C:\\Temp", 0), "C:\\Temp\\SETUP_0");
    EXPECT_EQ(VolumeBaseName("C:\\Setup.exe.001"), "C:\\Setup.exe");
    EXPECT_EQ(VolumeBaseName("C:\\a.001.exe"), "C:\\a.001.exe");
    EXPECT_EQ(VolumeBaseName("C:\\Setup.exe"), "C:\\Setup.exe");
}

TEST(StubSetup, EntryNamesThatLeaveTheFolderAreRefused)
{
    for (const char* ok : {"Engine.exe", "sub\\file.txt", "a..b", "..a", "x.y.z"})
        EXPECT_TRUE(EntryNameIsSafe(ok)) << ok;
    for (const char* bad : {"", "..", "..\\x", "sub\\..\\..\\x", "\\x", "/x", "C:\\x", "C:x",
                            "...\\x", ". .\\x", "a\\\\b", "a/../../x", "sub\\"})
        EXPECT_FALSE(EntryNameIsSafe(bad)) << bad;
}

namespace {

std::string FakeImage(size_t stubSize, size_t payloadEnd, size_t tail)
{
    std::string image(payloadEnd + tail, 'x');
    image[0] = 'M';
    image[1] = 'Z';
    image[256] = 'P';
    image[257] = 'E';
    uint32_t hi = 0, lo = static_cast<uint32_t>(payloadEnd);
    std::memcpy(&image[248], &hi, 4);
    std::memcpy(&image[252], &lo, 4);
    for (size_t i = payloadEnd - 74; i < payloadEnd; ++i) image[i] = 0;
    (void)stubSize;
    return image;
}

}  // namespace

TEST(StubSetup, InternetAgentImageCutsShortTailAndMarksTrailer)
{
    std::string image = FakeImage(1000, 5000, 3000);  // a signature-sized tail
    std::string copy = InternetAgentImage(image);
    ASSERT_EQ(copy.size(), 5000u);
    EXPECT_EQ(copy[5000 - 74 + 69], 1);

    std::string big = FakeImage(1000, 5000, 20000);  // too much after the end: kept
    std::string kept = InternetAgentImage(big);
    ASSERT_EQ(kept.size(), big.size());
    EXPECT_EQ(kept[kept.size() - 74 + 69], 1);
}

TEST(StubSetup, ExtractedAgentImageClearsPointerAndAppendsTrailer)
{
    std::string head = FakeImage(1000, 2000, 0);
    TTrailer t;
    t.SetU32(TRL_MAGIC, KContainerMagic);
    t.SetU32(TRL_LENGTH, 80);
    std::string copy = ExtractedAgentImage(head, t.Bytes);
    ASSERT_EQ(copy.size(), head.size() + 74);
    uint32_t lo = 1;
    std::memcpy(&lo, &copy[252], 4);
    EXPECT_EQ(lo, 0u);
    EXPECT_EQ(copy[copy.size() - 74 + 69], 1);
    uint32_t len = 0;
    std::memcpy(&len, &copy[copy.size() - 4], 4);
    EXPECT_EQ(len, 74u);
    EXPECT_EQ(PayloadEndFromBytes(copy), 0u);  // the payload end is the file end
}

TEST(StubUtil, HandShakeAtomIsGoneOnlyWhenDeletedElsewhere)
{
    const std::string name = "AutoUpdateAtomTokenByKorvix_test_4711";
    {
        TGlobalAtom atom(name);
        EXPECT_FALSE(atom.Gone());
        GlobalDeleteAtom(GlobalFindAtomA(name.c_str()));  // the engine takes over
        EXPECT_TRUE(atom.Gone());
    }
    {
        TGlobalAtom atom(name);
        atom.Release();
        atom.Release();  // deleted once
        EXPECT_TRUE(atom.Gone());
    }
    EXPECT_EQ(GlobalFindAtomA(name.c_str()), 0);
}

TEST(StubUtil, StartProcessOfAMissingProgramGivesZeroAndTheWaitEnds)
{
    HANDLE h = StartProcess("C:\\no\\such\\program.exe /x", 0);
    EXPECT_EQ(h, nullptr);
    WaitForProcessEnd(h);  // returns after one pass
}
