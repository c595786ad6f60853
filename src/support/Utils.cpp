#include "support/Utils.h"

#include <chrono>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#include <exception>
#include <vector>

#include "support/KDebug.h"
#include "text/Common.h"
#endif

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

#ifdef _WIN32
namespace {

// IniLock: a critical section is re-entrant for its holder. Created when the
// module starts, removed when it ends.
class TIniLock {
public:
  TIniLock() { InitializeCriticalSection(&FSection); }
  ~TIniLock() { DeleteCriticalSection(&FSection); }
  TIniLock(const TIniLock&) = delete;
  TIniLock& operator=(const TIniLock&) = delete;
  void Enter() { EnterCriticalSection(&FSection); }
  void Leave() { LeaveCriticalSection(&FSection); }

private:
  CRITICAL_SECTION FSection;
};

TIniLock GIniLock;

struct TIniHold {
  TIniHold() { GIniLock.Enter(); }
  ~TIniHold() { GIniLock.Leave(); }
};

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  TIniHold hold;
  std::string result = def;
  if (section.empty() || key.empty()) return result;
  try {
    std::vector<char> buf(KIniBufferSize);
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf.data(),
                                       KIniBufferSize, file.c_str());
    if (n > 0) result.assign(buf.data(), n);
    if (n > KIniSizeWarning) DebugLine("ReadIniString SizeError=", n);
  } catch (const std::exception&) {
    DebugLine("EXCEPTION --- Utils.ReadIniString()  " + LastErrorText());
  }
  return result;
}

std::int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                        std::int64_t def) {
  return StrToInt64Def(ReadIniString(file, section, key, IntToStr(def)), def);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 std::int64_t value) {
  return WriteIniString(file, section, key, IntToStr(value));
}
#endif
