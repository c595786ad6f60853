// Support utilities: the INI files every part reads and writes (update
// descriptors, agent settings, language files) and the scrambled-text format
// of downloaded text files.
//
// Portable: the scrambled-text format; the INI operations are Windows only.
#pragma once
#include <cstdint>
#include <string>

// The marker that starts a scrambled text.
extern const char* const KScrambledMarker;  // "Scrambled=01"

// The plain text of a scrambled text: the marker, one key byte k (33..122),
// then the data, byte i masked with (i + k) mod 256 for odd i and (i - k)
// mod 256 for even i. A text without the marker at its start is returned
// unchanged; the bare marker (no key byte) gives the empty text.
std::string Descramble(const std::string& text);

// The inverse: marker, a random key byte from 33 to 122, the masked data.
// An empty text, or one that already begins with the marker, is returned
// unchanged.
std::string Scramble(const std::string& text);

// Scramble with a given key byte (33..122), for callers that need
// reproducible output.
std::string ScrambleWithKey(const std::string& text, unsigned char key);

#ifdef _WIN32
// --- INI files ------------------------------------------------------------
// Read buffer of ReadIniString: a value of up to 32,768 characters is read.
const unsigned KIniBufferSize = 32769;
// Values longer than this are logged ("ReadIniString SizeError=" + length)
// and still returned whole.
const unsigned KIniSizeWarning = 10240;

// The value of key in section, or def when the file, section or key is
// missing, when section or key is empty, and when the value is empty (a line
// "key=" reads like a missing key). Blanks around the value and one pair of
// enclosing quotes are removed by the system. Every read holds IniLock, a
// process-wide lock that its holder may take again.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def);
// The value as a signed 64-bit decimal number; def when it is missing or not
// a number ("12abc").
std::int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                        std::int64_t def);
// Writes "key=value" into the section, creating file and section; an empty
// value leaves nothing after "=". False, writing nothing, when file, section
// or key is empty, and when the system reports a failure.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 std::int64_t value);
#endif
