#include "payload/PackEncode.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include <zlib.h>

#include "payload/UnPack.h"
#include "text/Common.h"
#include "text/KSUB.h"

void SetLe32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = (char)((v >> (8 * i)) & 0xFF);
}

std::string Le32Bytes(uint32_t v) {
  std::string s(4, '\0');
  SetLe32(s, 0, v);
  return s;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

bool ParseUInt(const std::string& text, uint64_t& value) {
  std::string v = Trim(text);
  if (v.empty() || v.size() > 19) return false;
  uint64_t r = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    r = r * 10 + (uint64_t)(c - '0');
  }
  value = r;
  return true;
}

// ======================================================================
// Random source

TPackRandom::TPackRandom() {
  std::random_device rd;
  uint64_t seed = ((uint64_t)rd() << 32) ^ rd() ^
                  (uint64_t)std::chrono::high_resolution_clock::now().time_since_epoch().count();
  FGen.seed(seed);
}

TPackRandom::TPackRandom(uint64_t seed) : FGen(seed) {}

uint8_t TPackRandom::Byte() {
  return (uint8_t)(FGen() & 0xFF);
}

uint32_t TPackRandom::Range(uint32_t low, uint32_t high) {
  return low + (uint32_t)(FGen() % ((uint64_t)high - low + 1));
}

// ======================================================================
// Tokens

std::string ScrambleTokenWith(const std::string& plain, uint8_t k1, uint8_t k2,
                              const std::string& fillA, const std::string& fillB) {
  uint8_t a = (uint8_t)std::min<size_t>(fillA.size(), 255);
  uint8_t b = (uint8_t)(std::min<size_t>(fillB.size(), 254) + 1);
  std::string d;
  d += (char)k1;
  d += (char)a;
  d += (char)b;
  d += fillA.substr(0, a);
  d += plain;
  d += fillB.substr(0, b - 1);
  d += '\0';  // the sum, set below
  d += (char)k2;
  size_t n = d.size();
  uint8_t k = k1 ^ k2;
  for (size_t i = 1; i + 1 < n; ++i)  // positions 2 to n-1
    d[i] = (char)((uint8_t)d[i] ^ k);
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i)
    if (i != n - 2) sum = (uint8_t)(sum + (uint8_t)d[i]);
  d[n - 2] = (char)sum;

  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * n);
  for (unsigned char c : d) {
    out += (char)(hex[c >> 4] + 50);
    out += (char)(hex[c & 15] + 50);
  }
  return out;
}

std::string ScrambleToken(const std::string& plain, TPackRandom& random) {
  uint8_t k1 = random.Byte();
  uint8_t k2 = random.Byte();
  std::string fillA(random.Range(1, 8), '\0');
  std::string fillB(random.Range(1, 8) - 1, '\0');
  for (char& c : fillA) c = (char)random.Byte();
  for (char& c : fillB) c = (char)random.Byte();
  return ScrambleTokenWith(plain, k1, k2, fillA, fillB);
}

// ======================================================================
// Header records

bool ParseLanguageText(const std::string& text, TPackLanguage& language, std::string& error) {
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  size_t start = 0;
  int lineNo = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      error = "line " + IntToStr(lineNo) + ": no \"=\" in " + Quoted(t);
      return false;
    }
    std::string key = Trim(t.substr(0, eq));
    std::string value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key.empty()) {
      error = "line " + IntToStr(lineNo) + ": empty key";
      return false;
    }
    for (auto& e : language.Entries)
      if (SameText(e.first, key)) {
        error = "line " + IntToStr(lineNo) + ": key " + Quoted(key) + " given twice";
        return false;
      }
    language.Entries.emplace_back(key, value);
  }
  return true;
}

bool CheckLanguage(const TPackLanguage& language, std::string& error) {
  static const std::string bad("\0\x01\x02\r\n", 5);
  if (Trim(language.Name).empty()) {
    error = "a language has no name";
    return false;
  }
  if (language.Name.find_first_of(bad) != std::string::npos) {
    error = "language name " + Quoted(language.Name) + " holds a control byte";
    return false;
  }
  for (auto& e : language.Entries) {
    if (Trim(e.first).empty() || e.first.find('=') != std::string::npos ||
        e.first.find_first_of(bad) != std::string::npos) {
      error = "language " + language.Name + ": bad key " + Quoted(e.first);
      return false;
    }
    if (e.second.find_first_of(bad) != std::string::npos) {
      error = "language " + language.Name + ": the value of " + e.first +
              " holds a byte 0x00, 0x01, 0x02 or a line break";
      return false;
    }
  }
  return true;
}

std::string BuildLanguageBlock(const std::vector<TPackLanguage>& languages) {
  std::string block(1, '\x02');
  if (languages.empty())
    return block +
           "\x01"
           "English"
           "\x01"
           "\x02";
  for (auto& lang : languages) {
    block += '\x01';
    block += lang.Name;
    block += '\x01';
    for (auto& e : lang.Entries) {
      block += e.first;
      block += '=';
      block += e.second;
      block += '\x01';
    }
    block += '\x02';
  }
  return block;
}

std::string BuildUpdateSettings(const TUpdateItems& items, TPackRandom& random) {
  return SUB::FromItems({items.Server, items.InfoFile, items.AgentExe,
                         ScrambleToken(items.Token, random), items.Hidden ? "1" : "0"});
}

std::string BuildDownloadSettings(const TDownloadItems& items, TPackRandom& random) {
  return SUB::FromItems({items.Location, items.FileName, items.Always ? "1" : "0",
                         ScrambleToken(items.Token, random), items.Size});
}

// ======================================================================
// File records

bool CheckEntryName(const std::string& name, std::string& error) {
  if (name.empty()) {
    error = "an entry has an empty name";
    return false;
  }
  if (name.find("..") != std::string::npos) {
    error = "entry name " + Quoted(name) + " holds \"..\"";
    return false;
  }
  if (name[0] == '\\' || name[0] == '/') {
    error = "entry name " + Quoted(name) + " starts with a backslash";
    return false;
  }
  if (name.size() > 1 && name[1] == ':') {
    error = "entry name " + Quoted(name) + " holds a drive letter";
    return false;
  }
  if (name.find('|') != std::string::npos) {
    error = "entry name " + Quoted(name) + " holds \"|\"";
    return false;
  }
  if (name.find_first_of("\\/") != std::string::npos) {
    error = "entry name " + Quoted(name) +
            " holds a folder part; entries are extracted into one flat folder";
    return false;
  }
  for (unsigned char c : name)
    if (c < 32 || std::strchr("<>:\"?*", c) != nullptr) {
      error = "entry name " + Quoted(name) + " holds a character a file name cannot hold";
      return false;
    }
  if (name.back() == '.' || name.back() == ' ') {
    error = "entry name " + Quoted(name) + " ends with a dot or a blank";
    return false;
  }
  if (name.size() > 255) {
    error = "entry name " + Quoted(name) + " is longer than 255 characters";
    return false;
  }
  // Device names cannot be file names on Windows, with any extension.
  std::string stem = UpperCase(Trim(name.substr(0, name.find('.'))));
  static const char* devices[] = {"CON", "PRN", "AUX", "NUL"};
  bool device = false;
  for (const char* d : devices) device = device || stem == d;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
      stem[3] >= '1' && stem[3] <= '9')
    device = true;
  if (device) {
    error = "entry name " + Quoted(name) + " is a Windows device name";
    return false;
  }
  return true;
}

std::string EntryHeader(const std::string& name, bool isEngine, const std::string& extra,
                        uint32_t dosDateTime) {
  std::string item0 = name;
  if (isEngine) item0 += "*" + extra;
  return "|" + item0 + "|" + std::to_string(dosDateTime) + "|";
}

uint32_t DosDateTimeOf(int64_t unixTime) {
  std::time_t t = (std::time_t)unixTime;
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return 0;
#else
  if (!localtime_r(&t, &tm)) return 0;
#endif
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  uint32_t date =
      ((uint32_t)(year - 1980) << 9) | ((uint32_t)(tm.tm_mon + 1) << 5) | (uint32_t)tm.tm_mday;
  uint32_t time = ((uint32_t)tm.tm_hour << 11) | ((uint32_t)tm.tm_min << 5) |
                  (uint32_t)(std::min(tm.tm_sec, 59) / 2);
  return (date << 16) | time;
}

std::string PackRecord(const std::string& content, int level, bool& compressed) {
  uLongf bound = compressBound((uLong)content.size());
  std::string out(4 + (size_t)bound, '\0');
  uLongf len = bound;
  int rc =
      compress2((Bytef*)&out[4], &len, (const Bytef*)content.data(), (uLong)content.size(), level);
  compressed = rc == Z_OK && len < content.size();
  if (compressed) {
    out.resize(4 + len);
    SetLe32(out, 0, (uint32_t)len);
    return out;
  }
  std::string stored = Le32Bytes((uint32_t)(-(int64_t)content.size()));
  return stored + content;
}

std::array<uint32_t, 9> SpaceRequiredTable(const std::vector<uint64_t>& sizes) {
  std::array<uint32_t, 9> table{};
  for (int k = 0; k < 9; ++k) {
    uint64_t cluster = k == 0 ? 1 : (256ull << k);
    uint64_t sum = 0;
    for (uint64_t s : sizes) {
      uint64_t rounded = (s + cluster - 1) / cluster * cluster;
      sum = (sum + rounded < sum) ? UINT64_MAX : sum + rounded;
    }
    table[k] = sum > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)sum;
  }
  return table;
}

// ======================================================================
// Containers

bool CheckStubImage(const std::string& head, std::string& error) {
  if (head.size() < 260 || head[0] != 'M' || head[1] != 'Z' ||
      head.compare(256, 4, std::string("PE\0\0", 4)) != 0) {
    error = "not a setup stub: it needs \"MZ\" at offset 0 and \"PE\" at offset 256";
    return false;
  }
  if (PayloadEndFromBytes(head) != 0) {
    error = "the stub already carries a payload (its payload-end pointer is set)";
    return false;
  }
  return true;
}

void SetPayloadEnd(std::string& image, uint64_t end) {
  if (image.size() < 256) return;
  SetLe32(image, 248, (uint32_t)(end >> 32));
  SetLe32(image, 252, (uint32_t)(end & 0xFFFFFFFFu));
}

std::string VolumeFileName(const std::string& base, int j) {
  std::string num = std::to_string(j);
  while (num.size() < 3) num = "0" + num;
  return base + "." + num;
}
