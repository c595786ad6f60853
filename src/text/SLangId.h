// Language choice: the language-name table, the user's language number and
// the process-wide choice of one record of a payload's language block.
//
// A language block is a self-delimited list (delimiter 0x02) of language
// records; a record is a self-delimited list (delimiter 0x01) whose item 0 is
// the language name and whose further items are "key=value" entries.
#pragma once

#include <cstdint>
#include <string>

// The 51 entries "NAME   = number", one list delimited by "|"; the order is
// the search order (the first match wins).
extern const char* const KLanguageNameTable;

// Name of the first table entry whose text contains the number (decimal,
// zero-padded to two digits) as a substring; empty when none does.
std::string GetLanguageName(int number);

// The user's locale as recorded at start: locale identifier (0x0409 when the
// system gives 0), primary language number (low 10 bits of the language
// identifier, 9 when it is 0) and sublanguage number (identifier >> 10, 1
// when it is 0).
struct TUserLocale {
  uint32_t LocaleId = 0x0409;
  int PrimaryLanguage = 9;
  int SubLanguage = 1;
};
TUserLocale LocaleFromId(uint32_t localeId);
// Records the user's locale. The Windows build records GetThreadLocale on
// first use when nothing was recorded; the native build uses 0x0409.
void SetUserLocale(uint32_t localeId);
const TUserLocale& UserLocale();

// GetLanguageName of the user's primary language number.
std::string GetCurrentLanguageName();

// The record of `block` whose name (trimmed, any case) equals `name`
// (trimmed, any case), the first in stored order; else the only record when
// the block holds exactly one; else empty.
std::string FindLanguageRecord(const std::string& block, const std::string& name);
// The full choice: the user's language, the single-record fallback, then
// "English"; "*" when nothing could be chosen.
std::string ChooseLanguageRecord(const std::string& block, const std::string& languageName);

// The process-wide selected record: filled from `block` on the first call of
// the process, then returned unchanged whatever block later callers pass.
const std::string& SelectedLanguageRecord(const std::string& block);
// Forgets the choice (tests, and nothing else).
void ResetLanguageChoice();

// Value of `key` in the selected record (chosen from `block` when nothing is
// chosen yet), or `def` when there is no usable record or no such key. An
// entry with an empty value gives the empty text.
std::string LangStrFromBlock(const std::string& block, const std::string& key,
                             const std::string& def);
