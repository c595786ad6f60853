// The setup flow: extraction, engine launch and hand-shake, volumes.
#include "payload/StubSetup.h"

#include <windows.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "text/Common.h"
#include "ui/KMsgBox.h"
#include "ui/SetupView.h"

namespace {

const char* const KAtomPrefix = "AutoUpdateAtomTokenByKorvix";
const char* const KDialogClassPrefix = ".SDialog_Class_Name.";
const char* const KDefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const KDefaultBadCrc =
    "Bad CRC!<P>This indicates that your setup file might be corrupted...";
const size_t KReadPiece = 65536;

unsigned GExitCode = 0;
int GSaveErrorCount = 0;
const TGFileInfo* GFlowStubInfo = nullptr;
bool GFlowAutoUpdateProg = false;
TInternetSetupHandler GInternetHandler = nullptr;

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key) {
  std::vector<char> buf(32769);
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf.data(),
                           static_cast<DWORD>(buf.size()), file.c_str());
  return buf.data();
}

std::string FileNamePart(const std::string& path) {
  size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}

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

// Writes each file record's bytes as they are inflated, appended to the
// file of its name, and sets the entry's date after a complete write. A
// failed write is reported once the record has ended, with its size.
class TFileWriter : public TEntrySink {
public:
  explicit TFileWriter(TExtractJob& job) : FJob(job) {}
  void Begin(const TFileEntry& entry) override {
    if (entry.IsMain()) FJob.MainEntry = entry.MainEntry;
    FPath = WithBackslash(FJob.TargetFolder, false) + "\\" + entry.FileName;
    FDate = entry.DosDateTime;
    FFailed = false;
    if (!EntryNameIsSafe(entry.FileName)) {
      // Never written: a name that would leave the extraction folder
      // counts as a failed write.
      DebugLine("Refused entry name: ", entry.FileName);
      FFailed = true;
      return;
    }
    if (!FileExists(FPath)) ProgressCall(FJob, 1, 0, 0);
    FFile.Reset(CreateFileA(FPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    if (!FFailed && FDate != 0) {
      FILETIME local, utc;
      if (DosDateTimeToFileTime(HIWORD(FDate), LOWORD(FDate), &local) &&
          LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(FFile.Get(), nullptr, nullptr, &utc);
    }
    FFile.Reset();
    if (FFailed) ReportFailedWrite(FPath, size);
  }

private:
  TExtractJob& FJob;
  THandle FFile;
  std::string FPath;
  uint32_t FDate = 0;
  bool FFailed = false;
};

// Writes the update-agent copy from the start of the first volume.
void WriteExtractedAgentCopy(TPayloadFile& file, const TTrailer& trailer, uint64_t headerEnd,
                             const std::string& setupFile, const std::string& target,
                             const std::string& agentName) {
  std::string head(static_cast<size_t>(headerEnd), '\0');
  if (headerEnd == 0 || !file.ReadExact(0, &head[0], head.size())) return;
  std::string path = WithBackslash(target, false) + "\\" + FileNamePart(agentName);
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

  if (j == 1 && !FileNamePart(job.AgentName).empty() &&
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
              reader.GetLangStr("BtnText", KDefaultButtons));
  } catch (const std::exception&) {
  }
}

void ShowMainWindowNow(bool show) {
  if (SetupView.ShowMainWindow) SetupView.ShowMainWindow(show);
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

bool EntryNameIsSafe(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t e = name.find_first_of("\\/", start);
    if (e == std::string::npos) e = name.size();
    std::string part = name.substr(start, e - start);
    // Windows drops trailing dots and blanks, so "..." and ". ." name
    // the folder above as well.
    if (!part.empty() && part.find_first_not_of(". ") == std::string::npos) return false;
    if (part.empty()) return false;
    start = e + 1;
  }
  return true;
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
    job.Buttons = reader.GetLangStr("BtnText", KDefaultButtons);
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

    if (!zlibFailed && !job.MainEntry.empty() && job.IntegrityOK) {
      std::string tid = "_" + IntToStr(GetCurrentThreadId());
      std::string cmd = EngineCommandLine(folder, job.MainEntry, extraArgs, tid, ProgramPath(),
                                          GFlowAutoUpdateProg);
      std::string original, info;
      if (GFlowStubInfo) {
        original = ProgramFolder(true) + GFlowStubInfo->GetOriginalFileName();
        info = ProgramFolder(true) + GFlowStubInfo->GetInfoFileName();
      }
      std::string startUpLink =
          original.empty() ? "" : ReadIni(original, "UnInstall", "StartUpLink");
      std::string checkLink =
          original.empty() ? "" : ReadIni(original, "UnInstall", "CheckforNewUpdateLink");
      DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " ==== WinExec(Engine.exe) >>",
                cmd, "<<");
      TGlobalAtom atom(KAtomPrefix + tid);
      TScopedHandle process(StartProcess(cmd, foreground ? SW_SHOW : SW_HIDE));
      ShowMainWindowNow(false);
      WaitPumping(0, 1000);
      WaitForProcessEnd(process.Get());
      DWORD code = 0;
      if (process.Get() && GetExitCodeProcess(process.Get(), &code)) SetStubExitCode(code);
      WaitWindowGone(KDialogClassPrefix + tid, "");
      WaitPumping(0, 1000);
      result = atom.Gone();
      atom.Release();
      if (result && !info.empty()) {
        if (ReadIni(info, "NewSetup", "RemoveStartUpShortcut") == "1" && !startUpLink.empty() &&
            FileExists(startUpLink))
          DeleteFileA(startUpLink.c_str());
        if (ReadIni(info, "NewSetup", "RemoveCheckForNewUpdateShortcut") == "1" &&
            !checkLink.empty() && FileExists(checkLink))
          DeleteFileA(checkLink.c_str());
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
  if (info.IsInternetSetup()) {
    if (!agentName.empty()) {
      std::string image = ReadFilePart(ProgramPath(), 0, false, 0);
      WriteTextFile(tempDir + "\\" + agentName, InternetAgentImage(image),
                    FileDosDateTime(ProgramPath()), false);
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
  std::string copy = GetSetupTempDir() + "\\Y_" + FileNamePart(program);
  CopyFileA(program.c_str(), copy.c_str(), FALSE);
  std::string args = Trim(GetParams() + " /SpanCdLvl=2 /SpanDiskFName1=\"" + program + ".001\"" +
                          " /OriginExe=\"" + program + "\"");
  TScopedHandle process(StartProcess(copy + " " + args, SW_HIDE));
}
