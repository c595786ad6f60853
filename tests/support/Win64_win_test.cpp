#include "support/Win64.h"

#include <memory>

#include "SupportWin.h"
#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "text/Common.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

// os_versions.sh runs this with the version it configured in KORVIX_EXPECT_OS.
TEST(OsVersion, NameAndCodeOfTheRunningSystem) {
  std::string vt, name, sp;
  std::uint32_t build = 0;
  const std::uint32_t code = GetOsName(vt, name, sp, build);
  EXPECT_TRUE(IsNT());
  EXPECT_TRUE(Is64BitWindows());  // a 64-bit process runs only there
  EXPECT_EQ(code, GetOsCode());
  if (const char* want = std::getenv("KORVIX_EXPECT_OS"))
    EXPECT_EQ(std::string(want), vt + " " + name);
  EXPECT_EQ(ParseFloat(vt, 0) >= 6.2, IsWindows8OrLater());
}

TEST(FileVersion, FixedAndProductVersionsOfTheRunningProgram) {
  EXPECT_EQ("5.1.2600.0", GetExeVersion(""));
  EXPECT_EQ("0005.0001.2600.0000", GetExeVersion("", 4, 4));
  EXPECT_EQ("5.1", GetExeVersion("", 1, 2));
  EXPECT_EQ("1. 2. 33", GetProductVersion(""));
  EXPECT_EQ("0001.0002.0033.0000", GetProductVersion("", 4, 4));
  EXPECT_EQ("", GetExeVersion(ProbePath()));  // a program without a version resource
  EXPECT_EQ("", GetProductVersion(ProbePath()));
  EXPECT_EQ("", GetExeVersion(ProgramFolder(true) + "no such file.exe"));
}

TEST(RegistryText, ValueTypesRootsAndDefaults) {
  HKEY created;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KorvixTest\\Support", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr));
  TRegKey k(created);
  auto set = [&](const char* name, DWORD type, const void* data, DWORD size) {
    RegSetValueExA(k.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
  };
  const DWORD dw = 4000000000u;
  set("sz", REG_SZ, "hello", 6);
  set("dw", REG_DWORD, &dw, 4);
  set("multi", REG_MULTI_SZ, "a\0b\0\0", 5);
  set("bin", REG_BINARY, "xy\0z", 4);
  k.Reset();
  const std::string p = "HKCU\\Software\\KorvixTest\\Support";
  EXPECT_EQ("hello", ReadRegistryText(p, "sz", "def", false));
  EXPECT_EQ("4000000000", ReadRegistryText(p, "dw", "def", false));
  EXPECT_EQ("a<0>b", ReadRegistryText(p, "multi", "def", false));
  EXPECT_EQ("xy", ReadRegistryText(p, "bin", "def", false));
  EXPECT_EQ("hello", ReadRegistryText(p, "sz", "def", true));
  EXPECT_EQ("hello", ReadRegistryText("Software\\KorvixTest\\Support", "sz", "", false));
  EXPECT_EQ("def", ReadRegistryText(p, "nope", "def", false));
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KorvixTest");
}

TEST(SystemLibraries, PlantedRichEditNextToTheProgramIsIgnored) {
  ScratchDir d("korvix_dllplant");
  const std::string probe = d / "korvix_plant_probe.exe";
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), probe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(FakeRichEditPath().c_str(), (d / "RICHED32.DLL").c_str(), FALSE));

  auto nativeFirst = std::make_unique<TNativeFirst>("korvix_plant_probe.exe", "riched32");
  auto run = [&](const char* mode) {
    std::string out, err;
    unsigned long code = 0;
    EXPECT_TRUE(RunCaptured(probe, mode, SW_HIDE, 1, out, err, code)) << err;
    return ReplaceAll(out, "\r", "");
  };
  const std::string plain = run("loadplain"), safe = run("loadsafe"), proc = run("loadproc");
  nativeFirst.reset();

  EXPECT_NE(std::string::npos, plain.find("marker=1")) << plain;  // the fixture is effective
  EXPECT_NE(std::string::npos, safe.find("loaded=1 marker=0")) << safe;
  EXPECT_NE(0u, PosNoCase("\\system32\\", safe)) << safe;
  EXPECT_EQ("proc=0 module=1\n", proc);
}
