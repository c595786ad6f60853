#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "payload/PackX.h"
#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "text/KSUB.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const char* p, size_t n)
{
  return std::string(p, n);
}

uint32_t LE32(const std::string& s, size_t at)
{
  return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 |
         (uint32_t)(uint8_t)s[at + 2] << 16 | (uint32_t)(uint8_t)s[at + 3] << 24;
}

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& data)
{
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), (std::streamsize)data.size());
}

// Bytes that compress a little but not much, quickly generated.
std::string Noise(size_t n, uint32_t seed, int alphabet = 256)
{
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = (char)((x >> 24) % (uint32_t)alphabet);
  }
  return s;
}

// ---------------------------------------------------------------- tokens

TEST(PackToken, HandComputedVectors)
{
  // k1=0x10 k2=0x13 a=1 (filler 0x55) b=1, token "AB":
  // 10 01^03 01^03 55^03 41^03 42^03 sum 13 -> 10 02 02 56 42 41 00 13.
  EXPECT_EQ(ScrambleTokenWith("AB", 0x10, 0x13, "\x55", ""), "cbbdbdghfdfcbbce");
  EXPECT_EQ(UnscrambleToken("cbbdbdghfdfcbbce"), "AB");
  // Upper-case hexadecimal digits shift to s..x: k1=A0 k2=0A, a=0, b=2
  // (filler 00), token FF -> A0 AA A8 55 AA FB 0A.
  EXPECT_EQ(ScrambleTokenWith("\xFF", 0xA0, 0x0A, "", Bytes("\0", 1)), "sbsssjggssxtbs");
  EXPECT_EQ(UnscrambleToken("sbsssjggssxtbs"), "\xFF");
}

TEST(PackToken, RandomEncodingsReadBackAndDiffer)
{
  TPackRandom random(7);
  const std::string tokens[] = {"", "SECRET", Bytes("a|b\0c\x01\x02\xFF", 8),
                                std::string(300, 'x')};
  for (const std::string& t : tokens) {
    std::string a = ScrambleToken(t, random);
    std::string b = ScrambleToken(t, random);
    EXPECT_NE(a, b);
    EXPECT_EQ(UnscrambleToken(a), t);
    EXPECT_EQ(UnscrambleToken(b), t);
    for (char c : a)  // hex digits shifted by 50: never a list delimiter
      EXPECT_TRUE((c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x')) << c;
  }
  // The same seed gives the same text (byte-reproducible builds).
  TPackRandom r1(99), r2(99);
  EXPECT_EQ(ScrambleToken("X", r1), ScrambleToken("X", r2));
}

// ------------------------------------------------------- header records

TEST(PackHeaders, LanguageBlockLayout)
{
  TPackLanguage en{"English", {{"s0", "Product"}, {"BtnText", "|&OK|&Cancel|"}}};
  TPackLanguage de{"Deutsch", {{"s1", "Entpacke..."}}};
  EXPECT_EQ(BuildLanguageBlock({en, de}),
            "\x02\x01" "English\x01s0=Product\x01" "BtnText=|&OK|&Cancel|\x01\x02"
            "\x01" "Deutsch\x01s1=Entpacke...\x01\x02");
  EXPECT_EQ(BuildLanguageBlock({}), "\x02\x01" "English\x01\x02");
  std::string block = BuildLanguageBlock({en, de});
  EXPECT_EQ(SUB::Count(block), 2);
  EXPECT_EQ(SUB::Value(SUB::Item(block, 0), "BTNTEXT"), "|&OK|&Cancel|");
}

TEST(PackHeaders, LanguageTextParsing)
{
  TPackLanguage lang;
  std::string error;
  ASSERT_TRUE(ParseLanguageText("\xEF\xBB\xBF; comment\r\ns0 = My Product \r\n\r\n# x\n"
                                "s6=\"  <P>Go on?  \"\nEmpty=\n",
                                lang, error))
      << error;
  ASSERT_EQ(lang.Entries.size(), 3u);
  EXPECT_EQ(lang.Entries[0], std::make_pair(std::string("s0"), std::string("My Product")));
  EXPECT_EQ(lang.Entries[1].second, "  <P>Go on?  ");
  EXPECT_EQ(lang.Entries[2].second, "");

  TPackLanguage bad;
  EXPECT_FALSE(ParseLanguageText("s0=a\nS0=b\n", bad, error));
  EXPECT_NE(error.find("twice"), std::string::npos);
  TPackLanguage bad2;
  EXPECT_FALSE(ParseLanguageText("s0=a\njust text\n", bad2, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);

  EXPECT_FALSE(CheckLanguage({"English", {{"s0", "a\x01" "b"}}}, error));
  EXPECT_FALSE(CheckLanguage({"Eng\x02", {}}, error));
  EXPECT_FALSE(CheckLanguage({"", {}}, error));
  EXPECT_TRUE(CheckLanguage({"English", {{"s0", "a|b=c"}}}, error));
}

TEST(PackHeaders, SettingsListsPickAFreeDelimiter)
{
  TPackRandom random(1);
  TUpdateItems u{"http://host/upd/", "Product.info", "Agent.exe", "TOK", true};
  std::string s = BuildUpdateSettings(u, random);
  EXPECT_EQ(s[0], '|');
  EXPECT_EQ(SUB::Count(s), 5);
  EXPECT_EQ(SUB::Item(s, 0), "http://host/upd/");
  EXPECT_EQ(SUB::Item(s, 2), "Agent.exe");
  EXPECT_EQ(UnscrambleToken(SUB::Item(s, 3)), "TOK");
  EXPECT_EQ(SUB::Item(s, 4), "1");

  TDownloadItems d;
  d.Given = true;
  d.Location = "\\\\server\\share|x";  // holds "|": another delimiter is chosen
  d.FileName = "Real.exe";
  d.Size = "123";
  s = BuildDownloadSettings(d, random);
  EXPECT_EQ(s[0], '*');
  EXPECT_EQ(SUB::Item(s, 0), "\\\\server\\share|x");
  EXPECT_EQ(SUB::Item(s, 2), "0");
  EXPECT_EQ(UnscrambleToken(SUB::Item(s, 3)), "");
  EXPECT_EQ(SUB::Item(s, 4), "123");
}

// --------------------------------------------------------- file records

TEST(PackRecords, EntryNames)
{
  std::string error;
  for (const char* ok : {"Engine.exe", "Read Me.txt", "a.b.c", "CHANGES.LOG", "CONFIG.SYS", "COM10"})
    EXPECT_TRUE(CheckEntryName(ok, error)) << ok << ": " << error;
  for (const std::string& bad : std::vector<std::string>{"", "..", "..\\x.txt", "a..b", "C:x.txt", "\\root.txt", "a|b",
                          "sub\\file.txt", "sub/file.txt", "what?", "trail.", "x*y", "con",
                          "Nul.txt", "COM1.log", std::string(256, 'n')})
    EXPECT_FALSE(CheckEntryName(bad, error)) << bad;
  EXPECT_EQ(EntryHeader("Engine.exe", true, " /silent", 1234), "|Engine.exe* /silent|1234|");
  EXPECT_EQ(EntryHeader("a.txt", false, "ignored", 0), "|a.txt|0|");
}

TEST(PackRecords, DosDateTimeInLocalTime)
{
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 5;
  tm.tm_mday = 11;
  tm.tm_hour = 12;
  tm.tm_min = 34;
  tm.tm_sec = 57;
  tm.tm_isdst = -1;
  int64_t t = (int64_t)std::mktime(&tm);
  uint32_t date = (44u << 9) | (6u << 5) | 11u;
  uint32_t time = (12u << 11) | (34u << 5) | 28u;  // seconds in steps of two
  EXPECT_EQ(DosDateTimeOf(t), (date << 16) | time);
  EXPECT_EQ(DosDateTimeOf(0), 0u);  // 1970: before the DOS epoch
}

TEST(PackRecords, CompressedOrStored)
{
  bool compressed = false;
  std::string content = "|a.txt|0|" + std::string(1, '\0') + std::string(10000, 'a');
  std::string rec = PackRecord(content, 9, compressed);
  EXPECT_TRUE(compressed);
  EXPECT_EQ((int32_t)LE32(rec, 0), (int32_t)(rec.size() - 4));
  EXPECT_EQ(InflateText(rec.substr(4)), content);

  std::string noise = "|r|0|" + std::string(1, '\0') + Noise(5000, 3);
  rec = PackRecord(noise, 9, compressed);
  EXPECT_FALSE(compressed);
  EXPECT_EQ((int32_t)LE32(rec, 0), -(int32_t)noise.size());
  EXPECT_EQ(rec.substr(4), noise);
}

TEST(PackRecords, SpaceTableRoundsPerCluster)
{
  auto t = SpaceRequiredTable({0, 1, 513, 4096});
  EXPECT_EQ(t[0], 4610u);
  EXPECT_EQ(t[1], 512u + 1024u + 4096u);    // 512-byte clusters
  EXPECT_EQ(t[4], 3u * 4096u);              // 4096-byte clusters
  EXPECT_EQ(t[8], 3u * 65536u);             // 64 KiB clusters
  EXPECT_EQ(SpaceRequiredTable({5000000000ull})[0], 0xFFFFFFFFu);  // saturates
}

TEST(PackContainer, StubCheckAndNames)
{
  std::string stub(512, '\0');
  std::string error;
  EXPECT_FALSE(CheckStubImage(stub, error));
  stub[0] = 'M';
  stub[1] = 'Z';
  EXPECT_FALSE(CheckStubImage(stub, error));
  stub.replace(256, 4, Bytes("PE\0\0", 4));
  EXPECT_TRUE(CheckStubImage(stub, error)) << error;
  SetPayloadEnd(stub, 0x123456789ull);
  EXPECT_EQ(LE32(stub, 248), 1u);
  EXPECT_EQ(LE32(stub, 252), 0x23456789u);
  EXPECT_EQ(PayloadEndFromBytes(stub), 0x123456789ull);
  EXPECT_FALSE(CheckStubImage(stub, error));  // already carries a payload
  EXPECT_EQ(VolumeFileName("C:\\Setup.exe", 2), "C:\\Setup.exe.002");
  EXPECT_EQ(VolumeFileName("S", 1000), "S.1000");
}

// ------------------------------------------------------------- building

class PackBuild : public ::testing::Test {
protected:
  void SetUp() override
  {
    Dir = fs::temp_directory_path() /
          ("packx_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    std::string stub(4096, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    stub.replace(256, 4, Bytes("PE\0\0", 4));
    WriteAll(P("stub.exe"), stub);
    Project.Stub = P("stub.exe");
    Project.Output = P("Setup.exe");
    Project.HasSeed = true;
    Project.Seed = 42;
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string P(const std::string& name) const { return (Dir / name).string(); }

  void AddFile(const std::string& name, const std::string& data, bool engine = false,
               const std::string& extra = "")
  {
    WriteAll(P("src_" + name), data);
    TPackEntry e;
    e.Source = P("src_" + name);
    e.Name = name;
    e.IsEngine = engine;
    e.EngineArgs = extra;
    Project.Entries.push_back(e);
    Files[name] += data;
  }

  bool Build()
  {
    Error.clear();
    return BuildSetup(Project, Report, Error);
  }

  // Walks the chain from the setup as the stub does and collects every
  // entry's bytes (pieces with one name appended in order).
  std::map<std::string, std::string> Extract(std::vector<std::string>* order = nullptr,
                                             std::string* main = nullptr)
  {
    std::map<std::string, std::string> out;
    TGFileInfo info(Project.Output);
    EXPECT_TRUE(info.Trailer().MagicOK());
    std::string first = Project.Output;
    if (info.SpanRelaunch())
      first = VolumeFileName(Project.Output, 1);
    std::string path = first;
    int j = 1;
    int counter = 0;
    const int h = info.Trailer().HeaderCount();
    for (;;) {
      TRecordWalk walk(path);
      EXPECT_TRUE(walk.IsOpen()) << path;
      if (!walk.IsOpen())
        break;
      EXPECT_TRUE(ChecksumMatches(VolumeChecksum(path, 74), walk.Trailer().Checksum())) << path;
      TRecordHeader rec;
      uint32_t files = 0;
      while (walk.Next(rec) == rsRecord) {
        if (++counter <= h)  // header records only at the start of the chain
          continue;
        ++files;
        TFileEntry entry;
        std::string bytes;
        bool has = false;
        EXPECT_EQ(walk.ReadFileRecord(entry, bytes, has), rsRecord);
        EXPECT_TRUE(has);
        if (order && (order->empty() || order->back() != entry.FileName))
          order->push_back(entry.FileName);
        if (main && entry.IsMain())
          *main = entry.MainEntry;
        out[entry.FileName] += bytes;
      }
      EXPECT_EQ(files, walk.Trailer().FileCount()) << path;
      if (!(walk.Trailer().Options() & OPT_NEXT_VOLUME))
        break;
      path = VolumeFileName(Project.Output, ++j);
    }
    return out;
  }

  std::set<std::string> Listing() const
  {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(Dir))
      names.insert(e.path().filename().string());
    return names;
  }

  fs::path Dir;
  TPackProject Project;
  TPackReport Report;
  std::string Error;
  std::map<std::string, std::string> Files;
};

TEST_F(PackBuild, SingleFileSetupRoundTrip)
{
  Project.Languages.push_back({"English", {{"s0", "Demo"}, {"s1", "Unpacking"}}});
  Project.Update = {"http://upd/", "Demo.info", "DemoAgent.exe", "UPD", true};
  Project.Options = OPT_TEMP_DRIVE_INFO | OPT_ACTIVITY_BAR;
  AddFile("readme.txt", std::string(20000, 'r'));
  AddFile("empty.dat", "");
  AddFile("Engine.exe", Noise(3000, 1), true, " /silent");
  AddFile("big.bin", Noise(KMaxRecordFileBytes + 70000, 2, 16));  // two pieces
  ASSERT_TRUE(Build()) << Error;

  std::string image = ReadAll(Project.Output);
  EXPECT_EQ(PayloadEndFromBytes(image), image.size());
  EXPECT_EQ(image.compare(0, 248, ReadAll(Project.Stub), 0, 248), 0);

  TGFileInfo info(Project.Output);
  ASSERT_TRUE(info.HasPayload());
  EXPECT_EQ(info.Trailer().HeaderCount(), 2);
  EXPECT_EQ(LE32(image, image.size() - 74 + TRL_RECORD_AREA), 4096u);
  EXPECT_EQ(info.Trailer().FileCount(), 5u);
  EXPECT_EQ(info.Trailer().Length(), 74u);
  EXPECT_TRUE(info.ShowTempDriveInfo());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_FALSE(info.HasNextVolume());
  EXPECT_FALSE(info.IsInternetSetup());
  EXPECT_EQ(info.GetAgentExeName(), "DemoAgent.exe");
  EXPECT_EQ(info.GetOriginalFileName(), "Demo.original");
  EXPECT_EQ(info.GetUpdateToken(true), "UPD");
  EXPECT_TRUE(info.IsHiddenSetup());
  EXPECT_EQ(info.DownloadSettings(), "");
  EXPECT_EQ(info.Trailer().SpaceRequired(4),
            (uint32_t)(20480 + 4096 + (KMaxRecordFileBytes + 70000 + 4095) / 4096 * 4096));

  std::vector<std::string> order;
  std::string main;
  EXPECT_EQ(Extract(&order, &main), Files);
  EXPECT_EQ(order, (std::vector<std::string>{"readme.txt", "empty.dat", "Engine.exe", "big.bin"}));
  EXPECT_EQ(main, "Engine.exe* /silent");
  EXPECT_EQ(Report.Records, 5u);
  EXPECT_GE(Report.Stored, 2u);  // the empty file and the noise are stored
}

TEST_F(PackBuild, SameBytesWhateverTheThreadCount)
{
  Project.Update.Token = "T";
  for (int i = 0; i < 6; ++i)
    AddFile("f" + std::to_string(i), Noise(200000 + 1000 * i, i, 8 + i));
  Project.Threads = 1;
  ASSERT_TRUE(Build()) << Error;
  std::string one = ReadAll(Project.Output);
  Project.Threads = 4;
  ASSERT_TRUE(Build()) << Error;
  EXPECT_EQ(ReadAll(Project.Output), one);
  EXPECT_EQ(Extract(), Files);
}

TEST_F(PackBuild, FileDatesAndSignatureAfterPayload)
{
  AddFile("a.txt", "abc");
  Project.Entries[0].HasDate = true;
  Project.Entries[0].DosDate = 0x58CB6472;
  ASSERT_TRUE(Build()) << Error;
  // Data after the payload end (a signature) leaves the payload readable.
  std::string image = ReadAll(Project.Output);
  WriteAll(Project.Output, image + std::string(1000, '\x5A'));
  TRecordWalk walk(Project.Output);
  ASSERT_TRUE(walk.IsOpen());
  EXPECT_EQ(walk.PayloadEnd(), image.size());
  TRecordHeader rec;
  ASSERT_EQ(walk.Next(rec), rsRecord);
  ASSERT_EQ(walk.Next(rec), rsRecord);
  ASSERT_EQ(walk.Next(rec), rsRecord);
  TFileEntry entry;
  std::string bytes;
  bool has;
  walk.ReadFileRecord(entry, bytes, has);
  EXPECT_EQ(entry.Header, "|a.txt|" + std::to_string(0x58CB6472) + "|");
  EXPECT_EQ(entry.DosDateTime, 0x58CB6472u);
  EXPECT_EQ(bytes, "abc");
  EXPECT_EQ(walk.Next(rec), rsEnd);
}

TEST_F(PackBuild, MultiVolumeChainWithChecksums)
{
  Project.VolumeSize = 40000;
  AddFile("Engine.exe", std::string(500, 'e'), true);
  AddFile("one.bin", Noise(70000, 5));
  AddFile("two.txt", Noise(30000, 6, 4));
  ASSERT_TRUE(Build()) << Error;
  ASSERT_GE(Report.Volumes.size(), 3u);
  EXPECT_EQ(Report.Volumes[0].Path, Project.Output);
  EXPECT_FALSE(fs::exists(P("Setup.exe.001")));  // the stub goes on with ".002"
  for (size_t i = 0; i < Report.Volumes.size(); ++i) {
    const TPackVolume& v = Report.Volumes[i];
    if (i > 0) {
      EXPECT_EQ(v.Path, VolumeFileName(Project.Output, (int)i + 1));
    }
    EXPECT_LE(v.Size, 40000u);
    EXPECT_EQ(fs::file_size(v.Path), v.Size);
    TGFileInfo info(v.Path);
    EXPECT_EQ(info.HasNextVolume(), i + 1 < Report.Volumes.size()) << v.Path;
    EXPECT_NE(v.Checksum, 1234) << v.Path;  // small volumes carry a checksum
    EXPECT_EQ(info.Trailer().Checksum(), v.Checksum);
  }
  EXPECT_EQ(Extract(), Files);

  // A changed byte in the second volume no longer matches its checksum.
  std::string vol = ReadAll(Report.Volumes[1].Path);
  vol[100] ^= 1;
  WriteAll(Report.Volumes[1].Path, vol);
  EXPECT_FALSE(ChecksumMatches(VolumeChecksum(Report.Volumes[1].Path, 74),
                               (int32_t)LE32(vol, vol.size() - 74 + 16)));
}

TEST_F(PackBuild, SpanRelaunchSetupStartsWithVolume001)
{
  std::string stub = ReadAll(Project.Stub);
  WriteAll(Project.Stub, stub + std::string(16000, 's'));  // a 20000-byte stub
  Project.VolumeSize = 60000;
  Project.Options = OPT_SPAN_RELAUNCH;
  AddFile("Engine.exe", std::string(500, 'e'), true);
  AddFile("data.bin", Noise(150000, 9));
  ASSERT_TRUE(Build()) << Error;
  ASSERT_GE(Report.Volumes.size(), 4u);
  // Volumes after the first medium are filled up to the volume size: a piece
  // is cut when at least 4096 bytes are left.
  for (size_t i = 2; i + 1 < Report.Volumes.size(); ++i) {
    EXPECT_LE(Report.Volumes[i].Size, 60000u);
    EXPECT_GT(Report.Volumes[i].Size, 60000u - 4096u - 74u) << Report.Volumes[i].Path;
  }
  TGFileInfo head(Project.Output);
  EXPECT_TRUE(head.SpanRelaunch());
  EXPECT_TRUE(head.HasNextVolume());
  EXPECT_EQ(head.Trailer().FileCount(), 0u);
  std::string first = VolumeFileName(Project.Output, 1);
  ASSERT_TRUE(fs::exists(first));
  EXPECT_TRUE(IsExeContainer(first));  // the agent copy can be made from it
  EXPECT_LE(fs::file_size(Project.Output) + fs::file_size(first), 60000u);
  EXPECT_EQ(Extract(), Files);
}

TEST_F(PackBuild, InternetAndAgentSetups)
{
  Project.Internet = true;
  Project.AskBeforeDownload = true;
  Project.Download.Given = true;
  Project.Download.Location = "http://dl.example/setups";
  Project.Download.FileName = "Real.exe";
  Project.Download.Always = true;
  Project.Download.Token = "DLTOKEN";
  Project.Download.Size = "5242880";
  Project.MakeAgentCopy = true;
  EXPECT_FALSE(Build());  // the agent copy needs the agent's name
  Project.IsAgent = true;
  Project.Options = OPT_AGENT_LOG;
  Project.Update.AgentExe = "Agent.exe";
  ASSERT_TRUE(Build()) << Error;
  TGFileInfo info(Project.Output);
  EXPECT_EQ(info.Trailer().HeaderCount(), 3);
  EXPECT_TRUE(info.IsInternetSetup());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_TRUE(info.MakeAgentCopy());
  EXPECT_TRUE(info.IsAutoUpdateProg());
  EXPECT_TRUE(info.AgentLogOn());
  EXPECT_EQ(info.GetDownloadLocation(), "http://dl.example/setups");
  EXPECT_EQ(info.GetDownloadFileName(), "Real.exe");
  EXPECT_TRUE(info.DownloadAlways());
  EXPECT_EQ(info.GetDownloadSize(), "5242880");
  EXPECT_EQ(info.GetDownloadToken(true), "DLTOKEN");
  EXPECT_EQ(Report.Records, 0u);

  // The downloaded setup carries the same token and matches.
  TPackProject real = Project;
  real.Internet = false;
  real.Output = P("Real.exe");
  real.Download.Token = "DLTOKEN";
  TPackReport r;
  ASSERT_TRUE(BuildSetup(real, r, Error)) << Error;
  EXPECT_TRUE(info.SameDownloadToken(TGFileInfo(P("Real.exe"))));
}

TEST_F(PackBuild, BadInputLeavesNoSetupBehind)
{
  WriteAll(Project.Output, "old setup");
  AddFile("Engine.exe", "x", true);
  std::set<std::string> before = Listing();
  auto expectFailure = [&](const std::string& fragment) {
    EXPECT_FALSE(Build()) << fragment;
    EXPECT_NE(Error.find(fragment), std::string::npos) << Error;
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(ReadAll(Project.Output), "old setup");
  };

  TPackProject saved = Project;
  Project.Entries.push_back({P("missing.txt"), "missing.txt", false, "", false, 0});
  expectFailure("file not found");
  Project = saved;
  Project.Entries.push_back({P("src_Engine.exe"), "ENGINE.EXE", false, "", false, 0});
  expectFailure("two entries are named");
  Project = saved;
  Project.VolumeSize = 3000;  // fails after the temporary files were created
  expectFailure("too small");
  Project = saved;
  Project.Internet = true;
  expectFailure("download location");
}

TEST_F(PackBuild, RebuildRemovesVolumesOfTheEarlierBuild)
{
  Project.VolumeSize = 20000;
  AddFile("data.bin", Noise(50000, 4));
  ASSERT_TRUE(Build()) << Error;
  ASSERT_GE(Report.Volumes.size(), 3u);
  Project.VolumeSize = 0;
  ASSERT_TRUE(Build()) << Error;
  EXPECT_EQ(Listing(), (std::set<std::string>{"stub.exe", "src_data.bin", "Setup.exe"}));
  EXPECT_EQ(Extract(), Files);
}

TEST_F(PackBuild, ProjectFile)
{
  fs::create_directories(Dir / "lang");
  WriteAll(P("lang/en.txt"), "s0=Demo\nBtnText=|&OK|&Cancel|\n");
  WriteAll(P("Engine.exe"), "engine");
  WriteAll(P("Real.exe"), std::string(777, 'r'));
  std::string text =
      "; demo\n[setup]\nstub = stub.exe\noutput = out/Demo.exe\nvolume_size = 1440K\n"
      "level = 6\nseed = 5\n[options]\nactivity_bar = 1\nspan_relaunch = yes\n"
      "[update]\ntoken = T\nhidden = 0\n[download]\nsize_of = Real.exe\n"
      "[languages]\nEnglish = lang/en.txt\n[files]\nEngine.exe* /LANG=EN = Engine.exe\n"
      "Real.exe\n";
  TPackProject p;
  std::string error;
  ASSERT_TRUE(ParseProject(text, Dir.string(), p, error)) << error;
  EXPECT_EQ(p.Stub, P("stub.exe"));
  EXPECT_EQ(p.Output, (Dir / "out/Demo.exe").string());
  EXPECT_EQ(p.VolumeSize, 1440u * 1024u);
  EXPECT_EQ(p.Level, 6);
  EXPECT_TRUE(p.HasSeed);
  EXPECT_EQ(p.Options, OPT_ACTIVITY_BAR | OPT_SPAN_RELAUNCH);
  EXPECT_TRUE(p.Download.Given);
  EXPECT_EQ(p.Download.Size, "777");
  ASSERT_EQ(p.Languages.size(), 1u);
  EXPECT_EQ(p.Languages[0].Entries.size(), 2u);
  ASSERT_EQ(p.Entries.size(), 2u);
  EXPECT_EQ(p.Entries[0].Name, "Engine.exe");
  EXPECT_TRUE(p.Entries[0].IsEngine);
  EXPECT_EQ(p.Entries[0].EngineArgs, " /LANG=EN");
  EXPECT_EQ(p.Entries[1].Name, "Real.exe");
  EXPECT_FALSE(p.Entries[1].IsEngine);

  TPackProject q;
  EXPECT_FALSE(ParseProject("[setup]\nstubb = x\n", "", q, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(ParseProject("[nothing]\n", "", q, error));
  EXPECT_FALSE(ParseProject("[options]\nagent = maybe\n", "", q, error));
  EXPECT_FALSE(ParseProject("[languages]\nEnglish = none.txt\n", "", q, error));
  uint64_t size = 0;
  EXPECT_TRUE(ParseSize("650M", size));
  EXPECT_EQ(size, 650ull << 20);
  EXPECT_FALSE(ParseSize("12X", size));
}

}  // namespace
