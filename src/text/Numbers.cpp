// Number texts (see Numbers.h).
#include "text/Numbers.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <vector>

#include "text/Common.h"
#include "text/Dates.h"

namespace {

// Unsigned big number, 32-bit limbs, least significant first: just what the
// exact decimal expansion of a double needs.
using TBigNum = std::vector<uint32_t>;

void BigMul(TBigNum& n, uint32_t f, uint32_t add = 0) {
  uint64_t carry = add;
  for (uint32_t& limb : n) {
    carry += static_cast<uint64_t>(limb) * f;
    limb = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  if (carry) n.push_back(static_cast<uint32_t>(carry));
}

bool BigBit(const TBigNum& n, size_t bit) {
  return bit / 32 < n.size() && (n[bit / 32] >> (bit % 32) & 1u);
}

// Drops the lowest `bits` bits and rounds the rest to nearest, ties to even.
void BigShiftRound(TBigNum& n, size_t bits) {
  if (bits == 0) return;
  const bool half = BigBit(n, bits - 1);
  bool below = false;
  for (size_t b = 0; b + 1 < bits && !below; ++b) below = BigBit(n, b);
  TBigNum out;
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

std::string BigDecimal(TBigNum n) {
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
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const std::string sign = bits >> 63 ? "-" : "";
  const int biased = static_cast<int>(bits >> 52 & 0x7FF);
  uint64_t mant = bits & 0xFFFFFFFFFFFFFull;
  if (biased == 0x7FF) return sign + (mant ? "nan" : "inf");
  // |value| = mant * 2^exp exactly.
  int exp = biased ? biased - 1075 : -1074;
  if (biased) mant |= 1ull << 52;
  TBigNum n{static_cast<uint32_t>(mant), static_cast<uint32_t>(mant >> 32)};
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

}  // namespace

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

int64_t RoundHalfAway(double value) {
  int64_t whole = static_cast<int64_t>(value);  // toward zero
  // Exact: the whole part shares the value's exponent.
  const double rest = value - static_cast<double>(whole);
  if (rest >= 0.5) ++whole;
  if (rest <= -0.5) --whole;
  return whole;
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
