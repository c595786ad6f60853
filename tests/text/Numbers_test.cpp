#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "text/Common.h"

namespace {

TEST(Numbers, SizeTextRoundsUpWithoutDecimalsAndGroupsThousands) {
  EXPECT_EQ(KBText(1025), "2");
  EXPECT_EQ(SizeText(-9876543, 1, 0, true), "-9,876,543");
  EXPECT_EQ(SizeText(1234567890, 1024, 2, true), "1,205,632.71");
  EXPECT_EQ(SizeText(100, 0), "100");  // no division by zero
  EXPECT_EQ(SizeText(INT64_MAX, 1), "9223372036854775807");
}

TEST(Numbers, FloatTextsParsingAndPadding) {
  EXPECT_DOUBLE_EQ(ParseFloat("6,2"), 6.2);
  EXPECT_DOUBLE_EQ(ParseFloat("4,567.5"), 4567.5);
  EXPECT_DOUBLE_EQ(ParseFloat(" -1.5e2 "), -150);
  EXPECT_DOUBLE_EQ(ParseFloat("1.2.3", 9), 9);
  EXPECT_EQ(PadLeft("abcdefghijk", -6), "abcde.");
  EXPECT_EQ(PadLeft("abc", -2), "abc");
  EXPECT_EQ(PadLeft("abcdef", -3), "ab.");
  for (int i = 0; i < 100; ++i)  // bounds in either order
    EXPECT_LE(std::abs(StrToInt64Def(RandomText(3, -3), 100)), 3);
  EXPECT_NE(StrToInt64Def(RandomText(INT64_MIN, INT64_MAX), 1), 1);
}

// Fixed-point texts are computed without printf; they must match "%.*f"
// exactly: ties to even on the exact binary value, every digit of huge and
// tiny values, the sign of negative zero and of values rounded to zero.
TEST(Numbers, FixedPointTextsMatchPrintf) {
  auto printfText = [](double v, int d) {
    char b[2048];
    std::snprintf(b, sizeof b, "%.*f", d, v);
    return std::string(b);
  };
  const double tricky[] = {0.0,      -0.0,     0.5,      1.5,        2.5,
                           -2.5,     0.125,    0.15,     2.675,      1.005,
                           9.995,    -0.001,   1e22,     1e23,       DBL_MAX,
                           -DBL_MAX, DBL_MIN,  4.9e-324, 1e15 + 0.5, 1205632.7109375,
                           INFINITY, -INFINITY};
  for (double v : tricky)
    for (int d = 0; d <= 30; ++d)
      ASSERT_EQ(FloatText(v, d, false), printfText(v, d)) << v << " " << d;
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isnan(v)) continue;
    const int d = static_cast<int>(rng() % 31);
    ASSERT_EQ(FloatText(v, d, false), printfText(v, d)) << v << " " << d;
  }
  EXPECT_EQ(FloatText(2.5, -3, false), "2");  // decimals clamped to 0..30
  EXPECT_EQ(FloatText(0.1, 40, false), printfText(0.1, 30));
}

// The stub rounds without the C library; it must agree with llround,
// halves away from zero and the largest value below a half included.
TEST(Numbers, RoundingMatchesLlround) {
  for (double v :
       {0.5, 1.5, 2.5, 0.0, 9e18, 0.49999999999999994, 4503599627370495.5, 4503599627370497.0})
    for (double signedV : {v, -v})
      EXPECT_EQ(RoundHalfAway(signedV), std::llround(signedV)) << signedV;
  std::mt19937_64 rng(11);
  for (int i = 0; i < 10000; ++i) {
    const double v = (static_cast<double>(rng() % 2000001) - 1000000.0) / 8.0 + (rng() % 2) * 1e-9;
    ASSERT_EQ(RoundHalfAway(v * 86400.0), std::llround(v * 86400.0)) << v;
  }
}

}  // namespace
