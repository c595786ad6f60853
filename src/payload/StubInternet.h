// Internet setups: the stub's payload carries no product files but names the
// real setup file and where it lies (an HTTP folder, or a local or UNC
// folder). The file is taken from beside the stub or downloaded into the
// temporary folder, checked against the stub's download token, and then
// extracted and run like any setup; a downloaded file is deleted afterwards.
//
// Windows only.
#pragma once

#include <string>

// The internet flow, run by RunSetupFlow for an internet setup: `base` is the
// stub's folder when the setup file lies beside it (and downloads are not
// forced), else the payload's download location. Ends with the engine having
// run or an error shown.
void RunInternetSetup(const std::string& tempFolder, const std::string& base,
                      const std::string& fileName);

// True when a name from the payload names a file directly inside a folder:
// not empty, no folder part or drive, not dots and blanks only, no control,
// wildcard or pipe characters, not a device name (CON, NUL, COM1, ...).
bool IsFlatFileName(const std::string& name);
