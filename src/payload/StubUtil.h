// Helpers of the setup flow: the extraction folders and their free space,
// starting and waiting for the setup engine, the engine's command line, the
// volume names of a multi-volume setup.
//
// Windows only.
#pragma once

#include <windows.h>

#include "support/Handles.h"

#include <cstdint>
#include <string>

class TGFileInfo;

// ---------------------------------------------------------------- atoms

// A global atom added on construction and deleted once on Release (or
// destruction) when it still exists.
class TGlobalAtom {
public:
  explicit TGlobalAtom(const std::string& name);
  ~TGlobalAtom() { Release(); }
  TGlobalAtom(const TGlobalAtom&) = delete;
  TGlobalAtom& operator=(const TGlobalAtom&) = delete;
  // True when no atom of this name exists any more.
  bool Gone() const;
  void Release();

private:
  std::string FName;
  bool FReleased = false;
};

// ---------------------------------------------------------------- folders

// "SETUP_" folder name for a temporary folder and the low 16 bits of the
// setup file's packed DOS date-time (its time of day).
std::string SetupTempDirName(const std::string& tempFolder, uint16_t dosTime);
// Packed local DOS date (high word) and time (low word) of a file, 0 when
// it cannot be read.
uint32_t FileDosDateTime(const std::string& path);
// The packed local DOS time of day of a file, 0 when it cannot be read.
uint16_t FileDosTime(const std::string& path);
// The default extraction folder, made afresh on the first call: whatever
// had its name is removed first (a link as a link; the running program stays
// when it runs from there). "" when that failed; FolderFailure() says why.
std::string GetSetupTempDir();
// True once GetSetupTempDir made the folder in this process.
bool SetupTempDirMade();
// Looks for a fixed drive among C, D and E with more room than the temporary
// folder's drive; true when one was chosen.
bool FindAltTempDrive();
// The alternative folder on that drive, made afresh on the first call, or ""
// (none chosen, or it could not be made: FolderFailure() then says why).
std::string GetAltTempDir();
void RemoveAltTempDir();
// The box text for the last extraction folder that could not be made: the
// folder, "Unable to create Directory!" and the system's reason.
const std::string& FolderFailure();

// True when the setup's space requirement for the folder's drive is below
// the free space there and the folder exists.
bool TempSpaceOK(const std::string& folder, const std::string& setupFile);
// Shows the temporary-drive question when the payload asks for it or space
// is short; true when the extraction may go on.
bool ConfirmTempSpace(const std::string& folder, const std::string& setupFile,
                      const TGFileInfo& reader);
// Megabytes for the question texts: 1 decimal above 10, 2 from 1, 3 below.
std::string SpaceMBText(double bytes);

// ---------------------------------------------------------------- processes

// Starts the program at the full path `program` with the given command line
// (which names it again, as its first part) and show state. The path, not a
// search over the blank-separated prefixes of the command line, names the
// program: "C:\My Temp\x.exe" never starts "C:\My.exe". Empty on failure.
TProcess StartProcess(const std::string& program, const std::string& commandLine, int showState);
// Waits, pumping messages, while the process runs. A 0 handle ends after
// the first pass.
void WaitForProcessEnd(HANDLE process);
// Removes the first occurrence (case-sensitive) of a switch with its value
// and the blank before the next switch.
std::string RemoveSwitch(const std::string& commandLine, const std::string& name);

// The engine's file name from the main entry: the trimmed text before "*".
std::string EngineName(const std::string& mainEntry);
// The engine's command line: folder + "\" + engine, its arguments, the
// thread-id switch, "/OriginExe=" unless present, "/AutoUpdateProg" for an
// agent, without the two span switches. `mainEntry` may hold "*" and extra
// arguments after it.
std::string EngineCommandLine(const std::string& folder, const std::string& mainEntry,
                              const std::string& extraArgs, const std::string& threadIdValue,
                              const std::string& originExe, bool autoUpdateProg);

// ---------------------------------------------------------------- volumes

// The base name of a volume chain: the first volume's path without a final
// ".001"; any other name is its own base.
std::string VolumeBaseName(const std::string& setupFile);
// The next volume's name: base + "." + j with at least three digits. (The
// authoring side has the same rule in PackX, which the stub must not link:
// it brings file streams with it.)
std::string NextVolumeName(const std::string& base, int j);
// True when the registry value SpanDisk\ForcePrompt is exactly "1".
bool SpanDiskForcePrompt();
