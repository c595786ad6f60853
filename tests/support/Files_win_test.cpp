#include "SupportWin.h"

#include <string>

#include <gtest/gtest.h>

TEST(DiskSpace, FreeBytesOfTheDriveOrMinusOne) {
  EXPECT_GT(DiskFree("C:\\korvix\\no\\such\\folder"), 0.0);  // falls back to the drive
  for (char l = 'Q'; l <= 'Y'; ++l)
    if (GetDriveTypeA((std::string(1, l) + ":\\").c_str()) == DRIVE_NO_ROOT_DIR) {
      EXPECT_EQ(-1.0, DiskFree(std::string(1, l) + ":\\x"));
      break;
    }
}

TEST(FileDates, PackedFatDateIsSetAfterWriteAndAppend) {
  ScratchDir d("korvix_fatdate");
  const WORD date = ((2020 - 1980) << 9) | (5 << 5) | 17, time = (10 << 11) | (20 << 5) | 15;
  ASSERT_TRUE(WriteTextFile(d / "f.txt", "dated", (DWORD(date) << 16) | time, false));
  ASSERT_TRUE(AppendText(d / "g.txt", "dated", true, (DWORD(date) << 16) | time));
  for (const char* name : {"f.txt", "g.txt"}) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExA((d / name).c_str(), GetFileExInfoStandard, &a));
    FILETIME local;
    FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
    WORD got[2] = {};
    FileTimeToDosDateTime(&local, &got[0], &got[1]);
    EXPECT_EQ((DWORD(date) << 16) | time, (DWORD(got[0]) << 16) | got[1]) << name;
  }
}

TEST(Deletion, ReadOnlyHiddenAndSystemEntriesGoOnlyWithClearedAttributes) {
  ScratchDir d("korvix_delattr");
  WriteTextFile(d / "ro.txt", "r", 0, false);
  SetFileAttributesA((d / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFiles(d / "*.txt", false));  // matched, even if not deleted
  EXPECT_TRUE(FileExists(d / "ro.txt"));
  EXPECT_TRUE(DeleteFiles(d / "*.txt", true));
  EXPECT_FALSE(FileExists(d / "ro.txt"));
  RecreateFolder(d / "a\\hidden", "");
  WriteTextFile(d / "a\\hidden\\f.txt", "x", 0, false);
  SetFileAttributesA((d / "a\\hidden\\f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((d / "a\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(DeleteTree(d.path, true));
  EXPECT_FALSE(DirExists(d.path));
}

// A copy of the probe deletes itself through a batch after it ended, and its
// folder on request.
TEST(SelfDeletion, ProgramAndBatchAreRemovedAfterExitAndTheFolderOnRequest) {
  for (const bool removeFolder : {true, false}) {
    ScratchDir d("korvix_selfdel");
    const std::string exe = d / "probe.exe", bat = TempFolder(true) + "_DEL_ME_.BAT";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), exe.c_str(), FALSE));
    const TCaptured r = RunHidden(exe, removeFolder ? "selfdelete 1" : "selfdelete 0");
    EXPECT_EQ(0u, r.Code) << r.Err;
    for (int i = 0; i < 400 && (FileExists(exe) || FileExists(bat)); ++i) Sleep(50);
    EXPECT_FALSE(FileExists(exe) || FileExists(bat));
    EXPECT_EQ(!removeFolder, DirExists(d.path)) << removeFolder;
  }
}
