// The message box's text rules that need no window: the caption line, bold
// spans and button sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/KMsgBox.h"

TEST(MsgBoxText, CaptionLineUpperCasesOnlyTheKnownCaptions) {
  EXPECT_EQ(CaptionLine("Confirm"), "CONFIRM");
  EXPECT_EQ(CaptionLine("Attention"), "ATTENTION");
  EXPECT_EQ(CaptionLine("My Product 2.0"), "My Product 2.0");
  EXPECT_EQ(CaptionLine("confirm"), "confirm");  // case-sensitive
}

TEST(MsgBoxText, BoldSpansAreCutOutAndStrayTagsVanish) {
  const struct {
    const char *Text, *Plain;
    std::vector<std::pair<int, int>> Spans;
  } cases[] = {
      {"a<B>bold</b> c<b>D</B>", "abold cD", {{1, 5}, {7, 8}}},
      {"<b>x</b> plain <B>open", "x plain open", {{0, 1}}},  // unclosed: no span
      {"end</B></b> only", "end only", {}},
      {"<b></b>z", "z", {{0, 0}}},
      {"<<no tags>>", "<<no tags>>", {}},
  };
  for (const auto& c : cases) {
    std::vector<TBoldSpan> spans;
    EXPECT_EQ(ExtractBoldSpans(c.Text, spans), c.Plain);
    std::vector<std::pair<int, int>> got;
    for (const TBoldSpan& s : spans) got.push_back({s.Start, s.End});
    EXPECT_EQ(got, c.Spans) << c.Text;
  }
}

// The icon bits never change the buttons; sets beyond the six known ones
// have none (the box then closes only from its window menu).
TEST(MsgBoxText, ButtonSetsIgnoreIconBitsAndUnknownSetsHaveNone) {
  const struct {
    unsigned Flags;
    std::vector<int> Items, Results;
  } cases[] = {
      {0x22, {4, 5, 6}, {3, 4, 5}},
      {0x03, {2, 3, 1}, {6, 7, 2}},
      {0x06, {}, {}},
      {0x0F, {}, {}},
  };
  for (const auto& c : cases) {
    int items[3], results[3];
    int n = MsgBoxButtons(c.Flags, items, results);
    EXPECT_EQ(std::vector<int>(items, items + n), c.Items) << c.Flags;
    EXPECT_EQ(std::vector<int>(results, results + n), c.Results) << c.Flags;
  }
}
