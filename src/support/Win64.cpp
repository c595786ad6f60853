// System information and safe loading of system libraries.
#include "support/Win64.h"

#include "support/Files.h"
#include "support/KDebug.h"
#include "text/Common.h"

#ifdef _WIN32
#include "support/Handles.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string VersionText(std::uint32_t major, std::uint32_t minor) {
  return IntToStr(major) + "." + IntToStr(minor);
}

std::vector<std::string> SplitDots(const std::string& s) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    std::size_t p = s.find('.', start);
    items.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return items;
}

struct TNameRow {
  const char* Version;
  const char* Name;
  std::uint32_t Code;
};

bool ApplyRows(const TNameRow* rows, std::size_t n, const std::string& vt, std::string& name,
               std::uint32_t& code) {
  for (std::size_t i = 0; i < n; ++i)
    if (vt == rows[i].Version) {
      name = rows[i].Name;
      code = rows[i].Code;
      return true;
    }
  return false;
}

}  // namespace

std::uint32_t OsNameFor(const TOsVersionRecord& v, bool is64Bit, bool isServer,
                        std::string& versionText, std::string& name) {
  versionText = VersionText(v.Major, v.Minor);
  std::uint32_t code = 0;
  name.clear();
  if (v.PlatformId == 0) {
    name = "32S";
    return OS_32S;
  }
  if (v.PlatformId == 1) {
    if (versionText == "4.10" && (v.Build & 0xFFFF) == 3000) versionText = "4.90";
    static const TNameRow rows9x[] = {
        {"4.0", "95", OS_95}, {"4.10", "98", OS_98}, {"4.90", "ME", OS_ME}};
    if (!ApplyRows(rows9x, 3, versionText, name, code)) {
      name = "9x";
      code = OS_95;
    }
    return code;
  }
  static const TNameRow rowsNT[] = {
      {"4.0", "NT", OS_NT},     {"5.0", "2000", OS_2000},   {"5.1", "XP", OS_XP},
      {"5.2", "2003", OS_2003}, {"6.0", "Vista", OS_VISTA}, {"6.1", "7", OS_7},
      {"6.2", "8", OS_8},       {"6.3", "8.1", OS_8_1},     {"10.0", "10", OS_10}};
  if (!ApplyRows(rowsNT, sizeof rowsNT / sizeof rowsNT[0], versionText, name, code)) {
    name = "NTx";
    code = OS_NT;
  }
  if (is64Bit) {
    static const TNameRow rows64[] = {{"5.2", "XP.64", OS_XP64},    {"6.0", "Vista.64", OS_VISTA64},
                                      {"6.1", "7.64", OS_7_64},     {"6.2", "8.64", OS_8_64},
                                      {"6.3", "8.1.64", OS_8_1_64}, {"10.0", "10.64", OS_10_64}};
    ApplyRows(rows64, sizeof rows64 / sizeof rows64[0], versionText, name, code);
  }
  if (isServer) {
    if (is64Bit) {
      static const TNameRow rowsServer64[] = {{"6.0", "2008.64", OS_2008_64},
                                              {"6.1", "2008R2.64", OS_2008R2_64},
                                              {"6.2", "2012.64", OS_2012_64},
                                              {"6.3", "2012R2.64", OS_2012R2_64}};
      ApplyRows(rowsServer64, 4, versionText, name, code);
    } else if (versionText == "6.0") {
      name = "2008";
      code = OS_2008;
    }
  }
  return code;
}

std::string NormalizeVersion(const std::string& text, int width, int count) {
  std::string digits;
  for (char c : text) {
    if (c == ',') c = '.';
    if ((c >= '0' && c <= '9') || c == '.') digits += c;
  }
  std::vector<std::string> items = SplitDots(digits);
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::int64_t n = i < static_cast<int>(items.size()) ? StrToInt64Def(items[i], 0) : 0;
    if (i > 0) out += '.';
    out += ZeroPad(n, width);
  }
  std::size_t b = out.find_first_not_of('.');
  if (b == std::string::npos) return std::string();
  std::size_t e = out.find_last_not_of('.');
  return out.substr(b, e - b + 1);
}

std::string RegistryRootName(const std::string& name) {
  static const char* const roots[][2] = {
      {"HKEY_CLASSES_ROOT", "HKCR"},   {"HKEY_CURRENT_USER", "HKCU"},
      {"HKEY_LOCAL_MACHINE", "HKLM"},  {"HKEY_USERS", "HKU"},
      {"HKEY_CURRENT_CONFIG", "HKCC"}, {"HKEY_DYN_DATA", "HKDD"}};
  for (const auto& r : roots)
    if (SameText(name, r[0]) || SameText(name, r[1])) return r[0];
  return std::string();
}

void SplitRegistryPathText(const std::string& path, std::string& rootName, std::string& subKey) {
  std::string p = Trim(path);
  rootName = "HKEY_CURRENT_USER";
  subKey = p;
  if (p.size() >= 2 && SameText(p.substr(0, 2), "HK")) {
    std::size_t s = p.find('\\');
    std::string root = s == std::string::npos ? p : p.substr(0, s);
    subKey = s == std::string::npos ? std::string() : p.substr(s + 1);
    std::string known = RegistryRootName(root);
    if (!known.empty()) rootName = known;
  }
}

std::string MultiStringText(const std::string& data) {
  std::string d = data;
  while (!d.empty() && d.back() == '\0') d.pop_back();
  std::string out;
  for (char c : d) {
    if (c == '\0')
      out += "<0>";
    else
      out += c;
  }
  return out;
}

std::string WindowsKeyPath() {
  return IsNT() ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
}

bool IsDeveloperMode() {
  static const bool on = [] {
    const char* v = std::getenv("DVX");
    return v && std::strcmp(v, "471") == 0;
  }();
  return on;
}

std::uint32_t GetOsName(std::string& versionText, std::string& name, std::string& servicePack,
                        std::uint32_t& build) {
  const TOsVersionRecord& v = GetOsVersion();
  servicePack = Trim(v.ServicePack);
  build = v.Build;
  return OsNameFor(v, Is64BitWindows(), IsServer(), versionText, name);
}

std::uint32_t GetOsCode() {
  std::string vt, name, sp;
  std::uint32_t build = 0;
  return GetOsName(vt, name, sp, build);
}

bool IsNT() {
  return GetOsVersion().PlatformId == 2;
}

bool IsWindowsXP() {
  static const bool xp = IsNT() && VersionText(GetOsVersion().Major, GetOsVersion().Minor) == "5.1";
  return xp;
}

bool IsWindows8OrLater() {
  const TOsVersionRecord& v = GetOsVersion();
  return IsNT() && ParseFloat(VersionText(v.Major, v.Minor), 0.0) >= 6.2 - 1e-9;
}

bool IsWindowsNT4() {
  return GetOsCode() == OS_NT;
}
bool IsWindows2000() {
  return GetOsCode() == OS_2000;
}

std::string KernelVersion() {
#ifdef _WIN32
  return GetProductVersion(SystemFolder(true) + "kernel32.dll", 1, 4);
#else
  return std::string();
#endif
}

#ifndef _WIN32
// The native build runs on no Windows at all: an NT record without version.
const TOsVersionRecord& GetOsVersion() {
  static const TOsVersionRecord v = [] {
    TOsVersionRecord r;
    r.PlatformId = 2;
    return r;
  }();
  return v;
}
bool IsServer() {
  return false;
}
bool Is64BitWindows() {
  return false;
}
std::string GetExeVersion(const std::string&, int, int) {
  return std::string();
}
std::string GetProductVersion(const std::string&, int, int) {
  return std::string();
}
std::string ReadRegistryText(const std::string&, const std::string&, const std::string& d, bool) {
  return d;
}
std::string UserName() {
  const char* u = std::getenv("USER");
  return u ? Trim(u) : std::string();
}
std::string ComputerName() {
  return std::string();
}
std::string DomainName() {
  return std::string();
}
std::string RegisteredOwner() {
  return UserName();
}
std::string RegisteredOrganization() {
  return std::string();
}
void InitSafeDllSearch() {}
#else

// ---------------------------------------------------------------- libraries

void InitSafeDllSearch() {
  using TSetDirs = BOOL(WINAPI*)(DWORD);
  HMODULE k = GetModuleHandleA("kernel32.dll");
  if (!k) return;
  auto set = reinterpret_cast<TSetDirs>(
      reinterpret_cast<void*>(GetProcAddress(k, "SetDefaultDllDirectories")));
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Also take the current folder out of the classic search order.
  SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
  if (!name || !*name) return nullptr;
  if (std::strpbrk(name, "\\/:")) return LoadLibraryA(name);
  HMODULE m = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (m) return m;
  // Systems without the search flags: the full path in the system folder;
  // the DLL's own dependencies are then looked up there first as well.
  std::string path = SystemFolder(true) + name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC LoadProc(const char* library, const char* procName, HMODULE& module) {
  module = LoadSystemLibrary(library);
  if (reinterpret_cast<UINT_PTR>(module) < 33) return nullptr;
  return GetProcAddress(module, procName);
}

// ---------------------------------------------------------------- version

namespace {

// Leading decimal digits of a text as a number (0 when none).
std::uint32_t LeadingNumber(const std::string& s) {
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > 0xFFFFFFFFu) return 0;
  }
  return static_cast<std::uint32_t>(v);
}

bool ReadVersionRecord(OSVERSIONINFOEXA& info) {
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return true;
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != 0;
#pragma GCC diagnostic pop
}

using TVerSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using TVerInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using TVerQuery = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// version.dll is bound at run time from the system folder: a static import
// would be resolved from the program's folder before anything else runs.
struct TVersionApi {
  TVerSize Size = nullptr;
  TVerInfo Info = nullptr;
  TVerQuery Query = nullptr;
  bool Ok() const { return Size && Info && Query; }
};

const TVersionApi& Version() {
  static const TVersionApi api = [] {
    TVersionApi a;
    a.Size = LoadProcAs<TVerSize>("version.dll", "GetFileVersionInfoSizeA");
    a.Info = LoadProcAs<TVerInfo>("version.dll", "GetFileVersionInfoA");
    a.Query = LoadProcAs<TVerQuery>("version.dll", "VerQueryValueA");
    return a;
  }();
  return api;
}

// The whole version resource of a file; empty when it has none.
std::vector<char> VersionResource(const std::string& file) {
  const TVersionApi& v = Version();
  std::vector<char> buf;
  if (!v.Ok()) return buf;
  DWORD handle = 0;
  DWORD size = v.Size(file.c_str(), &handle);
  if (size == 0) return buf;
  buf.assign(size < 16384 ? 16384 : size, 0);
  if (!v.Info(file.c_str(), 0, static_cast<DWORD>(buf.size()), buf.data())) buf.clear();
  return buf;
}

}  // namespace

const TOsVersionRecord& GetOsVersion() {
  static const TOsVersionRecord record = [] {
    TOsVersionRecord r;
    OSVERSIONINFOEXA info;
    if (ReadVersionRecord(info)) {
      r.Major = info.dwMajorVersion;
      r.Minor = info.dwMinorVersion;
      r.Build = info.dwBuildNumber;
      r.PlatformId = info.dwPlatformId;
      r.ServicePack = info.szCSDVersion;
    }
    // Systems that report an older version to programs without a
    // manifest: the product version of kernel32.dll tells the truth.
    if (r.Major > 5 && r.Minor > 2) {
      std::vector<std::string> items = SplitDots(ReplaceChar(KernelVersion(), ',', '.'));
      if (items.size() >= 3 && LeadingNumber(items[0]) > 0) {
        r.Major = LeadingNumber(items[0]);
        r.Minor = LeadingNumber(items[1]);
        r.Build = LeadingNumber(items[2]);
      }
    }
    return r;
  }();
  return record;
}

bool IsServer() {
  if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
  OSVERSIONINFOEXA info;
  if (!ReadVersionRecord(info) || info.dwOSVersionInfoSize != sizeof info) return false;
  return info.wProductType == VER_NT_DOMAIN_CONTROLLER || info.wProductType == VER_NT_SERVER;
}

bool Is64BitWindows() {
  static const bool is64 = [] {
    using TNativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
    using TIsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE k = GetModuleHandleA("kernel32.dll");
    if (!k) return false;
    auto proc = [k](const char* n) { return GetProcAddress(k, n); };
    auto nativeInfo =
        reinterpret_cast<TNativeInfo>(reinterpret_cast<void*>(proc("GetNativeSystemInfo")));
    if (!nativeInfo) return false;
    SYSTEM_INFO si;
    nativeInfo(&si);
    if (!proc("Wow64DisableWow64FsRedirection") || !proc("Wow64RevertWow64FsRedirection") ||
        !proc("GetSystemWow64DirectoryA"))
      return false;
    const TLibrary advapi(LoadSystemLibrary("advapi32.dll"));
    if (!advapi || !GetProcAddress(advapi.Get(), "RegDeleteKeyExA")) return false;
    // A 64-bit process only runs on 64-bit Windows; a 32-bit one asks
    // whether it runs under WOW64.
    if (sizeof(void*) == 8) return true;
    auto isWow64 = reinterpret_cast<TIsWow64>(reinterpret_cast<void*>(proc("IsWow64Process")));
    BOOL wow = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow) && wow;
  }();
  return is64;
}

std::string GetExeVersion(const std::string& file, int width, int count) {
  std::string result;
  try {
    std::vector<char> res = VersionResource(file.empty() ? ProgramPath() : file);
    if (res.empty()) return result;
    VS_FIXEDFILEINFO* ffi = nullptr;
    UINT len = 0;
    if (!Version().Query(res.data(), "\\", reinterpret_cast<LPVOID*>(&ffi), &len) || !ffi ||
        len < sizeof(VS_FIXEDFILEINFO))
      return result;
    result = UIntToStr(HIWORD(ffi->dwFileVersionMS)) + "." +
             UIntToStr(LOWORD(ffi->dwFileVersionMS)) + "." +
             UIntToStr(HIWORD(ffi->dwFileVersionLS)) + "." +
             UIntToStr(LOWORD(ffi->dwFileVersionLS));
    if (width > 1 || count < 4) result = NormalizeVersion(result, width, count);
  } catch (const std::exception& e) {
    LogException(e, "Utils.GetExeVersion()");
    result.clear();
  }
  return result;
}

std::string GetProductVersion(const std::string& file, int width, int count) {
  std::string result;
  try {
    std::vector<char> res = VersionResource(file.empty() ? ProgramPath() : file);
    if (res.empty()) return result;
    WORD* trans = nullptr;
    UINT len = 0;
    if (!Version().Query(res.data(), "\\VarFileInfo\\Translation",
                         reinterpret_cast<LPVOID*>(&trans), &len) ||
        !trans || len < 4)
      return result;
    const std::string query =
        "\\StringFileInfo\\" + HexDigits(trans[0], 4) + HexDigits(trans[1], 4) + "\\ProductVersion";
    char* value = nullptr;
    if (!Version().Query(res.data(), query.c_str(), reinterpret_cast<LPVOID*>(&value), &len) ||
        !value)
      return result;
    result.assign(value, std::strlen(value));
    result = ReplaceChar(result, ',', '.');
    if (width > 1 || count < 4) result = NormalizeVersion(result, width, count);
  } catch (const std::exception& e) {
    LogException(e, "Utils.GetProductVersion()");
    result.clear();
  }
  return result;
}

// ---------------------------------------------------------------- registry

void SplitRegistryPath(const std::string& path, HKEY& root, std::string& subKey) {
  std::string rootName;
  SplitRegistryPathText(path, rootName, subKey);
  if (rootName == "HKEY_CLASSES_ROOT")
    root = HKEY_CLASSES_ROOT;
  else if (rootName == "HKEY_LOCAL_MACHINE")
    root = HKEY_LOCAL_MACHINE;
  else if (rootName == "HKEY_USERS")
    root = HKEY_USERS;
  else if (rootName == "HKEY_CURRENT_CONFIG")
    root = HKEY_CURRENT_CONFIG;
  else if (rootName == "HKEY_DYN_DATA")
    root = HKEY_DYN_DATA;
  else
    root = HKEY_CURRENT_USER;
}

std::string ReadRegistryText(const std::string& path, const std::string& valueName,
                             const std::string& defaultValue, bool use64BitView) {
  HKEY root;
  std::string sub;
  SplitRegistryPath(path, root, sub);
  HKEY opened = nullptr;
  REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
  if (RegOpenKeyExA(root, sub.c_str(), 0, access, &opened) != ERROR_SUCCESS) return defaultValue;
  const TRegKey key(opened);
  std::string result = defaultValue;
  std::vector<char> buf(10241, 0);
  DWORD type = 0, size = static_cast<DWORD>(buf.size());
  if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buf.data()), &size) == ERROR_SUCCESS) {
    if (type == REG_DWORD && size == 4) {
      DWORD v;
      std::memcpy(&v, buf.data(), 4);
      result = IntToStr(v);
    } else if (type == REG_MULTI_SZ && size > 2) {
      result = MultiStringText(std::string(buf.data(), size));
    } else {
      std::size_t n = 0;
      while (n < size && buf[n] != '\0') ++n;
      result.assign(buf.data(), n);
    }
  }
  return result;
}

// ---------------------------------------------------------------- identity

std::string UserName() {
  char buf[256];
  DWORD n = sizeof buf;
  return GetUserNameA(buf, &n) ? Trim(buf) : std::string();
}

std::string ComputerName() {
  char buf[256];
  DWORD n = sizeof buf;
  return GetComputerNameA(buf, &n) ? Trim(buf) : std::string();
}

std::string DomainName() {
  std::string user = UserName();
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0 || domainSize == 0) return std::string();
  std::vector<char> sid(sidSize), domain(domainSize + 1, 0);
  if (!LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(), &domainSize,
                          &use))
    return std::string();
  return std::string(domain.data());
}

std::string RegisteredOwner() {
  return Trim(ReadRegistryText(WindowsKeyPath(), "RegisteredOwner", UserName(), Is64BitWindows()));
}

std::string RegisteredOrganization() {
  return Trim(ReadRegistryText(WindowsKeyPath(), "RegisteredOrganization", "", Is64BitWindows()));
}

// ---------------------------------------------------------------- screen

void CenterInWorkArea(int width, int height, int& left, int& top) {
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  left = area.left + (area.right - area.left - width) / 2;
  top = area.top + (area.bottom - area.top - height) / 2;
}

std::string WindowClassName(HWND window) {
  if (!window) return std::string();
  char buf[1024];
  int n = GetClassNameA(window, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string WindowTitle(HWND window) {
  if (!window) return std::string();
  std::vector<char> buf(102401, 0);
  int n = GetWindowTextA(window, buf.data(), static_cast<int>(buf.size()));
  return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}
#endif
