#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "text/Common.h"

namespace {

TEST(Dates, DateTextsRoundTripIncludingDaysBefore1899AndClamp) {
  TLocaleDates dots;
  dots.TimeSep = ".";
  EXPECT_EQ(EncodeDate(2023, 2, 29), 0);
  EXPECT_EQ(DateTimeText(EncodeDateTime(2024, 3, 7, 23, 59, 58, 999), {}), "07/03/24 23:59:58");
  // Before 1899 the fraction is still the time of day.
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_EQ(DateStampTimeText(-1.25, " @ ", dots), "29-DEC-1899 @ 06.00.00");
  EXPECT_EQ(DateStampText(1e12), "31-DEC-9999");
  EXPECT_EQ(DateTimeText(NAN), "30/12/99 00:00:00");
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  EXPECT_EQ(DateStampText(-1).substr(7), ZeroPad(y, 4));  // -1 is now
}

// The date macro's codes: months are never minutes, the locale gives the
// month name and both separators, and day counts are whole days either side
// of 2000.
TEST(Dates, DateMacroCodesUseTheLocalesNamesAndSeparators) {
  TLocaleDates de;
  de.MonthNames = "||Jan|Feb|M\xE4rz|Apr|Mai|Jun|Jul|Aug|Sep|Okt|Nov|Dez|";
  de.DateSep = ".";
  de.TimeSep = "'";
  const double t = EncodeDateTime(2026, 3, 5, 14, 7, 9);
  const struct {
    char Code;
    double When;
    const char* Value;
  } cases[] = {
      {'#', t, "05.M\xE4rz.2026"},
      {'7', t, "2026-03-05 14'07'09"},
      {'0', EncodeDate(2000, 1, 1), "0"},
      {'0', EncodeDateTime(2000, 1, 2, 12, 0, 0), "1"},
      {'0', EncodeDateTime(1999, 12, 31, 12, 0, 0), "0"},
      {'0', EncodeDate(1999, 1, 1), "365"},
  };
  for (const auto& c : cases) {
    std::string value = "untouched";
    EXPECT_TRUE(DateMacroValue(c.Code, c.When, de, value)) << c.Code;
    EXPECT_EQ(value, c.Value) << c.Code;
  }
  std::string value = "untouched";
  EXPECT_FALSE(DateMacroValue('9', t, de, value));
  EXPECT_FALSE(DateMacroValue('\0', t, de, value));
  EXPECT_EQ(value, "untouched");
  EXPECT_EQ(FormatDatePattern("YYYY/MM/DD HH:NN:SS x", t, de), "2026.03.05 14'07'09 x");
}

// Stored agent times are whole seconds, rounded: a time read back from its
// seconds gives the same seconds, and half a second rounds up.
TEST(Dates, SecondsRoundToTheNearestSecondAndRoundTrip) {
  const double noon = EncodeDateTime(2026, 3, 5, 12, 0, 0);
  const int64_t base = DateTimeToSeconds(noon);
  EXPECT_EQ(base % 86400, 43200);
  EXPECT_EQ(DateTimeToSeconds(EncodeDateTime(2026, 3, 5, 12, 0, 0, 499)), base);
  EXPECT_EQ(DateTimeToSeconds(EncodeDateTime(2026, 3, 5, 12, 0, 0, 600)), base + 1);
  EXPECT_EQ(DateTimeToSeconds(EncodeDateTime(2026, 3, 5, 11, 59, 59, 999)), base);
  std::mt19937_64 rng(11);
  for (int i = 0; i < 100000; ++i) {
    const int64_t s = static_cast<int64_t>(rng() % (200000ull * 86400));
    ASSERT_EQ(DateTimeToSeconds(SecondsToDateTime(s)), s);
  }
}

}  // namespace
