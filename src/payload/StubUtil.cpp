// Helpers of the setup flow: folders, free space, processes, command lines,
// volume names.
#include "payload/StubUtil.h"

#include <vector>

#include "payload/UnPack.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/KDebug.h"
#include "support/Win64.h"
#include "text/Common.h"
#include "text/LangRes0.h"
#include "ui/KMsgBox.h"

namespace {

std::string GSetupTempDir;  // computed once per run
bool GSetupTempDirFailed = false;
std::string GAltTempBase;
std::string GAltTempDir;
bool GAltTempDirFailed = false;
std::string GFolderFailureText;

// Makes an extraction folder afresh (see RecreateFolder); on failure notes
// the box text and gives "".
std::string MakeExtractFolder(const std::string& folder, bool& failed) {
  std::string program = ProgramPath();
  size_t s = program.find_last_of('\\');
  std::string keep = s != std::string::npos && SameText(program.substr(0, s), folder)
                         ? program.substr(s + 1)
                         : std::string();
  if (RecreateFolder(folder, keep)) return folder;
  failed = true;
  GFolderFailureText = folder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText();
  DebugLine("Extraction folder not made afresh: ", folder);
  return std::string();
}

const char* const KSpanDiskKey = "HKEY_CURRENT_USER\\Software\\Brannock\\Korvix\\SpanDisk";

}  // namespace

// ---------------------------------------------------------------- atoms

TGlobalAtom::TGlobalAtom(const std::string& name) : FName(name) {
  GlobalAddAtomA(FName.c_str());
}

bool TGlobalAtom::Gone() const {
  return GlobalFindAtomA(FName.c_str()) == 0;
}

void TGlobalAtom::Release() {
  if (FReleased) return;
  FReleased = true;
  ATOM a = GlobalFindAtomA(FName.c_str());
  if (a) GlobalDeleteAtom(a);
}

// ---------------------------------------------------------------- folders

std::string SetupTempDirName(const std::string& tempFolder, uint16_t dosTime) {
  return WithBackslash(tempFolder, true) + "SETUP_" + IntToStr(dosTime);
}

uint32_t FileDosDateTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD d = 0, t = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &d, &t))
    return 0;
  return (static_cast<uint32_t>(d) << 16) | t;
}

uint16_t FileDosTime(const std::string& path) {
  return static_cast<uint16_t>(FileDosDateTime(path) & 0xFFFF);
}

std::string GetSetupTempDir() {
  if (GSetupTempDir.empty() && !GSetupTempDirFailed)
    GSetupTempDir = MakeExtractFolder(
        SetupTempDirName(TempFolder(true), FileDosTime(ProgramPath())), GSetupTempDirFailed);
  return GSetupTempDir;
}

const std::string& FolderFailure() {
  return GFolderFailureText;
}

bool SetupTempDirMade() {
  return !GSetupTempDir.empty();
}

bool FindAltTempDrive() {
  if (!GAltTempBase.empty()) return true;
  double space[3] = {0, 0, 0};
  const char letters[3] = {'C', 'D', 'E'};
  for (int i = 0; i < 3; ++i) {
    std::string root = std::string(1, letters[i]) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
    std::string probe = std::string(1, letters[i]) + ":\\TEMP";
    if (DirExists(probe)) probe += "\\TEMP" + RandomText(10000, 100000);
    std::string file = probe + "\\~aa.tmp";
    if (RecreateFolder(probe, "") && WriteNewFile(file, "aa", 0)) space[i] = DiskFree(probe);
    DeleteTree(probe, false);
  }
  std::string temp = UpperCase(TempFolder(false));
  char tempLetter = temp.empty() ? 0 : temp[0];
  char best = tempLetter;
  double max = 0;
  for (int i = 0; i < 3; ++i) {
    if (space[i] > max) {
      max = space[i];
      best = letters[i];
    }
  }
  if (best != tempLetter) {
    GAltTempBase = std::string(1, best) + ":\\TEMP";
    if (DirExists(GAltTempBase)) GAltTempBase += "\\TEMP";
  }
  return !GAltTempBase.empty();
}

std::string GetAltTempDir() {
  if (GAltTempDir.empty() && !GAltTempBase.empty() && !GAltTempDirFailed)
    GAltTempDir =
        MakeExtractFolder(GAltTempBase + "_" + RandomText(10000, 100000), GAltTempDirFailed);
  return GAltTempDir;
}

void RemoveAltTempDir() {
  std::string dir = GetAltTempDir();
  if (!dir.empty()) DeleteTree(dir, false);
}

bool TempSpaceOK(const std::string& folder, const std::string& setupFile) {
  TGFileInfo info(setupFile);
  return info.GetSpaceRequired(folder) < DiskFree(folder) && DirExists(folder);
}

std::string SpaceMBText(double bytes) {
  if (bytes < 0) bytes = 0;
  double mb = bytes / 1048576.0;
  return FloatText(mb, mb > 10 ? 1 : (mb >= 1 ? 2 : 3));
}

bool ConfirmTempSpace(const std::string& folder, const std::string& setupFile,
                      const TGFileInfo& reader) {
  std::string drive = folder.empty() ? std::string() : UpperCase(folder.substr(0, 1)) + ":";
  double required = reader.GetSpaceRequired(folder);
  double available = DiskFree(folder);
  std::string msg;
  if (reader.ShowTempDriveInfo())
    msg = reader.GetLangStr("s2", "Korvix will extract files to your Temp Drive (<DRIVE>)<P>");
  if (required >= available)
    msg = reader.GetLangStr("s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  if (msg.empty()) return true;
  msg += reader.GetLangStr(
      "s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  msg += reader.GetLangStr("s5",
                           "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  msg += reader.GetLangStr("s6", "<P>Continue with Setup?<P>");
  msg = ReplaceAll(msg, "<DRIVE>", drive);
  msg = ReplaceAll(msg, "<SPACE_REQ>", SpaceMBText(required));
  msg = ReplaceAll(msg, "<SPACE_AVAIL>", SpaceMBText(available));
  return AskYesNo(0, msg, reader.GetLangStr("Confirm", "Confirm"), reader.GetLangCharset(),
                  reader.GetLangStr("BtnText", KDefaultBtnText));
}

// ---------------------------------------------------------------- processes

TProcess StartProcess(const std::string& program, const std::string& commandLine, int showState) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return TProcess();
  return TProcess(pi);
}

void WaitForProcessEnd(HANDLE process) {
  DWORD code = 0;
  do {
    WaitPumping(0, 500);
  } while (process && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE);
}

std::string RemoveSwitch(const std::string& commandLine, const std::string& name) {
  std::string s = commandLine;
  size_t p = s.find(name);
  if (p == std::string::npos || name.empty()) return s;
  // The switch's own "/" goes first, then everything up to the next "/".
  size_t e = p + 1;
  while (e < s.size() && s[e] != '/') ++e;
  s.erase(p, e - p);
  return s;
}

std::string EngineName(const std::string& mainEntry) {
  size_t star = mainEntry.find('*');
  return star == std::string::npos ? mainEntry : Trim(mainEntry.substr(0, star));
}

std::string EngineCommandLine(const std::string& folder, const std::string& mainEntry,
                              const std::string& extraArgs, const std::string& threadIdValue,
                              const std::string& originExe, bool autoUpdateProg) {
  std::string args = extraArgs;
  size_t star = mainEntry.find('*');
  if (star != std::string::npos) args = Trim(args + " " + Trim(mainEntry.substr(star + 1)));
  std::string cmd = WithBackslash(folder, true) + EngineName(mainEntry);
  if (!args.empty()) cmd += " " + args;
  cmd += " /TH_ID=" + threadIdValue;
  if (cmd.find("/OriginExe=") == std::string::npos) cmd += " /OriginExe=\"" + originExe + "\"";
  if (autoUpdateProg) cmd += " /AutoUpdateProg";
  cmd = RemoveSwitch(cmd, "/SpanCdLvl=");
  cmd = RemoveSwitch(cmd, "/SpanDiskFName1=");
  return cmd;
}

// ---------------------------------------------------------------- volumes

std::string VolumeBaseName(const std::string& setupFile) {
  if (setupFile.size() >= 4 && setupFile.compare(setupFile.size() - 4, 4, ".001") == 0)
    return setupFile.substr(0, setupFile.size() - 4);
  return setupFile;
}

std::string NextVolumeName(const std::string& base, int j) {
  return base + "." + ZeroPad(j, 3);
}

bool SpanDiskForcePrompt() {
  return ReadRegistryText(KSpanDiskKey, "ForcePrompt", "0", false) == "1";
}
