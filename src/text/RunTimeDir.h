// Path macros: texts and paths from the authoring tool name places and values
// by macro ("<WinDir>", "<InstallDir>", "<UserAppDataDir>", "<Date=6>"),
// because the author cannot know the end user's folders. ExpandMacros
// replaces every known macro (any case) by its value on this machine in a
// fixed order, then cleans the path. Unknown names stay in the text.
//
// Portable: the expansion steps work on a TMacroSource that supplies the
// machine's values; the source that asks Windows (folders, identity, the
// special-folder resolvers of ShellDir) is Windows only.
#pragma once

#include <string>

// The machine values a macro may insert. Folders come without a trailing
// backslash; a value that cannot be found is empty.
enum TMacroValue {
  KMvLoggedUserName,  // the user running the program
  KMvUserName,        // the registered owner, else the logged-on user
  KMvCompanyName,     // the registered organisation
  KMvComputerName,
  KMvDomainName,
  KMvWindowsFolder,
  KMvSystemFolder,
  KMvSystem16Folder,
  KMvProgramFolder,  // folder of the running program
  KMvOriginFolder,   // folder of the origin executable
  KMvTempFolder,
  KMvStartMenuFolder,  // registry shell folders
  KMvProgramFilesFolder,
  KMvCommonFilesFolder,
  KMvFontsFolder,
  // The special folders, in the order the expansion replaces them.
  KMvUserDir,
  KMvUserAppDataDir,
  KMvUserLocalAppDataDir,
  KMvMyDocumentsDir,
  KMvUserStartMenuDir,
  KMvUserStartProgramMenuDir,
  KMvUserDesktopDir,
  KMvDocumentsAndSettingsDir,
  KMvAllUsersDir,
  KMvAllUsersAppDataDir,
  KMvAllUsersDocumentsDir,
  KMvAllUsersStartMenuDir,
  KMvAllUsersStartProgramMenuDir,
  KMvAllUsersDesktopDir,
};

class TMacroSource {
public:
  virtual ~TMacroSource() = default;
  virtual std::string Value(TMacroValue which) = 0;
  // Local date-time now (days since 30 December 1899).
  virtual double Now() = 0;
  // The date macro's text of a pattern ("dd/mmmm/yyyy", "yyyy-mm-dd hh:nn:ss").
  virtual std::string DateText(const std::string& pattern, double value) = 0;
  // The full path of a relative path (as GetFullPathNameA gives it).
  virtual std::string FullPath(const std::string& path) = 0;
};

// The three installation folders ("<InstallDir>", "<InstallCommonDir>",
// "<InstallAuxDir>" and their long forms); empty until set, kept for the run.
void SetMacroFolders(const std::string& applicationFolder, const std::string& commonFolder,
                     const std::string& auxiliaryFolder);

// Replaces every occurrence of macro (any case) by value, followed by
// separator unless the first occurrence ends the text, is followed by a
// blank, or ends an item of a delimited list (the text begins and ends with
// the character that follows the macro, and that is neither "<" nor a
// letter).
std::string ReplaceMacro(const std::string& text, const std::string& macro,
                         const std::string& value, const std::string& separator);

// The first "<Date=c>" with c one of "#" and "0" to "7" replaced by the date
// (0: whole days since 1 January 2000); any other code leaves the text alone.
std::string ExpandDateMacro(const std::string& text, TMacroSource& source);

// Formats a date pattern: dd, mm, mmmm (monthName), yy, yyyy, hh, nn, ss;
// "/" and ":" become the given separators; other characters are literal.
std::string MacroDateText(const std::string& pattern, double value, const std::string& dateSep,
                          const std::string& timeSep, const std::string& monthName);

// The whole expansion. separator goes after a folder value when more path
// follows; pathMacros enables the folder macros; collapseRelative resolves
// "\.." and "..\" parts to full paths (item by item in a list starting with
// "," or "|").
std::string ExpandMacrosWith(TMacroSource& source, const std::string& text,
                             const std::string& separator, bool collapseRelative, bool pathMacros);

// The origin executable: the "/OriginExe=" value, or the running program
// when the switch is absent or empty.
std::string OriginExeFor(const std::string& switchValue, const std::string& programPath);

#ifdef _WIN32
// The expansion with this machine's values.
std::string ExpandMacros(const std::string& text, const std::string& separator,
                         bool collapseRelative, bool pathMacros);
// The origin executable of this run and its folder (no trailing backslash);
// computed on first use, then kept.
std::string OriginExe();
std::string OriginFolder();
#endif
