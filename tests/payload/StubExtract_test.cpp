// ExtractPayload on containers built byte by byte. Volume chains, damaged
// records and the update-agent copy run end to end (tests/e2e/e2e.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ContainerBuilder.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "support/Files.h"

using namespace testpayload;

namespace {

int NewFileSteps = 0;  // progress steps of kind 1: a new file or a volume change

void CountProgress(int kind, int, int64_t, int64_t, int, const std::string&) {
  NewFileSteps += kind == 1;
}

// Extracts the setup `c`, written as Setup.exe, into "out".
TExtractJob Extract(const TTempDir& dir, const TContainer& c) {
  NewFileSteps = 0;
  TExtractJob job;
  job.SetupFile = dir.Write("Setup.exe", c.Build());
  job.TargetFolder = dir.File("out");
  job.Progress = CountProgress;
  job.DiskPrompt = "disk <DISK_NUM>";
  ExtractPayload(job);
  return job;
}

std::string Header(const std::string& name) {
  return "|" + name + "|0|";
}

}  // namespace

// The first record of a name replaces what was there, the next ones append.
TEST(ExtractPayload, SameNameReplacesThenAppendsAndStepsOnceAndFindsTheEngine) {
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord(Header("a.txt"), "one "), StoredFileRecord(Header("a.txt"), "two"),
             FileRecord("|Engine.exe* /silent|0|", "MZ"), Record(-12, "no separator"),
             FileRecord(Header("b.bin"), std::string(3000, '\0'))};
  std::filesystem::create_directories(dir.File("out"));
  dir.Write("out\\a.txt", "old ");
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.IntegrityOK);
  EXPECT_FALSE(job.VolumeDamaged);
  EXPECT_EQ(job.MainEntry, "Engine.exe* /silent");
  EXPECT_EQ(ReadFilePart(dir.File("out\\a.txt"), 0, false, 0), "one two");
  EXPECT_EQ(FileSizeByName(dir.File("out\\b.bin")), 3000);
  EXPECT_TRUE(FileExists(dir.File("out\\Engine.exe")));
  EXPECT_EQ(NewFileSteps, 3);  // a.txt, Engine.exe, b.bin
}

TEST(ExtractPayload, BigRecordsAppendInPiecesAndTheLastDateStays) {
  TTempDir dir;
  std::string big;
  for (int i = 0; big.size() < 2500000; ++i)
    big += "line " + std::to_string(i * 7919 % 100003) + "\r\n";
  const std::string tail(100000, 't');
  // 2024-06-11 12:34:56 and the same day at 13:00:00, packed DOS date-times.
  const uint32_t day = (44u << 9 | 6 << 5 | 11) << 16;
  const uint32_t first = day | (12 << 11 | 34 << 5 | 28), last = day | 13 << 11;
  TContainer c;
  c.Files = {FileRecord("|big.txt|" + std::to_string(first) + "|", big),
             StoredFileRecord("|big.txt|" + std::to_string(last) + "|", tail)};
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.IntegrityOK);
  std::string path = dir.File("out\\big.txt");
  EXPECT_TRUE(ReadFilePart(path, 0, false, 0) == big + tail);
  EXPECT_EQ(last, FileDosDateTime(path));
  EXPECT_EQ(NewFileSteps, 1);
}
