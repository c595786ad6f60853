#pragma once
// Support utilities: the scrambled-text format of downloaded text files.
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
