#include "support/Win64.h"

#include "SupportWin.h"
#include "text/Common.h"

#include <string>

#include <gtest/gtest.h>

TEST(OsVersion, NameAndCodeOfTheRunningSystem) {
  std::string vt, name, sp;
  std::uint32_t build = 0;
  EXPECT_EQ(GetOsName(vt, name, sp, build), GetOsCode());
  EXPECT_TRUE(IsNT());
  EXPECT_TRUE(Is64BitWindows());  // a 64-bit process runs only there
  EXPECT_EQ(ParseFloat(vt, 0) >= 6.2, IsWindows8OrLater());
}

// The test program's version resource: 5.1.2600.0, product "1, 2, 33".
TEST(FileVersion, FixedAndProductVersionsOrEmpty) {
  EXPECT_EQ("0005.0001.2600.0000", GetExeVersion("", 4, 4));
  EXPECT_EQ("1. 2. 33", GetProductVersion(""));
  EXPECT_EQ("", GetExeVersion(ProbePath()));  // a program without a version resource
  EXPECT_EQ("", GetExeVersion(ProgramFolder(true) + "no such file.exe"));
}

// REG_DWORD as decimal, REG_MULTI_SZ with "<0>", other types to the first NUL;
// HKCU when the path names no root.
TEST(RegistryText, ValueTypesRootsAndDefaults) {
  HKEY created;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KorvixTest\\Support", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr));
  const DWORD dw = 4000000000u;
  RegSetValueExA(created, "dw", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), 4);
  RegSetValueExA(created, "multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b\0"), 5);
  RegSetValueExA(created, "bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("xy\0z"), 4);
  RegCloseKey(created);
  const std::string p = "HKCU\\Software\\KorvixTest\\Support";
  EXPECT_EQ("4000000000", ReadRegistryText(p, "dw", "def", false));
  EXPECT_EQ("a<0>b", ReadRegistryText(p, "multi", "def", true));
  EXPECT_EQ("xy", ReadRegistryText("Software\\KorvixTest\\Support", "bin", "", false));
  EXPECT_EQ("def", ReadRegistryText(p, "nope", "def", false));
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KorvixTest");
}

TEST(SystemLibraries, PlantedRichEditNextToTheProgramIsIgnored) {
  ScratchDir d("korvix_dllplant");
  const std::string probe = d / "korvix_plant_probe.exe";
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), probe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(FakeRichEditPath().c_str(), (d / "RICHED32.DLL").c_str(), FALSE));
  const TNativeFirst nativeFirst("korvix_plant_probe.exe", "riched32");
  auto run = [&](const char* mode) { return ReplaceAll(RunHidden(probe, mode).Out, "\r", ""); };
  const std::string safe = run("loadsafe");
  EXPECT_NE(std::string::npos, run("loadplain").find("marker=1"));  // the fixture is effective
  EXPECT_NE(std::string::npos, safe.find("loaded=1 marker=0")) << safe;
  EXPECT_NE(0u, PosNoCase("\\system32\\", safe)) << safe;
  EXPECT_EQ("proc=0 module=1\n", run("loadproc"));
}
