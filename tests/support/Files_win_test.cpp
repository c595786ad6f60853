#include "support/Files.h"

#include "SupportWin.h"
#include "support/KDebug.h"
#include "text/Common.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(Folders, ProgramAndSystemFolders)
{
    EXPECT_TRUE(EndsWithNoCase("\\win_support_tests.exe", ProgramPath()));
    EXPECT_EQ("win_support_tests", ProgramName(true));
    EXPECT_EQ(ProgramPath(), ProgramFolder(true) + "win_support_tests.exe");
    EXPECT_EQ('\\', TempFolder(true).back());
    EXPECT_NE('\\', TempFolder(false).back());
    EXPECT_TRUE(DirExists(TempFolder(false)));
    EXPECT_TRUE(DirExists(WindowsFolder(false)));
    EXPECT_TRUE(FileExists(SystemFolder(true) + "kernel32.dll"));
}

TEST(DiskSpace, FreeBytesOrMinusOne)
{
    EXPECT_GT(DiskFree(TempFolder(true)), 0.0);
    EXPECT_GT(DiskFree("C:\\korvix\\no\\such\\folder"), 0.0);  // falls back to the drive
    char free = 0;
    for (char l = 'Q'; l <= 'Y' && !free; ++l)
        if (GetDriveTypeA((std::string(1, l) + ":\\").c_str()) == DRIVE_NO_ROOT_DIR) free = l;
    if (free) {
        EXPECT_EQ(-1.0, DiskFree(std::string(1, free) + ":\\x"));
    }
}

TEST(FileDates, PackedFatDateIsSetAfterTheWrite)
{
    ScratchDir d("korvix_fatdate");
    WORD date = static_cast<WORD>(((2020 - 1980) << 9) | (5 << 5) | 17);
    WORD time = static_cast<WORD>((10 << 11) | (20 << 5) | 15);
    std::uint32_t packed = (static_cast<std::uint32_t>(date) << 16) | time;
    ASSERT_TRUE(WriteTextFile(d / "f.txt", "dated", packed, false));
    ASSERT_TRUE(AppendText(d / "g.txt", "dated", true, packed));
    for (const char* name : {"f.txt", "g.txt"}) {
        HANDLE h = CreateFileA((d / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        FILETIME write, local;
        GetFileTime(h, nullptr, nullptr, &write);
        CloseHandle(h);
        FileTimeToLocalFileTime(&write, &local);
        WORD gotDate = 0, gotTime = 0;
        FileTimeToDosDateTime(&local, &gotDate, &gotTime);
        EXPECT_EQ(date, gotDate) << name;
        EXPECT_EQ(time, gotTime) << name;
    }
}

TEST(FileSizes, WildcardTakesTheFirstFile)
{
    ScratchDir d("korvix_sizes");
    WriteTextFile(d / "one.dat", std::string(1234, 'x'), 0, false);
    CreateDirectoryA((d / "dir.dat").c_str(), nullptr);
    EXPECT_EQ(1234, FileSizeByName(d / "*.dat"));
    EXPECT_EQ(0, FileSizeByName(d / "*.none"));
}

TEST(Deletion, AttributesAreClearedOnRequest)
{
    ScratchDir d("korvix_delattr");
    WriteTextFile(d / "ro.txt", "r", 0, false);
    WriteTextFile(d / "hid.txt", "h", 0, false);
    SetFileAttributesA((d / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((d / "hid.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(DeleteFiles(d / "*.txt", false));  // matched, even if not all went
    EXPECT_TRUE(FileExists(d / "ro.txt"));
    EXPECT_TRUE(DeleteFiles(d / "*.txt", true));
    EXPECT_FALSE(FileExists(d / "ro.txt"));
    EXPECT_FALSE(FileExists(d / "hid.txt"));
}

TEST(Deletion, TreeWithHiddenAndReadOnlyPartsIsGoneAndPausesPerEntry)
{
    ScratchDir d("korvix_deltree");
    for (int i = 0; i < 5; ++i) {
        std::string sub = d / ("sub" + std::to_string(i));
        CreateDirectoryA(sub.c_str(), nullptr);
        WriteTextFile(sub + "\\f.txt", "x", 0, false);
    }
    std::string hidden = d / "hidden";
    CreateDirectoryA(hidden.c_str(), nullptr);
    WriteTextFile(hidden + "\\ro.txt", "x", 0, false);
    SetFileAttributesA((hidden + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    DWORD start = GetTickCount();
    EXPECT_TRUE(DeleteTree(d.path, true));
    EXPECT_GE(GetTickCount() - start, 55u);  // six entries, 10 ms each
    EXPECT_FALSE(DirExists(d.path));
    EXPECT_FALSE(DeleteTree(d.path, true));
}

TEST(Searches, FilesAndFoldersInTreesSkippingHiddenFolders)
{
    ScratchDir d("korvix_search");
    CreateDirectoryA((d / "a").c_str(), nullptr);
    CreateDirectoryA((d / "a\\Beta").c_str(), nullptr);
    WriteTextFile(d / "a\\Beta\\target.txt", "t", 0, false);
    CreateDirectoryA((d / "h").c_str(), nullptr);
    WriteTextFile(d / "h\\hid.txt", "t", 0, false);
    SetFileAttributesA((d / "h").c_str(), FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(d / "a\\Beta\\target.txt", FindFileInTree(d.path, "target.txt"));
    EXPECT_EQ(d / "a\\Beta\\target.txt", FindFileInTree(d.path + "\\", "target.txt"));
    EXPECT_EQ("", FindFileInTree(d.path, "hid.txt"));
    EXPECT_EQ("", FindFileInTree(d.path, "none.txt"));
    EXPECT_EQ(d / "a\\Beta", FindDirInTree(d.path, "beta"));
    EXPECT_EQ("", FindDirInTree(d.path, "eta"));
    UINT type = GetDriveTypeA(d.path.substr(0, 3).c_str());
    EXPECT_EQ(d.path, FindDir(d.path, static_cast<int>(type)));
    EXPECT_EQ("", FindDir(d.path, static_cast<int>(type) + 1));
    EXPECT_EQ("", FindDir(d / "nope", static_cast<int>(type)));
    EXPECT_EQ("", FindFileOnDrives("target.txt", -1));
}

namespace {
std::vector<std::string> g_chunks;
void Capture(const std::string& c) { g_chunks.push_back(c); }
}  // namespace

TEST(Removable, EjectOnAFixedDiskFailsSilently)
{
    g_chunks.clear();
    DebugSink old = SetDebugSink(Capture);
    EXPECT_FALSE(EjectCD("C:\\setup.exe"));
    EXPECT_FALSE(EjectCD(""));
    EXPECT_FALSE(EjectCD("1:\\"));
    SetDebugSink(old);
    EXPECT_TRUE(g_chunks.empty());
}

TEST(Removable, AutoPlaySuppressionHoldsTheRegisteredMessage)
{
    EXPECT_EQ(0u, GetAutoPlayMessageId());
    SetAutoPlaySuppression(true);
    EXPECT_EQ(RegisterWindowMessageA("QueryCancelAutoPlay"), GetAutoPlayMessageId());
    EXPECT_NE(0u, GetAutoPlayMessageId());
    SetAutoPlaySuppression(false);
    EXPECT_EQ(0u, GetAutoPlayMessageId());
}

namespace {
// Runs a copy of the probe that deletes itself and waits for it to end.
void RunSelfDelete(const std::string& exe, bool removeFolder)
{
    std::string cmd = "\"" + exe + "\" selfdelete " + (removeFolder ? "1" : "0");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(0u, code);
}
}  // namespace

TEST(SelfDeletion, ProgramAndFolderAreRemovedAfterExit)
{
    std::string dir = TempFolder(true) + "korvix_selfdel_1";
    DeleteTree(dir, true);
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string exe = dir + "\\probe.exe";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), exe.c_str(), FALSE));
    RunSelfDelete(exe, true);
    std::string bat = TempFolder(true) + "_DEL_ME_.BAT";
    EXPECT_TRUE(WaitFor([&] { return !FileExists(exe) && !DirExists(dir) && !FileExists(bat); }, 20000))
        << FileExists(exe) << DirExists(dir) << FileExists(bat);
    DeleteTree(dir, true);
}

TEST(SelfDeletion, WithoutFolderRemovalTheFolderStays)
{
    std::string dir = TempFolder(true) + "korvix_selfdel_2";
    DeleteTree(dir, true);
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string exe = dir + "\\probe.exe";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), exe.c_str(), FALSE));
    RunSelfDelete(exe, false);
    std::string bat = TempFolder(true) + "_DEL_ME_.BAT";
    EXPECT_TRUE(WaitFor([&] { return !FileExists(exe) && !FileExists(bat); }, 20000));
    EXPECT_TRUE(DirExists(dir));
    DeleteTree(dir, true);
}
