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
    {KOriginalFile, KIntegerKey, KOrigSetup, "ProbeSecondsInterval", "0"},
    {KOriginalFile, KIntegerKey, KOrigSetup, "ProbeSecondsLast", "0"},
    {KOriginalFile, KIntegerKey, KOrigSetup, "ReAskSecondsInterval", "0"},
    {KOriginalFile, KIntegerKey, KOrigSetup, "ReAskSecondsLast", "0"},
    {KOriginalFile, KIntegerKey, KOrigSetup, "VersionOriginal", "0"},
    {KOriginalFile, KIntegerKey, KOrigSetup, "Stamp", "0"},
    {KOriginalFile, KStringKey, KOrigSetup, "ProgramName", ""},
    {KOriginalFile, KStringKey, "Directories", "TargetDir", ""},
    {KOriginalFile, KStringKey, "Directories", "SharedDir", ""},
    {KOriginalFile, KStringKey, "Directories", "AuxiliaryDir", ""},
    {KOriginalFile, KStringKey, "UnInstall", "StartUpLink", ""},
    {KOriginalFile, KStringKey, "UnInstall", "CheckforNewUpdateLink", ""},
    {KOriginalFile, KStringKey, KMsgBox, "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"},
    {KOriginalFile, KStringKey, KMsgBox, "Error", "Error"},
    {KOriginalFile, KStringKey, KMsgBox, "Confirm", "Confirm"},
    {KOriginalFile, KStringKey, KMsgBox, "Attention", "Attention"},
    {KOriginalFile, KIntegerKey, KMsgBox, "CharSet", "0"},
    {KOriginalFile, KStringKey, KMsgBox, "FontName", "Tahoma"},
    {KOriginalFile, KIntegerKey, KMsgBox, "FontSize", "8"},
    {KOriginalFile, KStringKey, KAutoUpdate, "s2", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s3", "File Download Aborted!"},
    {KOriginalFile, KStringKey, KAutoUpdate, "s4", "File not Found!"},
    {KOriginalFile, KStringKey, KAutoUpdate, "s5", "Unable to Download File!"},
    {KOriginalFile, KStringKey, KAutoUpdate, "s11", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s12", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s13", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s14", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s15", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s16", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s17", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s18", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s19", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s20", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s21", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s22", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s23", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s24", ""},
    {KOriginalFile, KStringKey, KAutoUpdate, "s31", "Downloading INFO File..."},
    {KOriginalFile, KStringKey, KAutoUpdate, "s32", "Downloading UPDATE File..."},
    {KOriginalFile, KStringKey, KAutoUpdate, "s33", "Downloading INFORM File..."},
    {KOriginalFile, KStringKey, KAutoUpdate, "s34", "New Version"},
    {KOriginalFile, KStringKey, KAutoUpdate, "s35", "Download"},
    {KInfoFile, KStringKey, KNewSetup, "DownloadURL_UPDATE", ""},
    {KInfoFile, KStringKey, KNewSetup, "NameOfUpdateFile", ""},
    {KInfoFile, KIntegerKey, KNewSetup, "SizeOfUpdateFile", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "RequestConfirmationBeforeDownload", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "RequestConfirmationBeforeDownloadForce", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "RequestConfirmationBeforeInstall", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "RequestConfirmationBeforeInstallForce", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "BackgroundUpdate", "0"},
    {KInfoFile, KStringKey, KNewSetup, "ShutDownMethod", ""},
    {KInfoFile, KSwitchKey, KNewSetup, "RestartProcess", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "InformFinish", "0"},
    {KInfoFile, KStringKey, KNewSetup, "RunningProcess", ""},
    {KInfoFile, KStringKey, KNewSetup, "ProgramName", ""},
    {KInfoFile, KIntegerKey, KNewSetup, "VersionNew", "0"},
    {KInfoFile, KIntegerKey, KNewSetup, "Stamp", "0"},
    {KInfoFile, KStringKey, KNewSetup, "ValidVersions", ""},
    {KInfoFile, KSwitchKey, KNewSetup, "RemoveStartUpShortcut", "0"},
    {KInfoFile, KSwitchKey, KNewSetup, "RemoveCheckForNewUpdateShortcut", "0"},
    {KInfoFile, KIntegerKey, "General", "AutoInform", "0"},
    {KInfoFile, KStringKey, KAutoInformSection, "DownloadURL_INFORM", ""},
    {KInfoFile, KStringKey, KAutoInformSection, "NameOfInformFile", ""},
    {KInfoFile, KIntegerKey, KAutoInformSection, "SizeOfInformFile", "0"},
    {KInfoFile, KIntegerKey, KAutoInformSection, "AutoInformW", "360"},
    {KInfoFile, KIntegerKey, KAutoInformSection, "AutoInformH", "360"},
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
