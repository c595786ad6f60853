// Dates and the clock: date-time values, their texts in logs and INI values,
// the date-pattern formatter of the date macro, the millisecond clock.
//
// Date-time values are days since 30 December 1899, local time; the fraction
// is the time of day (for negative values the fraction's magnitude is the
// time of day, as usual for this representation). A value of -1 given to a
// date text stands for the current time; other values are clamped into the
// years 1 … 9999.
//
// The portable functions take what they need from the locale as arguments
// (TLocaleDates); the forms without them are the thin Win32 layer, which
// reads the user's locale (natively: English names, "/" and ":").
#pragma once

#include <cstdint>
#include <string>

// The locale's parts of a date text: the full month names as a delimited
// list whose item m is month m (item 0 empty: "||Januar|Februar|...|"; empty
// for the English names), and the date and time separators that "/" and ":"
// of a pattern stand for.
struct TLocaleDates {
  std::string MonthNames;
  std::string DateSep = "/";
  std::string TimeSep = ":";
};

// The user locale's month names and separators, or its separators only
// with English month names (English ones and "/" and ":" where a value cannot
// be read; natively always those).
TLocaleDates UserLocaleDates();
TLocaleDates UserLocaleSeparators();

// Current local time.
double Now();
// Date value of a calendar date (proleptic Gregorian; year 1..9999). Invalid
// dates give 0.
double EncodeDate(int year, int month, int day);
// Date and time of day combined; out-of-range time parts give midnight.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
void DecodeDate(double value, int& year, int& month, int& day);
void DecodeTime(double value, int& hour, int& minute, int& second, int& ms);
// Whole seconds since 30 December 1899 (the agent's stored time values):
// value × 86,400 rounded to the nearest second; and back.
int64_t DateTimeToSeconds(double value);
double SecondsToDateTime(int64_t seconds);

// A date-time pattern: "dd" day, "mm" month, "mmmm" the locale's month name,
// "yy" and "yyyy" year, "hh" hour (24-hour), "nn" minutes, "ss" seconds (all
// two digits, the year four; letters in any case); "/" and ":" are the
// locale's separators; everything else is copied.
std::string FormatDatePattern(const std::string& pattern, double value, const TLocaleDates& locale);

// The value of the date macro's code character for the time `now`: "#"
// "dd/mmmm/yyyy", "0" whole days between 1 January 2000 and now, "1" to "7"
// the numeric forms. False (and `value` untouched) for any other code.
bool DateMacroValue(char code, double now, const TLocaleDates& locale, std::string& value);

// "dd/mm/yy HH:NN:SS" with the locale's separators.
std::string DateTimeText(double value, const TLocaleDates& locale);
std::string DateTimeText(double value = -1);
// Day "-" upper-case English month abbreviation "-" four-digit year, e.g.
// 07-MAR-2024.
std::string DateStampText(double value = -1);
// DateStampText, `separator`, then "HH:NN:SS" with the locale's time
// separator.
std::string DateStampTimeText(double value, const std::string& separator,
                              const TLocaleDates& locale);
std::string DateStampTimeText(double value = -1, const std::string& separator = " ");

// Milliseconds of a monotonic clock; only differences are meaningful.
int64_t NowMs();
