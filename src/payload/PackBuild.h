#pragma once
// The setup build of the authoring side: reads the stub and the files, packs
// the records on several threads and writes the setup program and its
// volumes under temporary names, renamed only when all are complete.
//
// A setup is a copy of the stub with the payload-end pointer at offsets 248
// (high word) and 252 (low word), then the header records (language block,
// update settings, optionally download settings), the file records (zlib,
// or stored with a negative length when compression does not pay) and the
// 74-byte trailer. A multi-volume setup is a chain of such containers: the
// setup program, then "<setup>.001", ".002", ...
//
// Nothing here throws across the module border: the build reports failure
// through its result and an error text.
#include <cstdint>
#include <string>
#include <vector>

#include "payload/PackEncode.h"
#include "payload/PeResources.h"

struct TPackEntry {
  std::string Source;      // file to pack
  std::string Name;        // entry name (flat)
  bool IsEngine = false;   // the program to run after extraction ("*")
  std::string EngineArgs;  // text after the "*"
  bool HasDate = false;    // DosDate given instead of the file's own time
  uint32_t DosDate = 0;
};

struct TPackProject {
  std::string Stub;
  std::string Output;
  std::vector<TPackLanguage> Languages;
  TUpdateItems Update;
  TDownloadItems Download;
  std::vector<TPackEntry> Entries;
  uint8_t Options = 0;             // option bits of trailer byte 65
  bool Internet = false;           // byte 66
  bool AskBeforeDownload = false;  // byte 67
  bool MakeAgentCopy = false;      // byte 68
  bool IsAgent = false;            // byte 69
  uint64_t VolumeSize = 0;         // 0: one file
  int Level = 9;                   // zlib level 1..9
  unsigned Threads = 0;            // compressing threads, 0: one per processor
  bool HasSeed = false;
  uint64_t Seed = 0;
  std::string Icon;        // .ico file for the setup's copy of the stub ("MainIcon")
  TVersionFields Version;  // version texts for it; empty ones keep the stub's
};

struct TPackVolume {
  std::string Path;
  uint64_t Size = 0;
  uint32_t Records = 0;
  int32_t Checksum = 1234;
};

struct TPackReport {
  std::vector<TPackVolume> Volumes;
  uint32_t Records = 0;      // file records written
  uint32_t Stored = 0;       // of which stored uncompressed
  uint64_t PlainBytes = 0;   // file bytes packed
  uint64_t OutputBytes = 0;  // all volumes together
  std::vector<std::string> Warnings;
};

// Checks the project without reading file contents. False with `error` on the
// first problem; warnings for doubtful but valid settings.
bool CheckProject(const TPackProject& project, std::vector<std::string>& warnings,
                  std::string& error);

// Builds the setup (and its volumes). Everything is written to temporary
// files next to the output first and renamed only when all volumes are
// complete, so a failed build leaves no setup under the output name.
bool BuildSetup(const TPackProject& project, TPackReport& report, std::string& error);

// ---------------------------------------------------------------------------
// Source files, shared with the project reader.

// True for an existing regular file, with its size and modification time
// (seconds since 1970).
bool IsRegularFile(const std::string& path, uint64_t& size, int64_t& mtime);
// The whole file; false with `error` when it cannot be read.
bool ReadSourceFile(const std::string& path, std::string& data, std::string& error);
