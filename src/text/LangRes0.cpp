#include "text/LangRes0.h"

#include <climits>

#include "payload/UnPack.h"
#include "text/Common.h"
#include "text/SLangId.h"

const char* const KDefaultBtnText = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const KDefaultCaptions = "|Error|Attention|Confirm|";

namespace {
struct TLangEntry {
  const char* Key;
  const char* Text;
};

const TLangEntry KLangTable[] = {
    {"s0", "Korvix Installation Suite"},
    {"s1", "Extracting Files..."},
    {"s2", "Korvix will extract files to your Temp Drive (<DRIVE>)<P>"},
    {"s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>"},
    {"s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>"},
    {"s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>"},
    {"s6", "<P>Continue with Setup?<P>"},
    {"s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."},
    {"s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue"},
    {"s10", "Downloading File..."},
    {"s11",
     "<b>INTERNET DOWNLOAD</b><p><p>Korvix will download the Setup File from the "
     "Internet...<p>Please make sure your Internet connection is properly set.<p><p>"
     "Continue with Setup?<p><P>Size: <SIZE> MB<P>"},
    {"s12", "No valid Internet Connection.<p>Can not Download File!"},
    {"BtnText", KDefaultBtnText},
    {"Attention", "Attention"},
    {"Confirm", "Confirm"},
    {"Error", "Error"},
    {"Charset", "0"},
    {"FontSize", "8"},
    {"FontName", "Tahoma"},
};
}  // namespace

std::string LangDefault(const std::string& key) {
  for (const TLangEntry& e : KLangTable)
    if (SameText(key, e.Key)) return e.Text;
  return std::string();
}

std::string GetLangText(const TGFileInfo& info, const std::string& key) {
  return info.GetLangStr(key, LangDefault(key));
}

int LangIntValue(const std::string& text, int def) {
  int64_t v = StrToInt64Def(text, int64_t(INT_MIN) - 1);
  if (v < INT_MIN || v > INT_MAX) return def;
  return int(v);
}

// ---------------------------------------------------------------------------
// Language operations of the container reader.

std::string TGFileInfo::GetLangStr(const std::string& key, const std::string& def) const {
  return LangStrFromBlock(LanguageBlock(), key, def);
}

int TGFileInfo::GetLangCharset() const {
  return LangIntValue(GetLangStr("Charset", "0"), 0);
}

int TGFileInfo::GetLangFontSize() const {
  return LangIntValue(GetLangStr("FontSize", "8"), 8);
}

std::string TGFileInfo::GetLangFontName() const {
  return GetLangStr("FontName", "Tahoma");
}
