// The setup flow: extraction, engine launch and hand-shake, volumes.
#include "payload/StubSetup.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "payload/StubInternet.h"
#include "payload/EntryName.h"
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

// Adds a name to a list of names, each followed by a line break (names never
// hold control characters); false when it was there already.
bool AddName(std::string& list, const std::string& name) {
  const std::string item = '\n' + name + '\n';
  if (list.find(item) != std::string::npos) return false;
  list.append(item, 1, std::string::npos);
  return true;
}

// Writes one file record: the first record of a name creates its file
// afresh (what is at the path goes first, a link as a link, and nothing is
// written through it), later records append when it did. A name the
// entry-name rule refuses is not written. The main entry is taken only from
// a record that was written.
bool WriteEntry(TExtractJob& job, const TFileEntry& entry, const std::string& path,
                const std::string& bytes) {
  const char* problem =
      EntryNameProblem(entry.FileName, WithBackslash(job.TargetFolder, false).size());
  if (problem) {
    DebugLine("Refused entry name: ", entry.FileName, " ", problem);
    return false;
  }
  const std::string key = UpperCase(entry.FileName);
  bool written = false;
  if (AddName(job.Names, key)) {
    ProgressCall(job, 1, 0, 0);
    if (PathPresent(path)) DeleteFileItself(path);
    written = WriteNewFile(path, bytes, entry.DosDateTime);
    if (!written) AddName(job.FailedNames, key);
  } else {
    written = job.FailedNames.find('\n' + key + '\n') == std::string::npos &&
              WriteTextFile(path, bytes, entry.DosDateTime, true);
  }
  if (written && entry.IsMain()) {
    job.MainEntry = entry.MainEntry;
    job.MainFile = entry.FileName;
  }
  return written;
}

// The path of the update-agent copy in the folder, or "" (a failed write)
// when the agent name from the update settings fails the entry-name rule.
std::string AgentCopyPath(const std::string& folder, const std::string& agentName) {
  std::string path = WithBackslash(folder, false) + "\\" + FileNamePart(agentName);
  const char* problem = EntryNameProblem(agentName, WithBackslash(folder, false).size());
  if (!problem) return path;
  DebugLine("Refused agent name: ", agentName, " ", problem);
  ReportFailedWrite(WithBackslash(folder, false) + "\\" + agentName, std::string());
  return std::string();
}

// Writes the update-agent copy from the start of the first volume.
void WriteExtractedAgentCopy(TPayloadFile& file, const TTrailer& trailer, uint64_t headerEnd,
                             const std::string& setupFile, const std::string& target,
                             const std::string& agentName) {
  std::string head;
  std::string path = AgentCopyPath(target, agentName);
  if (path.empty() || headerEnd == 0 || !ReadChunked(file, 0, head, static_cast<size_t>(headerEnd)))
    return;
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
    std::string path = WithBackslash(job.TargetFolder, false) + "\\" + entry.FileName;
    if (!WriteEntry(job, entry, path, bytes)) ReportFailedWrite(path, bytes);
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

    // The engine is the file its record wrote, started by its full path.
    const std::string engine = EngineName(job.MainEntry);
    if (!job.MainEntry.empty() && !SameText(engine, job.MainFile))
      DebugLine("Main entry names no extracted file: ", job.MainEntry);
    if (!zlibFailed && !job.MainEntry.empty() && SameText(engine, job.MainFile) &&
        job.IntegrityOK) {
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
      TProcess process =
          StartProcess(WithBackslash(folder, true) + engine, cmd, foreground ? SW_SHOW : SW_HIDE);
      ShowMainWindowNow(false);
      WaitPumping(0, 1000);
      WaitForProcessEnd(process.Process.Get());
      DWORD code = 0;
      if (process && GetExitCodeProcess(process.Process.Get(), &code)) SetStubExitCode(code);
      WaitWindowGone(DialogClassPrefix + tid, "");
      WaitPumping(0, 1000);
      result = atom.Gone();
      atom.Release();
      if (result && !info.empty()) {
        RemoveShortcut(info, "RemoveStartUpShortcut", startUpLink);
        RemoveShortcut(info, "RemoveCheckForNewUpdateShortcut", checkLink);
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
  std::string folder = GetSetupTempDir();
  if (folder.empty()) {
    StopForFolder();
    return;
  }
  std::string copy = folder + "\\Y_" + FileNamePart(program);
  CopyFileA(program.c_str(), copy.c_str(), FALSE);
  std::string args = Trim(GetParams() + " /SpanCdLvl=2 /SpanDiskFName1=\"" + program + ".001\"" +
                          " /OriginExe=\"" + program + "\"");
  StartProcess(copy, copy + " " + args, SW_HIDE);
}
