#pragma once
// The project file of the authoring side: a small INI text that fills a
// TPackProject, and the single settings the command line overrides.
#include <cstdint>
#include <string>

#include "payload/PackBuild.h"

// ---------------------------------------------------------------------------
// Project file: a small INI text (sections [setup], [options], [update],
// [download], [languages], [files]); relative paths are taken from
// `baseDir`. Languages are read from their files.
bool ParseProject(const std::string& text, const std::string& baseDir, TPackProject& project,
                  std::string& error);

// Sets one "section.key" value as in the project file (used for overrides).
bool ApplySetting(TPackProject& project, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& baseDir, std::string& error);

// Adds a [files] line: "SOURCE" or "ENTRY = SOURCE"; an entry name ending in
// "*" (optionally followed by extra text) marks the engine.
bool AddFileLine(TPackProject& project, const std::string& line, const std::string& baseDir,
                 std::string& error);

// Adds a [languages] line "NAME = FILE", reading the file.
bool AddLanguageFile(TPackProject& project, const std::string& name, const std::string& path,
                     std::string& error);

// "1440K", "650M", "2G" or plain bytes; false when not a size.
bool ParseSize(const std::string& text, uint64_t& size);
