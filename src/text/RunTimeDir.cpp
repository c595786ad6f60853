#include "text/RunTimeDir.h"

#include <cmath>
#include <cstring>

#include "support/Files.h"
#include "text/Common.h"
#include "text/KSUB.h"

#ifdef _WIN32
#include <windows.h>

#include "support/Win64.h"
#include "text/ShellDir.h"
#endif

namespace {

std::string GApplicationFolder, GCommonFolder, GAuxiliaryFolder;

enum TFolderSlot { KApplication, KCommon, KAuxiliary };

// A macro and where its value comes from: an installation folder or a
// machine value.
struct TMacroRow {
  const char* Macro;
  int Slot;  // TFolderSlot, or -1
  TMacroValue Value;
};

const TMacroRow KValueMacros[] = {
    {"<LoggedUserName>", -1, KMvLoggedUserName}, {"<UserName>", -1, KMvUserName},
    {"<CompanyName>", -1, KMvCompanyName},       {"<ComputerName>", -1, KMvComputerName},
    {"<CurrentDomainName>", -1, KMvDomainName},
};
// Values an interactive setup run would have; the stub never performs one.
const char* const KEmptiedMacros[] = {
    "<EnteredUserName>",   "<EnteredCompanyName>", "<EnteredStartProgramMenu>",
    "<VendorCompanyName>", "<ProjectName>",        "<ProgramDescriptiveName>",
    "<ProgramVersion>",    "<SelectedLanguage>",
};
const TMacroRow KLongFolderMacros[] = {
    {"<Application Folder>", KApplication, KMvWindowsFolder},
    {"<Common Folder>", KCommon, KMvWindowsFolder},
    {"<Auxiliary Folder>", KAuxiliary, KMvWindowsFolder},
    {"<Windows Directory>", -1, KMvWindowsFolder},
    {"<System Directory>", -1, KMvSystemFolder},
    {"<System16 Directory>", -1, KMvSystem16Folder},
};
const TMacroRow KInstallMacros[] = {
    {"<InstallDir>", KApplication, KMvWindowsFolder},
    {"<InstallCommonDir>", KCommon, KMvWindowsFolder},
    {"<InstallAuxDir>", KAuxiliary, KMvWindowsFolder},
};
// Steps 12 and 15 to 17: folders with the separator, in this order.
const TMacroRow KFolderMacros[] = {
    {"<WinDir>", -1, KMvWindowsFolder},
    {"<WinSysDir>", -1, KMvSystemFolder},
    {"<WinSys32Dir>", -1, KMvSystemFolder},
    {"<WinSys16Dir>", -1, KMvSystem16Folder},
};
// Drives ("C:\") and disks ("C:") come between the two folder groups.
const TMacroRow KDriveMacros[] = {
    {"<InstallDrive>", KApplication, KMvWindowsFolder},
    {"<WinDrive>", -1, KMvWindowsFolder},
    {"<WinSysDrive>", -1, KMvSystemFolder},
    {"<OriginDrive>", -1, KMvOriginFolder},
};
const TMacroRow KDiskMacros[] = {
    {"<InstallDisk>", KApplication, KMvWindowsFolder},
    {"<WinDisk>", -1, KMvWindowsFolder},
    {"<WinSysDisk>", -1, KMvSystemFolder},
    {"<OriginDisk>", -1, KMvOriginFolder},
};
const TMacroRow KLateFolderMacros[] = {
    {"<StartMenuDir>", -1, KMvStartMenuFolder},
    {"<ProgramFilesDir>", -1, KMvProgramFilesFolder},
    {"<CommonFilesDir>", -1, KMvCommonFilesFolder},
    {"<FontDir>", -1, KMvFontsFolder},
    {"<SrcDir>", -1, KMvProgramFolder},
    {"<OriginDir>", -1, KMvOriginFolder},
    {"<TempDir>", -1, KMvTempFolder},
    {"<ServiceDir>", -1, KMvProgramFolder},
    {"<UserDir>", -1, KMvUserDir},
    {"<UserAppDataDir>", -1, KMvUserAppDataDir},
    {"<UserLocalAppDataDir>", -1, KMvUserLocalAppDataDir},
    {"<MyDocumentsDir>", -1, KMvMyDocumentsDir},
    {"<UserStartMenuDir>", -1, KMvUserStartMenuDir},
    {"<UserStartProgramMenuDir>", -1, KMvUserStartProgramMenuDir},
    {"<UserDesktopDir>", -1, KMvUserDesktopDir},
    {"<DocumentsAndSettingsDir>", -1, KMvDocumentsAndSettingsDir},
    {"<AllUsersDir>", -1, KMvAllUsersDir},
    {"<AllUsersAppDataDir>", -1, KMvAllUsersAppDataDir},
    {"<AllUsersDocumentsDir>", -1, KMvAllUsersDocumentsDir},
    {"<AllUsersStartMenuDir>", -1, KMvAllUsersStartMenuDir},
    {"<AllUsersStartProgramMenuDir>", -1, KMvAllUsersStartProgramMenuDir},
    {"<AllUsersDesktopDir>", -1, KMvAllUsersDesktopDir},
};

std::string RowValue(TMacroSource& source, const TMacroRow& row) {
  switch (row.Slot) {
    case KApplication:
      return GApplicationFolder;
    case KCommon:
      return GCommonFolder;
    case KAuxiliary:
      return GAuxiliaryFolder;
    default:
      return source.Value(row.Value);
  }
}

// Mode of a table pass: plain value, folder with separator, first 3 or 2
// characters of the folder.
enum TPassMode { KPlain, KWithSeparator, KDrive, KDisk };

template <size_t N>
std::string ReplaceRows(std::string text, TMacroSource& source, const TMacroRow (&rows)[N],
                        TPassMode mode, const std::string& separator) {
  for (const TMacroRow& row : rows) {
    // Values are looked up only for macros present: the resolvers ask the
    // shell and the registry.
    if (!PosNoCase(row.Macro, text)) continue;
    std::string v = RowValue(source, row);
    if (mode == KPlain) {
      text = ReplaceAllNoCase(text, row.Macro, v);
      continue;
    }
    v = WithBackslash(v, false);
    if (mode == KWithSeparator)
      text = ReplaceMacro(text, row.Macro, v, separator);
    else
      text = ReplaceAllNoCase(text, row.Macro, v.substr(0, mode == KDrive ? 3 : 2));
  }
  return text;
}

std::string RemoveAll(const std::string& text, const char* macro) {
  return ReplaceAllNoCase(text, macro, "");
}

bool HasRelativePart(const std::string& text) {
  return Pos("\\..", text) || Pos("..\\", text);
}

std::string CollapseRelative(const std::string& text, TMacroSource& source) {
  if (!HasRelativePart(text)) return text;
  if ((text[0] != ',' && text[0] != '|') || SUB::Count(text) < 1) return source.FullPath(text);
  std::string list = text;
  for (int i = 0, n = SUB::Count(text); i < n; ++i) {
    const std::string item = SUB::Item(text, i, "");
    if (HasRelativePart(item)) list = SUB::SetItem(list, i, source.FullPath(item));
  }
  return list;
}

const char* const KDatePatterns[] = {"dd-mm-yy",   "mm-dd-yy",   "yy-mm-dd",           "dd-mm-yyyy",
                                     "mm-dd-yyyy", "yyyy-mm-dd", "yyyy-mm-dd hh:nn:ss"};

}  // namespace

void SetMacroFolders(const std::string& applicationFolder, const std::string& commonFolder,
                     const std::string& auxiliaryFolder) {
  GApplicationFolder = applicationFolder;
  GCommonFolder = commonFolder;
  GAuxiliaryFolder = auxiliaryFolder;
}

std::string ReplaceMacro(const std::string& text, const std::string& macro,
                         const std::string& value, const std::string& separator) {
  const size_t p = PosNoCase(macro, text);
  if (!p) return text;
  const size_t after = p - 1 + macro.size();
  bool append = after < text.size();
  if (append) {
    const char c = text[after];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool endsListItem =
        text.front() == text.back() && c == text.front() && c != '<' && !letter;
    append = c != ' ' && !endsListItem;
  }
  return ReplaceAllNoCase(text, macro, append ? value + separator : value);
}

std::string MacroDateText(const std::string& pattern, double value, const std::string& dateSep,
                          const std::string& timeSep, const std::string& monthName) {
  int y, m, d, h, n, s, ms;
  DecodeDate(value, y, m, d);
  DecodeTime(value, h, n, s, ms);
  // Longer codes first: "yyyy" before "yy", "mmmm" before "mm".
  static const char* const codes[] = {"yyyy", "mmmm", "yy", "mm", "dd", "hh", "nn", "ss", "/", ":"};
  const int numbers[] = {y, 0, y % 100, m, d, h, n, s};
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    size_t k = 0, length = 0;
    for (; k < sizeof codes / sizeof codes[0]; ++k) {
      length = std::strlen(codes[k]);
      if (pattern.compare(i, length, codes[k]) == 0) break;
    }
    if (k == sizeof codes / sizeof codes[0]) {
      out += pattern[i++];
      continue;
    }
    i += length;
    if (k == 1)
      out += monthName;
    else if (k == 8)
      out += dateSep;
    else if (k == 9)
      out += timeSep;
    else
      out += ZeroPad(numbers[k], k == 0 ? 4 : 2);
  }
  return out;
}

std::string ExpandDateMacro(const std::string& text, TMacroSource& source) {
  const size_t p = PosNoCase("<Date=", text);
  if (!p) return text;
  const size_t code = p - 1 + 6;
  // The macro is "<Date=", one code character and ">". A text that merely
  // had some ">" later once lost the character after the code.
  if (code + 1 >= text.size() || text[code + 1] != '>') return text;
  const char c = text[code];
  const double now = source.Now();
  std::string value;
  if (c == '#')
    value = source.DateText("dd/mmmm/yyyy", now);
  else if (c == '0')
    value = IntToStr(static_cast<int64_t>(std::fabs(now - EncodeDate(2000, 1, 1))));
  else if (c >= '1' && c <= '7')
    value = source.DateText(KDatePatterns[c - '1'], now);
  else
    return text;
  return text.substr(0, p - 1) + value + text.substr(code + 2);
}

std::string ExpandMacrosWith(TMacroSource& source, const std::string& text,
                             const std::string& separator, bool collapseRelative, bool pathMacros) {
  std::string r = text;
  if (Pos("<", r)) {
    r = ExpandDateMacro(r, source);
    r = ReplaceRows(r, source, KValueMacros, KPlain, separator);
    r = ReplaceAllNoCase(r, "<LastExecutableExitCode>", "0");
    r = ReplaceAllNoCase(r, "<ReqFreeDiskSpaceMB>", "0");
    for (const char* m : KEmptiedMacros) r = RemoveAll(r, m);
    const std::string snapshot = r;
    if (pathMacros) {
      r = RemoveAll(r, "<UnInstallExePath>");
      // No run-time folder is configured: each one is empty.
      if (PosNoCase("<RunTimeDir_", r))
        for (int n = 1; n <= 8; ++n)
          r = ReplaceMacro(r, "<RunTimeDir_" + IntToStr(n) + ">", "", separator);
      r = ReplaceRows(r, source, KLongFolderMacros, KWithSeparator, separator);
      // A long form already named the folder: the short forms go.
      if (r != snapshot)
        for (const TMacroRow& row : KInstallMacros) r = RemoveAll(r, row.Macro);
      r = RemoveAll(r, "<AbsoluteDir>");
      r = ReplaceRows(r, source, KInstallMacros, KWithSeparator, separator);
      r = RemoveAll(r, "<AbsoluteDir>");
      r = ReplaceRows(r, source, KFolderMacros, KWithSeparator, separator);
      r = ReplaceRows(r, source, KDriveMacros, KDrive, separator);
      r = ReplaceRows(r, source, KDiskMacros, KDisk, separator);
      r = ReplaceRows(r, source, KLateFolderMacros, KWithSeparator, separator);
      r = r != snapshot ? NormalizePath(r, false) : snapshot;
    }
  }
  return collapseRelative ? CollapseRelative(r, source) : r;
}

std::string OriginExeFor(const std::string& switchValue, const std::string& programPath) {
  const std::string v = Unquote(switchValue);
  return v.empty() ? programPath : v;
}

#ifdef _WIN32
namespace {

class TSystemMacroSource : public TMacroSource {
public:
  std::string Value(TMacroValue which) override {
    switch (which) {
      case KMvLoggedUserName:
        return UserName();
      case KMvUserName:
        return RegisteredOwner();
      case KMvCompanyName:
        return RegisteredOrganization();
      case KMvComputerName:
        return ComputerName();
      case KMvDomainName:
        return DomainName();
      case KMvWindowsFolder:
        return WindowsFolder(false);
      case KMvSystemFolder:
        return SystemFolder(false);
      case KMvSystem16Folder:
        return System16Folder(false);
      case KMvProgramFolder:
        return ProgramFolder(false);
      case KMvOriginFolder:
        return OriginFolder();
      case KMvTempFolder:
        return TempFolder(false);
      default:
        return ShellFolderValue(which);
    }
  }
  double Now() override { return ::Now(); }
  std::string DateText(const std::string& pattern, double value) override {
    int y, m, d;
    DecodeDate(value, y, m, d);
    return MacroDateText(pattern, value, LocaleText(LOCALE_SDATE, "/"),
                         LocaleText(LOCALE_STIME, ":"), LocaleText(LOCALE_SMONTHNAME1 + m - 1, ""));
  }

private:
  static std::string LocaleText(LCTYPE type, const char* fallback) {
    char buf[80] = {};
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf) > 1 ? buf : fallback;
  }
  std::string FullPath(const std::string& path) override {
    char buf[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : path;
  }
};

}  // namespace

std::string ExpandMacros(const std::string& text, const std::string& separator,
                         bool collapseRelative, bool pathMacros) {
  TSystemMacroSource source;
  return ExpandMacrosWith(source, text, separator, collapseRelative, pathMacros);
}

std::string OriginExe() {
  static const std::string exe = OriginExeFor(GetSwitchValue("/OriginExe", ""), ProgramPath());
  return exe;
}

std::string OriginFolder() {
  static const std::string folder = [] {
    const std::string exe = OriginExe();
    const size_t p = exe.find_last_of('\\');
    return p == std::string::npos ? std::string() : WithBackslash(exe.substr(0, p + 1), false);
  }();
  return folder;
}
#endif
