#include "support/Utils.h"

#include <chrono>
#include <cstdint>

const char* const KScrambledMarker = "Scrambled=01";

namespace {

const size_t KMarkerLength = 12;

bool HasMarker(const std::string& text) {
  return text.compare(0, KMarkerLength, KScrambledMarker) == 0 && text.size() >= KMarkerLength;
}

// Masks data byte i (1-based) with (i + k) mod 256, k changing sign before
// every next byte. The step is its own inverse.
void Mask(std::string& data, int k) {
  for (size_t i = 1; i <= data.size(); ++i) {
    data[i - 1] = (char)((unsigned char)data[i - 1] ^ (unsigned char)((int64_t)i + k));
    k = -k;
  }
}

}  // namespace

std::string Descramble(const std::string& text) {
  if (text.empty() || !HasMarker(text)) return text;
  // The bare marker has no key byte and so no plain text.
  if (text.size() <= KMarkerLength) return std::string();
  int k = (unsigned char)text[KMarkerLength];
  std::string data = text.substr(KMarkerLength + 1);
  Mask(data, k);
  return data;
}

std::string ScrambleWithKey(const std::string& text, unsigned char key) {
  if (text.empty() || HasMarker(text)) return text;
  std::string data = text;
  Mask(data, key);
  return std::string(KScrambledMarker) + (char)key + data;
}

std::string Scramble(const std::string& text) {
  uint64_t seed = (uint64_t)std::chrono::steady_clock::now().time_since_epoch().count() ^
                  (uint64_t)std::chrono::system_clock::now().time_since_epoch().count();
  seed ^= seed >> 33;
  seed *= 0xff51afd7ed558ccdULL;
  seed ^= seed >> 33;
  return ScrambleWithKey(text, (unsigned char)(33 + seed % 90));
}
