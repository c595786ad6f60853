// The setup flow: extraction, engine launch and hand-shake, volumes.
#include "payload/StubSetup.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "payload/StubInternet.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "startup/StubWin.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/KDebug.h"
#include "support/Utils.h"
#include "text/Common.h"
#include "ui/KMsgBox.h"

namespace {

const char* const AtomPrefix = "AutoUpdateAtomTokenByKorvix";
const char* const DialogClassPrefix = ".SDialog_Class_Name.";
const char* const DefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const DefaultBadCrc =
    "Bad CRC!<P>This indicates that your setup file might be corrupted...";
const size_t ReadPiece = 65536;

unsigned ExitCodeValue = 0;
int SaveErrorCount = 0;
const TGFileInfo* FlowStubInfo = nullptr;
bool FlowAutoUpdateProg = false;
TInternetSetupHandler InternetHandler = nullptr;

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

// Reads `count` bytes at `offset` in pieces of 64 KiB, letting the windows
// run after each piece. Stops at the first read that fails or comes back
// short, so a truncated volume never makes it wait; false then.
bool ReadChunked(TPayloadFile& file, uint64_t offset, std::string& buffer, size_t count) {
  buffer.assign(count, '\0');
  size_t done = 0;
  while (done < count) {
    size_t piece = count - done < ReadPiece ? count - done : ReadPiece;
    size_t got = file.ReadAt(offset + done, &buffer[done], piece);
    done += got;
    PumpMessages(0);
    if (got != piece) return false;
  }
  return true;
}

std::string SaveFailureDetails(const std::string& path, const std::string& bytes) {
  double free = DiskFree(path);
  return LastErrorText() + "<P>" + "  Data Size: <T>" +
         IntToStr(static_cast<int64_t>(bytes.size())) + " Bytes<P>" + "  File Size:  <T>" +
         IntToStr(FileSizeByName(path)) + " Bytes<P>" + "  Bytes Free: <T>" +
         IntToStr(static_cast<int64_t>(free)) + " Bytes";
}

void ReportFailedWrite(const std::string& path, const std::string& bytes) {
  ++SaveErrorCount;
  if (SaveErrorCount == 1)
    ShowError(0,
              path + "<P><P>Unable to save Extracted File!<P><P>" + SaveFailureDetails(path, bytes),
              "", 0, "");
}

// Writes the update-agent copy from the start of the first volume.
void WriteExtractedAgentCopy(TPayloadFile& file, const TTrailer& trailer, uint64_t headerEnd,
                             const std::string& setupFile, const std::string& target,
                             const std::string& agentName) {
  std::string head;
  if (headerEnd == 0 || !ReadChunked(file, 0, head, static_cast<size_t>(headerEnd))) return;
  std::string path = WithBackslash(target, false) + "\\" + FileNamePart(agentName);
  WriteTextFile(path, ExtractedAgentImage(head, trailer.Bytes), FileDosDateTime(setupFile), false);
  DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " New AU-Agent: ", path);
}

// Extracts one volume's records. False when the volume is damaged (a record
// reaches past its end or cannot be read whole).
bool ExtractVolume(TExtractJob& job, TPayloadFile& file, const TTrailer& trailer, uint64_t end,
                   int j, int& entryCounter) {
  uint64_t pos = trailer.RecordArea();
  const int headerCount = trailer.HeaderCount();
  uint64_t headerEnd = 0;
  if (j == 1) ProgressCall(job, 0, trailer.FileCount(), 0);
  if (job.TargetFolder.empty())
    ShowError(0, job.TargetFolder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText(), "",
              0, "");
  else
    CreateFolderTree(job.TargetFolder);

  while (end > pos + KTrailerSize) {
    PumpMessages(0);
    int32_t n = 0;
    if (pos + 4 > end || file.ReadAt(pos, &n, 4) != 4) return false;
    uint32_t size =
        n < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(n)) : static_cast<uint32_t>(n);
    // A record must end before the payload end: a truncated volume stops
    // here instead of reading what is not there.
    if (pos + 4 + size > end) return false;
    std::string data;
    if (!ReadChunked(file, pos + 4, data, size)) return false;
    pos += static_cast<uint64_t>(size) + 4;
    ++entryCounter;
    if (entryCounter == headerCount) headerEnd = pos;
    if (entryCounter <= headerCount) continue;

    std::string content = n > 0 ? InflateText(data) : data;
    data.clear();
    TFileEntry entry;
    std::string bytes;
    if (!ParseFileRecord(content, entry, bytes)) continue;
    content.clear();
    if (entry.IsMain()) job.MainEntry = entry.MainEntry;
    std::string path = WithBackslash(job.TargetFolder, false) + "\\" + entry.FileName;
    if (!EntryNameIsSafe(entry.FileName)) {
      // Never written: a name that would leave the extraction folder
      // counts as a failed write.
      DebugLine("Refused entry name: ", entry.FileName);
      ReportFailedWrite(path, bytes);
      continue;
    }
    if (!FileExists(path)) ProgressCall(job, 1, 0, 0);
    if (!WriteTextFile(path, bytes, entry.DosDateTime, true)) ReportFailedWrite(path, bytes);
  }

  if (j == 1 && !FileNamePart(job.AgentName).empty() &&
      (EndsWithNoCase(".exe", job.SetupFile) || EndsWithNoCase(".exe.001", job.SetupFile)))
    WriteExtractedAgentCopy(file, trailer, headerEnd, job.SetupFile, job.TargetFolder,
                            job.AgentName);
  return true;
}

void ShowMainWindowNow(bool show) {
  if (MainWindow) ShowWindow(MainWindow, show ? SW_SHOW : SW_HIDE);
}

}  // namespace

unsigned StubExitCode() {
  return ExitCodeValue;
}
void SetStubExitCode(unsigned code) {
  ExitCodeValue = code;
}

void SetSetupFlowContext(const TGFileInfo* stubFileInfo, bool autoUpdateProg) {
  FlowStubInfo = stubFileInfo;
  FlowAutoUpdateProg = autoUpdateProg;
}

void SetInternetSetupHandler(TInternetSetupHandler handler) {
  InternetHandler = handler;
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
  if (end >= KTrailerSize) out[end - KTrailerSize + TRL_IS_AGENT] = 1;
  return out;
}

std::string ExtractedAgentImage(const std::string& headAndHeaders, const uint8_t trailer[74]) {
  std::string out = headAndHeaders;
  if (out.size() >= 256) std::memset(&out[252], 0, 4);
  std::string tail(reinterpret_cast<const char*>(trailer), KTrailerSize);
  tail[TRL_IS_AGENT] = 1;
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
  do {
    if (!FileExists(volume)) break;
    TPayloadFile file(volume);
    TTrailer trailer;
    uint64_t end = ReadTrailer(file, trailer);
    ++job.Volumes;
    if (j == 1) DebugLine("FileInfo.FilesCount=", static_cast<unsigned long>(trailer.FileCount()));
    job.IntegrityOK = ChecksumMatches(VolumeChecksum(volume, trailer.Length()), trailer.Checksum());
    if (!job.IntegrityOK) break;
    if (end > file.Size()) end = file.Size();
    DebugLine("FileLen=", static_cast<unsigned long long>(end));
    if (trailer.MagicOK() && !ExtractVolume(job, file, trailer, end, j, entryCounter)) {
      DebugLine("Damaged volume: ", volume);
      job.VolumeDamaged = true;
      job.IntegrityOK = false;
      break;
    }
    file.Close();
    another = (trailer.Options() & OPT_NEXT_VOLUME) != 0;
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
  if (reader.ShowActivityBar() && ActivityBar) ShowWindow(ActivityBar, SW_SHOW);
  SetStatusText(reader.GetLangStr("s1", "Extracting Files..."), reader.GetLangFontName(),
                reader.GetLangFontSize(), reader.GetLangCharset());
  if (!TempSpaceOK(folder, setupFile) && FindAltTempDrive()) folder = GetAltTempDir();
  DebugLine("========= ForegroundOp=", foreground, " ==========");
  bool goOn = foreground ? ConfirmTempSpace(folder, setupFile, reader) : true;
  bool result = false;
  if (goOn) {
    TExtractJob job;
    job.SetupFile = setupFile;
    job.TargetFolder = folder;
    job.AgentName = agentName;
    job.Progress = ExtractProgress;
    job.DiskPrompt =
        reader.GetLangStr("s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    job.DiskCaption = reader.GetLangStr("Attention", "Attention");
    job.Buttons = reader.GetLangStr("BtnText", DefaultButtons);
    job.Charset = reader.GetLangCharset();
    job.ForcePrompt = SpanDiskForcePrompt();
    if (foreground) ShowMainWindowNow(true);
    WaitPumping(1, 1000);
    bool zlibFailed = false;
    try {
      ExtractPayload(job);
    } catch (const EZLibError& e) {
      // A damaged compressed record ends the run: one error box, no
      // engine, a non-zero exit code; the caller removes the folder.
      zlibFailed = true;
      LogException(e, "StubSetup.ExtractPayload()");
      SetStubExitCode(KExitDecompressionError);
      ShowError(0, reader.GetLangStr("s7", DefaultBadCrc) + "<P><P>" + e.what(),
                reader.GetLangStr("Error", "Error"), reader.GetLangCharset(), job.Buttons);
    }
    if (!zlibFailed) WaitPumping(0, 1000);

    if (!zlibFailed && !job.MainEntry.empty() && job.IntegrityOK) {
      std::string tid = "_" + IntToStr(GetCurrentThreadId());
      std::string cmd = EngineCommandLine(folder, job.MainEntry, extraArgs, tid, ProgramPath(),
                                          FlowAutoUpdateProg);
      std::string original, info;
      if (FlowStubInfo) {
        original = ProgramFolder(true) + FlowStubInfo->GetOriginalFileName();
        info = ProgramFolder(true) + FlowStubInfo->GetInfoFileName();
      }
      std::string startUpLink =
          original.empty() ? "" : ReadIniString(original, "UnInstall", "StartUpLink", "");
      std::string checkLink =
          original.empty() ? "" : ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "");
      DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), " ==== WinExec(Engine.exe) >>",
                cmd, "<<");
      TGlobalAtom atom(AtomPrefix + tid);
      TScopedHandle process(StartProcess(cmd, foreground ? SW_SHOW : SW_HIDE));
      ShowMainWindowNow(false);
      WaitPumping(0, 1000);
      WaitForProcessEnd(process.Get());
      DWORD code = 0;
      if (process.Get() && GetExitCodeProcess(process.Get(), &code)) SetStubExitCode(code);
      WaitWindowGone(DialogClassPrefix + tid, "");
      WaitPumping(0, 1000);
      result = atom.Gone();
      atom.Release();
      if (result && !info.empty()) {
        if (ReadIniString(info, "NewSetup", "RemoveStartUpShortcut", "") == "1" &&
            !startUpLink.empty() && FileExists(startUpLink))
          DeleteFileA(startUpLink.c_str());
        if (ReadIniString(info, "NewSetup", "RemoveCheckForNewUpdateShortcut", "") == "1" &&
            !checkLink.empty() && FileExists(checkLink))
          DeleteFileA(checkLink.c_str());
      }
    }
    if (!zlibFailed && !job.IntegrityOK)
      ShowError(0, reader.GetLangStr("s7", DefaultBadCrc), reader.GetLangStr("Error", "Error"),
                reader.GetLangCharset(), job.Buttons);
  }
  RemoveAltTempDir();
  return result;
}

void RunSetupFlow() {
  StopMainTimer();
  if (!FlowStubInfo) {
    PostQuitMessage(0);
    return;
  }
  const TGFileInfo& info = *FlowStubInfo;
  std::string location = info.GetDownloadLocation();
  std::string agentName = info.MakeAgentCopy() ? info.GetAgentExeName() : std::string();
  std::string tempDir = GetSetupTempDir();
  if (info.IsInternetSetup()) {
    if (IsFlatFileName(agentName)) {
      std::string image = ReadFilePart(ProgramPath(), 0, false, 0);
      WriteTextFile(tempDir + "\\" + agentName, InternetAgentImage(image),
                    FileDosDateTime(ProgramPath()), false);
    }
    if (!info.DownloadAlways() && FileExists(ProgramFolder(true) + info.GetDownloadFileName()))
      location = ProgramFolder(false);
    if (InternetHandler) InternetHandler(tempDir, location, info.GetDownloadFileName());
  } else {
    std::string setupFile = GetSwitchValue("/SpanDiskFName1=", "");
    if (setupFile.empty()) setupFile = ProgramPath();
    bool hidden = HasSwitch("/hide") || info.IsHiddenSetup();
    ExtractAndRunEngine(tempDir, setupFile, agentName, GetParams(), !hidden);
  }
  DeleteTree(tempDir, false);
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
