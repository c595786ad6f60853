// Text toolbox (see Common.h).
#ifdef _WIN32
#include <windows.h>
#endif

#include "text/Common.h"

#include <cerrno>
#include <cstring>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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

}  // namespace

// ---------------------------------------------------------------- basics

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

// ---------------------------------------------------------------- mark-up

std::string MarkupToPlain(const std::string& text) {
  std::string s = ReplaceAll(text, "\\\\n", "\r\n");
  s = ReplaceAll(s, "\\\\t", "\t");
  s = ReplaceAllNoCase(s, "<P>", "\r\n");
  return ReplaceAllNoCase(s, "<T>", "\t");
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

std::string ReplaceChar(const std::string& text, char from, char to) {
  std::string out = text;
  for (char& c : out)
    if (c == from) c = to;
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

std::string PathFileName(const std::string& path) {
  const size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string LastErrorText(uint32_t code) {
#ifdef _WIN32
  char* buf = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&buf), 0, nullptr);
  const DWORD why = GetLastError();
  std::string text;
  if (n > 0 && buf) text = Trim(std::string(buf, n));
  if (buf) LocalFree(buf);
  // No text for the code is an empty text (callers then use one of their
  // own); only a failure to produce it, which is running out of memory,
  // gives the runtime library's message.
  if (n == 0 && (why == ERROR_NOT_ENOUGH_MEMORY || why == ERROR_OUTOFMEMORY))
    return "Error Reading \"" + std::string(std::strerror(ENOMEM)) + "\"";
  return text;
#else
  return std::strerror(static_cast<int>(code));
#endif
}

std::string LastErrorText() {
#ifdef _WIN32
  return LastErrorText(static_cast<uint32_t>(GetLastError()));
#else
  return LastErrorText(static_cast<uint32_t>(errno));
#endif
}

int64_t MaxInt64(int64_t a, int64_t b) {
  return a > b ? a : b;
}

std::string BoolText(bool flag) {
  return flag ? "TRUE" : "FALSE";
}

std::string BoolChar(bool flag) {
  return flag ? "1" : "0";
}

// ---------------------------------------------------------------- screen

int PointsToPixels(int points, int pixelsPerInch) {
  double v = static_cast<double>(points) * pixelsPerInch / 72.0;
  if (v < -2147483648.0) v = -2147483648.0;
  if (v > 2147483647.0) v = 2147483647.0;
  return static_cast<int>(RoundHalfAway(v));
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
