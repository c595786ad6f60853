// Text toolbox shared by every module: mark-up to plain text, command-line
// switches, replacing, small text functions, date, number and Boolean texts,
// the millisecond clock.
//
// Texts are byte strings that may hold any byte (0x00, 0x01, 0x02, 0xFF).
// Positions are 1-based; 0 means "not found". Case-insensitive comparisons
// fold only the ASCII letters a..z to upper case.
//
// Date-time values are days since 30 December 1899, local time; the fraction
// is the time of day (for negative values the fraction's magnitude is the
// time of day, as usual for this representation).
//
// The portable functions take what they need from the system as arguments.
// The no-argument forms that read the process's command line, locale or
// screen are the thin Win32 layer (declared under _WIN32); natively the
// locale-free forms use "/" and ":" as separators.
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
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
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

// ---------------------------------------------------------------- dates

// Current local time as days since 30 December 1899.
double Now();
// Date value of a calendar date (proleptic Gregorian; year 1..9999). Invalid
// dates give 0.
double EncodeDate(int year, int month, int day);
// Fraction of a day; out-of-range parts give 0.
double EncodeTime(int hour, int minute, int second, int ms = 0);
// Date and time of day combined (negative dates handled as the format wants).
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
void DecodeDate(double value, int& year, int& month, int& day);
void DecodeTime(double value, int& hour, int& minute, int& second, int& ms);
// Day of the week of a date value: 1 = Sunday … 7 = Saturday.
int DayOfWeek(double value);
// Whole seconds since 30 December 1899 (the agent's stored time values) and back.
int64_t DateTimeToSeconds(double value);
double SecondsToDateTime(int64_t seconds);
// "JAN" … "DEC" for 1 … 12, the empty text otherwise.
std::string MonthAbbrev(int month);

// ---------------------------------------------------------------- mark-up

// "\\n" and "\\t" (exact case), then "<P>" and "<T>" (any case) become
// CR LF and TAB.
std::string MarkupToPlain(const std::string& text);

// ---------------------------------------------------------------- command line

// The command line without the program's own path, trimmed.
std::string GetParams(const std::string& rawCommandLine, const std::string& programPath);
// Value of the switch `name` ("/name=value"; "-" as first character of the
// name selects "-" as switch character). Empty value gives ""; missing gives `def`.
std::string GetSwitchValue(const std::string& rawCommandLine, const std::string& programPath,
                           const std::string& name, const std::string& def);
int64_t GetSwitchInt(const std::string& rawCommandLine, const std::string& programPath,
                     const std::string& name, int64_t def);
// True when `name` followed by a blank occurs in GetParams() + " " (any case).
bool HasSwitch(const std::string& rawCommandLine, const std::string& programPath,
               const std::string& name);

#ifdef _WIN32
// The same for the running process (GetCommandLineA, GetModuleFileNameA).
std::string GetParams();
std::string GetSwitchValue(const std::string& name, const std::string& def = "");
int64_t GetSwitchInt(const std::string& name, int64_t def = 0);
bool HasSwitch(const std::string& name);
#endif

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
std::string WrapWith(const std::string& text, char ch, bool stripFirst = false);
std::string ReplaceChar(const std::string& text, char from, char to);
std::string KeepChars(const std::string& text, const std::string& allowed,
                      const std::string& excluded = "");
std::string StripChar(const std::string& text, char ch, bool always = false);
std::string Unquote(const std::string& text);
std::string Quote(const std::string& text);
size_t LastPos(const std::string& sub, const std::string& text);
bool EndsWithNoCase(const std::string& sub, const std::string& text);
bool EndsWith(const std::string& sub, const std::string& text, bool ignoreCase = false);
bool StartsWith(const std::string& sub, const std::string& text, bool ignoreCase = false);
bool SameTextTrim(const std::string& a, const std::string& b);
size_t PosNoCase(const std::string& sub, const std::string& text);
// Case-insensitive position at or after `from` (1-based; from < 1 counts as 1).
size_t PosFrom(const std::string& sub, const std::string& text, size_t from);
// Unsigned hexadecimal with optional "0x"; empty gives 0, bad digits or more
// than 16 digits give `def`.
int64_t HexToInt(const std::string& text, int64_t def = 0);

// Message text of the calling thread's last error (Windows) or of errno.
std::string LastErrorText();
// Message text of a given system error code.
std::string LastErrorText(uint32_t code);

std::string ChooseText(bool flag, const std::string& a, const std::string& b);
int64_t ChooseInt(bool flag, int64_t a, int64_t b);
int64_t MinInt64(int64_t a, int64_t b);
int64_t MaxInt64(int64_t a, int64_t b);
int64_t ClampInt64(int64_t value, int64_t low, int64_t high);
double ClampFloat(double value, double low, double high);

// ---------------------------------------------------------------- date texts
// A value of -1 stands for the current time.

// "dd/mm/yy HH:NN:SS" with the given separators in place of "/" and ":".
std::string DateTimeText(double value, const std::string& dateSep, const std::string& timeSep);
// Day "-" month abbreviation "-" four-digit year, e.g. 07-MAR-2024.
std::string DateStampText(double value = -1);
// DateStampText, `separator`, then "HH:NN:SS" with `timeSep` for ":".
std::string DateStampTimeText(double value, const std::string& separator,
                              const std::string& timeSep);
// Locale forms: the user locale's separators on Windows ("/" and ":" when
// they cannot be read), "/" and ":" natively.
std::string DateTimeText(double value = -1);
std::string DateStampTimeText(double value = -1, const std::string& separator = " ");
#ifdef _WIN32
std::string LocaleDateSeparator();
std::string LocaleTimeSeparator();
#endif

// ---------------------------------------------------------------- numbers

// Quotient bytes / unit: rounded up with decimals < 1, else fixed-point with
// 2, 3 or 4 decimals (1 for any other value); `thousands` groups with commas.
std::string SizeText(int64_t bytes, int64_t unit, int decimals = 0, bool thousands = false);
std::string KBText(int64_t bytes, int decimals = 0, bool thousands = false);
std::string MBText(int64_t bytes, int decimals = 0, bool thousands = false);
std::string FloatText(double value, int decimals = 2, bool strip = false);
// "6,2" reads as 6.2, "4,567.5" as 4567.5; failure gives `def`.
double ParseFloat(const std::string& text, double def = 0.0);
std::string ZeroPad(int64_t number, int width);
std::string PadLeft(const std::string& text, int width, char fill = ' ');
// Decimal text of a random number in low … high.
std::string RandomText(int64_t low, int64_t high);

std::string BoolText(bool flag);  // "TRUE" / "FALSE"
std::string BoolChar(bool flag);  // "1" / "0"

// ---------------------------------------------------------------- clock and screen

// Milliseconds of a monotonic clock; only differences are meaningful.
int64_t NowMs();
// points × pixelsPerInch ÷ 72, rounded.
int PointsToPixels(int points, int pixelsPerInch);
// With the screen's vertical pixels per inch (read once; 96 natively).
int PointsToPixels(int points);
