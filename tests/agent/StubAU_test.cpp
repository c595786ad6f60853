#include "agent/StubAU.h"

#include <gtest/gtest.h>

#include <map>

#include "agent/StubGlob.h"

namespace {

// A world whose clock advances one second per tick; a probe records itself
// in ProbeSecondsLast as the real one does.
class TFakeWorld : public TAgentWorld {
public:
  std::int64_t Clock = 1000000;
  std::map<int, std::int64_t> Original = {{KProbeSecondsInterval, 3600}, {KProbeSecondsLast, 0}};
  bool TestMode = false, AnswerYes = true;
  int Shots = 0, Questions = 0;

  std::int64_t NowSeconds() override { return Clock; }
  std::int64_t ReadOriginal(int key) override { return Original[key]; }
  std::int64_t ReadInfo(int) override { return 0; }
  void WriteOriginal(int key, std::int64_t value) override { Original[key] = value; }
  bool CheckTestMode(bool) override { return TestMode; }
  void Debug(const std::string&) override {}
  void PostQuit() override {}
  void DownloadInfoOnly() override {}
  void ApplyMessageFont() override {}
  bool AskCheckNow() override {
    ++Questions;
    return AnswerYes;
  }
  void PerformShot() override {
    ++Shots;
    Original[KProbeSecondsLast] = Clock;
  }
  void Run(TAgentState& s, int ticks) {
    for (int i = 0; i < ticks; ++i) {
      ++Clock;
      AgentTickWith(s, *this);
    }
  }
};

}  // namespace

TEST(AgentCycle, IntervalMinusOneProbesOnRequestOnlyAndInteractiveChecksAskFirst) {
  TAgentState state;
  TFakeWorld world;
  world.Original[KProbeSecondsInterval] = -1;
  world.TestMode = true;  // -1 keeps its meaning in test mode
  world.Run(state, 30);
  EXPECT_EQ(0, world.Shots);
  AgentSettingWith(state, world, 31, 0);
  world.Run(state, 1);
  EXPECT_EQ(1, world.Shots);
  EXPECT_EQ(0, world.Questions);
  AgentSettingWith(state, world, 31, 2);
  world.AnswerYes = false;
  world.Run(state, 1);
  EXPECT_EQ(1, world.Questions);
  EXPECT_EQ(1, world.Shots);
  AgentSettingWith(state, world, 31, 2);
  world.AnswerYes = true;
  world.Run(state, 1);
  EXPECT_EQ(2, world.Shots);
  EXPECT_EQ(0, state.Interactive);
}

TEST(AgentDecision, SameStampWaitsForTheReAskTimeUnlessInteractive) {
  TOkInputs ok;
  ok.InfoFetched = true;
  ok.VersionOriginal = 3;
  ok.VersionNew = 4;
  ok.StampOriginal = ok.StampInfo = 1;
  ok.ValidVersions = ok.SizeOK = true;
  EXPECT_EQ(2, OkLevel(ok));
  ok.Interactive = true;
  EXPECT_EQ(6, OkLevel(ok));
  ok.Interactive = false;
  ok.ReAskDue = true;
  EXPECT_EQ(6, OkLevel(ok));
  EXPECT_FALSE(ReAskDue(1000, 900, 0));
  EXPECT_FALSE(ReAskDue(1000, 900, 100));
  EXPECT_TRUE(ReAskDue(1001, 900, 100));
}
