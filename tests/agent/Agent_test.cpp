#include <gtest/gtest.h>

#include "agent/ProcessViewer.h"
#include "agent/StubGlob.h"
#include "text/Common.h"

TEST(Descriptors, SwitchesAreOnOnlyForExactlyOne) {
  for (const char* on : {"1", " 1 "}) EXPECT_TRUE(SwitchOn(on)) << on;
  for (const char* off : {"yes", "true", "", "0", "11", "1x"}) EXPECT_FALSE(SwitchOn(off)) << off;
}

TEST(Descriptors, ValidVersionsMatchWholeNumbersOnly) {
  struct {
    const char* List;
    int Version;
    bool Ok;
  } cases[] = {{"3,4", 3, true},   {"3,4", 4, true}, {"3,4", 34, false},
               {"3, 4", 4, false}, {"", 7, true},    {"34", 3, false}};
  for (const auto& c : cases)
    EXPECT_EQ(c.Ok, ValidVersionsOK(c.List, c.Version)) << c.List << " / " << c.Version;
}

TEST(Descriptors, SizesWithin99BytesPassAndAnUnknownSizeNever) {
  EXPECT_TRUE(SizeWithinTolerance(1000099, 1000000) && SizeWithinTolerance(999901, 1000000));
  EXPECT_FALSE(SizeWithinTolerance(1000100, 1000000) || SizeWithinTolerance(999900, 1000000));
  // A missing inform page (-1) against the default announced size 0.
  EXPECT_FALSE(SizeWithinTolerance(-1, 0));
}

TEST(Overrides, FieldsThatAreEmptyOrNoNumberOrOutOfRangeLeaveAnOverrideAlone) {
  TOverrideSet set;
  set.Parse("|1||0|x|");
  EXPECT_EQ("|1|255|0|255|255|255|255|255|", set.Text());
  set.Parse("5|6");  // without the outer bars the fields still count from 0
  set.Set(6, 1);     // indices 6 and 7 have no setter
  set.Set(5, 256 + 1);
  EXPECT_EQ("|5|6|0|255|255|1|255|255|", set.Text());
}

TEST(Tasklist, PidOfTheImageNameByDirection) {
  const std::string out =
      "\r\n\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
      "\"Product.exe\",\"100\",\"Console\",\"1\",\"1,024 K\"\r\n"
      "\"other.exe\",\"7\",\"Console\",\"1\",\"8 K\"\r\n"
      "\"PRODUCT.EXE\",\"200\",\"Console\",\"1\",\"9 K\"\r\n";
  EXPECT_EQ(200u, TasklistPid(out, "product.exe", false));
  EXPECT_EQ(100u, TasklistPid(out, "product.exe", true));
  EXPECT_EQ(0u, TasklistPid(out, "Image Name", false));  // the header is not a process
  EXPECT_EQ(0u, TasklistPid(out, "missing.exe", true));
  EXPECT_EQ(0u, TasklistPid("\"Image Name\",\"PID\"\r\n\"a.exe\",\"0\"\r\n", "a.exe", false));
}

TEST(MainWindow, OwnerOfTheOtherWindowsWinsOverTitleAndVisibility) {
  // Handles 1..4: 2 owns 3 and 4; 1 is unowned, titled and visible.
  std::vector<TWindowFacts> w = {
      {1, 1, true, true}, {3, 2, true, true}, {4, 2, true, true}, {2, 2, false, false}};
  EXPECT_EQ(3, ChooseMainWindow(w));
  // Two unowned visible windows: the titled one, wherever it stands.
  std::vector<TWindowFacts> two = {{5, 5, false, true}, {6, 6, true, true}};
  EXPECT_EQ(1, ChooseMainWindow(two));
  EXPECT_EQ(-1, ChooseMainWindow({}));
}
