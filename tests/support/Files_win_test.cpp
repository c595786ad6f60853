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

TEST(FileDates, PackedFatDateIsSetAfterTheWrite) {
  ScratchDir d("korvix_fatdate");
  const DWORD dosTime =
      ((2020 - 1980) << 25) | (5 << 21) | (17 << 16) | (10 << 11) | (20 << 5) | 15;
  ASSERT_TRUE(WriteTextFile(d / "f.txt", "dated", dosTime, false));
  WIN32_FILE_ATTRIBUTE_DATA a;
  ASSERT_TRUE(GetFileAttributesExA((d / "f.txt").c_str(), GetFileExInfoStandard, &a));
  FILETIME local;
  FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
  WORD got[2] = {};
  FileTimeToDosDateTime(&local, &got[0], &got[1]);
  EXPECT_EQ(dosTime, (DWORD(got[0]) << 16) | got[1]);
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
