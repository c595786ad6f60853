// The progress object's reports and the event parameters they produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/KProgBar.h"

namespace {

std::vector<std::string> GEvents;

void Record(int kind, int reserved, int64_t maximum, int64_t position, int step,
            const std::string& text) {
  GEvents.push_back(std::to_string(kind) + " " + std::to_string(reserved) + " " +
                    std::to_string(maximum) + " " + std::to_string(position) + " " +
                    std::to_string(step) + " " + text);
}

}  // namespace

TEST(ProgBar, ReportsBecomeEventsAndTheDestructorFinishes) {
  GEvents.clear();
  {
    TProgBar bar(Record);
    bar.SetRange(1, 11);
    bar.StepText("10 KB of 20 KB");
    bar.SetCaption("Setup.exe");  // no event
    EXPECT_EQ(bar.Caption(), "Setup.exe");
    EXPECT_FALSE(bar.Cancelled());
  }
  EXPECT_EQ(GEvents,
            (std::vector<std::string>{"0 0 11 1 1 ", "1 0 0 0 0 10 KB of 20 KB", "0 0 0 0 1 "}));
  TProgBar silent(nullptr);  // without an event procedure nothing happens
  silent.SetRange(0, 10);
  silent.StepText("x");
}
