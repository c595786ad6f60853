// The setup itself: extraction of the payload (and its further volumes) into
// a temporary folder, the start of the setup engine with the atom hand-shake,
// the waits for the engine and its dialog, the exit code, the multi-volume
// relaunch copy.
//
// Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "payload/ZLibOpen.h"  // TInflateProgress: the program's progress procedure

class TGFileInfo;

// Exit code of the process when a damaged compressed record (EZLibError)
// ended the run. Documented in the README.
const unsigned KExitDecompressionError = 222;
// Exit code when the extraction folder could not be made afresh (an old one
// of that name could not be removed completely).
const unsigned KExitNoExtractFolder = 223;

// The process exit code that start-up passes on: 0, the engine's exit code,
// or KExitDecompressionError.
unsigned StubExitCode();
void SetStubExitCode(unsigned code);

// Start-up state the flow reads (set by start-up, see startup/Stub.h): the
// reader of the running program and whether this program is an update-agent
// copy.
void SetSetupFlowContext(const TGFileInfo* stubFileInfo, bool autoUpdateProg);

// Parameters and results of one extraction.
struct TExtractJob {
  std::string SetupFile;     // first container (the program or "/SpanDiskFName1=")
  std::string TargetFolder;  // extraction folder
  std::string AgentName;     // update-agent copy to write, or empty
  TInflateProgress Progress = nullptr;
  std::string DiskPrompt;  // next-volume prompt (s8), caption, buttons, charset
  std::string DiskCaption;
  std::string Buttons;
  int Charset = 0;
  bool ForcePrompt = false;  // prompt for every further volume

  bool IntegrityOK = false;    // out: false when a volume failed its check
  bool VolumeDamaged = false;  // out: a record reached past a volume's end
  std::string MainEntry;       // out: the entry marked "*", with "*" and after
  std::string MainFile;        // out: the file the main entry's record wrote
  int Volumes = 0;             // out: volumes opened
  // Upper-cased names of this run, each after a line break: every name seen,
  // and those whose first record could not create the file (later records
  // then fail too).
  std::string Names = "\n", FailedNames = "\n";
};

// Walks every file record of every volume and writes the files. Raises
// EZLibError for a damaged compressed record.
void ExtractPayload(TExtractJob& job);

// The next-volume step: advances j, names the next volume and prompts until
// it exists (always once when forced); false when the user cancelled.
bool NextVolumeStep(const std::string& base, int& j, const TExtractJob& job, std::string& nextPath);

// Extracts the setup file into the folder and runs its engine; true when the
// engine took over (it deleted the hand-shake atom).
bool ExtractAndRunEngine(const std::string& tempFolder, const std::string& setupFile,
                         const std::string& agentName, const std::string& extraArgs,
                         bool foreground);

// The whole setup, run on the first timer tick of the main window.
void RunSetupFlow();

// The internet flow takes over after the internet agent copy; it is wired in
// by the module that implements it (nothing happens while none is set).
using TInternetSetupHandler = void (*)(const std::string& tempFolder, const std::string& location,
                                       const std::string& fileName);
void SetInternetSetupHandler(TInternetSetupHandler handler);

// The update-agent copy made from a whole setup image (the internet setup's
// way): cut at the payload end when little follows it, trailer byte 69 set.
std::string InternetAgentImage(const std::string& image);
// The update-agent copy made while extracting: the first headerEnd bytes of
// the volume with the pointer word at 252 cleared, then the trailer with
// byte 69 set and the length 74.
std::string ExtractedAgentImage(const std::string& headAndHeaders, const uint8_t trailer[74]);

// Level 1 of a multi-volume setup on removable media: copies the program
// to the temporary folder as "Y_" + name and starts it with level 2.
void StartSpanCopy();
