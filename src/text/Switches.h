// The program's own path and its command-line switches ("/name=value").
//
// The portable functions take the raw command line and the program's path;
// the forms without them read the running process's (Windows only).
#pragma once

#include <cstdint>
#include <string>

// Full path of the running program ("" when it cannot be read).
std::string ProgramPath();

// The command line without the program's own path, trimmed.
std::string GetParams(const std::string& rawCommandLine, const std::string& programPath);
// Value of the switch `name` ("/name=value"; "-" as first character of the
// name selects "-" as switch character). Empty value gives ""; missing gives `def`.
std::string GetSwitchValue(const std::string& rawCommandLine, const std::string& programPath,
                           const std::string& name, const std::string& def);
int64_t GetSwitchInt(const std::string& rawCommandLine, const std::string& programPath,
                     const std::string& name, int64_t def);
// True when `name` followed by a blank occurs in GetParams() + " " (any case).
bool HasSwitch(const std::string& rawCommandLine, const std::string& programPath,
               const std::string& name);

#ifdef _WIN32
// The same for the running process (GetCommandLineA, ProgramPath).
std::string GetParams();
std::string GetSwitchValue(const std::string& name, const std::string& def = "");
int64_t GetSwitchInt(const std::string& name, int64_t def = 0);
bool HasSwitch(const std::string& name);
#endif
