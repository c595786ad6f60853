#pragma once
// The container encoders of the authoring side, the writer's twin of the
// reader UnPack: token scrambling, the header records (language block,
// update and download settings), entry headers, file records, the
// space-required table and the stub image's payload-end pointer.
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

// File bytes of one file record at most; larger files are cut into several
// records with the same entry name, which the stub appends in order.
const uint32_t KMaxRecordFileBytes = 5242880;

// ---------------------------------------------------------------------------
// Random source for token fillers and keys. Seeded from the system unless a
// seed is given (a fixed seed makes a build byte-reproducible).
class TPackRandom {
public:
  TPackRandom();
  explicit TPackRandom(uint64_t seed);
  uint8_t Byte();
  // A number from low to high, both included.
  uint32_t Range(uint32_t low, uint32_t high);

private:
  std::mt19937_64 FGen;
};

// ---------------------------------------------------------------------------
// Token encoding, the inverse of UnscrambleToken: the bytes k1, a, b, the
// `fillA` bytes (a of them), the token, the `fillB` bytes (b - 1 of them), a
// sum byte and k2; bytes 2 to n-1 are XORed with k1 ^ k2, then the sum byte
// is set to the sum of all other bytes; every byte is written as two upper
// case hexadecimal digits and every character shifted up by 50.
// `fillA` and `fillB` hold at most 255 and 254 bytes.
std::string ScrambleTokenWith(const std::string& plain, uint8_t k1, uint8_t k2,
                              const std::string& fillA, const std::string& fillB);
// The same with random keys, filler lengths (a: 1..8, b: 1..8) and fillers.
std::string ScrambleToken(const std::string& plain, TPackRandom& random);

// ---------------------------------------------------------------------------
// Header records.

// One language: its name (record item 0) and its key=value entries in
// stored order.
struct TPackLanguage {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Entries;
};

// Reads a language text file: one "key=value" a line; blank lines and lines
// starting with ";" or "#" are skipped; blanks around key and value are
// trimmed, and a value in double quotes keeps its inner text as written.
// False with `error` for a line without "=", an empty or repeated key.
bool ParseLanguageText(const std::string& text, TPackLanguage& language, std::string& error);

// False with `error` when a name, key or value cannot be stored (empty name
// or key, bytes 0x00, 0x01, 0x02, line breaks, "=" in a key).
bool CheckLanguage(const TPackLanguage& language, std::string& error);

// The language block: 0x02, then each record (0x01, name, 0x01, each entry
// and 0x01) followed by 0x02. With no language the block holds one English
// record without entries, so every text takes its built-in default.
std::string BuildLanguageBlock(const std::vector<TPackLanguage>& languages);

struct TUpdateItems {
  std::string Server;    // item 0: location of the update server
  std::string InfoFile;  // item 1: update descriptor (.INFO) file name
  std::string AgentExe;  // item 2: update agent's file name
  std::string Token;     // item 3: the update token, in plain (stored scrambled)
  bool Hidden = false;   // item 4: "1" runs the setup hidden
};

struct TDownloadItems {
  bool Given = false;    // download settings are written (header count 3)
  std::string Location;  // item 0: folder URL of the real setup file
  std::string FileName;  // item 1: its file name
  bool Always = false;   // item 2: always download
  std::string Token;     // item 3: the download token, in plain
  std::string Size;      // item 4: size of the real setup file, decimal
};

// The five-item lists, delimited by "|" (or the first delimiter that no item
// holds). Tokens are always stored scrambled, an empty one too, so that two
// setups without a token still agree.
std::string BuildUpdateSettings(const TUpdateItems& items, TPackRandom& random);
std::string BuildDownloadSettings(const TDownloadItems& items, TPackRandom& random);

// ---------------------------------------------------------------------------
// File records.

// Checks a flat entry name: not empty, no "..", no folder part, no drive,
// no "|", "*" or other character a Windows file name cannot hold.
bool CheckEntryName(const std::string& name, std::string& error);

// The entry header "|name|date|", or "|name*extra|date|" for the engine.
std::string EntryHeader(const std::string& name, bool isEngine, const std::string& extra,
                        uint32_t dosDateTime);

// Packed DOS date-time (date high word, time low word) of a time in seconds
// since 1970 in the local time zone; 0 (leave the date) outside 1980..2107.
uint32_t DosDateTimeOf(int64_t unixTime);

// One record: a 32-bit length and the data. Compressed (zlib stream, positive
// length) when that is shorter than the content, else stored (negative
// length). `compressed` tells which.
std::string PackRecord(const std::string& content, int level, bool& compressed);

// The space-required table: entry 0 the plain sum of the sizes, entry k
// (1..8) the sizes rounded up to clusters of 256 * 2^k bytes. Saturates at
// 0xFFFFFFFF instead of wrapping.
std::array<uint32_t, 9> SpaceRequiredTable(const std::vector<uint64_t>& sizes);

// ---------------------------------------------------------------------------
// Containers.

// True when `head` (the first bytes of a stub) has "MZ" at 0 and "PE\0\0" at
// 256 and no payload-end pointer yet; else false with `error`.
bool CheckStubImage(const std::string& head, std::string& error);

// Writes the payload-end pointer into an image held in memory.
void SetPayloadEnd(std::string& image, uint64_t end);

// Name of volume j (j >= 1): the base, "." and j with at least three digits.
std::string VolumeFileName(const std::string& base, int j);

// ---------------------------------------------------------------------------
// Small helpers shared by the authoring side.

// Little-endian 32-bit words.
void SetLe32(std::string& s, size_t at, uint32_t v);
std::string Le32Bytes(uint32_t v);
// The text in double quotes, for messages.
std::string Quoted(const std::string& s);
// Plain decimal digits (blanks around them allowed); false when not a number.
bool ParseUInt(const std::string& text, uint64_t& value);
