#include "support/Win64.h"

#include "SupportWin.h"
#include "support/ExecPipe.h"
#include "text/Common.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

TEST(OsVersion, NameAndCodeOfTheRunningSystem)
{
    std::string vt, name, sp;
    std::uint32_t build = 0;
    std::uint32_t code = GetOsName(vt, name, sp, build);
    EXPECT_TRUE(IsNT());
    EXPECT_TRUE(Is64BitWindows());  // a 64-bit process runs only there
    EXPECT_NE(0u, code);
    EXPECT_EQ(0u, code & (code - 1));
    EXPECT_EQ(code, GetOsCode());
    // The version test script runs this with the version it configured.
    const char* want = std::getenv("KORVIX_EXPECT_OS");
    if (want) {
        EXPECT_EQ(std::string(want), vt + " " + name);
    }
    EXPECT_EQ(vt == "5.1", IsWindowsXP());
    EXPECT_EQ(ParseFloat(vt, 0) >= 6.2, IsWindows8OrLater());
}

TEST(FileVersion, FixedBlockOfTheRunningProgram)
{
    EXPECT_EQ("5.1.2600.0", GetExeVersion(""));
    EXPECT_EQ("5.1.2600.0", GetExeVersion(ProgramPath()));
    EXPECT_EQ("0005.0001.2600.0000", GetExeVersion("", 4, 4));
    EXPECT_EQ("5.1", GetExeVersion("", 1, 2));
}

TEST(FileVersion, ProductVersionString)
{
    EXPECT_EQ("1. 2. 33", GetProductVersion(""));
    EXPECT_EQ("0001.0002.0033.0000", GetProductVersion("", 4, 4));
    std::string k = KernelVersion();
    ASSERT_FALSE(k.empty());
    EXPECT_TRUE(k[0] >= '0' && k[0] <= '9') << k;
}

TEST(FileVersion, FilesWithoutVersionGiveEmptyTexts)
{
    ScratchDir d("korvix_version");
    WriteTextFile(d / "plain.txt", "no resource here", 0, false);
    EXPECT_EQ("", GetExeVersion(d / "plain.txt"));
    EXPECT_EQ("", GetProductVersion(d / "plain.txt"));
    EXPECT_EQ("", GetExeVersion(d / "missing.exe"));
}

class RegistryText : public ::testing::Test {
protected:
    const char* sub = "Software\\KorvixTest\\Support";
    void SetUp() override
    {
        HKEY k;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, sub, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &k, nullptr));
        RegSetValueExA(k, "sz", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6);
        DWORD dw = 4000000000u;
        RegSetValueExA(k, "dw", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), 4);
        RegSetValueExA(k, "multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b\0\0"), 5);
        RegSetValueExA(k, "empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        RegSetValueExA(k, "bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("xy\0z"), 4);
        RegCloseKey(k);
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KorvixTest"); }
};

TEST_F(RegistryText, TypesReadAsText)
{
    std::string p = "HKCU\\Software\\KorvixTest\\Support";
    EXPECT_EQ("hello", ReadRegistryText(p, "sz", "def", false));
    EXPECT_EQ("4000000000", ReadRegistryText(p, "dw", "def", false));
    EXPECT_EQ("a<0>b", ReadRegistryText(p, "multi", "def", false));
    EXPECT_EQ("", ReadRegistryText(p, "empty", "def", false));
    EXPECT_EQ("xy", ReadRegistryText(p, "bin", "def", false));
    EXPECT_EQ("hello", ReadRegistryText(p, "sz", "def", true));
}

TEST_F(RegistryText, RootsAndDefaults)
{
    EXPECT_EQ("hello", ReadRegistryText("HKEY_CURRENT_USER\\Software\\KorvixTest\\Support", "sz", "", false));
    EXPECT_EQ("hello", ReadRegistryText("Software\\KorvixTest\\Support", "sz", "", false));
    EXPECT_EQ("def", ReadRegistryText("HKLM\\Software\\KorvixTest\\Support", "sz", "def", false));
    EXPECT_EQ("def", ReadRegistryText("HKCU\\Software\\KorvixTest\\Support", "nope", "def", false));
    EXPECT_EQ("def", ReadRegistryText("HKCU\\Software\\KorvixTest\\Nothing", "sz", "def", false));
}

TEST_F(RegistryText, ValuesWrittenByTheRegTool)
{
    std::string out, err;
    unsigned long code = 0;
    ASSERT_TRUE(RunCaptured("reg.exe",
                            "add HKCU\\Software\\KorvixTest\\Support /v tool /t REG_DWORD /d 17 /f",
                            SW_HIDE, 1, out, err, code))
        << err;
    EXPECT_EQ("17", ReadRegistryText("HKCU\\Software\\KorvixTest\\Support", "tool", "", false));
}

TEST(Identity, NamesOfUserAndMachine)
{
    EXPECT_FALSE(UserName().empty());
    EXPECT_FALSE(ComputerName().empty());
    EXPECT_EQ(Trim(UserName()), UserName());
    DomainName();  // answers or gives an empty text; must not fail
    EXPECT_EQ(Trim(RegisteredOwner()), RegisteredOwner());
}

namespace {
LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
}  // namespace

TEST(WindowTexts, ClassAndLongTitle)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KorvixWindowTextProbe";
    RegisterClassA(&wc);
    std::string title(5000, 'T');
    HWND w = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ("KorvixWindowTextProbe", WindowClassName(w));
    EXPECT_EQ(title, WindowTitle(w));
    DestroyWindow(w);
    EXPECT_EQ("", WindowClassName(nullptr));
    EXPECT_EQ("", WindowTitle(nullptr));
}

TEST(WorkArea, RectangleIsCentred)
{
    RECT area;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    int left = 0, top = 0;
    CenterInWorkArea(201, 101, left, top);
    EXPECT_LE(std::abs((left - area.left) * 2 + 201 - (area.right - area.left)), 1);
    EXPECT_LE(std::abs((top - area.top) * 2 + 101 - (area.bottom - area.top)), 1);
}

TEST(SystemLibraries, LoadProcFindsOnlyExistingEntries)
{
    HMODULE m = nullptr;
    EXPECT_NE(nullptr, LoadProc("kernel32.dll", "GetTickCount", m));
    EXPECT_NE(nullptr, m);
    EXPECT_EQ(nullptr, LoadProc("kernel32.dll", "KorvixNoSuchFunction", m));
    EXPECT_EQ(nullptr, LoadProc("korvix_no_such_library.dll", "X", m));
}

TEST(SystemLibraries, PlantedRichEditNextToTheProgramIsIgnored)
{
    ScratchDir d("korvix_dllplant");
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), (d / "korvix_plant_probe.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(FakeRichEditPath().c_str(), (d / "RICHED32.DLL").c_str(), FALSE));
    std::string out, err;
    unsigned long code = 0;

    // Wine prefers its own RICHED32 over a file next to the program; make it
    // behave like Windows, where the program's folder comes first, for this
    // probe only.
    const char* appKey = "Software\\Wine\\AppDefaults\\korvix_plant_probe.exe\\DllOverrides";
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &k, nullptr));
    RegSetValueExA(k, "riched32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    RegCloseKey(k);
    struct Restore {
        ~Restore() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\korvix_plant_probe.exe"); }
    } restore;

    // A plain load picks the planted file: the fixture is effective.
    ASSERT_TRUE(RunCaptured(d / "korvix_plant_probe.exe", "loadplain", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_NE(std::string::npos, out.find("marker=1")) << out;

    out.clear();
    ASSERT_TRUE(RunCaptured(d / "korvix_plant_probe.exe", "loadsafe", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_NE(std::string::npos, out.find("loaded=1 marker=0")) << out;
    EXPECT_NE(0u, PosNoCase("\\system32\\", out)) << out;

    out.clear();
    ASSERT_TRUE(RunCaptured(d / "korvix_plant_probe.exe", "loadproc", SW_HIDE, 1, out, err, code)) << err;
    EXPECT_EQ("proc=0 module=1\n", ReplaceAll(out, "\r", ""));
}
