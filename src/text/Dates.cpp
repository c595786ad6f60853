// Dates and the clock (see Dates.h).
#ifdef _WIN32
#include <windows.h>
#endif

#include "text/Dates.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "text/Common.h"
#include "text/KSUB.h"

namespace {

const int64_t KMsPerDay = 86400000;
// Date values of 1 January 0001 and 31 December 9999.
const int64_t KMinDay = -693593;
const int64_t KMaxDay = 2958465;
const int64_t KDay0 = -25569;  // 30 December 1899 in days since 1 January 1970

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int KDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : KDays[m - 1];
}

double Clamped(double value) {
  if (std::isnan(value)) return 0;
  if (value < static_cast<double>(KMinDay)) return static_cast<double>(KMinDay);
  if (value >= static_cast<double>(KMaxDay + 1)) return static_cast<double>(KMaxDay) + 0.99999;
  return value;
}

// A date value split into whole days and milliseconds of the day.
struct TStamp {
  int64_t Days;
  int64_t Ms;
};

TStamp ToStamp(double value) {
  value = Clamped(value);
  TStamp s;
  s.Days = static_cast<int64_t>(value);  // truncates toward zero
  const double frac = std::fabs(value - static_cast<double>(s.Days));
  s.Ms = static_cast<int64_t>(RoundHalfAway(frac * static_cast<double>(KMsPerDay)));
  if (s.Ms >= KMsPerDay) s.Ms = KMsPerDay - 1;
  return s;
}

double EncodeTime(int hour, int minute, int second, int ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
      ms > 999)
    return 0;
  const int64_t total = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return static_cast<double>(total) / static_cast<double>(KMsPerDay);
}

// The value a date text shows: -1 is the current time; the rest clamped.
double DateArg(double value) {
  return value == -1 ? Now() : Clamped(value);
}

std::string TwoDigits(int v) {
  return ZeroPad(v, 2);
}

// "hh:nn:ss" with `timeSep` for ":".
std::string TimeText(double value, const std::string& timeSep) {
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  return TwoDigits(h) + timeSep + TwoDigits(n) + timeSep + TwoDigits(s);
}

std::string MonthAbbrev(int month) {
  return SUB::Item("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", month, "");
}

const char* const KEnglishMonths =
    "||January|February|March|April|May|June|July|August|September|October|November|December|";

const std::string& MonthNamesOf(const TLocaleDates& locale) {
  static const std::string english(KEnglishMonths);
  return locale.MonthNames.empty() ? english : locale.MonthNames;
}

// Length of the run of `c` (any case) at `p`.
size_t RunOf(const std::string& s, size_t p, char c) {
  size_t n = 0;
  while (p + n < s.size() && UpCase(s[p + n]) == c) ++n;
  return n;
}

}  // namespace

double Now() {
#ifdef _WIN32
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                        st.wMilliseconds);
#else
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm tmv;
  localtime_r(&secs, &tmv);
  return EncodeDateTime(tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min,
                        tmv.tm_sec > 59 ? 59 : tmv.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
#endif
}

double EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return 0;
  return static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - KDay0);
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  const double d = EncodeDate(year, month, day);
  const double t = EncodeTime(hour, minute, second, ms);
  return d >= 0 ? d + t : d - t;
}

void DecodeDate(double value, int& year, int& month, int& day) {
  CivilFromDays(ToStamp(value).Days + KDay0, year, month, day);
}

void DecodeTime(double value, int& hour, int& minute, int& second, int& ms) {
  int64_t t = ToStamp(value).Ms;
  ms = static_cast<int>(t % 1000);
  t /= 1000;
  second = static_cast<int>(t % 60);
  t /= 60;
  minute = static_cast<int>(t % 60);
  hour = static_cast<int>(t / 60);
}

int64_t DateTimeToSeconds(double value) {
  return RoundHalfAway(Clamped(value) * 86400.0);
}

double SecondsToDateTime(int64_t seconds) {
  return static_cast<double>(seconds) / 86400.0;
}

std::string FormatDatePattern(const std::string& pattern, double value,
                              const TLocaleDates& locale) {
  const double v = DateArg(value);
  int year, month, day, hour, minute, second, ms;
  DecodeDate(v, year, month, day);
  DecodeTime(v, hour, minute, second, ms);
  std::string out;
  for (size_t p = 0; p < pattern.size();) {
    const char c = UpCase(pattern[p]);
    const size_t run = RunOf(pattern, p, c);
    size_t used = 2;
    if (c == 'Y' && run >= 4) {
      out += ZeroPad(year, 4);
      used = 4;
    } else if (c == 'Y' && run >= 2) {
      out += TwoDigits(year % 100);
    } else if (c == 'M' && run >= 4) {
      out += SUB::Item(MonthNamesOf(locale), month, "");
      used = 4;
    } else if (c == 'M' && run >= 2) {
      out += TwoDigits(month);
    } else if (c == 'D' && run >= 2) {
      out += TwoDigits(day);
    } else if (c == 'H' && run >= 2) {
      out += TwoDigits(hour);
    } else if (c == 'N' && run >= 2) {
      out += TwoDigits(minute);
    } else if (c == 'S' && run >= 2) {
      out += TwoDigits(second);
    } else {
      used = 1;
      out += c == '/' ? locale.DateSep : c == ':' ? locale.TimeSep : std::string(1, pattern[p]);
    }
    p += used;
  }
  return out;
}

bool DateMacroValue(char code, double now, const TLocaleDates& locale, std::string& value) {
  static const char* const KPatterns[8] = {nullptr,      "dd-mm-yy",           "mm-dd-yy",
                                           "yy-mm-dd",   "dd-mm-yyyy",         "mm-dd-yyyy",
                                           "yyyy-mm-dd", "yyyy-mm-dd hh:nn:ss"};
  if (code == '#') {
    value = FormatDatePattern("dd/mmmm/yyyy", now, locale);
  } else if (code == '0') {
    value = IntToStr(static_cast<int64_t>(std::fabs(DateArg(now) - EncodeDate(2000, 1, 1))));
  } else if (code >= '1' && code <= '7') {
    value = FormatDatePattern(KPatterns[code - '0'], now, locale);
  } else {
    return false;
  }
  return true;
}

// "dd/mm/yy hh:nn:ss" written out: the log's time stamps need no pattern.
std::string DateTimeText(double value, const TLocaleDates& locale) {
  const double v = DateArg(value);
  int y, m, d;
  DecodeDate(v, y, m, d);
  return TwoDigits(d) + locale.DateSep + TwoDigits(m) + locale.DateSep + TwoDigits(y % 100) + " " +
         TimeText(v, locale.TimeSep);
}

std::string DateTimeText(double value) {
  return DateTimeText(value, UserLocaleSeparators());
}

std::string DateStampText(double value) {
  int y, m, d;
  DecodeDate(DateArg(value), y, m, d);
  return TwoDigits(d) + "-" + MonthAbbrev(m) + "-" + ZeroPad(y, 4);
}

std::string DateStampTimeText(double value, const std::string& separator,
                              const TLocaleDates& locale) {
  const double v = DateArg(value);
  return DateStampText(v) + separator + TimeText(v, locale.TimeSep);
}

std::string DateStampTimeText(double value, const std::string& separator) {
  return DateStampTimeText(value, separator, UserLocaleSeparators());
}

#ifdef _WIN32
namespace {

// One locale value; `fallback` when it cannot be read.
std::string LocaleText(LCTYPE type, const std::string& fallback) {
  char buf[80] = {};
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
  return n > 1 ? std::string(buf) : fallback;
}

}  // namespace

TLocaleDates UserLocaleSeparators() {
  TLocaleDates l;
  l.DateSep = LocaleText(LOCALE_SDATE, l.DateSep);
  l.TimeSep = LocaleText(LOCALE_STIME, l.TimeSep);
  return l;
}

TLocaleDates UserLocaleDates() {
  TLocaleDates l = UserLocaleSeparators();
  std::string names = "||";
  for (int m = 1; m <= 12; ++m)
    names += LocaleText(LOCALE_SMONTHNAME1 + static_cast<LCTYPE>(m - 1),
                        SUB::Item(KEnglishMonths, m, "")) +
             "|";
  l.MonthNames = names;
  return l;
}

int64_t NowMs() {
  static int64_t freq = 0;
  if (freq == 0) {
    LARGE_INTEGER f;
    freq = QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000;
  }
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / freq * 1000 + c.QuadPart % freq * 1000 / freq;
}
#else
TLocaleDates UserLocaleDates() {
  return TLocaleDates();
}

TLocaleDates UserLocaleSeparators() {
  return TLocaleDates();
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
#endif
