// The message box's text rules that need no window: the caption line, bold
// spans and button sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/KMsgBox.h"

TEST(MsgBoxText, CaptionLineUpperCasesOnlyTheKnownCaptions)
{
  EXPECT_EQ(CaptionLine("Confirm"), "CONFIRM");
  EXPECT_EQ(CaptionLine("Error"), "ERROR");
  EXPECT_EQ(CaptionLine("Attention"), "ATTENTION");
  EXPECT_EQ(CaptionLine("My Product 2.0"), "My Product 2.0");
  // Case-sensitive: a differently written caption stays as it is.
  EXPECT_EQ(CaptionLine("confirm"), "confirm");
}

TEST(MsgBoxText, BoldSpansAreCutOutWithTheirPositions)
{
  std::vector<TBoldSpan> spans;
  EXPECT_EQ(ExtractBoldSpans("a<B>bold</b> c<b>D</B>", spans), "abold cD");
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].Start, 1);
  EXPECT_EQ(spans[0].End, 5);
  EXPECT_EQ(spans[1].Start, 7);
  EXPECT_EQ(spans[1].End, 8);
}

TEST(MsgBoxText, UnclosedAndStrayTagsVanishWithoutSpans)
{
  std::vector<TBoldSpan> spans;
  EXPECT_EQ(ExtractBoldSpans("<b>x</b> plain <B>open", spans), "x plain open");
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].Start, 0);
  EXPECT_EQ(spans[0].End, 1);

  EXPECT_EQ(ExtractBoldSpans("end</B></b> only", spans), "end only");
  EXPECT_TRUE(spans.empty());

  // "<b></b>" gives an empty span; text without tags is untouched.
  EXPECT_EQ(ExtractBoldSpans("<b></b>z", spans), "z");
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].Start, spans[0].End);
  EXPECT_EQ(ExtractBoldSpans("<<no tags>>", spans), "<<no tags>>");
  EXPECT_TRUE(spans.empty());
}

TEST(MsgBoxText, ButtonSets)
{
  int items[3], results[3];
  ASSERT_EQ(MsgBoxButtons(0x10, items, results), 1);
  EXPECT_EQ(items[0], 0);
  EXPECT_EQ(results[0], 1);

  ASSERT_EQ(MsgBoxButtons(0x22, items, results), 3);  // abort, retry, ignore
  EXPECT_EQ(items[0], 4);
  EXPECT_EQ(items[2], 6);
  EXPECT_EQ(results[0], 3);
  EXPECT_EQ(results[1], 4);
  EXPECT_EQ(results[2], 5);

  ASSERT_EQ(MsgBoxButtons(3, items, results), 3);  // yes, no, cancel
  EXPECT_EQ(results[2], 2);
  EXPECT_EQ(items[2], 1);

  ASSERT_EQ(MsgBoxButtons(0x24, items, results), 2);
  EXPECT_EQ(items[0], 2);
  EXPECT_EQ(items[1], 3);
  EXPECT_EQ(results[1], 7);

  ASSERT_EQ(MsgBoxButtons(5, items, results), 2);  // retry, cancel
  EXPECT_EQ(results[0], 4);
  EXPECT_EQ(results[1], 2);

  EXPECT_EQ(MsgBoxButtons(6, items, results), 0);
  EXPECT_EQ(MsgBoxButtons(0x0F, items, results), 0);
}
