#include "agent/StubGlob.h"

#include <cstdlib>

#include "text/Common.h"
#include "text/KSUB.h"

#ifdef _WIN32
#include "support/Files.h"
#include "support/KDebug.h"
#include "support/Utils.h"
#include "support/Win64.h"
#endif

namespace {

const char* const KOrigSetup = "OriginalSetup";
const char* const KMsgBox = "MsgBox";
const char* const KAutoUpdate = "AutoUpdate";
const char* const KNewSetup = "NewSetup";
const char* const KAutoInformSection = "AutoInform";

const TDescKeyInfo GKeys[KDescKeyCount] = {
    {KOriginalFile, KOrigSetup, "ProbeSecondsInterval", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "ProbeSecondsLast", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "ReAskSecondsInterval", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "ReAskSecondsLast", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "VersionOriginal", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "Stamp", KIntegerKey, "0"},
    {KOriginalFile, KOrigSetup, "ProgramName", KStringKey, ""},
    {KOriginalFile, "Directories", "TargetDir", KStringKey, ""},
    {KOriginalFile, "Directories", "SharedDir", KStringKey, ""},
    {KOriginalFile, "Directories", "AuxiliaryDir", KStringKey, ""},
    {KOriginalFile, "UnInstall", "StartUpLink", KStringKey, ""},
    {KOriginalFile, "UnInstall", "CheckforNewUpdateLink", KStringKey, ""},
    {KOriginalFile, KMsgBox, "BtnText", KStringKey, "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"},
    {KOriginalFile, KMsgBox, "Error", KStringKey, "Error"},
    {KOriginalFile, KMsgBox, "Confirm", KStringKey, "Confirm"},
    {KOriginalFile, KMsgBox, "Attention", KStringKey, "Attention"},
    {KOriginalFile, KMsgBox, "CharSet", KIntegerKey, "0"},
    {KOriginalFile, KMsgBox, "FontName", KStringKey, "Tahoma"},
    {KOriginalFile, KMsgBox, "FontSize", KIntegerKey, "8"},
    {KOriginalFile, KAutoUpdate, "s2", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s3", KStringKey, "File Download Aborted!"},
    {KOriginalFile, KAutoUpdate, "s4", KStringKey, "File not Found!"},
    {KOriginalFile, KAutoUpdate, "s5", KStringKey, "Unable to Download File!"},
    {KOriginalFile, KAutoUpdate, "s11", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s12", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s13", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s14", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s15", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s16", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s17", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s18", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s19", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s20", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s21", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s22", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s23", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s24", KStringKey, ""},
    {KOriginalFile, KAutoUpdate, "s31", KStringKey, "Downloading INFO File..."},
    {KOriginalFile, KAutoUpdate, "s32", KStringKey, "Downloading UPDATE File..."},
    {KOriginalFile, KAutoUpdate, "s33", KStringKey, "Downloading INFORM File..."},
    {KOriginalFile, KAutoUpdate, "s34", KStringKey, "New Version"},
    {KOriginalFile, KAutoUpdate, "s35", KStringKey, "Download"},
    {KInfoFile, KNewSetup, "DownloadURL_UPDATE", KStringKey, ""},
    {KInfoFile, KNewSetup, "NameOfUpdateFile", KStringKey, ""},
    {KInfoFile, KNewSetup, "SizeOfUpdateFile", KIntegerKey, "0"},
    {KInfoFile, KNewSetup, "RequestConfirmationBeforeDownload", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "RequestConfirmationBeforeDownloadForce", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "RequestConfirmationBeforeInstall", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "RequestConfirmationBeforeInstallForce", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "BackgroundUpdate", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "ShutDownMethod", KStringKey, ""},
    {KInfoFile, KNewSetup, "RestartProcess", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "InformFinish", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "RunningProcess", KStringKey, ""},
    {KInfoFile, KNewSetup, "ProgramName", KStringKey, ""},
    {KInfoFile, KNewSetup, "VersionNew", KIntegerKey, "0"},
    {KInfoFile, KNewSetup, "Stamp", KIntegerKey, "0"},
    {KInfoFile, KNewSetup, "ValidVersions", KStringKey, ""},
    {KInfoFile, KNewSetup, "RemoveStartUpShortcut", KSwitchKey, "0"},
    {KInfoFile, KNewSetup, "RemoveCheckForNewUpdateShortcut", KSwitchKey, "0"},
    {KInfoFile, "General", "AutoInform", KIntegerKey, "0"},
    {KInfoFile, KAutoInformSection, "DownloadURL_INFORM", KStringKey, ""},
    {KInfoFile, KAutoInformSection, "NameOfInformFile", KStringKey, ""},
    {KInfoFile, KAutoInformSection, "SizeOfInformFile", KIntegerKey, "0"},
    {KInfoFile, KAutoInformSection, "AutoInformW", KIntegerKey, "360"},
    {KInfoFile, KAutoInformSection, "AutoInformH", KIntegerKey, "360"},
};

const TDescKey GOverridden[KOverrideCount] = {
    KDescKeyCount,
    KRequestConfirmationBeforeDownload,
    KRequestConfirmationBeforeInstall,
    KBackgroundUpdate,
    KInformFinish,
    KRestartProcess,
    KRequestConfirmationBeforeDownloadForce,
    KRequestConfirmationBeforeInstallForce,
};

THttpSizeQuery GHttpSizeQuery = nullptr;

}  // namespace

const TDescKeyInfo& DescKeyInfo(TDescKey key) {
  return GKeys[key];
}

bool SwitchOn(const std::string& value) {
  return Trim(value) == "1";
}

TOverrideSet AgentOverrides;

void TOverrideSet::Set(int index, std::int64_t value) {
  if (index >= 0 && index <= KOvRestartProcess) Values[index] = static_cast<std::uint8_t>(value);
}

std::string TOverrideSet::Text() const {
  std::string text = "|";
  for (std::uint8_t v : Values) text += IntToStr(v) + "|";
  return text;
}

void TOverrideSet::Parse(const std::string& text) {
  // The fields are read as a "|" list whatever the text starts or ends with.
  std::string list = !text.empty() && text[0] == '|' ? text : "|" + text;
  if (list.back() != '|') list += "|";
  for (int i = 0; i < KOverrideCount; ++i) {
    const std::string field = Trim(SUB::Item(list, i, ""));
    const std::int64_t missing = -1000;  // no byte reads as this
    const std::int64_t v = field.empty() ? missing : StrToInt64Def(field, missing);
    if (v != missing) Values[i] = static_cast<std::uint8_t>(v);
  }
}

bool TOverrideSet::Effective(TOverride which, bool infoSwitch) const {
  const std::uint8_t v = Values[which];
  return v == KFollowInfo ? infoSwitch : v == 1;
}

TDescKey OverriddenKey(TOverride which) {
  return GOverridden[which];
}

bool ValidVersionsOK(const std::string& validVersions, std::int64_t versionOriginal) {
  if (validVersions.empty()) return true;
  return Pos("," + IntToStr(versionOriginal) + ",", "," + validVersions + ",") > 0;
}

bool SizeWithinTolerance(std::int64_t actual, std::int64_t expected) {
  // An unknown size (-1) once passed against small announced sizes.
  if (actual < 0) return false;
  const std::int64_t d = actual - expected;
  return d > -100 && d < 100;
}

std::int64_t NowSeconds() {
  return RoundHalfAway(Now() * 86400.0);
}

std::string TimeTwinText(std::int64_t seconds) {
  return DateStampTimeText(SecondsToDateTime(seconds), " ", TLocaleDates());
}

std::string LastPathElement(const std::string& name) {
  const size_t p = name.find_last_of("\\/");
  return p == std::string::npos ? name : name.substr(p + 1);
}

bool TestModeHolds(const std::string& testMode, const std::string& testModeDate,
                   const std::string& today) {
  return testMode == "1" && SameText(Trim(testModeDate), today);
}

void SetHttpSizeQuery(THttpSizeQuery query) {
  GHttpSizeQuery = query;
}

#ifdef _WIN32
namespace {

std::string GAgentFolder, GInfoName, GOriginalName;

std::string PathOf(TDescFile file) {
  return file == KInfoFile ? InfoFilePath() : OriginalFilePath();
}

}  // namespace

void SetDescriptorFiles(const std::string& agentFolder, const std::string& infoFileName,
                        const std::string& originalFileName) {
  GAgentFolder = WithBackslash(agentFolder, false);
  GInfoName = infoFileName;
  GOriginalName = originalFileName;
}

std::string InfoFilePath() {
  return GAgentFolder + "\\" + GInfoName;
}

std::string OriginalFilePath() {
  return GAgentFolder + "\\" + GOriginalName;
}

std::string DescText(TDescKey key) {
  const TDescKeyInfo& k = GKeys[key];
  return ReadIniString(PathOf(k.File), k.Section, k.Name, k.Default);
}

std::int64_t DescInt(TDescKey key) {
  const TDescKeyInfo& k = GKeys[key];
  return ReadIniInt(PathOf(k.File), k.Section, k.Name, StrToInt64Def(k.Default, 0));
}

bool DescSwitch(TDescKey key) {
  return SwitchOn(DescText(key));
}

bool EffectiveSwitch(TOverride which) {
  const TDescKey key = GOverridden[which];
  return AgentOverrides.Effective(which, key != KDescKeyCount && DescSwitch(key));
}

void WriteDescInt(TDescKey key, std::int64_t value) {
  const TDescKeyInfo& k = GKeys[key];
  const std::string file = PathOf(k.File);
  WriteIniInt(file, k.Section, k.Name, value);
  if (key == KProbeSecondsLast || key == KReAskSecondsLast)
    WriteIniString(file, k.Section, std::string("__") + k.Name, TimeTwinText(value));
}

bool UpdateSizeOK(bool testMode, const std::string& testBase) {
  const bool inform = DescInt(KAutoInform) == 1;
  const std::int64_t expected = DescInt(inform ? KSizeOfInformFile : KSizeOfUpdateFile);
  const std::string name =
      LastPathElement(DescText(inform ? KNameOfInformFile : KNameOfUpdateFile));
  const std::string base = testMode ? testBase : DescText(KDownloadURL_UPDATE);
  std::string url = base + "\\" + name;
  std::int64_t actual = -1;
  if (FileExists(url)) {
    actual = FileSizeByName(url);
  } else if (!testMode && GHttpSizeQuery) {
    url = base + "/" + name;
    actual = GHttpSizeQuery(url);
  }
  if (SizeWithinTolerance(actual, expected)) return true;
  AgentLog("  InfoSize=" + IntToStr(expected));
  AgentLog("  HttpSize=" + IntToStr(actual));
  AgentLog("  URL=" + url);
  return false;
}

TTestModeValues ReadTestModeValues() {
  const char* const key = "HKEY_CURRENT_USER\\Software\\Brannock\\Korvix\\AutoUpdate";
  TTestModeValues v;
  v.TestMode = ReadRegistryText(key, "TestMode", "0", false);
  v.TestModeDate = ReadRegistryText(key, "TestModeDate", "", false);
  v.TestModeURL = ReadRegistryText(key, "TestModeURL", "", false);
  return v;
}
#endif
