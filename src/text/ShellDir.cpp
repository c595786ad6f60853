#include "text/ShellDir.h"

#include <windows.h>

#include "support/Files.h"
#include "support/Win64.h"
#include "text/Common.h"

namespace {

using TSHGetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using TSHGetSpecialFolderPath = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

const char* const KShellFoldersKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const KCurrentVersionKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Where a resolver asks first, and where it falls back to.
enum TApi { KFolderApi, KShellApi };
enum TBase { KOldProfile, KWindows, KUser, KAllUsers, KNone };

struct TSpecialRow {
  TMacroValue Which;
  TApi Api;
  int Csidl;
  int Parents;  // levels of parent folders taken from the first choice
  TBase Base;   // fallback: base folder + suffix, used as it is ...
  const char* Suffix;
  TBase LastBase;          // ... unless a last choice follows, which replaces a
  const char* LastSuffix;  // fallback that does not exist
};

const TSpecialRow KSpecialRows[] = {
    {KMvUserDir, KFolderApi, 0x8005, 1, KOldProfile, "", KNone, ""},
    {KMvDocumentsAndSettingsDir, KFolderApi, 0x8005, 2, KOldProfile, "", KNone, ""},
    {KMvUserAppDataDir, KFolderApi, 0x801A, 0, KOldProfile, "\\Application Data", KNone, ""},
    {KMvUserLocalAppDataDir, KFolderApi, 0x801C, 0, KOldProfile, "\\Application Data", KNone, ""},
    {KMvMyDocumentsDir, KFolderApi, 0x8005, 0, KOldProfile, "\\My Documents", KNone, ""},
    {KMvAllUsersDir, KFolderApi, 0x8023, 1, KWindows, "", KNone, ""},
    {KMvAllUsersAppDataDir, KFolderApi, 0x8023, 0, KWindows, "\\Application Data", KNone, ""},
    {KMvAllUsersDocumentsDir, KFolderApi, 0x802E, 0, KWindows, "\\Documents", KNone, ""},
    {KMvUserStartMenuDir, KShellApi, 11, 0, KUser, "\\Start Menu", KAllUsers, "\\Start Menu"},
    {KMvUserStartProgramMenuDir, KShellApi, 2, 0, KUser, "\\Start Menu\\Programs", KAllUsers,
     "\\Start Menu\\Programs"},
    {KMvUserDesktopDir, KShellApi, 16, 0, KUser, "\\Desktop", KAllUsers, "\\Desktop"},
    {KMvAllUsersStartMenuDir, KShellApi, 22, 0, KAllUsers, "\\Start Menu", KNone, ""},
    {KMvAllUsersStartProgramMenuDir, KShellApi, 23, 0, KAllUsers, "\\Start Menu\\Programs", KNone,
     ""},
    {KMvAllUsersDesktopDir, KShellApi, 25, 0, KAllUsers, "\\Desktop", KNone, ""},
};

std::string FolderApi(int csidl) {
  static const auto fn = LoadProcAs<TSHGetFolderPath>("SHFolder.dll", "SHGetFolderPathA");
  char buf[MAX_PATH + 1] = {};
  if (!fn || fn(nullptr, csidl, nullptr, 0, buf) != 0) return std::string();
  return buf;
}

std::string ShellApi(int csidl) {
  static const auto fn =
      LoadProcAs<TSHGetSpecialFolderPath>("shell32.dll", "SHGetSpecialFolderPathA");
  char buf[1025] = {};
  if (!fn || !fn(nullptr, buf, csidl, FALSE)) return std::string();
  return buf;
}

std::string Parent(const std::string& path) {
  const std::string p = WithBackslash(path, false);
  const size_t s = p.find_last_of('\\');
  return s == std::string::npos ? std::string() : WithBackslash(p.substr(0, s + 1), false);
}

bool Accepted(const std::string& folder) {
  return !folder.empty() && DirExists(folder);
}

const TSpecialRow* RowOf(TMacroValue which) {
  for (const TSpecialRow& row : KSpecialRows)
    if (row.Which == which) return &row;
  return nullptr;
}

std::string Resolve(const TSpecialRow& row);

std::string BaseFolder(TBase base) {
  switch (base) {
    case KOldProfile:
      return OldProfileFolder();
    case KWindows:
      return WindowsFolder(false);
    case KUser:
      return Resolve(*RowOf(KMvUserDir));
    case KAllUsers:
      return Resolve(*RowOf(KMvAllUsersDir));
    default:
      return std::string();
  }
}

std::string Resolve(const TSpecialRow& row) {
  std::string first = row.Api == KFolderApi ? FolderApi(row.Csidl) : ShellApi(row.Csidl);
  // A parent is taken only while the folder below it exists.
  for (int i = 0; i < row.Parents && !first.empty(); ++i)
    first = DirExists(first) ? Parent(first) : std::string();
  if (Accepted(first)) return WithBackslash(first, false);
  const std::string fallback = BaseFolder(row.Base) + row.Suffix;
  if (row.LastBase == KNone || DirExists(fallback)) return fallback;
  return BaseFolder(row.LastBase) + row.LastSuffix;
}

std::string RegistryFolder(TMacroValue which) {
  switch (which) {
    case KMvStartMenuFolder:
      return ReadRegistryText(KShellFoldersKey, "Start Menu", "", false);
    case KMvProgramFilesFolder:
      return ReadRegistryText(KCurrentVersionKey, "ProgramFilesDir", "", false);
    case KMvCommonFilesFolder:
      return ReadRegistryText(KCurrentVersionKey, "CommonFilesDir", "", false);
    case KMvFontsFolder: {
      const std::string fonts = ReadRegistryText(KShellFoldersKey, "Fonts", "", false);
      return Accepted(fonts) ? fonts : WindowsFolder(true) + "Fonts";
    }
    default:
      return std::string();
  }
}

}  // namespace

std::string OldProfileFolder() {
  const std::string profile = WindowsFolder(true) + "Profiles\\" + RegisteredOwner();
  return DirExists(profile) ? profile : WindowsFolder(false);
}

std::string System16Folder(bool addBackslash) {
  std::string folder = SystemFolder(false);
  const size_t p = LastPos("32", folder);
  if (p) {
    const std::string without32 = folder.substr(0, p - 1) + folder.substr(p + 1);
    if (DirExists(without32)) return WithBackslash(without32, addBackslash);
  }
  const std::string system = WindowsFolder(true) + "System";
  if (DirExists(system)) return WithBackslash(system, addBackslash);
  return WithBackslash(folder, addBackslash);
}

std::string ShellFolderValue(TMacroValue which, bool addBackslash) {
  const TSpecialRow* row = RowOf(which);
  const std::string folder = row ? Resolve(*row) : RegistryFolder(which);
  return folder.empty() ? folder : WithBackslash(folder, addBackslash);
}
