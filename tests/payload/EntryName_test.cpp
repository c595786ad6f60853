// The entry-name rule both sides apply.
#include "payload/EntryName.h"

#include <gtest/gtest.h>

#include <string>

TEST(EntryName, NamesThatStayInTheFolderAndFitItPass) {
  for (const char* ok : {"Engine.exe", "Read Me.txt", "sub\\file.txt", "a..b", "..a", "x.y.z",
                         "CONFIG.SYS", "COM10", "LPT0", "CONSOLE.txt", "nul_file", ".hidden"})
    EXPECT_EQ(nullptr, EntryNameProblem(ok, 20)) << ok;
  const std::string name(100, 'n');
  EXPECT_EQ(nullptr, EntryNameProblem(name, KMaxEntryPath - 101));
  EXPECT_NE(nullptr, EntryNameProblem(name, KMaxEntryPath - 100));
  EXPECT_NE(nullptr, EntryNameProblem(std::string(256, 'n'), 0));  // one part, too long anywhere
}

TEST(EntryName, NamesThatLeaveTheFolderOrNameSomethingElseAreRefused) {
  for (const char* bad : {// leave the folder or start elsewhere
                          "", "..", "..\\x", "sub\\..\\..\\x", "a/../../x", "...\\x", ". .\\x",
                          "\\x", "/x", "\\\\srv\\share\\x", "C:\\x", "C:x", "a\\\\b", "sub\\",
                          // streams, trailing dots and blanks the system drops
                          "file.txt:secret", "file.txt::$DATA", "trail.", "blank ", "dir.\\x",
                          // devices, with an extension, in any case, in a folder part
                          "con", "Nul.txt", "COM1.log", "lpt9", "aux .txt", "CONIN$", "conout$.x",
                          "sub\\PRN", "COM\xB9",
                          // characters no file name holds
                          "tab\there", "line\nbreak", "what?", "x*y", "a|b", "<x>", "q\"q"})
    EXPECT_NE(nullptr, EntryNameProblem(bad, 20)) << bad;
}
