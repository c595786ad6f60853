// ExtractPayload on containers built byte by byte: appending entries of the
// same name, the main entry, volume chains, records that reach past the end,
// damaged streams, the update-agent copy.
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
TExtractJob Extract(const TTempDir& dir, const TContainer& c, const std::string& agent = "") {
  NewFileSteps = 0;
  TExtractJob job;
  job.SetupFile = dir.Write("Setup.exe", c.Build());
  job.TargetFolder = dir.File("out");
  job.Progress = CountProgress;
  job.DiskPrompt = "disk <DISK_NUM>";
  job.AgentName = agent;
  ExtractPayload(job);
  return job;
}

std::string Header(const std::string& name) {
  return "|" + name + "|0|";
}

// A plain volume file: records and a trailer, no stub.
std::string Volume(const std::vector<std::string>& records, bool more) {
  TContainer v;
  v.Image.clear();
  v.Headers.clear();
  v.Files = records;
  v.Trailer.Bytes[KTrlOptions] = more ? KOptNextVolume : 0;
  return v.Build();
}

}  // namespace

TEST(ExtractPayload, SameNameAppendsAndStepsOnceAndFindsTheEngine) {
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord(Header("a.txt"), "one "), StoredFileRecord(Header("a.txt"), "two"),
             FileRecord("|Engine.exe* /silent|0|", "MZ"), Record(-12, "no separator"),
             FileRecord(Header("b.bin"), std::string(3000, '\0'))};
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.IntegrityOK);
  EXPECT_FALSE(job.VolumeDamaged);
  EXPECT_EQ(job.MainEntry, "Engine.exe* /silent");
  EXPECT_EQ(ReadFilePart(dir.File("out\\a.txt"), 0, false, 0), "one two");
  EXPECT_EQ(FileSizeByName(dir.File("out\\b.bin")), 3000);
  EXPECT_TRUE(FileExists(dir.File("out\\Engine.exe")));
  EXPECT_EQ(NewFileSteps, 3);  // a.txt, Engine.exe, b.bin
}

TEST(ExtractPayload, TheFirstRecordOfANameReplacesWhatWasThere) {
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord(Header("a.txt"), "new "), FileRecord(Header("a.txt"), "more")};
  std::filesystem::create_directories(dir.File("out"));
  dir.Write("out\\a.txt", "old ");
  Extract(dir, c);
  EXPECT_EQ(ReadFilePart(dir.File("out\\a.txt"), 0, false, 0), "new more");
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

TEST(ExtractPayload, VolumeChainRunsOnAndCountsEntriesAcrossVolumes) {
  TTempDir dir;
  TContainer c;
  c.Trailer.Bytes[KTrlOptions] = KOptNextVolume;
  c.Files = {FileRecord(Header("v1.txt"), "1")};
  // Two records at the start of volume 2: counted on from volume 1, so
  // neither is taken for a header record.
  dir.Write(
      "Setup.exe.002",
      Volume({FileRecord(Header("v2a.txt"), "2a"), FileRecord(Header("v2b.txt"), "2b")}, true));
  dir.Write("Setup.exe.003", Volume({FileRecord("|Engine.exe*|0|", "MZ")}, false));
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.IntegrityOK);
  EXPECT_EQ(job.Volumes, 3);
  EXPECT_EQ(job.MainEntry, "Engine.exe*");
  for (const char* f : {"v1.txt", "v2a.txt", "v2b.txt", "Engine.exe"})
    EXPECT_TRUE(FileExists(dir.File(std::string("out\\") + f))) << f;
  EXPECT_EQ(NewFileSteps, 4 + 2);  // four new files, two volume changes
}

TEST(ExtractPayload, RecordPastTheEndIsDamagedABrokenStreamRaises) {
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord(Header("first.txt"), "ok"), Record(-50000000, std::string(4000, 'x')),
             FileRecord("|Engine.exe*|0|", "MZ")};
  TExtractJob job = Extract(dir, c);
  EXPECT_TRUE(job.VolumeDamaged);
  EXPECT_FALSE(job.IntegrityOK);
  EXPECT_TRUE(FileExists(dir.File("out\\first.txt")));
  EXPECT_FALSE(FileExists(dir.File("out\\Engine.exe")));
  // The magic number with the record area past the trailer is as damaged.
  std::string bytes = c.Build();
  PutU32(bytes, bytes.size() - 74 + KTrlRecordArea, (uint32_t)bytes.size());
  TExtractJob outside;
  outside.SetupFile = dir.Write("Outside.exe", bytes);
  outside.TargetFolder = dir.File("outside");
  ExtractPayload(outside);
  EXPECT_TRUE(outside.VolumeDamaged);

  std::string rec = FileRecord(Header("t.txt"), std::string(20000, 'a') + "tail");
  for (size_t i = rec.size() / 2; i < rec.size() / 2 + 8; ++i) rec[i] ^= 0x5A;
  c.Files = {rec};
  EXPECT_THROW(Extract(dir, c), EZLibError);
}

TEST(ExtractPayload, WritesTheUpdateAgentCopyFromTheFirstVolume) {
  TTempDir dir;
  TContainer c;
  c.SetPointer = true;
  c.Files = {FileRecord(Header("f.txt"), "f")};
  Extract(dir, c, "Agent.exe");
  std::string copy = ReadFilePart(dir.File("out\\Agent.exe"), 0, false, 0);
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(PayloadEndFromBytes(copy), 0u);
  // The copy: the stub and the header records, then the trailer marked
  // as an agent copy; the reader finds its header texts.
  TGFileInfo info(dir.File("out\\Agent.exe"));
  EXPECT_TRUE(info.IsAutoUpdateProg());
  EXPECT_EQ(info.GetAgentExeName(), "Agent.exe");
  EXPECT_EQ(copy.size(), c.Build().size() - c.Files[0].size());
}
