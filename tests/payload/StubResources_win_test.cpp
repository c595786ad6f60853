// The stub's resources and a setup's own icon and version, read back through
// the Windows API. This program carries the stub's resource script, so its
// own manifest and icon are the stub's.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"
#include "payload/PackX.h"

namespace {

const std::string KStub = std::string(KORVIX_BINARY_DIR) + "/bin/stub.exe";
const std::string KIcon = std::string(KORVIX_ROOT_DIR) + "/src/startup/MainIcon.ico";

// A text of the version resource of `path` as the system reads it, or with
// key "\\" the fixed file version's high word pair.
std::string VersionText(const std::string& path, const char* key) {
  DWORD ignored = 0;
  std::string block(GetFileVersionInfoSizeA(path.c_str(), &ignored), '\0');
  char* value = nullptr;
  UINT length = 0;
  std::string query = *key == '\\' ? key : std::string("\\StringFileInfo\\040904B0\\") + key;
  if (block.empty() || !GetFileVersionInfoA(path.c_str(), 0, (DWORD)block.size(), &block[0]) ||
      !VerQueryValueA(block.data(), query.c_str(), (void**)&value, &length))
    return "(missing)";
  if (*key != '\\') return value;
  DWORD ms = ((VS_FIXEDFILEINFO*)value)->dwFileVersionMS;
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF);
}

std::string ManifestOf(HMODULE module) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  if (!found) return "";
  const char* data = (const char*)LockResource(LoadResource(module, found));
  return data ? std::string(data, SizeofResource(module, found)) : "";
}

// The icon a window class or a box of the program at `path` would draw.
bool LoadsMainIcon(const std::string& path) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  HICON icon = (HICON)LoadImageA(module, "MainIcon", IMAGE_ICON, 32, 32, 0);
  bool ok = icon != nullptr;
  if (icon) DestroyIcon(icon);
  FreeLibrary(module);
  return ok;
}

TEST(StubResources, TheStubCarriesTheIconAndTheManifestOfThisProgram) {
  EXPECT_TRUE(LoadsMainIcon(KStub));
  HMODULE stub = LoadLibraryExA(KStub.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(stub, nullptr);
  std::string manifest = ManifestOf(stub);
  FreeLibrary(stub);
  EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
  EXPECT_EQ(manifest, ManifestOf(GetModuleHandleA(nullptr)));
}

// Without the manifest Windows 8.1 and later report 6.2; with it the
// version is the one the kernel knows.
TEST(StubResources, WithTheManifestTheSystemReportsItsOwnVersion) {
  typedef LONG(WINAPI * TRtlGetVersion)(OSVERSIONINFOW*);
  auto rtlGetVersion =
      (TRtlGetVersion)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
  ASSERT_NE(rtlGetVersion, nullptr);
  OSVERSIONINFOW real = {};
  real.dwOSVersionInfoSize = sizeof(real);
  rtlGetVersion(&real);
  OSVERSIONINFOA reported = {};
  reported.dwOSVersionInfoSize = sizeof(reported);
  ASSERT_TRUE(GetVersionExA(&reported));
  std::string got =
      std::to_string(reported.dwMajorVersion) + "." + std::to_string(reported.dwMinorVersion);
  EXPECT_EQ(got, std::to_string(real.dwMajorVersion) + "." + std::to_string(real.dwMinorVersion));
  if (const char* want = getenv("KORVIX_EXPECT_VERSION")) EXPECT_EQ(got, want);
}

TEST(StubResources, ASetupShowsTheIconAndVersionItWasBuiltWith) {
  testpayload::TTempDir dir;
  TPackProject p;
  p.Stub = KStub;
  p.Output = dir.File("Setup.exe");
  p.Entries.push_back({dir.Write("Engine.exe", "engine"), "Engine.exe", true, "", false, 0});
  p.Icon = KIcon;
  p.Version.FileVersion = "3.4.5.6";
  p.Version.ProductName = "Demo Product";
  TPackReport report;
  std::string error;
  ASSERT_TRUE(BuildSetup(p, report, error)) << error;

  EXPECT_EQ(VersionText(p.Output, "ProductVersion"), "3.4.5.6");  // the file version
  EXPECT_EQ(VersionText(p.Output, "ProductName"), "Demo Product");
  EXPECT_EQ(VersionText(p.Output, "FileDescription"), "Korvix setup");  // the stub's
  EXPECT_EQ(VersionText(p.Output, "\\"), "3.4");
  EXPECT_EQ(ExtractIconExA(p.Output.c_str(), -1, nullptr, nullptr, 0), 1u);
  EXPECT_TRUE(LoadsMainIcon(p.Output));
}

}  // namespace
