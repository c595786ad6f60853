// File-system utilities: well-known folders and path shaping, whole-file and
// partial reads and writes, free space, searches, deletions, the
// self-deleting batch, CD eject and AutoPlay suppression.
//
// Portable: path shaping, reads, writes, appends, sizes and deletions work in
// the native build as well (POSIX files; masks match the last path part);
// searches over drives, free space, eject, AutoPlay and self-deletion are
// Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "text/Switches.h"  // ProgramPath

// --- Folders and paths --------------------------------------------------
// Removes one trailing backslash (not from paths of 2 characters or less, nor
// after a double-byte lead byte), then appends one when add is set.
std::string WithBackslash(const std::string& path, bool add);
// "" for "\"; otherwise removes one trailing backslash from a longer path.
std::string StripBackslash(const std::string& path);
// Collapses runs of backslashes, then StripBackslash when stripTrailing. The
// first character is never merged with the second (a network path keeps its
// two leading backslashes), nor is a pair that ends the text, a backslash
// that is the second byte of a double-byte character, or, in a text that
// begins and ends with the same character (a delimited list), a pair right
// after that character.
std::string NormalizePath(const std::string& path, bool stripTrailing);
// The cleaning of NormalizePath with a given test for double-byte lead bytes.
std::string CollapseBackslashes(const std::string& path, bool (*isLeadByte)(char));
// File name without folder and without its last (or every) extension.
std::string FileNameNoExt(const std::string& path, bool allExtensions);
// The running program's name without extension (noExtension) or its full
// path (ProgramPath, from the toolbox); its folder.
std::string ProgramName(bool noExtension);
std::string ProgramFolder(bool add);
std::string TempFolder(bool add);
#ifdef _WIN32
std::string WindowsFolder(bool add);
std::string SystemFolder(bool add);
#endif

// --- Files --------------------------------------------------------------
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Size of the first file matching path (wildcards on Windows), 0 when none.
std::int64_t FileSizeByName(const std::string& path);
// Up to maxLength bytes (0: to the end) from offset; "" when the file is
// missing or a short read happens.
std::string ReadFilePart(const std::string& path, std::int64_t maxLength, bool trim,
                         std::int64_t offset);

// Progress of a chunked write: op 0, reserved 0, total, done, flag 1, and a
// cancel flag the callee may set.
using TFileProgress = void (*)(int op, int reserved, std::int64_t total, std::int64_t done,
                               int flag, bool& cancel, void* context);
// Chunk size of a chunked write of `length` bytes.
std::size_t WriteChunkSize(std::size_t length);
// Writes (append: at the end, creating the file when missing; otherwise
// create/truncate). fileDate != 0 is a packed FAT date (high word) and time
// (low word), local time, set after a complete write. True when every byte
// was written.
bool WriteTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate,
                   bool append, TFileProgress progress = nullptr, void* context = nullptr);
// Appends text (and CR LF with addLineBreak); the date is set even after a
// short write.
bool AppendText(const std::string& path, const std::string& text, bool addLineBreak,
                std::uint32_t fileDate = 0);

// --- Deletion -----------------------------------------------------------
// Deletes every file matching mask (all attributes); true when one matched.
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes a folder with its contents, pumping messages 10 ms per entry; true
// when the folder existed and is gone.
bool DeleteTree(const std::string& folder, bool clearAttributes);

// --- Disk ---------------------------------------------------------------
// The path given to the free-space query ("" for an empty path).
std::string RootForFreeSpace(const std::string& path, bool driveOnly);

// --- Self-deletion ------------------------------------------------------
// The batch text (CR LF lines) that deletes exe, then dir when removeFolder,
// then itself.
std::string SelfDeleteScript(const std::string& exe, const std::string& dir, const std::string& bat,
                             bool removeFolder);

#ifdef _WIN32
// --- Searches (Windows) -------------------------------------------------
std::string FindFileInTree(const std::string& folder, const std::string& name);
std::string FindDirInTree(const std::string& folder, const std::string& name);
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindDir(const std::string& name, int driveType);

// Bytes free to the user on the drive of path, -1 on failure.
double DiskFree(const std::string& path);

// Removes the program (and its folder with removeFolder) after it has
// exited, through TEMP\_DEL_ME_.BAT. True when the batch was started.
bool DeleteMySelf(bool removeFolder);

bool EjectCD(const std::string& path);
void SetAutoPlaySuppression(bool on);
unsigned GetAutoPlayMessageId();
#endif
