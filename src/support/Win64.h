// System information: Windows version names and codes, file versions,
// registry texts, identity, work area and window texts, and loading system
// libraries from the system folder only.
//
// The tables and text rules are portable (tested natively); everything that
// asks Windows is under _WIN32.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

// The system's version record (cached after the first read).
struct TOsVersionRecord {
  std::uint32_t Major = 0;
  std::uint32_t Minor = 0;
  std::uint32_t Build = 0;
  std::uint32_t PlatformId = 0;  // 0 Win32s, 1 Windows 9x, 2 NT
  std::string ServicePack;
};

// OS codes (one bit each).
enum : std::uint32_t {
  OS_32S = 0,
  OS_95 = 1,
  OS_98 = 2,
  OS_ME = 4,
  OS_NT = 8,
  OS_2000 = 16,
  OS_XP = 32,
  OS_2003 = 64,
  OS_VISTA = 128,
  OS_XP64 = 256,
  OS_VISTA64 = 512,
  OS_7 = 1024,
  OS_7_64 = 2048,
  OS_2008 = 4096,
  OS_2008_64 = 8192,
  OS_2008R2_64 = 16384,
  OS_8 = 32768,
  OS_8_64 = 65536,
  OS_2012_64 = 131072,
  OS_8_1 = 262144,
  OS_8_1_64 = 524288,
  OS_2012R2_64 = 1048576,
  OS_10 = 2097152,
  OS_10_64 = 4194304
};

// The name table: returns the code and fills the version text ("6.1") and
// the short name ("7.64").
std::uint32_t OsNameFor(const TOsVersionRecord& v, bool is64Bit, bool isServer,
                        std::string& versionText, std::string& name);

// Version normalisation: digits and "." only, items 0..count-1 as integers
// zero-padded to width, joined with ".", outer dots removed.
std::string NormalizeVersion(const std::string& text, int width, int count);

// Registry path split on texts: root is the canonical long root name
// ("HKEY_CURRENT_USER" when absent or unknown).
void SplitRegistryPathText(const std::string& path, std::string& rootName, std::string& subKey);
// The canonical long name for a long or short root name (any case), or empty.
std::string RegistryRootName(const std::string& name);
// Registry multi-string data as one text: trailing NULs dropped, inner NULs
// written "<0>".
std::string MultiStringText(const std::string& data);

// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows[ NT]\CurrentVersion".
std::string WindowsKeyPath();

// True when the environment variable DVX is exactly "471" (cached).
bool IsDeveloperMode();

// Version queries (live system under Windows; the native build answers as an
// unknown NT system).
const TOsVersionRecord& GetOsVersion();
std::uint32_t GetOsName(std::string& versionText, std::string& name, std::string& servicePack,
                        std::uint32_t& build);
std::uint32_t GetOsCode();
bool IsNT();
bool IsWindowsXP();
bool IsWindows8OrLater();
bool IsWindowsNT4();
bool IsWindows2000();
bool IsServer();
bool Is64BitWindows();

// File versions ("" when the file has none). An empty file means the running
// program.
std::string GetExeVersion(const std::string& file, int width = 1, int count = 4);
std::string GetProductVersion(const std::string& file, int width = 1, int count = 4);
std::string KernelVersion();

// Registry texts (REG_DWORD as decimal, REG_MULTI_SZ with "<0>" separators,
// other types up to the first NUL).
std::string ReadRegistryText(const std::string& path, const std::string& valueName,
                             const std::string& defaultValue, bool use64BitView);

// Identity (empty on failure).
std::string UserName();
std::string ComputerName();
std::string DomainName();
std::string RegisteredOwner();
std::string RegisteredOrganization();

// Restricts the DLL search of the process to the system folder (call first
// thing at start; harmless where the system lacks the call).
void InitSafeDllSearch();

#ifdef _WIN32
void SplitRegistryPath(const std::string& path, HKEY& root, std::string& subKey);

// Loads a system library ("RICHED32.DLL", "version.dll", ...) from the system
// folder only, never from the program's folder or the current folder. A name
// with a folder is loaded as given. Returns nullptr on failure.
HMODULE LoadSystemLibrary(const char* name);

// Loads a library (through LoadSystemLibrary) and returns the address of
// procName, or nullptr. The library stays loaded.
FARPROC LoadProc(const char* library, const char* procName, HMODULE& module);
template <typename Fn>
Fn LoadProcAs(const char* library, const char* procName) {
  HMODULE m = nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(LoadProc(library, procName, m)));
}

// Centres a width x height rectangle in the desktop work area.
void CenterInWorkArea(int width, int height, int& left, int& top);
std::string WindowClassName(HWND window);
std::string WindowTitle(HWND window);
#endif
