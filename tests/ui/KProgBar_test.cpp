// The progress object's reports and the event parameters they produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/KProgBar.h"

namespace {

struct TEvent {
  int Kind, Reserved;
  int64_t Maximum, Position;
  int Step;
  std::string Text;
};
std::vector<TEvent> GEvents;

void Record(int kind, int reserved, int64_t maximum, int64_t position, int step,
            const std::string& text)
{
  GEvents.push_back({kind, reserved, maximum, position, step, text});
}

}  // namespace

TEST(ProgBar, ReportsBecomeEventsAndTheDestructorFinishes)
{
  GEvents.clear();
  {
    TProgBar bar(Record);
    EXPECT_FALSE(bar.Cancelled());
    bar.SetRange(1, 11);
    bar.StepText("10 KB of 20 KB");
    bar.SetCaption("Setup.exe");  // no event
    EXPECT_EQ(bar.Caption(), "Setup.exe");
    ASSERT_EQ(GEvents.size(), 2u);
  }
  ASSERT_EQ(GEvents.size(), 3u);
  const TEvent& range = GEvents[0];
  EXPECT_EQ(range.Kind, 0);
  EXPECT_EQ(range.Reserved, 0);
  EXPECT_EQ(range.Maximum, 11);
  EXPECT_EQ(range.Position, 1);
  EXPECT_EQ(range.Step, 1);
  EXPECT_EQ(range.Text, "");

  const TEvent& step = GEvents[1];
  EXPECT_EQ(step.Kind, 1);
  EXPECT_EQ(step.Maximum, 0);
  EXPECT_EQ(step.Position, 0);
  EXPECT_EQ(step.Step, 0);
  EXPECT_EQ(step.Text, "10 KB of 20 KB");

  const TEvent& finish = GEvents[2];
  EXPECT_EQ(finish.Kind, 0);
  EXPECT_EQ(finish.Maximum, 0);
  EXPECT_EQ(finish.Position, 0);
  EXPECT_EQ(finish.Step, 1);
}

TEST(ProgBar, WithoutEventProcedureNothingHappens)
{
  TProgBar bar(nullptr);
  bar.SetRange(0, 10);
  bar.StepText("x");
  bar.Finish();
  EXPECT_FALSE(bar.Cancelled());
}
