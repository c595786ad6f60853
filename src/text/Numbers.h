// Number texts: sizes in KB and MB, fixed-point texts, tolerant parsing of
// decimal numbers, padding, random numbers.
#pragma once

#include <cstdint>
#include <string>

// Quotient bytes / unit: rounded up with decimals < 1, else fixed-point with
// 2, 3 or 4 decimals (1 for any other value); `thousands` groups with commas.
std::string SizeText(int64_t bytes, int64_t unit, int decimals = 0, bool thousands = false);
std::string KBText(int64_t bytes, int decimals = 0, bool thousands = false);
std::string MBText(int64_t bytes, int decimals = 0, bool thousands = false);
// printf's "%.*f" (exactly, without the C library); with `strip` leading and
// trailing zeros go, then a point at either end ("12.500" 12.5, "0.50" .5).
std::string FloatText(double value, int decimals = 2, bool strip = false);
// "6,2" reads as 6.2, "4,567.5" as 4567.5; failure gives `def`.
double ParseFloat(const std::string& text, double def = 0.0);
std::string ZeroPad(int64_t number, int width);
// Fills in front up to `width`; a width below -2 also cuts a longer text to
// -width characters ending in ".".
std::string PadLeft(const std::string& text, int width, char fill = ' ');
// llround without the C library: halves go away from zero. |value| must
// stay below 2^63.
int64_t RoundHalfAway(double value);
// Decimal text of a random number in low … high.
std::string RandomText(int64_t low, int64_t high);
