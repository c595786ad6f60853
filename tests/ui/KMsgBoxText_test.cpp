#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/KMsgBox.h"

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

// Sets beyond the six known ones have no buttons (the box then closes only
// from its window menu).
TEST(MsgBoxText, UnknownButtonSetsHaveNone) {
  int items[3], results[3];
  for (unsigned flags : {0x06u, 0x0Fu, 0x4Fu}) EXPECT_EQ(MsgBoxButtons(flags, items, results), 0);
}
