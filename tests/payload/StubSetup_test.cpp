#include <gtest/gtest.h>

#include "ContainerBuilder.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"

using namespace testpayload;

TEST(StubUtil, EngineCommandLineSwitchRemovalAndSpaceTexts) {
  // Extra text after "*" goes before /TH_ID=, after the setup's own arguments.
  EXPECT_EQ(EngineCommandLine("C:\\T\\", "Engine.exe* /silent ", "/a", "_1", "C:\\S.exe", true),
            "C:\\T\\Engine.exe /a /silent /TH_ID=_1 /OriginExe=\"C:\\S.exe\" /AutoUpdateProg");
  // A switch goes with its value and the blank before the next switch;
  // names are case-sensitive.
  EXPECT_EQ(RemoveSwitch("a.exe /x /SpanCdLvl=2", "/SpanCdLvl="), "a.exe /x ");
  EXPECT_EQ(
      RemoveSwitch("a.exe /SpanDiskFName1=\"C:\\S p\\Setup.exe.001\" /y=1", "/SpanDiskFName1="),
      "a.exe /y=1");
  EXPECT_EQ(RemoveSwitch("a.exe /spancdlvl=2", "/SpanCdLvl="), "a.exe /spancdlvl=2");
  // Decimals: 1 above 10 MB, 2 from 1 MB, 3 below.
  EXPECT_EQ(SpaceMBText(15728640), "15.0");
  EXPECT_EQ(SpaceMBText(1572864), "1.50");
  EXPECT_EQ(SpaceMBText(524288), "0.500");
  EXPECT_EQ(SpaceMBText(-5), "0.000");
}

// The copy written while extracting is checked end to end (case_agent_copy).
TEST(StubSetup, InternetAgentCopiesCarryTheAgentMark) {
  // A setup image: payload end 5000 (pointer set), trailer bytes 0.
  auto image = [](size_t tail) {
    std::string s = StubImage(5000 + tail);
    PutU32(s, 252, 5000);
    return s.replace(5000 - 74, 74, std::string(74, '\0'));
  };
  // The internet setup's copy: a signature-sized tail is cut, a longer one kept.
  std::string copy = InternetAgentImage(image(3000));
  ASSERT_EQ(copy.size(), 5000u);
  EXPECT_EQ(copy[5000 - 74 + KTrlIsAgent], 1);
  copy = InternetAgentImage(image(20000));
  ASSERT_EQ(copy.size(), 25000u);
  EXPECT_EQ(copy[5000 - 74 + KTrlIsAgent], 1);  // the trailer, not the kept tail
  EXPECT_EQ(copy.substr(5000), image(20000).substr(5000));
}
