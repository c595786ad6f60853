// Text toolbox (see Common.h).
#ifdef _WIN32
#include <windows.h>
#endif

#include "text/Common.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "text/KSUB.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const int64_t kMsPerDay = 86400000;
// Date values of 1 January 0001 and 31 December 9999.
const int64_t kMinDay = -693593;
const int64_t kMaxDay = 2958465;
const int64_t kDay0 = -25569;  // 30 December 1899 in days since 1 January 1970

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
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A date value split into whole days and milliseconds of the day, clamped
// into the years 1 … 9999.
struct Stamp {
  int64_t days;
  int64_t ms;
};

Stamp ToStamp(double value) {
  if (std::isnan(value)) value = 0;
  if (value < static_cast<double>(kMinDay)) value = static_cast<double>(kMinDay);
  if (value >= static_cast<double>(kMaxDay + 1)) value = static_cast<double>(kMaxDay) + 0.99999;
  Stamp s;
  s.days = static_cast<int64_t>(value);  // truncates toward zero
  double frac = std::fabs(value - static_cast<double>(s.days));
  s.ms = static_cast<int64_t>(std::llround(frac * static_cast<double>(kMsPerDay)));
  if (s.ms >= kMsPerDay) s.ms = kMsPerDay - 1;
  return s;
}

// The value a date text shows: -1 is the current time; the rest clamped.
double DateArg(double value) {
  if (value == -1) return Now();
  return ClampFloat(std::isnan(value) ? 0 : value, static_cast<double>(kMinDay),
                    static_cast<double>(kMaxDay) + 0.99999);
}

std::string TwoDigits(int v) {
  return ZeroPad(v, 2);
}

std::string TimeText(double value, const std::string& timeSep) {
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  return TwoDigits(h) + timeSep + TwoDigits(n) + timeSep + TwoDigits(s);
}

// Unsigned big number, 32-bit limbs, least significant first: just what the
// exact decimal expansion of a double needs.
using BigNum = std::vector<uint32_t>;

void BigMul(BigNum& n, uint32_t f, uint32_t add = 0) {
  uint64_t carry = add;
  for (uint32_t& limb : n) {
    carry += static_cast<uint64_t>(limb) * f;
    limb = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  if (carry) n.push_back(static_cast<uint32_t>(carry));
}

bool BigBit(const BigNum& n, size_t bit) {
  return bit / 32 < n.size() && (n[bit / 32] >> (bit % 32) & 1u);
}

// Drops the lowest `bits` bits and rounds the rest to nearest, ties to even.
void BigShiftRound(BigNum& n, size_t bits) {
  if (bits == 0) return;
  const bool half = BigBit(n, bits - 1);
  bool below = false;
  for (size_t b = 0; b + 1 < bits && !below; ++b) below = BigBit(n, b);
  BigNum out;
  for (size_t i = bits / 32; i < n.size(); ++i) {
    uint64_t v = n[i] >> (bits % 32);
    if (bits % 32 && i + 1 < n.size()) v |= static_cast<uint64_t>(n[i + 1]) << (32 - bits % 32);
    out.push_back(static_cast<uint32_t>(v));
  }
  n.swap(out);
  if (half && (below || BigBit(n, 0))) {
    n.push_back(0);
    for (uint32_t& limb : n)
      if (++limb != 0) break;
  }
}

std::string BigDecimal(BigNum n) {
  std::string digits;
  while (!n.empty()) {
    uint64_t rem = 0;
    for (size_t i = n.size(); i-- > 0;) {
      const uint64_t cur = rem << 32 | n[i];
      n[i] = static_cast<uint32_t>(cur / 1000000000u);
      rem = cur % 1000000000u;
    }
    while (!n.empty() && n.back() == 0) n.pop_back();
    for (int k = 0; k < 9 && (rem || !n.empty()); ++k, rem /= 10)
      digits.insert(digits.begin(), static_cast<char>('0' + rem % 10));
  }
  return digits;
}

// printf's "%.*f": the exact binary value rounded to `decimals` places, ties
// to even; "inf" and "nan" with their sign.
std::string FormatFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return sign + "nan";
  if (std::isinf(value)) return sign + "inf";
  int exp = 0;
  const double frac = std::frexp(std::fabs(value), &exp);
  // |value| = mant * 2^(exp - 53) exactly.
  const uint64_t mant = static_cast<uint64_t>(std::ldexp(frac, 53));
  exp -= 53;
  BigNum n{static_cast<uint32_t>(mant), static_cast<uint32_t>(mant >> 32)};
  for (int i = 0; i < decimals; ++i) BigMul(n, 10);
  for (; exp > 0; --exp) BigMul(n, 2);
  BigShiftRound(n, static_cast<size_t>(-exp));
  std::string digits = BigDecimal(n);
  if (digits.size() <= static_cast<size_t>(decimals))
    digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
  if (decimals > 0) digits.insert(digits.size() - static_cast<size_t>(decimals), 1, '.');
  return sign + digits;
}

uint64_t SplitMix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// File name of a path: the text after the last "\" or "/".
std::string FileNameOf(const std::string& path) {
  size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}

// The command line after its first token, by the usual Windows rules: a
// quoted program name runs to the closing quote, otherwise to the first blank.
std::string SkipFirstToken(const std::string& cmd) {
  size_t i = 0;
  while (i < cmd.size() && (cmd[i] == ' ' || cmd[i] == '\t')) ++i;
  if (i < cmd.size() && cmd[i] == '"') {
    size_t q = cmd.find('"', i + 1);
    return q == std::string::npos ? std::string() : cmd.substr(q + 1);
  }
  while (i < cmd.size() && cmd[i] != ' ' && cmd[i] != '\t') ++i;
  return cmd.substr(i);
}

}  // namespace

// ---------------------------------------------------------------- basics

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string TrimRight(const std::string& s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string Trim(const std::string& s) {
  return TrimLeft(TrimRight(s));
}

char UpCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperCase(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = UpCase(c);
  return out;
}

std::string LowerCase(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpCase(a[i]) != UpCase(b[i])) return false;
  return true;
}

size_t Pos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  size_t p = text.find(sub);
  return p == std::string::npos ? 0 : p + 1;
}

int64_t StrToInt64Def(const std::string& s, int64_t def) {
  const std::string t = Trim(s);
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    neg = t[i] == '-';
    ++i;
  }
  if (i >= t.size()) return def;
  const uint64_t limit = neg ? 9223372036854775808ull : 9223372036854775807ull;
  uint64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return def;
    const unsigned digit = static_cast<unsigned>(t[i] - '0');
    if (v > (limit - digit) / 10) return def;
    v = v * 10 + digit;
  }
  if (neg) return v == 9223372036854775808ull ? INT64_MIN : -static_cast<int64_t>(v);
  return static_cast<int64_t>(v);
}

std::string UIntToStr(uint64_t v) {
  char buf[24];
  char* p = buf + sizeof buf;
  *--p = '\0';
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  return p;
}

std::string IntToStr(int64_t v) {
  if (v >= 0) return UIntToStr(static_cast<uint64_t>(v));
  return "-" + UIntToStr(0 - static_cast<uint64_t>(v));
}

std::string HexDigits(uint64_t v, int width) {
  std::string s;
  do {
    s.insert(s.begin(), "0123456789ABCDEF"[v & 15]);
    v >>= 4;
  } while (v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return s;
}

// ---------------------------------------------------------------- dates

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
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDay0);
}

double EncodeTime(int hour, int minute, int second, int ms) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
      ms > 999)
    return 0;
  const int64_t total = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return static_cast<double>(total) / static_cast<double>(kMsPerDay);
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  const double d = EncodeDate(year, month, day);
  const double t = EncodeTime(hour, minute, second, ms);
  return d >= 0 ? d + t : d - t;
}

void DecodeDate(double value, int& year, int& month, int& day) {
  CivilFromDays(ToStamp(value).days + kDay0, year, month, day);
}

void DecodeTime(double value, int& hour, int& minute, int& second, int& ms) {
  int64_t t = ToStamp(value).ms;
  ms = static_cast<int>(t % 1000);
  t /= 1000;
  second = static_cast<int>(t % 60);
  t /= 60;
  minute = static_cast<int>(t % 60);
  hour = static_cast<int>(t / 60);
}

int DayOfWeek(double value) {
  const int64_t days = ToStamp(value).days;
  return static_cast<int>(((days - 1) % 7 + 7) % 7) + 1;
}

int64_t DateTimeToSeconds(double value) {
  const Stamp s = ToStamp(value);
  const int64_t secs = s.ms / 1000;
  return s.days * 86400 + (value < 0 ? -secs : secs);
}

double SecondsToDateTime(int64_t seconds) {
  return static_cast<double>(seconds) / 86400.0;
}

std::string MonthAbbrev(int month) {
  if (month < 1 || month > 12) return std::string();
  return SUB::Item("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", month, "");
}

// ---------------------------------------------------------------- mark-up

std::string MarkupToPlain(const std::string& text) {
  std::string s = ReplaceAll(text, "\\\\n", "\r\n");
  s = ReplaceAll(s, "\\\\t", "\t");
  s = ReplaceAllNoCase(s, "<P>", "\r\n");
  return ReplaceAllNoCase(s, "<T>", "\t");
}

// ---------------------------------------------------------------- command line

std::string GetParams(const std::string& rawCommandLine, const std::string& programPath) {
  const std::string name = FileNameOf(programPath);
  std::string rest;
  bool byName = false;
  size_t p;
  if (!name.empty() && (p = PosNoCase(name + "\"", rawCommandLine)) > 0) {
    rest = rawCommandLine.substr(p - 1 + name.size() + 1);
    byName = true;
  } else if (!name.empty() && (p = PosNoCase(name, rawCommandLine)) > 0) {
    rest = rawCommandLine.substr(p - 1 + name.size());
    byName = true;
  } else if (!programPath.empty() && (p = PosNoCase(programPath, rawCommandLine)) > 0) {
    rest = rawCommandLine;
    rest.erase(p - 1, programPath.size());
  } else {
    // The program was started under a name that is not its file name
    // (e.g. without ".exe"): its own path is still the first token.
    rest = SkipFirstToken(rawCommandLine);
  }
  if (byName && Trim(rest).size() == 1) rest.clear();
  return Trim(rest);
}

std::string GetSwitchValue(const std::string& rawCommandLine, const std::string& programPath,
                           const std::string& name, const std::string& def) {
  std::string key = Trim(name);
  if (key.empty()) return def;
  const char sc = key[0] == '-' || key[0] == '/' ? key[0] : '/';
  key = ReplaceAll(key, std::string(1, sc), "");
  if (key.empty()) return def;
  std::string list = " " + GetParams(rawCommandLine, programPath);
  list = ReplaceAll(list, "\"", "");
  list = ReplaceAll(list, std::string(" ") + sc, "\x01");
  list = "\x01" + list + "\x01";
  // A sentinel default that no switch value can equal: it holds the
  // delimiter of the switch list.
  static const std::string kMissing("\x01");
  std::string v = SUB::Value(list, key, kMissing);
  if (v == kMissing) return def;
  return Trim(v);
}

int64_t GetSwitchInt(const std::string& rawCommandLine, const std::string& programPath,
                     const std::string& name, int64_t def) {
  const std::string v = GetSwitchValue(rawCommandLine, programPath, name, "");
  return v.empty() ? def : StrToInt64Def(v, def);
}

bool HasSwitch(const std::string& rawCommandLine, const std::string& programPath,
               const std::string& name) {
  if (name.empty()) return false;
  return PosNoCase(name + " ", GetParams(rawCommandLine, programPath) + " ") > 0;
}

// ---------------------------------------------------------------- replace

std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, int firstIndex, int lastIndex,
                        bool ignoreCase, bool trimResult) {
  if (text.empty() || find.empty() || (!ignoreCase && text.find(find) == std::string::npos))
    return trimResult ? Trim(text) : text;
  if (lastIndex <= 0) lastIndex = firstIndex;
  const bool bounded = lastIndex > 0;
  const std::string upFind = ignoreCase ? UpperCase(find) : find;
  const size_t m = find.size();

  auto next = [&](size_t from) -> size_t {
    if (!ignoreCase) return text.find(find, from);
    for (size_t j = from; j + m <= text.size(); ++j) {
      if (UpCase(text[j]) != upFind[0]) continue;
      size_t k = 1;
      while (k < m && UpCase(text[j + k]) == upFind[k]) ++k;
      if (k == m) return j;
    }
    return std::string::npos;
  };

  std::string out;
  out.reserve(text.size() + 512);
  size_t i = 0;
  int64_t count = 0;
  while (i < text.size()) {
    const size_t j = next(i);
    if (j == std::string::npos) break;
    ++count;
    if (bounded && count > lastIndex) break;  // no later occurrence is replaced either
    out.append(text, i, j - i);
    if (count < firstIndex) {
      out += text[j];
      i = j + 1;
    } else {
      out += replacement;
      i = j + m;
    }
  }
  if (i < text.size()) out.append(text, i, std::string::npos);
  return trimResult ? Trim(out) : out;
}

std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement) {
  return ReplaceText(text, find, replacement, 0, 0, false, false);
}

std::string ReplaceAllNoCase(const std::string& text, const std::string& find,
                             const std::string& replacement) {
  return ReplaceText(text, find, replacement, 0, 0, true, false);
}

std::string ReplaceRepeated(const std::string& text, const std::string& find,
                            const std::string& replacement, bool trimResult) {
  std::string s = text;
  if (!find.empty() && replacement.find(find) == std::string::npos) {
    // A shorter replacement shrinks the text on every pass, so the loop
    // ends. Otherwise the passes are bounded: a rewrite that keeps
    // producing new occurrences must not hang the program.
    const bool shrinks = replacement.size() < find.size();
    size_t passes = text.size() + 64;
    while (s.find(find) != std::string::npos && (shrinks || passes-- > 0))
      s = ReplaceAll(s, find, replacement);
  }
  return trimResult ? Trim(s) : s;
}

// ---------------------------------------------------------------- small text functions

std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def, bool trim) {
  const size_t p = Pos(separator, text);
  if (p == 0) return def;
  std::string s = text.substr(0, p - 1);
  return trim ? Trim(s) : s;
}

std::string TextAfter(const std::string& text, const std::string& separator, const std::string& def,
                      bool ignoreCase, bool trim) {
  const size_t p = ignoreCase ? PosNoCase(separator, text) : Pos(separator, text);
  if (p == 0) return def;
  std::string s = text.substr(p - 1 + separator.size());
  return trim ? Trim(s) : s;
}

std::string WrapWith(const std::string& text, char ch, bool stripFirst) {
  std::string s = stripFirst ? StripChar(text, ch, true) : text;
  return std::string(1, ch) + s + ch;
}

std::string ReplaceChar(const std::string& text, char from, char to) {
  std::string out = text;
  for (char& c : out)
    if (c == from) c = to;
  return out;
}

std::string KeepChars(const std::string& text, const std::string& allowed,
                      const std::string& excluded) {
  std::string out;
  for (char c : text)
    if (allowed.find(c) != std::string::npos && excluded.find(c) == std::string::npos) out += c;
  return out;
}

std::string StripChar(const std::string& text, char ch, bool always) {
  if (text.size() == 1 && text[0] == ch) return std::string();
  if (text.empty() || !(always || (text.front() == ch && text.back() == ch))) return text;
  size_t a = 0, b = text.size();
  while (a < b && text[a] == ch) ++a;
  while (b > a && text[b - 1] == ch) --b;
  return text.substr(a, b - a);
}

std::string Unquote(const std::string& text) {
  return StripChar(Trim(text), '"', true);
}

std::string Quote(const std::string& text) {
  return "\"" + Unquote(text) + "\"";
}

size_t LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  const size_t p = text.rfind(sub);
  return p == std::string::npos ? 0 : p + 1;
}

bool EndsWith(const std::string& sub, const std::string& text, bool ignoreCase) {
  if (sub.size() > text.size()) return false;
  const std::string tail = text.substr(text.size() - sub.size());
  return ignoreCase ? SameText(sub, tail) : sub == tail;
}

bool EndsWithNoCase(const std::string& sub, const std::string& text) {
  return EndsWith(sub, text, true);
}

bool StartsWith(const std::string& sub, const std::string& text, bool ignoreCase) {
  if (sub.size() > text.size()) return false;
  const std::string head = text.substr(0, sub.size());
  return ignoreCase ? SameText(sub, head) : sub == head;
}

bool SameTextTrim(const std::string& a, const std::string& b) {
  return SameText(Trim(a), Trim(b));
}

size_t PosNoCase(const std::string& sub, const std::string& text) {
  return Pos(UpperCase(sub), UpperCase(text));
}

size_t PosFrom(const std::string& sub, const std::string& text, size_t from) {
  if (from < 1) from = 1;
  if (sub.empty() || from > text.size()) return 0;
  const size_t p = UpperCase(text).find(UpperCase(sub), from - 1);
  return p == std::string::npos ? 0 : p + 1;
}

int64_t HexToInt(const std::string& text, int64_t def) {
  std::string t = Trim(text);
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = Trim(t.substr(2));
  if (t.empty()) return 0;
  size_t i = 0;
  while (i + 1 < t.size() && t[i] == '0') ++i;
  if (t.size() - i > 16) return def;
  uint64_t v = 0;
  for (; i < t.size(); ++i) {
    const char c = UpCase(t[i]);
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return def;
    v = (v << 4) | digit;
  }
  return static_cast<int64_t>(v);
}

std::string LastErrorText(uint32_t code) {
#ifdef _WIN32
  char* buf = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&buf), 0, nullptr);
  std::string text;
  if (n > 0 && buf) text = Trim(std::string(buf, n));
  if (buf) LocalFree(buf);
  if (!text.empty()) return text;
  return "Error Reading \"System error " + IntToStr(code) + "\"";
#else
  const char* s = std::strerror(static_cast<int>(code));
  return s ? std::string(s) : "Error Reading \"System error " + IntToStr(code) + "\"";
#endif
}

std::string LastErrorText() {
#ifdef _WIN32
  return LastErrorText(static_cast<uint32_t>(GetLastError()));
#else
  return LastErrorText(static_cast<uint32_t>(errno));
#endif
}

std::string ChooseText(bool flag, const std::string& a, const std::string& b) {
  return flag ? a : b;
}

int64_t ChooseInt(bool flag, int64_t a, int64_t b) {
  return flag ? a : b;
}

int64_t MinInt64(int64_t a, int64_t b) {
  return a < b ? a : b;
}

int64_t MaxInt64(int64_t a, int64_t b) {
  return a > b ? a : b;
}

int64_t ClampInt64(int64_t value, int64_t low, int64_t high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

double ClampFloat(double value, double low, double high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

// ---------------------------------------------------------------- date texts

std::string DateTimeText(double value, const std::string& dateSep, const std::string& timeSep) {
  const double v = DateArg(value);
  int y, m, d;
  DecodeDate(v, y, m, d);
  return TwoDigits(d) + dateSep + TwoDigits(m) + dateSep + TwoDigits(y % 100) + " " +
         TimeText(v, timeSep);
}

std::string DateStampText(double value) {
  int y, m, d;
  DecodeDate(DateArg(value), y, m, d);
  return TwoDigits(d) + "-" + MonthAbbrev(m) + "-" + ZeroPad(y, 4);
}

std::string DateStampTimeText(double value, const std::string& separator,
                              const std::string& timeSep) {
  const double v = DateArg(value);
  return DateStampText(v) + separator + TimeText(v, timeSep);
}

#ifdef _WIN32
static std::string LocaleText(LCTYPE type, const char* fallback) {
  char buf[16] = {};
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
  if (n <= 1) return fallback;
  return std::string(buf);
}

std::string LocaleDateSeparator() {
  return LocaleText(LOCALE_SDATE, "/");
}

std::string LocaleTimeSeparator() {
  return LocaleText(LOCALE_STIME, ":");
}

std::string DateTimeText(double value) {
  return DateTimeText(value, LocaleDateSeparator(), LocaleTimeSeparator());
}

std::string DateStampTimeText(double value, const std::string& separator) {
  return DateStampTimeText(value, separator, LocaleTimeSeparator());
}
#else
std::string DateTimeText(double value) {
  return DateTimeText(value, "/", ":");
}

std::string DateStampTimeText(double value, const std::string& separator) {
  return DateStampTimeText(value, separator, ":");
}
#endif

// ---------------------------------------------------------------- numbers

std::string SizeText(int64_t bytes, int64_t unit, int decimals, bool thousands) {
  if (unit < 1) unit = 1;
  std::string s;
  if (decimals < 1) {
    int64_t q = bytes / unit;
    if (bytes > 0 && bytes % unit != 0) ++q;
    s = IntToStr(q);
  } else {
    const int nd = decimals >= 2 && decimals <= 4 ? decimals : 1;
    s = FormatFixed(static_cast<double>(bytes) / static_cast<double>(unit), nd);
  }
  if (thousands) {
    const size_t point = s.find('.');
    const size_t end = point == std::string::npos || point == 0 ? s.size() : point;
    const size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
    for (size_t k = end; k > start + 3; k -= 3) s.insert(k - 3, 1, ',');
  }
  return s;
}

std::string KBText(int64_t bytes, int decimals, bool thousands) {
  return SizeText(bytes, 1024, decimals, thousands);
}

std::string MBText(int64_t bytes, int decimals, bool thousands) {
  return SizeText(bytes, 1048576, decimals, thousands);
}

std::string FloatText(double value, int decimals, bool strip) {
  std::string s = FormatFixed(value, decimals);
  if (strip && s.find('.') != std::string::npos) {
    s = StripChar(s, '0', true);
    if (!s.empty() && s[0] != '.') s = StripChar(s, '.', true);
  }
  if (s == ".") s = "0";
  return s;
}

double ParseFloat(const std::string& text, double def) {
  std::string t = text;
  if (t.find('.') == std::string::npos) t = ReplaceChar(t, ',', '.');
  t = Trim(ReplaceAll(t, ",", ""));
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  // Plain decimal notation with an optional exponent only (no "inf", "nan"
  // or hexadecimal forms).
  if (t.empty() || t.find_first_not_of("0123456789.eE+-") != std::string::npos) return def;
  double v = 0;
  const char* first = t.data();
  const char* last = t.data() + t.size();
  const std::from_chars_result r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return def;
  return v;
}

std::string ZeroPad(int64_t number, int width) {
  std::string digits = IntToStr(number);
  std::string sign;
  if (number < 0) {
    sign = "-";
    digits.erase(0, 1);
  }
  const int64_t need = static_cast<int64_t>(width) - static_cast<int64_t>(sign.size());
  if (static_cast<int64_t>(digits.size()) < need)
    digits.insert(0, static_cast<size_t>(need) - digits.size(), '0');
  return sign + digits;
}

std::string PadLeft(const std::string& text, int width, char fill) {
  if (width == -1 || width == -2) return text;
  std::string s = text;
  int64_t w = width;
  if (w < -2) {
    w = -w;
    if (static_cast<int64_t>(s.size()) > w) s = s.substr(0, static_cast<size_t>(w - 1)) + ".";
  }
  if (static_cast<int64_t>(s.size()) < w) s.insert(0, static_cast<size_t>(w) - s.size(), fill);
  return s;
}

std::string RandomText(int64_t low, int64_t high) {
  if (high < low) {
    const int64_t t = low;
    low = high;
    high = t;
  }
  // Seeded from the clocks on every call; the counter keeps two calls in
  // the same clock tick apart.
  static uint64_t counter = 0;
  const uint64_t seed =
      static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
      (static_cast<uint64_t>(NowMs()) << 20) ^ SplitMix64(++counter);
  const uint64_t r = SplitMix64(seed);
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
  const uint64_t offset = span == UINT64_MAX ? r : r % (span + 1);
  return IntToStr(static_cast<int64_t>(static_cast<uint64_t>(low) + offset));
}

std::string BoolText(bool flag) {
  return flag ? "TRUE" : "FALSE";
}

std::string BoolChar(bool flag) {
  return flag ? "1" : "0";
}

// ---------------------------------------------------------------- clock and screen

int64_t NowMs() {
#ifdef _WIN32
  static int64_t freq = 0;
  if (freq == 0) {
    LARGE_INTEGER f;
    freq = QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000;
  }
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / freq * 1000 + c.QuadPart % freq * 1000 / freq;
#else
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
#endif
}

int PointsToPixels(int points, int pixelsPerInch) {
  const double v = std::round(static_cast<double>(points) * pixelsPerInch / 72.0);
  return static_cast<int>(ClampFloat(v, -2147483648.0, 2147483647.0));
}

int PointsToPixels(int points) {
#ifdef _WIN32
  static int ppi = 0;
  if (ppi == 0) {
    HDC dc = GetDC(nullptr);
    if (dc) {
      ppi = GetDeviceCaps(dc, LOGPIXELSY);
      ReleaseDC(nullptr, dc);
    }
    if (ppi <= 0) ppi = 96;
  }
  return PointsToPixels(points, ppi);
#else
  return PointsToPixels(points, 96);
#endif
}

// ---------------------------------------------------------------- Win32 command line

#ifdef _WIN32
static std::string ModulePath() {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= 32768) return buf;
    buf.resize(buf.size() * 2);
  }
}

static std::string RawCommandLine() {
  const char* cmd = GetCommandLineA();
  return cmd ? std::string(cmd) : std::string();
}

std::string GetParams() {
  return GetParams(RawCommandLine(), ModulePath());
}

std::string GetSwitchValue(const std::string& name, const std::string& def) {
  return GetSwitchValue(RawCommandLine(), ModulePath(), name, def);
}

int64_t GetSwitchInt(const std::string& name, int64_t def) {
  return GetSwitchInt(RawCommandLine(), ModulePath(), name, def);
}

bool HasSwitch(const std::string& name) {
  return HasSwitch(RawCommandLine(), ModulePath(), name);
}
#endif
