// The update agent's two descriptor files: the installed product's
// ".original" file (version, stamp, the agent's timing, folders, message
// texts) and the ".info" file that the server offers (new version, where the
// update lies and how large it is, which versions it replaces, how to shut
// the product down, which questions to ask, the inform page). Every key has
// one reader that opens the file anew; the agent's timing keys have writers.
// Also the override set that takes precedence over the ".info" switches, the
// valid-versions and size tests, and the registry values of test mode.
//
// Portable: the override set, the valid-versions and size rules and the text
// forms; reading and writing the files and the registry are Windows only.
#pragma once

#include <cstdint>
#include <string>

// --- Keys -------------------------------------------------------------------
// One enumerator per key; the table in StubGlob.cpp gives file, section, name,
// type and default of each.
enum TDescKey {
  // .original [OriginalSetup]
  KProbeSecondsInterval,
  KProbeSecondsLast,
  KReAskSecondsInterval,
  KReAskSecondsLast,
  KVersionOriginal,
  KStampOriginal,
  KProgramNameOriginal,
  // .original [Directories], [UnInstall]
  KTargetDir,
  KSharedDir,
  KAuxiliaryDir,
  KStartUpLink,
  KCheckforNewUpdateLink,
  // .original [MsgBox]
  KBtnText,
  KErrorCaption,
  KConfirmCaption,
  KAttentionCaption,
  KCharSet,
  KFontName,
  KFontSize,
  // .original [AutoUpdate]: the agent's message texts
  KS2,
  KS3,
  KS4,
  KS5,
  KS11,
  KS12,
  KS13,
  KS14,
  KS15,
  KS16,
  KS17,
  KS18,
  KS19,
  KS20,
  KS21,
  KS22,
  KS23,
  KS24,
  KS31,
  KS32,
  KS33,
  KS34,
  KS35,
  // .info [NewSetup]
  KDownloadURL_UPDATE,
  KNameOfUpdateFile,
  KSizeOfUpdateFile,
  KRequestConfirmationBeforeDownload,
  KRequestConfirmationBeforeDownloadForce,
  KRequestConfirmationBeforeInstall,
  KRequestConfirmationBeforeInstallForce,
  KBackgroundUpdate,
  KShutDownMethod,
  KRestartProcess,
  KInformFinish,
  KRunningProcess,
  KProgramNameInfo,
  KVersionNew,
  KStampInfo,
  KValidVersions,
  KRemoveStartUpShortcut,
  KRemoveCheckForNewUpdateShortcut,
  // .info [General], [AutoInform]
  KAutoInform,
  KDownloadURL_INFORM,
  KNameOfInformFile,
  KSizeOfInformFile,
  KAutoInformW,
  KAutoInformH,
  KDescKeyCount
};

enum TDescFile { KOriginalFile, KInfoFile };
enum TDescType { KStringKey, KIntegerKey, KSwitchKey };

struct TDescKeyInfo {
  TDescFile File;
  TDescType Type;
  const char* Section;
  const char* Name;
  const char* Default;  // text of the default ("0" for switches)
};
const TDescKeyInfo& DescKeyInfo(TDescKey key);

// A switch value is on only when it is exactly "1" (blanks around it are not
// part of it): "yes" and "true" are off.
bool SwitchOn(const std::string& value);

// --- Override set -------------------------------------------------------------
// Eight bytes that take precedence over the ".info" switches: 255 follows the
// file, 1 is on, anything else off.
enum TOverride {
  KOvAskBeforeProbe,  // no .info key: ask the check-now question before a probe
  KOvConfirmDownload,
  KOvConfirmInstall,
  KOvBackgroundUpdate,
  KOvInformFinish,
  KOvRestartProcess,
  KOvConfirmDownloadForce,
  KOvConfirmInstallForce,
  KOverrideCount
};
const std::uint8_t KFollowInfo = 255;

struct TOverrideSet {
  std::uint8_t Values[KOverrideCount] = {255, 255, 255, 255, 255, 255, 255, 255};

  // Indices 0 to 5 (the ones a controller sets); the value's low byte.
  void Set(int index, std::int64_t value);
  // "|o0|o1|o2|o3|o4|o5|o6|o7|" in decimal.
  std::string Text() const;
  // Takes the fields of that form in order; an empty field or one that is
  // not a number leaves its override unchanged.
  void Parse(const std::string& text);
  // The effective switch: the file's value when the override is 255, else
  // on exactly when it is 1.
  bool Effective(TOverride which, bool infoSwitch) const;
};
// The running agent's overrides (all 255 at start).
extern TOverrideSet AgentOverrides;
// The ".info" switch each override stands for (KDescKeyCount for index 0).
TDescKey OverriddenKey(TOverride which);

// --- Rules ----------------------------------------------------------------------
// ValidVersions: empty passes; otherwise "," + version + "," must occur in
// "," + list + ",".
bool ValidVersionsOK(const std::string& validVersions, std::int64_t versionOriginal);
// A size found (-1: unknown) is within 99 bytes of the announced one. An
// unknown size never passes.
bool SizeWithinTolerance(std::int64_t actual, std::int64_t expected);
// The current local time in the agent's unit: seconds since 30 December 1899,
// rounded to the nearest second.
std::int64_t NowSeconds();
// The readable twin of a time key: "06-DEC-2023 04:53:20".
std::string TimeTwinText(std::int64_t seconds);
// The last path element of a name (either separator).
std::string LastPathElement(const std::string& name);

// Test mode holds when TestMode is "1" and TestModeDate is today's date stamp
// ("06-DEC-2023").
bool TestModeHolds(const std::string& testMode, const std::string& testModeDate,
                   const std::string& today);

// The HTTP size query of the size test: the size of the file at url, -1 when
// there is no connection or no size. Wired in by the module that owns the HTTP
// client; while none is set, HTTP sources have no size.
using THttpSizeQuery = std::int64_t (*)(const std::string& url);
void SetHttpSizeQuery(THttpSizeQuery query);

#ifdef _WIN32
// --- Files ----------------------------------------------------------------------
// Where the two files lie: the agent's folder and the names from the update
// settings (".info" name; its ".original" twin).
void SetDescriptorFiles(const std::string& agentFolder, const std::string& infoFileName,
                        const std::string& originalFileName);
std::string InfoFilePath();
std::string OriginalFilePath();

// Readers: each opens its file anew; absent keys and unparsable numbers give
// the key's default.
std::string DescText(TDescKey key);
std::int64_t DescInt(TDescKey key);
bool DescSwitch(TDescKey key);
// A switch after the agent's overrides.
bool EffectiveSwitch(TOverride which);

// Writers of the ".original" timing keys. Time keys (ProbeSecondsLast,
// ReAskSecondsLast) also write their "__" twin. Failures are ignored.
void WriteDescInt(TDescKey key, std::int64_t value);

// Size test of the update setup, or of the inform page when [General]
// AutoInform is 1: the local file base + "\" + name when it exists, else (not
// in test mode) the HTTP size of base + "/" + name. Base is testBase in test
// mode, else DownloadURL_UPDATE. A failure writes "  InfoSize=", "  HttpSize="
// and "  URL=" to the agent log.
bool UpdateSizeOK(bool testMode, const std::string& testBase);

// The registry values of test mode (HKCU\Software\Brannock\Korvix\AutoUpdate).
struct TTestModeValues {
  std::string TestMode, TestModeDate, TestModeURL;
};
TTestModeValues ReadTestModeValues();
#endif
