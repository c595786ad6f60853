// The setup flow: extraction, engine launch and hand-shake, volumes.
#include "payload/StubSetup.h"

#include <windows.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "payload/StubInternet.h"
#include "payload/EntryName.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "support/Utils.h"
#include "text/Common.h"
#include "text/LangRes0.h"
#include "ui/KMsgBox.h"
#include "ui/SetupView.h"

namespace {

const char* const KAtomPrefix = "AutoUpdateAtomTokenByKorvix";
const char* const KDialogClassPrefix = ".SDialog_Class_Name.";
const char* const KDefaultBadCrc =
    "Bad CRC!<P>This indicates that your setup file might be corrupted...";
const size_t KReadPiece = 65536;

unsigned GExitCode = 0;
int GSaveErrorCount = 0;
const TGFileInfo* GFlowStubInfo = nullptr;
bool GFlowAutoUpdateProg = false;
TInternetSetupHandler GInternetHandler = nullptr;

bool CreateFolderTree(const std::string& folder) {
  if (DirExists(folder)) return true;
  int rc = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS;
}

void ProgressCall(const TExtractJob& job, int kind, int64_t maximum, int64_t position) {
  if (job.Progress) job.Progress(kind, 0, maximum, position, 1, std::string());
}

std::string SaveFailureDetails(const std::string& path, uint64_t dataSize) {
  double free = DiskFree(path);
  return LastErrorText() + "<P>" + "  Data Size: <T>" + IntToStr(static_cast<int64_t>(dataSize)) +
         " Bytes<P>" + "  File Size:  <T>" + IntToStr(FileSizeByName(path)) + " Bytes<P>" +
         "  Bytes Free: <T>" + IntToStr(static_cast<int64_t>(free)) + " Bytes";
}

void ReportFailedWrite(const std::string& path, uint64_t dataSize) {
  ++GSaveErrorCount;
  if (GSaveErrorCount == 1)
    ShowError(
        0, path + "<P><P>Unable to save Extracted File!<P><P>" + SaveFailureDetails(path, dataSize),
        "", 0, "");
}

// Adds a name to a list of names, each followed by a line break (names never
// hold control characters); false when it was there already.
bool AddName(std::string& list, const std::string& name) {
  const std::string item = '\n' + name + '\n';
  if (list.find(item) != std::string::npos) return false;
  list.append(item, 1, std::string::npos);
  return true;
}

// Writes each file record's bytes as they are inflated. The first record of
// a name creates its file afresh (what is at the path goes first, a link as a
// link, and nothing is written through it); later records append when that
// worked. A name the entry-name rule refuses is not written. The entry's date
// is set after a complete write, and the main entry is taken only from a
// record that was written. A failed write is reported once the record has
// ended, with its size.
class TFileWriter : public TEntrySink {
public:
  explicit TFileWriter(TExtractJob& job) : FJob(job) {}
  void Begin(const TFileEntry& entry) override {
    FEntry = entry;
    FPath = WithBackslash(FJob.TargetFolder, false) + "\\" + entry.FileName;
    FFailed = false;
    const char* problem =
        EntryNameProblem(entry.FileName, WithBackslash(FJob.TargetFolder, false).size());
    if (problem) {
      DebugLine("Refused entry name: ", entry.FileName, " ", problem);
      FFailed = true;
      return;
    }
    FKey = UpperCase(entry.FileName);
    DWORD creation = OPEN_EXISTING;
    if (AddName(FJob.Names, FKey)) {
      ProgressCall(FJob, 1, 0, 0);
      if (PathPresent(FPath)) DeleteFileItself(FPath);
      creation = CREATE_NEW;
    } else if (FJob.FailedNames.find('\n' + FKey + '\n') != std::string::npos) {
      FFailed = true;
      return;
    }
    FFile.Reset(CreateFileA(FPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, creation,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    FFailed =
        !FFile || SetFilePointer(FFile.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER;
  }
  void Write(const char* bytes, size_t count) override {
    while (!FFailed && count > 0) {
      DWORD done = 0;
      if (!WriteFile(FFile.Get(), bytes, static_cast<DWORD>(count), &done, nullptr) || done == 0)
        FFailed = true;
      bytes += done;
      count -= done;
    }
  }
  void End(uint64_t size) override {
    const uint32_t date = FEntry.DosDateTime;
    if (!FFailed && date != 0) {
      FILETIME local, utc;
      if (DosDateTimeToFileTime(HIWORD(date), LOWORD(date), &local) &&
          LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(FFile.Get(), nullptr, nullptr, &utc);
    }
    FFile.Reset();
    if (FFailed) {
      if (!FKey.empty()) AddName(FJob.FailedNames, FKey);
      ReportFailedWrite(FPath, size);
    } else if (FEntry.IsMain()) {
      FJob.MainEntry = FEntry.MainEntry;
      FJob.MainFile = FEntry.FileName;
    }
    FKey.clear();
  }

private:
  TExtractJob& FJob;
  THandle FFile;
  TFileEntry FEntry;
  std::string FPath, FKey;
  bool FFailed = false;
};

// The path of the update-agent copy in the folder, or "" (a failed write)
// when the agent name from the update settings fails the entry-name rule.
std::string AgentCopyPath(const std::string& folder, const std::string& agentName) {
  std::string path = WithBackslash(folder, false) + "\\" + PathFileName(agentName);
  const char* problem = EntryNameProblem(agentName, WithBackslash(folder, false).size());
  if (!problem) return path;
  DebugLine("Refused agent name: ", agentName, " ", problem);
  ReportFailedWrite(WithBackslash(folder, false) + "\\" + agentName, 0);
  return std::string();
}

// Writes the update-agent copy from the start of the first volume.
void WriteExtractedAgentCopy(TPayloadFile& file, const TTrailer& trailer, uint64_t headerEnd,
                             const std::string& setupFile, const std::string& target,
                             const std::string& agentName) {
  std::string path = AgentCopyPath(target, agentName);
  if (path.empty() || headerEnd == 0) return;
  std::string head(static_cast<size_t>(headerEnd), '\0');
  if (!file.ReadExact(0, &head[0], head.size())) return;
  WriteTextFile(path, ExtractedAgentImage(head, trailer.Bytes), FileDosDateTime(setupFile), false);
  DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " New AU-Agent: ", path);
}

// Extracts one volume's records through the walk. False when the volume is
// damaged (a record reaches past its end or cannot be read whole).
bool ExtractVolume(TExtractJob& job, TRecordWalk& walk, TStreamBuffers& buffers, int j,
                   int& entryCounter) {
  const TTrailer& trailer = walk.Trailer();
  const int headerCount = trailer.HeaderCount();
  if (j == 1) ProgressCall(job, 0, trailer.FileCount(), 0);
  if (job.TargetFolder.empty())
    ShowError(0, job.TargetFolder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText(), "",
              0, "");
  else
    CreateFolderTree(job.TargetFolder);

  TFileWriter writer(job);
  TRecordHeader rec;
  TRecordStatus status;
  for (;;) {
    PumpMessages(0);
    status = walk.Next(rec);
    if (status != KRecordRead) break;
    // The entry counter runs on across volumes: only the first volume's
    // first records are header records.
    if (++entryCounter <= headerCount) continue;
    bool hasEntry = false;
    status = walk.StreamFileRecord(buffers, writer, hasEntry);
    if (status != KRecordRead) break;
  }
  if (status == KRecordDamaged) return false;

  if (j == 1 && !PathFileName(job.AgentName).empty() &&
      (EndsWithNoCase(".exe", job.SetupFile) || EndsWithNoCase(".exe.001", job.SetupFile)))
    WriteExtractedAgentCopy(walk.File(), trailer, walk.HeaderEnd(), job.SetupFile, job.TargetFolder,
                            job.AgentName);
  return true;
}

// Ends the run as damaged: exit code 222 and the "Bad CRC!" box with zlib's
// text, or "insufficient memory" for any other failure (memory running out
// above all). Memory may be short: a failing box is left out.
void ReportDamage(const TGFileInfo& reader, const std::exception& e) {
  SetStubExitCode(KExitDecompressionError);
  try {
    const EZLibError* z = dynamic_cast<const EZLibError*>(&e);
    std::string reason = z ? z->what() : ZLibMessage(Z_MEM_ERROR);
    ShowError(0, reader.GetLangStr("s7", KDefaultBadCrc) + "<P><P>" + reason,
              reader.GetLangStr("Error", "Error"), reader.GetLangCharset(),
              reader.GetLangStr("BtnText", KDefaultBtnText));
  } catch (const std::exception&) {
  }
}

void ShowMainWindowNow(bool show) {
  if (SetupView.ShowMainWindow) SetupView.ShowMainWindow(show);
}

// The extraction folder could not be made afresh: the setup stops here.
void StopForFolder() {
  ShowError(0, FolderFailure(), "", 0, "");
  SetStubExitCode(KExitNoExtractFolder);
}

// Removes a shortcut the .INFO file asks to remove. Only a ".lnk" file goes
// (the file itself, never what a link leads to); any other path named in
// the descriptor is left alone.
void RemoveShortcut(const std::string& info, const char* key, const std::string& link) {
  if (ReadIniString(info, "NewSetup", key, "") != "1" || link.empty() || !FileExists(link)) return;
  if (EndsWithNoCase(".lnk", link))
    DeleteFileItself(link);
  else
    DebugLine("Not a shortcut, left alone: ", link);
}

}  // namespace

unsigned StubExitCode() {
  return GExitCode;
}
void SetStubExitCode(unsigned code) {
  GExitCode = code;
}

void SetSetupFlowContext(const TGFileInfo* stubFileInfo, bool autoUpdateProg) {
  GFlowStubInfo = stubFileInfo;
  GFlowAutoUpdateProg = autoUpdateProg;
}

void SetInternetSetupHandler(TInternetSetupHandler handler) {
  GInternetHandler = handler;
}

std::string InternetAgentImage(const std::string& image) {
  std::string out = image;
  uint64_t len = out.size();
  uint32_t p = static_cast<uint32_t>(PayloadEndFromBytes(out));
  if (p < len && len - p < 10000) out.resize(p);
  // The trailer ends at the payload end, also when a long tail (a signature
  // with its padding) is kept: the agent mark goes there, never into the tail.
  uint64_t end = (p > 0 && p <= out.size()) ? p : out.size();
  if (end >= KTrailerSize) out[end - KTrailerSize + KTrlIsAgent] = 1;
  return out;
}

std::string ExtractedAgentImage(const std::string& headAndHeaders, const uint8_t trailer[74]) {
  std::string out = headAndHeaders;
  if (out.size() >= 256) std::memset(&out[252], 0, 4);
  std::string tail(reinterpret_cast<const char*>(trailer), KTrailerSize);
  tail[KTrlIsAgent] = 1;
  tail[70] = 74;
  tail[71] = tail[72] = tail[73] = 0;
  return out + tail;
}

bool NextVolumeStep(const std::string& base, int& j, const TExtractJob& job,
                    std::string& nextPath) {
  SetAutoPlaySuppression(true);
  ++j;
  nextPath = NextVolumeName(base, j);
  if (!job.ForcePrompt && FileExists(nextPath)) return true;
  EjectCD(nextPath);
  bool goOn = false;
  do {
    std::string msg = ReplaceAllNoCase(job.DiskPrompt, "<DISK_NUM>", IntToStr(j));
    goOn = AskOkCancel(0, msg, job.DiskCaption, job.Charset, job.Buttons);
    WaitPumping(0, 500);
  } while (!FileExists(nextPath) && goOn);
  return goOn;
}

void ExtractPayload(TExtractJob& job) {
  int64_t started = NowMs();
  std::string base = VolumeBaseName(job.SetupFile);
  int j = 1;
  job.MainEntry.clear();
  job.MainFile.clear();
  job.Names = job.FailedNames = "\n";
  job.IntegrityOK = false;
  job.VolumeDamaged = false;
  job.Volumes = 0;
  ProgressCall(job, 0, 0, 0);
  int entryCounter = 0;
  bool goOn = true;
  std::string volume = job.SetupFile;
  bool another = false;
  TStreamBuffers buffers;
  do {
    if (!FileExists(volume)) break;
    TRecordWalk walk;
    bool open = walk.Open(volume);
    const TTrailer& trailer = walk.Trailer();
    ++job.Volumes;
    if (j == 1) DebugLine("FileInfo.FilesCount=", static_cast<unsigned long>(trailer.FileCount()));
    job.IntegrityOK = ChecksumMatches(VolumeChecksum(volume, trailer.Length()), trailer.Checksum());
    if (!job.IntegrityOK) break;
    DebugLine("FileLen=", static_cast<unsigned long long>(walk.PayloadEnd()));
    // A volume with the magic number whose trailer or record area lies
    // outside the file is as damaged as one whose record does.
    if (trailer.MagicOK() && (!open || !ExtractVolume(job, walk, buffers, j, entryCounter))) {
      DebugLine("Damaged volume: ", volume);
      job.VolumeDamaged = true;
      job.IntegrityOK = false;
      break;
    }
    another = (trailer.Options() & KOptNextVolume) != 0;
    if (another) {
      goOn = NextVolumeStep(base, j, job, volume);
      ProgressCall(job, 1, 0, 0);
    }
  } while (another && goOn);
  if (!goOn) job.MainEntry.clear();
  DebugLine("UnCompressTime: ", static_cast<long long>(NowMs() - started), " MS");
  DebugLine("");
  WaitPumping(0, 500);
}

bool ExtractAndRunEngine(const std::string& tempFolder, const std::string& setupFile,
                         const std::string& agentName, const std::string& extraArgs,
                         bool foreground) {
  TGFileInfo reader(setupFile);
  std::string folder = tempFolder;
  if (reader.ShowActivityBar() && SetupView.ShowActivityBar) SetupView.ShowActivityBar();
  if (SetupView.SetStatusText)
    SetupView.SetStatusText(reader.GetLangStr("s1", "Extracting Files..."),
                            reader.GetLangFontName(), reader.GetLangFontSize(),
                            reader.GetLangCharset());
  if (!TempSpaceOK(folder, setupFile) && FindAltTempDrive()) folder = GetAltTempDir();
  if (folder.empty()) {
    StopForFolder();
    return false;
  }
  DebugLine("========= ForegroundOp=", foreground, " ==========");
  bool goOn = foreground ? ConfirmTempSpace(folder, setupFile, reader) : true;
  bool result = false;
  if (goOn) {
    TExtractJob job;
    job.SetupFile = setupFile;
    job.TargetFolder = folder;
    job.AgentName = agentName;
    job.Progress = SetupView.ExtractProgress;
    job.DiskPrompt =
        reader.GetLangStr("s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    job.DiskCaption = reader.GetLangStr("Attention", "Attention");
    job.Buttons = reader.GetLangStr("BtnText", KDefaultBtnText);
    job.Charset = reader.GetLangCharset();
    job.ForcePrompt = SpanDiskForcePrompt();
    if (foreground) ShowMainWindowNow(true);
    WaitPumping(1, 1000);
    bool zlibFailed = false;
    try {
      ExtractPayload(job);
    } catch (const std::exception& e) {
      // A damaged compressed record (or memory running out, which reads
      // the same) ends the run: one error box, no engine, a non-zero exit
      // code; the caller removes the folder.
      zlibFailed = true;
      LogException(e, "StubSetup.ExtractPayload()");
      ReportDamage(reader, e);
    }
    if (!zlibFailed) WaitPumping(0, 1000);

    // The engine is the file its record wrote, started by its full path.
    const std::string engine = EngineName(job.MainEntry);
    if (!job.MainEntry.empty() && !SameText(engine, job.MainFile))
      DebugLine("Main entry names no extracted file: ", job.MainEntry);
    if (!zlibFailed && !job.MainEntry.empty() && SameText(engine, job.MainFile) &&
        job.IntegrityOK) {
      std::string tid = "_" + IntToStr(GetCurrentThreadId());
      std::string cmd = EngineCommandLine(folder, job.MainEntry, extraArgs, tid, ProgramPath(),
                                          GFlowAutoUpdateProg);
      std::string original, info;
      if (GFlowStubInfo) {
        original = ProgramFolder(true) + GFlowStubInfo->GetOriginalFileName();
        info = ProgramFolder(true) + GFlowStubInfo->GetInfoFileName();
      }
      std::string startUpLink =
          original.empty() ? "" : ReadIniString(original, "UnInstall", "StartUpLink", "");
      std::string checkLink =
          original.empty() ? "" : ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "");
      DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " ==== WinExec(Engine.exe) >>",
                cmd, "<<");
      TGlobalAtom atom(KAtomPrefix + tid);
      TProcess process =
          StartProcess(WithBackslash(folder, true) + engine, cmd, foreground ? SW_SHOW : SW_HIDE);
      ShowMainWindowNow(false);
      WaitPumping(0, 1000);
      WaitForProcessEnd(process.Process.Get());
      DWORD code = 0;
      if (process && GetExitCodeProcess(process.Process.Get(), &code)) SetStubExitCode(code);
      WaitWindowGone(KDialogClassPrefix + tid, "");
      WaitPumping(0, 1000);
      result = atom.Gone();
      atom.Release();
      if (result && !info.empty()) {
        RemoveShortcut(info, "RemoveStartUpShortcut", startUpLink);
        RemoveShortcut(info, "RemoveCheckForNewUpdateShortcut", checkLink);
      }
    }
    if (!zlibFailed && !job.IntegrityOK)
      ShowError(0, reader.GetLangStr("s7", KDefaultBadCrc), reader.GetLangStr("Error", "Error"),
                reader.GetLangCharset(), job.Buttons);
  }
  RemoveAltTempDir();
  return result;
}

namespace {

void RunSetupSteps(const TGFileInfo& info, const std::string& tempDir) {
  std::string location = info.GetDownloadLocation();
  std::string agentName = info.MakeAgentCopy() ? info.GetAgentExeName() : std::string();
  if (tempDir.empty()) {
    StopForFolder();
  } else if (info.IsInternetSetup()) {
    std::string agentPath = agentName.empty() ? std::string() : AgentCopyPath(tempDir, agentName);
    if (!agentPath.empty()) {
      std::string image = ReadFilePart(ProgramPath(), 0, false, 0);
      WriteTextFile(agentPath, InternetAgentImage(image), FileDosDateTime(ProgramPath()), false);
    }
    if (!info.DownloadAlways() && FileExists(ProgramFolder(true) + info.GetDownloadFileName()))
      location = ProgramFolder(false);
    if (GInternetHandler) GInternetHandler(tempDir, location, info.GetDownloadFileName());
  } else {
    std::string setupFile = GetSwitchValue("/SpanDiskFName1=", "");
    if (setupFile.empty()) setupFile = ProgramPath();
    bool hidden = HasSwitch("/hide") || info.IsHiddenSetup();
    ExtractAndRunEngine(tempDir, setupFile, agentName, GetParams(), !hidden);
  }
}

}  // namespace

void RunSetupFlow() {
  if (SetupView.StopMainTimer) SetupView.StopMainTimer();
  if (!GFlowStubInfo) {
    PostQuitMessage(0);
    return;
  }
  const TGFileInfo& info = *GFlowStubInfo;
  std::string tempDir;
  // Nothing leaves the timer tick: whatever escapes the steps below (memory
  // running out above all) ends the run as a damaged setup.
  try {
    tempDir = GetSetupTempDir();
    RunSetupSteps(info, tempDir);
  } catch (const std::exception& e) {
    LogException(e, "StubSetup.RunSetupFlow()");
    ReportDamage(info, e);
  }
  if (!tempDir.empty()) DeleteTree(tempDir, false);
  PostQuitMessage(0);
}

void StartSpanCopy() {
  std::string program = ProgramPath();
  std::string folder = GetSetupTempDir();
  if (folder.empty()) {
    StopForFolder();
    return;
  }
  std::string copy = folder + "\\Y_" + PathFileName(program);
  CopyFileA(program.c_str(), copy.c_str(), FALSE);
  std::string args = Trim(GetParams() + " /SpanCdLvl=2 /SpanDiskFName1=\"" + program + ".001\"" +
                          " /OriginExe=\"" + program + "\"");
  StartProcess(copy, copy + " " + args, SW_HIDE);
}
