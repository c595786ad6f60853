#include "text/SLangId.h"

#include "text/Common.h"
#include "text/KSUB.h"

#ifdef _WIN32
#include <windows.h>
#endif

const char* const KLanguageNameTable =
    "|AFRIKAANS   = 54|ALBANIAN   = 28|ARABIC   = 01|BASQUE   = 45"
    "|BELARUSIAN   = 35|BULGARIAN   = 02|CATALAN   = 03|CHINESE   = 04"
    "|CROATIAN   = 26|CZECH   = 05|DANISH   = 06|DUTCH   = 19"
    "|ENGLISH   = 09|ESTONIAN   = 37|FAEROESE   = 56|FARSI   = 41"
    "|FINNISH   = 11|FRENCH   = 12|GERMAN   = 07|GREEK   = 08"
    "|HEBREW   = 13|HUNGARIAN   = 14|ICELANDIC   = 15|INDONESIAN   = 33"
    "|ITALIAN   = 16|JAPANESE   = 17|KOREAN   = 18|LATVIAN   = 38"
    "|LITHUANIAN   = 39|NORWEGIAN   = 20|POLISH   = 21|PORTUGUESE   = 22"
    "|ROMANIAN   = 24|RUSSIAN   = 25|SERBIAN   = 26|SLOVAK   = 27"
    "|SLOVENIAN   = 36|SPANISH   = 10|SWEDISH   = 29|THAI   = 30"
    "|TURKISH   = 31|UKRAINIAN   = 34|VIETNAMESE   = 42"
    "|CHINESE(SIMPLIFIED)   = 2052|CHINESE(TRADITIONAL)   = 1028"
    "|DUTCH(FLEMISH)   = 2067|DUTCH(STANDARD)   = 1043"
    "|PORTUGUESE(PORTUGAL)   = 2070|PORTUGUESE(BRAZIL)   = 1046"
    "|SERBIAN(LATIN)   = 2074|SERBIAN(CYRILIC)   = 3098|";

std::string GetLanguageName(int number) {
  std::string digits = ZeroPad(number, 2);
  int count = SUB::Count(KLanguageNameTable);
  for (int i = 0; i < count; ++i) {
    std::string entry = SUB::Item(KLanguageNameTable, i);
    size_t eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    if (entry.find(digits) == std::string::npos) continue;
    return Trim(entry.substr(0, eq));
  }
  return std::string();
}

namespace {
TUserLocale GLocale;
bool GLocaleSet = false;
std::string GSelected;  // the chosen record, "*" for none, empty before the choice
}  // namespace

TUserLocale LocaleFromId(uint32_t localeId) {
  TUserLocale l;
  l.LocaleId = localeId ? localeId : 0x0409;
  uint32_t langId = localeId & 0xFFFF;
  l.PrimaryLanguage = langId ? int(langId & 0x3FF) : 9;
  l.SubLanguage = langId ? int(langId >> 10) : 1;
  return l;
}

void SetUserLocale(uint32_t localeId) {
  GLocale = LocaleFromId(localeId);
  GLocaleSet = true;
}

const TUserLocale& UserLocale() {
  if (!GLocaleSet) {
#ifdef _WIN32
    SetUserLocale(GetThreadLocale());
#else
    SetUserLocale(0x0409);
#endif
  }
  return GLocale;
}

std::string GetCurrentLanguageName() {
  return GetLanguageName(UserLocale().PrimaryLanguage);
}

std::string FindLanguageRecord(const std::string& block, const std::string& name) {
  std::string wanted = UpperCase(Trim(name));
  int count = SUB::Count(block);
  for (int i = 0; i < count; ++i) {
    std::string record = SUB::Item(block, i);
    if (UpperCase(Trim(SUB::Item(record, 0))) == wanted) return record;
  }
  if (count == 1) return SUB::Item(block, 0);
  return std::string();
}

std::string ChooseLanguageRecord(const std::string& block, const std::string& languageName) {
  std::string record = FindLanguageRecord(block, languageName);
  if (record.empty()) record = FindLanguageRecord(block, "English");
  if (record.empty()) record = "*";
  return record;
}

const std::string& SelectedLanguageRecord(const std::string& block) {
  if (GSelected.empty()) GSelected = ChooseLanguageRecord(block, GetCurrentLanguageName());
  return GSelected;
}

void ResetLanguageChoice() {
  GSelected.clear();
}

std::string LangStrFromBlock(const std::string& block, const std::string& key,
                             const std::string& def) {
  const std::string& record = SelectedLanguageRecord(block);
  if (record.size() <= 1) return def;
  return SUB::Value(record, key, def);
}
