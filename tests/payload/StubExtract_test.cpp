// ExtractPayload on containers built byte by byte. Volume chains, damaged
// records and the update-agent copy run end to end (tests/e2e/e2e.py).
#include <gtest/gtest.h>

#include "ContainerBuilder.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
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
  ExtractPayload(job);
  return job;
}

std::string Header(const std::string& name, uint32_t date = 0) {
  return "|" + name + "|" + std::to_string(date) + "|";
}

}  // namespace

// The first record of a name replaces what was there, the next ones append
// and the last date stays; records without an entry header are skipped.
TEST(ExtractPayload, SameNameReplacesThenAppendsAndStepsOnceAndFindsTheEngine) {
  TTempDir dir;
  const std::string big = Noise(2500000, 3, 16);
  // 2024-06-11 12:34:56 and the same day at 13:00:00, packed DOS date-times.
  const uint32_t day = (44u << 9 | 6 << 5 | 11) << 16;
  const uint32_t first = day | (12 << 11 | 34 << 5 | 28), last = day | 13 << 11;
  TContainer c;
  c.Files = {FileRecord(Header("a.txt"), "one "),
             StoredFileRecord(Header("a.txt"), "two"),
             FileRecord(Header("Engine.exe* /silent"), "MZ"),
             Record(-12, "no separator"),
             Record(0, ""),
             FileRecord(Header("big.txt", first), big),
             StoredFileRecord(Header("big.txt", last), "tail")};
  std::filesystem::create_directories(dir.File("out"));
  dir.Write("out\\a.txt", "old ");
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.IntegrityOK);
  EXPECT_FALSE(job.VolumeDamaged);
  EXPECT_EQ(job.MainEntry, "Engine.exe* /silent");
  EXPECT_TRUE(FileExists(dir.File("out\\Engine.exe")));
  EXPECT_EQ(ReadFilePart(dir.File("out\\a.txt"), 0, false, 0), "one two");
  std::string path = dir.File("out\\big.txt");
  EXPECT_TRUE(ReadFilePart(path, 0, false, 0) == big + "tail");
  EXPECT_EQ(last, FileDosDateTime(path));
  EXPECT_EQ(NewFileSteps, 3);  // a.txt, Engine.exe, big.txt
}
