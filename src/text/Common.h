// Text toolbox shared by every module: trimming, case, positions and
// integers, mark-up to plain text, replacing, small text functions, Boolean
// texts. Dates, number texts and command-line switches have modules of their
// own (Dates.h, Numbers.h, Switches.h), included at the end.
//
// Texts are byte strings that may hold any byte (0x00, 0x01, 0x02, 0xFF).
// Positions are 1-based; 0 means "not found". Case-insensitive comparisons
// fold only the ASCII letters a..z to upper case.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// windows.h with common dialogs defines ReplaceText as a macro; the toolbox
// function of that name must not be renamed by it.
#ifdef ReplaceText
#undef ReplaceText
#endif

// ---------------------------------------------------------------- basics

// Trimming removes blanks and the white-space controls TAB, LF, VT, FF, CR.
// Other control bytes (0x00, 0x01, 0x02 used as list delimiters) are kept.
std::string Trim(const std::string& s);
std::string UpperCase(const std::string& s);  // ASCII a..z only
std::string LowerCase(const std::string& s);  // ASCII A..Z only
char UpCase(char c);
bool SameText(const std::string& a, const std::string& b);  // ignores case

// 1-based position of the first occurrence of `sub` in `text`; 0 when not
// found or when `sub` is empty.
size_t Pos(const std::string& sub, const std::string& text);

// Decimal signed 64-bit number with optional sign; surrounding white space is
// allowed. Anything else, an empty text or an overflow gives `def`.
int64_t StrToInt64Def(const std::string& s, int64_t def);
std::string IntToStr(int64_t v);
std::string UIntToStr(uint64_t v);
// Upper-case hexadecimal digits, zero-padded to at least `width`.
std::string HexDigits(uint64_t v, int width = 0);

// ---------------------------------------------------------------- mark-up

// "\\n" and "\\t" (exact case), then "<P>" and "<T>" (any case) become
// CR LF and TAB.
std::string MarkupToPlain(const std::string& text);

// ---------------------------------------------------------------- replace

// Replaces occurrences number firstIndex … lastIndex (1-based) of `find`;
// 0/0 replaces all. lastIndex <= 0 means lastIndex = firstIndex; when that is
// still <= 0 there is no upper bound.
std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, int firstIndex = 0, int lastIndex = 0,
                        bool ignoreCase = false, bool trimResult = false);
std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement);
std::string ReplaceAllNoCase(const std::string& text, const std::string& find,
                             const std::string& replacement);
// Replaces until no occurrence is left; does nothing when `replacement`
// contains `find`.
std::string ReplaceRepeated(const std::string& text, const std::string& find,
                            const std::string& replacement, bool trimResult = false);

// ---------------------------------------------------------------- small text functions

std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def = "", bool trim = false);
std::string TextAfter(const std::string& text, const std::string& separator,
                      const std::string& def = "", bool ignoreCase = false, bool trim = false);
std::string ReplaceChar(const std::string& text, char from, char to);
std::string StripChar(const std::string& text, char ch, bool always = false);
std::string Unquote(const std::string& text);
std::string Quote(const std::string& text);
size_t LastPos(const std::string& sub, const std::string& text);
bool EndsWithNoCase(const std::string& sub, const std::string& text);
bool EndsWith(const std::string& sub, const std::string& text, bool ignoreCase = false);
bool SameTextTrim(const std::string& a, const std::string& b);
size_t PosNoCase(const std::string& sub, const std::string& text);
// Case-insensitive position at or after `from` (1-based; from < 1 counts as 1).
size_t PosFrom(const std::string& sub, const std::string& text, size_t from);
// Unsigned hexadecimal with optional "0x"; empty gives 0, bad digits or more
// than 16 digits give `def`.
int64_t HexToInt(const std::string& text, int64_t def = 0);

// File name of a path: the text after the last backslash, "/" or ":".
std::string PathFileName(const std::string& path);

// The system's message text for the calling thread's last error, or for
// `code`; "" when the system has none (callers then use a text of their own).
// When producing it fails, "Error Reading " and the runtime library's
// message in double quotes.
std::string LastErrorText();
std::string LastErrorText(uint32_t code);

int64_t MaxInt64(int64_t a, int64_t b);

std::string BoolText(bool flag);  // "TRUE" / "FALSE"
std::string BoolChar(bool flag);  // "1" / "0"

// ---------------------------------------------------------------- screen

// points × pixelsPerInch ÷ 72, rounded.
int PointsToPixels(int points, int pixelsPerInch);
// With the screen's vertical pixels per inch (read once; 96 natively).
int PointsToPixels(int points);

// The rest of the toolbox: dates and the clock, number texts, the program's
// path and command-line switches.
#include "text/Dates.h"
#include "text/Numbers.h"
#include "text/Switches.h"
