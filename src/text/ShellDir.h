// Special folders behind the folder macros: each resolver asks the shell
// first and falls back to registry values and to the folder layout of older
// Windows versions, so that a value exists on every system.
//
// Windows only.
#pragma once

#include <string>

#include "text/RunTimeDir.h"

// Windows folder + "\Profiles\" + the registered owner when that exists,
// else the Windows folder: the per-user folder of systems without the shell
// folder functions.
std::string OldProfileFolder();
// The system folder without its last "32" when that exists, else the
// Windows folder's "System" when that exists, else the system folder.
std::string System16Folder(bool addBackslash);
// The registry shell folders (KMvStartMenuFolder .. KMvFontsFolder) and the
// special folders (KMvUserDir .. KMvAllUsersDesktopDir); empty for any other
// value or when nothing is found.
std::string ShellFolderValue(TMacroValue which, bool addBackslash = false);
