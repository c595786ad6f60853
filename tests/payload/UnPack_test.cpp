#include "payload/UnPack.h"

#include <climits>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"
#include "payload/ZLibOpen.h"
#include "support/Utils.h"

using namespace testpayload;

namespace {

const char* kLang = "\x02LANG=1\x02";
const char* kUpdate = "|http://up.example/|C:\\x\\Product.info|ProdAgent.exe|TOKEN|1|";
const char* kDownload = "|http://dl.example/files/|RealSetup.exe|1|DLTOKEN|123456|";

}  // namespace

// ---------------------------------------------------------------- finding the payload

TEST(ContainerLayout, ExecutableAndPointer)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {kLang, kUpdate};
  std::string plain = c.Build();
  std::string plainPath = dir.Write("plain.exe", plain);
  EXPECT_TRUE(IsExeContainer(plainPath));
  TPayloadFile f(plainPath);
  EXPECT_EQ(0u, PayloadEndFromHeader(f));
  EXPECT_EQ(plain.size(), PayloadEnd(f));

  // A signed setup: data follows the payload, found through the pointer.
  c.SetPointer = true;
  c.Tail = std::string(3000, 'S');
  std::string signedBytes = c.Build();
  std::string signedPath = dir.Write("signed.exe", signedBytes);
  TPayloadFile g(signedPath);
  EXPECT_EQ(signedBytes.size() - 3000, PayloadEndFromHeader(g));
  EXPECT_EQ(signedBytes.size() - 3000, PayloadEndFromBytes(signedBytes));
  TGFileInfo info(signedPath);
  EXPECT_TRUE(info.HasPayload());
  EXPECT_EQ(kLang, info.LanguageBlock());
  EXPECT_EQ(kUpdate, info.UpdateSettings());

  // The high half comes first in the header.
  std::string img = StubImage(300);
  PutU32(img, 248, 1);
  PutU32(img, 252, 2);
  EXPECT_EQ(0x100000002ull, PayloadEndFromBytes(img));
  EXPECT_EQ(0u, PayloadEndFromBytes(img.substr(0, 200)));

  // A volume file (no "MZ") and a file with "PE" elsewhere are not executables.
  std::string vol = plain;
  vol[0] = 'X';
  EXPECT_FALSE(IsExeContainer(dir.Write("v.001", vol)));
  TGFileInfo volInfo(dir.Path() + "/v.001");
  EXPECT_TRUE(volInfo.HasPayload());
  std::string noPe = plain;
  noPe[256] = 'X';
  EXPECT_FALSE(IsExeContainer(dir.Write("nope.exe", noPe)));
  EXPECT_FALSE(IsExeContainer(dir.Path() + "/missing.exe"));
  EXPECT_FALSE(IsExeContainer(dir.Write("tiny", "MZ")));
}

TEST(ContainerLayout, TrailerLengths)
{
  TTempDir dir;
  TContainer c;
  c.Trailer.Bytes[TRL_OPTIONS] = 0x1F;
  c.Trailer.SetU32(TRL_SPACE + 4 * 8, 777);
  std::string bytes = c.Build();

  // The regular trailer.
  {
    TPayloadFile f(dir.Write("a", bytes));
    TTrailer t;
    EXPECT_EQ(bytes.size(), ReadTrailer(f, t));
    EXPECT_TRUE(t.MagicOK());
    EXPECT_EQ(74u, t.Length());
    EXPECT_EQ(2, t.HeaderCount());
    EXPECT_EQ(777u, t.SpaceRequired(8));
  }
  // A longer trailer region: its first 70 bytes are read, 74 recorded.
  {
    std::string longer = bytes.substr(0, bytes.size() - 4) + std::string(6, 'Q') + U32(80);
    TPayloadFile f(dir.Write("b", longer));
    TTrailer t;
    ReadTrailer(f, t);
    EXPECT_TRUE(t.MagicOK());
    EXPECT_EQ(0x1F, t.Options());
    EXPECT_EQ(74u, t.Length());
  }
  // A shorter one leaves the later fields 0.
  {
    std::string shorter = bytes.substr(0, bytes.size() - 74) +
                          bytes.substr(bytes.size() - 74, 36) + U32(40);
    TPayloadFile f(dir.Write("c", shorter));
    TTrailer t;
    ReadTrailer(f, t);
    EXPECT_TRUE(t.MagicOK());
    EXPECT_EQ(0, t.Options());
    EXPECT_EQ(0u, t.SpaceRequired(8));
    EXPECT_EQ(40u, t.Length());
  }
  // Header count 0 reads as 2.
  {
    TContainer z;
    std::string zb = z.Build();
    zb[zb.size() - 74 + TRL_HEADER_COUNT] = 0;
    TPayloadFile f(dir.Write("d", zb));
    TTrailer t;
    ReadTrailer(f, t);
    EXPECT_EQ(2, t.HeaderCount());
  }
}

TEST(ContainerLayout, HostileTrailerReadsAsNoPayload)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {kLang, kUpdate};
  std::string good = c.Build();
  auto reads = [&](const std::string& bytes) {
    std::string p = dir.Write("h", bytes);
    TGFileInfo info(p);
    TRecordWalk walk;
    bool opened = walk.Open(p);
    EXPECT_EQ(info.HasPayload(), opened);
    return info.HasPayload() && !info.LanguageBlock().empty();
  };
  ASSERT_TRUE(reads(good));

  for (uint32_t len : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, (uint32_t)good.size() + 1}) {
    std::string b = good;
    PutU32(b, b.size() - 4, len);
    EXPECT_FALSE(reads(b)) << "trailer length " << len;
  }
  // Record area at or past the trailer, or far outside the file.
  for (uint32_t off : {(uint32_t)good.size() - 10, (uint32_t)good.size() + 100, 0xFFFFFFF0u}) {
    std::string b = good;
    PutU32(b, b.size() - 74 + TRL_RECORD_AREA, off);
    EXPECT_FALSE(reads(b)) << "record area " << off;
  }
  // A payload-end pointer past the file's end.
  {
    std::string b = good;
    PutU32(b, 248, 0);
    PutU32(b, 252, (uint32_t)good.size() + 4096);
    EXPECT_FALSE(reads(b));
    PutU32(b, 248, 0xFFFFFFFF);
    PutU32(b, 252, 0xFFFFFFFF);
    EXPECT_FALSE(reads(b));
  }
  // A wrong magic number: no texts, but the trailer bytes that were read stay.
  {
    std::string b = good;
    b[b.size() - 74 + TRL_MAGIC] ^= 1;
    b[b.size() - 74 + TRL_INTERNET] = 1;
    TGFileInfo info(dir.Write("m", b));
    EXPECT_FALSE(info.HasPayload());
    EXPECT_TRUE(info.LanguageBlock().empty());
    EXPECT_TRUE(info.IsInternetSetup());
  }
  // Files too small to hold anything, and no file at all.
  EXPECT_FALSE(reads(""));
  EXPECT_FALSE(reads("abc"));
  EXPECT_FALSE(reads(U32(74)));
  TGFileInfo none(dir.Path() + "/none.exe");
  EXPECT_FALSE(none.HasPayload());
  EXPECT_EQ("", none.GetUpdateServer());
  EXPECT_FALSE(none.IsHiddenSetup());
}

TEST(ContainerLayout, HostileHeaderRecordLengths)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {kLang, kUpdate};
  std::string good = c.Build();
  size_t firstLen = c.Image.size();
  size_t secondLen = firstLen + 4 + std::string(kLang).size();
  for (size_t at : {firstLen, secondLen}) {
    for (int32_t len : {INT32_MIN, INT32_MAX, -INT32_MAX, (int32_t)good.size(), 1 << 30}) {
      std::string b = good;
      PutU32(b, at, (uint32_t)len);
      TGFileInfo info(dir.Write("h", b));
      EXPECT_FALSE(info.HasPayload()) << at << " " << len;
      EXPECT_EQ("", info.LanguageBlock());
      EXPECT_EQ("", info.UpdateSettings());
    }
  }
  // A negative length of the right size reads the same bytes.
  std::string b = good;
  PutU32(b, secondLen, (uint32_t)-(int32_t)std::string(kUpdate).size());
  TGFileInfo info(dir.Write("n", b));
  EXPECT_EQ(kUpdate, info.UpdateSettings());
}

// ---------------------------------------------------------------- header texts

TEST(FileInfo, SettingsItemsAndBits)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {kLang, kUpdate, kDownload};
  c.Trailer.Bytes[TRL_OPTIONS] = OPT_NEXT_VOLUME | OPT_ACTIVITY_BAR;
  c.Trailer.Bytes[TRL_ASK_DOWNLOAD] = 7;
  c.Trailer.Bytes[TRL_IS_AGENT] = 1;
  std::string bytes = c.Build();
  TGFileInfo info(dir.Write("s.exe", bytes));
  ASSERT_TRUE(info.HasPayload());
  EXPECT_FALSE(info.ShowTempDriveInfo());
  EXPECT_TRUE(info.HasNextVolume());
  EXPECT_FALSE(info.SpanRelaunch());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_FALSE(info.AgentLogOn());
  EXPECT_FALSE(info.IsInternetSetup());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_FALSE(info.MakeAgentCopy());
  EXPECT_TRUE(info.IsAutoUpdateProg());

  EXPECT_EQ("http://up.example/", info.GetUpdateServer());
  EXPECT_EQ("Product.info", info.GetInfoFileName());
  EXPECT_EQ("Product.original", info.GetOriginalFileName());
  EXPECT_EQ("ProdAgent.exe", info.GetAgentExeName());
  EXPECT_EQ("TOKEN", info.GetUpdateToken(false));
  EXPECT_TRUE(info.IsHiddenSetup());
  EXPECT_EQ("http://dl.example/files/", info.GetDownloadLocation());
  EXPECT_EQ("RealSetup.exe", info.GetDownloadFileName());
  EXPECT_TRUE(info.DownloadAlways());
  EXPECT_EQ("DLTOKEN", info.GetDownloadToken(false));
  EXPECT_EQ("123456", info.GetDownloadSize());
  // The reader's trailer points past the header records it read.
  EXPECT_EQ(c.Image.size() + 12 + std::string(kLang).size() + std::string(kUpdate).size() +
                std::string(kDownload).size(),
            info.Trailer().RecordArea());

  // H = 2: the third record (a file record here) is not read as settings.
  c.Headers = {kLang, "|a|b.c.info|x|y| 1|"};
  c.Files = {StoredFileRecord(kDownload, "data")};
  TGFileInfo two(dir.Write("t.exe", c.Build()));
  EXPECT_EQ("", two.DownloadSettings());
  EXPECT_EQ("", two.GetDownloadFileName());
  EXPECT_FALSE(two.DownloadAlways());
  EXPECT_EQ("b.original", two.GetOriginalFileName());
  EXPECT_FALSE(two.IsHiddenSetup());  // " 1" is not exactly "1"

  c.Headers = {kLang, "|a|.info|"};
  EXPECT_EQ(".original", TGFileInfo(dir.Write("u.exe", c.Build())).GetOriginalFileName());
}

TEST(FileInfo, SpaceRequiredFollowsClusterSize)
{
  TTempDir dir;
  TContainer c;
  for (int k = 0; k <= 8; ++k)
    c.Trailer.SetU32(TRL_SPACE + 4 * k, 1000 * (k + 1));
  TGFileInfo info(dir.Write("s.exe", c.Build()));
  int64_t cluster = ClusterSize(dir.Path());
  ASSERT_GT(cluster, 0);
  int k = 0;
  while (k < 8 && cluster >= (256 << (k + 1)))
    ++k;
  EXPECT_EQ(1000.0 * (k + 1), info.GetSpaceRequired(dir.Path()));
  // A path below a folder that does not exist yet uses the nearest existing one.
  EXPECT_EQ(cluster, ClusterSize(dir.Path() + "/not/yet/there"));
}

// ---------------------------------------------------------------- tokens

TEST(Tokens, HandComputedVectors)
{
  // Bytes 10 02 02 03 42 41 AD 13: k = 10 ^ 13 = 03, a = b = 1, one filler,
  // token "AB", sum AD; hex digits shifted up by 50.
  EXPECT_EQ("AB", UnscrambleToken("cbbdbdbefdfcsvce"));
  EXPECT_EQ("cbbdbdbefdfcsvce", EncodeToken("AB", 0x10, 0x13, 1, 1, 0x00));
  // Lower-case digits read the same.
  std::string lower = "cbbdbdbefdfc";
  lower += (char)('a' + 50);
  lower += (char)('d' + 50);
  lower += "ce";
  EXPECT_EQ("AB", UnscrambleToken(lower));
  // A last single character forms a byte on its own: 00 02 02 03 42 41 8D 3.
  EXPECT_EQ("AB", UnscrambleToken("bbbdbdbefdfcjve"));
}

TEST(Tokens, DamagedTokensGiveRandomNumbers)
{
  std::string good = EncodeToken("SECRET-42", 0x31, 0xC4, 3, 2);
  ASSERT_EQ("SECRET-42", UnscrambleToken(good));
  std::string badSum = good;
  badSum[badSum.size() - 3] ^= 1;
  std::string nonHex = good;
  nonHex[4] = 'z';
  // A byte a that claims more filler bytes than the data hold.
  std::string badLayout = EncodeToken("xy", 0, 0, 0x40, 1, 0, false, /*fillA=*/false);
  for (const std::string& t : {std::string(), std::string("cb"), std::string("cbbdbdbe"), badSum,
                               nonHex, badLayout}) {
    std::set<std::string> seen;
    for (int i = 0; i < 6; ++i) {
      std::string r = UnscrambleToken(t);
      ASSERT_FALSE(r.empty());
      ASSERT_EQ(std::string::npos, r.find_first_not_of("0123456789")) << r;
      ASSERT_LE(std::stoi(r), 99998);
      seen.insert(r);
    }
    EXPECT_GT(seen.size(), 1u) << "failure values should differ from call to call";
  }
  // An empty token is a real token, not a failure.
  EXPECT_EQ("", UnscrambleToken(EncodeToken("", 0x12, 0x34, 2, 3)));
}

TEST(Tokens, RandomRoundTrips)
{
  std::mt19937 gen(99);
  for (int i = 0; i < 500; ++i) {
    std::string token(gen() % 40, '\0');
    for (char& ch : token)
      ch = (char)(gen() & 0xFF);
    uint8_t a = gen() % 12, b = 1 + gen() % 12;
    std::string enc = EncodeToken(token, gen() & 0xFF, gen() & 0xFF, a, b, gen() & 0xFF, i % 2);
    ASSERT_EQ(token, UnscrambleToken(enc)) << i;
  }
}

TEST(Tokens, SplitTokenTextAndCheckToken)
{
  TTempDir dir;
  std::string updTok = EncodeToken("UPD-1", 0x44, 0x91, 2, 3);
  std::string dlTok = EncodeToken("DL-7", 0x01, 0x02, 0, 1);
  TContainer c;
  c.Headers = {kLang, "|srv|p.info|a.exe|" + updTok + "|0|", "|loc|f.exe|0|" + dlTok + "|9|"};
  TGFileInfo self(dir.Write("self.exe", c.Build()));
  ASSERT_EQ("UPD-1", self.GetUpdateToken(true));
  ASSERT_EQ(updTok, self.GetUpdateToken(false));
  ASSERT_EQ("DL-7", self.GetDownloadToken(true));

  // The same update token encoded differently still matches.
  TContainer d = c;
  d.Headers[1] = "|srv|p.info|a.exe|" + EncodeToken("UPD-1", 0x07, 0x70, 5, 1) + "|0|";
  std::string other = dir.Write("other.exe", d.Build());
  EXPECT_TRUE(self.CheckToken(other, 2));
  EXPECT_FALSE(self.CheckToken(other, 1));
  EXPECT_FALSE(self.CheckToken(other, 4));
  EXPECT_TRUE(self.SameDownloadToken(TGFileInfo(other)));
  d.Headers[1] = "|srv|p.info|a.exe|" + EncodeToken("UPD-2", 0x07, 0x70, 5, 1) + "|0|";
  d.Headers[2] = "|loc|f.exe|0|" + EncodeToken("DL-7 ", 1, 2, 0, 1) + "|9|";
  TGFileInfo changed(dir.Write("changed.exe", d.Build()));
  EXPECT_FALSE(self.CheckToken(dir.Path() + "/changed.exe", 2));
  EXPECT_FALSE(self.SameDownloadToken(changed));
  // Two readers without tokens never match each other.
  TGFileInfo empty1(dir.Path() + "/none1"), empty2(dir.Path() + "/none2");
  EXPECT_FALSE(empty1.CheckToken(dir.Path() + "/none2", 2));
  EXPECT_FALSE(empty1.SameDownloadToken(empty2));

  // Inform file: ignored|token|x|y|body, plain or scrambled.
  std::string inform = "head|" + updTok + "|one|two|<B>News</B>|more|";
  std::string token, rest;
  SplitTokenText(inform, token, rest);
  EXPECT_EQ("UPD-1", token);
  EXPECT_EQ("<B>News</B>|more|", rest);
  SplitTokenText(ScrambleWithKey(inform, 77), token, rest);
  EXPECT_EQ("UPD-1", token);
  EXPECT_EQ("<B>News</B>|more|", rest);
  EXPECT_TRUE(self.CheckToken(dir.Write("inform.txt", Scramble(inform)), 3));
  EXPECT_FALSE(self.CheckToken(dir.Write("inform2.txt", "h|" + dlTok + "|a|b|body"), 3));
  EXPECT_FALSE(self.CheckToken(dir.Path() + "/missing.txt", 3));
  // Too few fields: no body.
  SplitTokenText("h|" + updTok + "|x", token, rest);
  EXPECT_EQ("UPD-1", token);
  EXPECT_EQ("", rest);
  SplitTokenText("h|" + updTok, token, rest);
  EXPECT_EQ("UPD-1", token);
}

// ---------------------------------------------------------------- record walk

TEST(RecordWalk, HeaderAndFileRecords)
{
  TTempDir dir;
  TContainer c;
  c.Headers = {kLang, kUpdate, kDownload};
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = (char)(i * 7 % 251);
  c.Files = {FileRecord("|Engine.exe* /silent|1234567|", "ENGINE"),
             StoredFileRecord("|sub\\data.bin|junk|", big),
             Record(0, ""),
             StoredFileRecord("|readme.txt|42|", ""),
             FileRecord("|x*y|*|", "z")};
  std::string bytes = c.Build();
  std::string path = dir.Write("w.exe", bytes);
  TRecordWalk walk;
  ASSERT_TRUE(walk.Open(path));
  EXPECT_EQ(3, walk.HeaderCount());
  EXPECT_EQ(bytes.size(), walk.PayloadEnd());

  TRecordHeader rec;
  std::string data;
  for (const char* h : {kLang, kUpdate, kDownload}) {
    ASSERT_EQ(rsRecord, walk.Next(rec));
    EXPECT_TRUE(walk.IsHeaderRecord(rec));
    ASSERT_EQ(rsRecord, walk.ReadData(data));
    EXPECT_EQ(h, data);
  }
  EXPECT_EQ(TGFileInfo(path).Trailer().RecordArea(), walk.HeaderEnd());

  TFileEntry e;
  std::string fileBytes;
  bool has = false;
  ASSERT_EQ(rsRecord, walk.Next(rec));
  EXPECT_FALSE(walk.IsHeaderRecord(rec));
  EXPECT_TRUE(rec.Compressed());
  EXPECT_EQ(4, rec.Index);
  ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, fileBytes, has));
  ASSERT_TRUE(has);
  EXPECT_EQ("Engine.exe", e.FileName);
  EXPECT_EQ("Engine.exe* /silent", e.MainEntry);
  EXPECT_EQ(1234567u, e.DosDateTime);
  EXPECT_EQ("ENGINE", fileBytes);

  ASSERT_EQ(rsRecord, walk.Next(rec));
  EXPECT_FALSE(rec.Compressed());
  EXPECT_EQ(rec.Length, -(int32_t)rec.DataSize);
  ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, fileBytes, has));
  EXPECT_EQ("sub\\data.bin", e.FileName);
  EXPECT_FALSE(e.IsMain());
  EXPECT_EQ(0u, e.DosDateTime);
  EXPECT_EQ(big, fileBytes);

  // An empty record has no entry header: skipped by its reader.
  ASSERT_EQ(rsRecord, walk.Next(rec));
  EXPECT_EQ(0u, rec.DataSize);
  ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, fileBytes, has));
  EXPECT_FALSE(has);

  // Next without reading the data skips them.
  ASSERT_EQ(rsRecord, walk.Next(rec));
  ASSERT_EQ(rsRecord, walk.Next(rec));
  ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, fileBytes, has));
  EXPECT_EQ("x", e.FileName);
  EXPECT_EQ("x*y", e.MainEntry);
  EXPECT_EQ("z", fileBytes);
  EXPECT_EQ(rsEnd, walk.Next(rec));
  EXPECT_EQ(rsEnd, walk.Next(rec));

  // A "*" only in the date item makes the whole header the main entry.
  std::string content = std::string("|a.txt|*|") + '\0' + "q";
  ASSERT_TRUE(ParseFileRecord(content, e, fileBytes));
  EXPECT_EQ("a.txt", e.FileName);
  EXPECT_EQ("|a.txt|*|", e.MainEntry);
  EXPECT_FALSE(ParseFileRecord("no separator", e, fileBytes));
}

TEST(RecordWalk, HostileRecordLengthsAreDamaged)
{
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord("|a|0|", "aaaa"), FileRecord("|b|0|", "bbbb")};
  std::string good = c.Build();
  size_t second = c.Image.size() + 8 + c.Headers[0].size() + c.Headers[1].size() + c.Files[0].size();
  size_t remaining = good.size() - second - 4;
  for (int64_t len : {(int64_t)INT32_MIN, (int64_t)INT32_MAX, (int64_t)-INT32_MAX,
                      (int64_t)remaining + 1, -(int64_t)remaining - 1, (int64_t)1 << 30}) {
    std::string b = good;
    PutU32(b, second, (uint32_t)(int32_t)len);
    TRecordWalk walk(dir.Write("h", b));
    ASSERT_TRUE(walk.IsOpen());
    TRecordHeader rec;
    std::string data;
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.Next(rec));
    ASSERT_EQ(rsRecord, walk.ReadData(data));
    EXPECT_EQ(rsDamaged, walk.Next(rec)) << len;
    EXPECT_EQ((int32_t)len, rec.Length);
    EXPECT_EQ(rsDamaged, walk.ReadData(data));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(rsDamaged, walk.Next(rec));  // the walk stays stopped
  }
  // A record reaching exactly to the payload end is still inside it.
  std::string b = good;
  PutU32(b, second, (uint32_t)remaining);
  TRecordWalk walk(dir.Write("x", b));
  TRecordHeader rec;
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(rsRecord, walk.Next(rec));
  ASSERT_EQ(rsRecord, walk.Next(rec));
  EXPECT_EQ(remaining, rec.DataSize);
  // Its data are the stream and the trailer; bytes after the stream end
  // are ignored.
  TFileEntry e;
  std::string fileBytes;
  bool has = false;
  ASSERT_EQ(rsRecord, walk.ReadFileRecord(e, fileBytes, has));
  EXPECT_EQ("bbbb", fileBytes);
  EXPECT_EQ(rsEnd, walk.Next(rec));
}

TEST(RecordWalk, TruncatedFileNeverWaits)
{
  // A volume cut short after its trailer was copied over: the payload-end
  // pointer names more bytes than the file has.
  TTempDir dir;
  TContainer c;
  c.SetPointer = true;
  c.Files = {StoredFileRecord("|a|0|", std::string(100000, 'a'))};
  std::string full = c.Build();
  // Keep the pointer but drop bytes from the middle of the record.
  std::string cut = full.substr(0, full.size() - 74 - 50000) + full.substr(full.size() - 74);
  TRecordWalk walk(dir.Write("cut.exe", cut));
  EXPECT_FALSE(walk.IsOpen());
  // Without the pointer the trailer is found, and the record is too long.
  PutU32(cut, 252, 0);
  TRecordWalk walk2(dir.Write("cut2.exe", cut));
  ASSERT_TRUE(walk2.IsOpen());
  TRecordHeader rec;
  ASSERT_EQ(rsRecord, walk2.Next(rec));
  ASSERT_EQ(rsRecord, walk2.Next(rec));
  EXPECT_EQ(rsDamaged, walk2.Next(rec));
}
