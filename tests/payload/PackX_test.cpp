#include "payload/PackX.h"

#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"
#include "payload/ZLibOpen.h"

using namespace testpayload;

namespace {

TEST(PackParts, LanguageTextsEntryNamesDosDatesAndTheSpaceTable) {
  std::string error;
  EXPECT_FALSE(CheckLanguage({"English", {{"s0", std::string("a\x01", 2)}}}, error));
  EXPECT_FALSE(CheckLanguage({"", {}}, error));
  EXPECT_TRUE(CheckLanguage({"English", {{"s0", "a|b=c"}}}, error));
  // The shared entry-name rule (EntryName_test.cpp), and no folder parts.
  EXPECT_TRUE(CheckEntryName("Read Me.txt", error)) << error;
  EXPECT_FALSE(CheckEntryName("sub\\file.txt", error) || CheckEntryName("sub/f", error) ||
               CheckEntryName("Nul.txt", error));
  std::tm tm{};  // 2024-06-11 12:34:57 local time
  tm.tm_year = 2024 - 1900, tm.tm_mon = 5, tm.tm_mday = 11, tm.tm_hour = 12, tm.tm_min = 34,
  tm.tm_sec = 57;
  tm.tm_isdst = -1;
  uint32_t date = (44u << 9) | (6u << 5) | 11u, time = (12u << 11) | (34u << 5) | 28u;
  EXPECT_EQ(DosDateTimeOf((int64_t)std::mktime(&tm)), (date << 16) | time);
  EXPECT_EQ(DosDateTimeOf(0), 0u);                                 // 1970: before the DOS epoch
  EXPECT_EQ(SpaceRequiredTable({5000000000ull})[0], 0xFFFFFFFFu);  // saturates
}

class PackBuild : public ::testing::Test {
protected:
  void SetUp() override {
    Project.Stub = Dir.Write("stub.exe", StubImage(4096));
    Project.Output = Dir.File("Setup.exe");
    Project.HasSeed = true;
    Project.Seed = 42;
  }

  void AddFile(const std::string& name, const std::string& data, bool engine = false,
               const std::string& extra = "") {
    Project.Entries.push_back({Dir.Write("src_" + name, data), name, engine, extra, false, 0});
    Files[name] += data;
  }

  bool Build() {
    Error.clear();
    return BuildSetup(Project, Report, Error);
  }

  // Walks the chain from the setup as the stub does: checks every volume's
  // checksum and file count, inflates every record and appends the pieces
  // of each name in order.
  std::map<std::string, std::string> Extract(std::vector<TFileEntry>* entries = nullptr) {
    std::map<std::string, std::string> out;
    const int headers = TGFileInfo(Project.Output).Trailer().HeaderCount();
    int counter = 0;
    for (int j = 1;; ++j) {
      std::string path = j == 1 ? Project.Output : VolumeFileName(Project.Output, j);
      TRecordWalk walk(path);
      EXPECT_TRUE(walk.IsOpen()) << path;
      EXPECT_TRUE(ChecksumMatches(VolumeChecksum(path, 74), walk.Trailer().Checksum())) << path;
      TRecordHeader rec;
      uint32_t files = 0;
      while (walk.Next(rec) == KRecordRead) {
        if (++counter <= headers) continue;  // header records start the chain only
        ++files;
        TFileEntry entry;
        std::string bytes;
        bool has = false;
        EXPECT_EQ(walk.ReadFileRecord(entry, bytes, has), KRecordRead);
        out[entry.FileName] += bytes;
        if (entries) entries->push_back(entry);
      }
      EXPECT_EQ(files, walk.Trailer().FileCount()) << path;
      if (!(walk.Trailer().Options() & KOptNextVolume)) return out;
    }
  }

  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(Dir.Path()))
      names.insert(e.path().filename().string());
    return names;
  }

  TTempDir Dir;
  TPackProject Project;
  TPackReport Report;
  std::string Error;
  std::map<std::string, std::string> Files;
};

// The settings texts, options and stored records are read back by the listing
// in pack_tool_test.sh.
TEST_F(PackBuild, SingleFileSetupRoundTrip) {
  AddFile("readme.txt", std::string(20000, 'r'));
  Project.Entries[0].HasDate = true;
  Project.Entries[0].DosDate = 0x58CB6472;
  AddFile("empty.dat", "");
  AddFile("Engine.exe", Noise(3000, 1), true);
  AddFile("big.bin", Noise(KMaxRecordFileBytes + 70000, 2, 16));  // two records
  ASSERT_TRUE(Build()) << Error;

  std::string image = ReadAll(Project.Output);
  EXPECT_EQ(PayloadEndFromBytes(image), image.size());
  EXPECT_EQ(TGFileInfo(Project.Output).Trailer().SpaceRequired(4),
            (uint32_t)(20480 + 4096 + (KMaxRecordFileBytes + 70000 + 4095) / 4096 * 4096));

  std::vector<TFileEntry> entries;
  EXPECT_EQ(Extract(&entries), Files);
  ASSERT_EQ(entries.size(), 5u);  // big.bin in two records
  EXPECT_EQ(entries[0].DosDateTime, 0x58CB6472u);
}

// Records are packed on several threads but written and cut into volumes in
// order: the bytes depend on the seed only.
TEST_F(PackBuild, VolumeChainChecksumsThreadsAndRebuild) {
  AddFile("Engine.exe", std::string(500, 'e'), true);
  for (int i = 0; i < 6; ++i) AddFile("f" + std::to_string(i), Noise(30000 + 1000 * i, i, 8 + i));
  for (uint64_t volumeSize : {0, 40000}) {
    Project.VolumeSize = volumeSize;
    std::vector<std::string> one;
    for (unsigned threads : {1u, 4u}) {
      Project.Threads = threads;
      ASSERT_TRUE(Build()) << Error;
      std::vector<std::string> bytes;
      for (auto& v : Report.Volumes) bytes.push_back(ReadAll(v.Path));
      if (threads == 1) one = bytes;
      EXPECT_EQ(bytes, one) << "volume size " << volumeSize;
    }
    EXPECT_EQ(Extract(), Files);
  }
  ASSERT_GE(Report.Volumes.size(), 3u);
  for (const TPackVolume& v : Report.Volumes) {
    EXPECT_TRUE(v.Size <= 40000u && std::filesystem::file_size(v.Path) == v.Size) << v.Path;
    EXPECT_NE(TGFileInfo(v.Path).Trailer().Checksum(), 1234) << v.Path;  // small volumes have one
  }
  // A rebuild without volumes removes those of the build before.
  Project.VolumeSize = 0;
  ASSERT_TRUE(Build()) << Error;
  for (const std::string& name : Listing())
    EXPECT_EQ(name.find("Setup.exe."), std::string::npos) << name;
  EXPECT_EQ(Extract(), Files);
}

// Internet setups are built and run end to end by tests/e2e/internet.py.
TEST_F(PackBuild, BadInputLeavesNoSetupBehind) {
  Dir.Write("Setup.exe", "old setup");
  AddFile("Engine.exe", "x", true);
  const std::set<std::string> before = Listing();
  const TPackProject saved = Project;
  auto fails = [&](const char* fragment, void (*change)(TPackProject&)) {
    Project = saved;
    change(Project);
    EXPECT_FALSE(Build()) << fragment;
    EXPECT_NE(Error.find(fragment), std::string::npos) << Error;
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(ReadAll(Project.Output), "old setup");
  };
  fails("two entries are named", [](TPackProject& p) {
    p.Entries.push_back({p.Entries[0].Source, "ENGINE.EXE", false, "", false, 0});
  });
  // Fails after the temporary files were created.
  fails("too small", [](TPackProject& p) { p.VolumeSize = 3000; });
  fails("download location", [](TPackProject& p) { p.Internet = true; });
  fails("agent's file name", [](TPackProject& p) { p.MakeAgentCopy = true; });
}

}  // namespace
