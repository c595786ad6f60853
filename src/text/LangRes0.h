// The stub's string table: the keys of a language record and the built-in
// English text each key falls back to, plus the language operations of the
// container reader (TGFileInfo::GetLangStr and the font values).
//
// Keys: s0 window caption, s1 extraction status, s2..s6 the temporary-drive
// question, s7 integrity error, s8 next-volume prompt, s10..s12 internet
// download (there is no s9), BtnText the seven button captions, Attention,
// Confirm and Error the box captions, Charset, FontSize and FontName the
// language's font.
#pragma once

#include <string>

class TGFileInfo;

extern const char* const KDefaultBtnText;   // "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"
extern const char* const KDefaultCaptions;  // "|Error|Attention|Confirm|"

// The built-in English text of a key (keys ignore case); empty for a key the
// table does not know.
std::string LangDefault(const std::string& key);

// The text of `key` in the payload's selected language record, or the
// built-in default of that key.
std::string GetLangText(const TGFileInfo& info, const std::string& key);

// A font value as stored: a decimal integer that fits an int, else `def`.
int LangIntValue(const std::string& text, int def);
