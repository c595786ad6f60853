#include "payload/UnPack.h"

#include <algorithm>
#include <climits>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"
#include "payload/PackX.h"
#include "payload/ZLibOpen.h"
#include "support/Utils.h"

using namespace testpayload;

TEST(ContainerLayout, PayloadEndComesFromThePointerOfAnExecutable) {
  // The high half comes first; a header too short holds no pointer.
  std::string img = StubImage(300);
  PutU32(img, 248, 1);
  PutU32(img, 252, 2);
  EXPECT_EQ(0x100000002ull, PayloadEndFromBytes(img));
  EXPECT_EQ(0u, PayloadEndFromBytes(img.substr(0, 200)));
  TTempDir dir;
  std::string plain = TContainer().Build();
  EXPECT_TRUE(IsExeContainer(dir.Write("plain.exe", plain)));
  plain[256] = 'X';  // "PE" elsewhere: no executable
  EXPECT_FALSE(IsExeContainer(dir.Write("nope.exe", plain)));
}

TEST(ContainerLayout, HostileTrailersAndHeaderLengthsReadAsNoPayload) {
  TTempDir dir;
  TContainer c;
  const std::string good = c.Build();
  const size_t n = good.size(), trl = n - 74, header1 = c.Image.size();
  const size_t header2 = header1 + 4 + c.Headers[0].size();
  auto reads = [&](const std::string& bytes) {
    std::string p = dir.Write("h", bytes);
    TGFileInfo info(p);
    EXPECT_TRUE(info.HasPayload() || info.LanguageBlock() + info.UpdateSettings() == "");
    return info.HasPayload();
  };
  ASSERT_TRUE(reads(good));
  // Trailer lengths that cannot hold a trailer or reach before the file,
  // record areas at or past the trailer, payload-end pointers past the file,
  // a wrong magic number, header record lengths past the end.
  const std::pair<size_t, uint32_t> patches[] = {{trl + KTrlLength, 3},
                                                 {trl + KTrlLength, 0xFFFFFFFF},
                                                 {trl + KTrlLength, (uint32_t)n + 1},
                                                 {trl + KTrlRecordArea, (uint32_t)n - 10},
                                                 {trl + KTrlRecordArea, 0xFFFFFFF0},
                                                 {252, (uint32_t)n + 4096},
                                                 {248, 0xFFFFFFFF},
                                                 {trl + KTrlMagic, KContainerMagic ^ 1},
                                                 {header1, (uint32_t)INT32_MIN},
                                                 {header1, (uint32_t)n},
                                                 {header2, (uint32_t)INT32_MIN},
                                                 {header2, (uint32_t)INT32_MAX}};
  for (const auto& patch : patches) {
    std::string b = good;
    PutU32(b, patch.first, patch.second);
    EXPECT_FALSE(reads(b)) << patch.first << ": " << patch.second;
    bool header = patch.first == header1 || patch.first == header2;
    EXPECT_TRUE(header || !TRecordWalk(dir.File("h")).IsOpen()) << patch.first;
  }
  for (std::string tiny : {std::string(), std::string("abc"), U32(74)}) EXPECT_FALSE(reads(tiny));
  EXPECT_FALSE(TGFileInfo(dir.File("none.exe")).HasPayload());
  // An older, shorter trailer: its later fields read 0, header count 0 as 2.
  std::string b = good.substr(0, trl + 36) + U32(40);
  b[trl + KTrlHeaderCount] = 0;
  TGFileInfo old(dir.Write("s", b));
  EXPECT_TRUE(old.HasPayload() && old.Trailer().HeaderCount() == 2);
  EXPECT_EQ(0u, old.Trailer().SpaceRequired(8));
}

// The cluster size of a path not yet there is its nearest folder's.
TEST(FileInfo, ClusterSizeComesFromTheNearestFolder) {
  TTempDir dir;
  int64_t cluster = ClusterSize(dir.Path());
  ASSERT_GT(cluster, 0);
  EXPECT_EQ(cluster, ClusterSize(dir.Path() + "/not/yet/there"));
}

TEST(Tokens, HandComputedVectorsRoundTripsAndDamagedTokens) {
  // Each hex digit shifted up by 50. 10 02 02 03 42 41 AD 13: k = 10 ^ 13,
  // a = b = 1, one filler, token "AB", sum AD; a last single character forms
  // a byte on its own (... 8D 3).
  EXPECT_EQ("AB", UnscrambleToken("cbbdbdbefdfcsvce"));
  EXPECT_EQ("AB", UnscrambleToken("bbbdbdbefdfcjve"));
  // k1=A0 k2=0A, a=0, b=2 (filler 00), token FF: A0 AA A8 55 AA FB 0A.
  EXPECT_EQ("\xFF", UnscrambleToken("sbsssjggssxtbs"));

  TPackRandom random(99);
  for (int i = 0; i < 500; ++i) {
    std::string token(i ? random.Range(1, 300) : 0, '\0');  // the empty token too
    for (char& ch : token) ch = (char)random.Byte();
    std::string enc = ScrambleToken(token, random);
    ASSERT_EQ(token, UnscrambleToken(enc)) << i;
    // Shifted hex digits only: never a list delimiter.
    ASSERT_EQ(std::string::npos, enc.find_first_not_of("bcdefghijkstuvwx")) << enc;
  }
  EXPECT_NE(ScrambleToken("X", random), ScrambleToken("X", random));

  // A damaged token reads as a random number, a new one each time, and
  // matches no token, not even itself.
  std::string badSum = ScrambleToken("SECRET-42", random), nonHex = badSum;
  badSum[badSum.size() - 3] ^= 1;
  nonHex[4] = 'z';
  // 00 40 01 78 79 32 00: a claims 0x40 filler bytes, the data hold none.
  const std::string badLayout = "bbfbbcijikedbb";
  for (const std::string& t : {std::string(), std::string("cbbdbdbe"), badSum, nonHex, badLayout}) {
    std::set<std::string> seen;
    for (int i = 0; i < 6; ++i) seen.insert(UnscrambleToken(t));
    EXPECT_GT(seen.size(), 1u) << t;
    EXPECT_FALSE(SameToken(t, t)) << t;
  }
}

TEST(Tokens, CheckTokenComparesPlainTokensOfSetupsAndInformTexts) {
  TTempDir dir;
  TPackRandom random(11);
  auto setup = [&](const std::string& name, const std::string& upd, const std::string& dl) {
    TContainer c;
    c.Headers = {"\x02L\x02", "|srv|p.info|a.exe|" + ScrambleToken(upd, random) + "|0|",
                 "|loc|f.exe|0|" + ScrambleToken(dl, random) + "|9|"};
    return dir.Write(name, c.Build());
  };
  TGFileInfo self(setup("self.exe", "UPD-1", "DL-7"));
  // The same tokens encoded differently still match.
  std::string other = setup("other.exe", "UPD-1", "DL-7");
  EXPECT_TRUE(self.CheckToken(other, 2) && self.SameDownloadToken(TGFileInfo(other)));
  EXPECT_FALSE(self.CheckToken(setup("changed.exe", "UPD-2", "DL-7 "), 2));

  // Inform text: ignored|token|x|y|body, scrambled; the body is split off in
  // tests/agent/update_e2e.py (case_inform).
  std::string inform = "head|" + ScrambleToken("UPD-1", random) + "|one|two|<B>News</B>|more|";
  EXPECT_TRUE(self.CheckToken(dir.Write("inform.txt", Scramble(inform)), 3));
  EXPECT_FALSE(self.CheckToken(
      dir.Write("inform2.txt", "h|" + ScrambleToken("DL-7", random) + "|a|b|body"), 3));
  EXPECT_FALSE(self.CheckToken(dir.File("missing.txt"), 3));
}

// A date that is no number reads 0; a "*" only in the date item makes the
// whole header the main entry; without the 0 byte there is no entry.
TEST(RecordWalk, OddEntryHeaders) {
  TFileEntry e;
  std::string bytes;
  ASSERT_TRUE(ParseFileRecord(std::string("|data.bin|junk|") + '\0' + "stored", e, bytes));
  EXPECT_EQ(0u, e.DosDateTime);
  EXPECT_EQ("stored", bytes);
  ASSERT_TRUE(ParseFileRecord(std::string("|a.txt|*|") + '\0' + "q", e, bytes));
  EXPECT_EQ("|a.txt|*|", e.MainEntry);
  EXPECT_FALSE(ParseFileRecord("", e, bytes));
}

TEST(RecordWalk, HostileRecordLengthsAreDamaged) {
  TTempDir dir;
  TContainer c;
  c.Files = {FileRecord("|a|0|", "aaaa"), FileRecord("|b|0|", "bbbb")};
  const std::string good = c.Build();
  const size_t second = good.size() - 74 - c.Files[1].size();
  const int64_t remaining = (int64_t)(good.size() - second - 4);
  // Lengths past the payload end stop the walk for good; one reaching exactly
  // to it is still inside.
  for (int64_t len : {(int64_t)INT32_MIN, (int64_t)INT32_MAX, (int64_t)-INT32_MAX, remaining + 1,
                      -remaining - 1, (int64_t)1 << 30, remaining}) {
    std::string b = good, data;
    PutU32(b, second, (uint32_t)(int32_t)len);
    TRecordWalk walk(dir.Write("h", b));
    TRecordHeader rec;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(KRecordRead, walk.Next(rec));
    if (len == remaining) {
      ASSERT_EQ(KRecordRead, walk.Next(rec));
      EXPECT_EQ(KRecordRead, walk.ReadData(data));
      EXPECT_EQ(KRecordEnd, walk.Next(rec));
      continue;
    }
    EXPECT_EQ(KRecordDamaged, walk.Next(rec)) << len;
    EXPECT_EQ(KRecordDamaged, walk.ReadData(data));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(KRecordDamaged, walk.Next(rec));  // the walk stays stopped
  }
}

namespace {

// Keeps what a walk hands out, piece by piece.
struct TRecordingSink : TEntrySink {
  std::vector<TFileEntry> Entries;
  std::vector<std::string> Files;
  std::vector<uint64_t> Sizes;
  size_t LargestPiece = 0;
  void Begin(const TFileEntry& entry) override {
    Entries.push_back(entry);
    Files.emplace_back();
  }
  void Write(const char* bytes, size_t count) override {
    Files.back().append(bytes, count);
    LargestPiece = std::max(LargestPiece, count);
  }
  void End(uint64_t size) override { Sizes.push_back(size); }
};

// Streams every file record of `c` into `sink`; the first EZLibError's
// text, or "" when none came.
std::string StreamAll(const TContainer& c, TRecordingSink& sink, TStreamBuffers& buffers) {
  TTempDir dir;
  TRecordWalk walk(dir.Write("s.exe", c.Build()));
  TRecordHeader rec;
  bool has = false;
  try {
    while (walk.Next(rec) == KRecordRead) {
      if (walk.IsHeaderRecord(rec)) continue;
      EXPECT_EQ(KRecordRead, walk.StreamFileRecord(buffers, sink, has));
    }
  } catch (const EZLibError& e) {
    return e.what();
  }
  return "";
}

std::string Text(size_t size) {
  std::string s;
  for (uint32_t x = 7; s.size() < size;) s += "entry " + std::to_string((x = x * 69069u + 1) >> 20);
  return s.substr(0, size);
}

}  // namespace

// Records bigger than the buffers arrive in pieces through one set of
// buffers: inflated whole, or streamed when their data or their content do
// not fit the whole-record buffers; entry headers up to the limit are read
// across pieces, longer ones skipped.
TEST(RecordStream, BigRecordsAndEntryHeadersUpToTheLimitStreamInPieces) {
  TContainer c;
  const std::string big = Text(3 * TStreamBuffers::KWholePiece + 12345);
  const std::string huge = Text(TStreamBuffers::KWholeOutSize + 1);
  const std::string noise = Noise(TStreamBuffers::KWholeInSize + 1, 11);  // does not compress
  const std::string stored = Text(3 * TStreamBuffers::KInSize + 7);
  const std::string name(KMaxEntryHeader - 4, 'n');
  c.Files = {FileRecord("|big.txt|0|", big),
             FileRecord("|huge.txt|0|", huge),
             FileRecord("|noise.bin|0|", noise),
             StoredFileRecord("|s.bin|0|", stored),
             FileRecord("|Engine.exe* /q|0|", "MZ"),
             FileRecord("|empty|0|", ""),
             StoredFileRecord("|" + name + "|1|", "kept"),
             StoredFileRecord("|" + name + "x|1|", "skipped"),
             FileRecord("|" + name + "x|1|", "skipped too"),
             FileRecord("|after|0|", "after")};
  TStreamBuffers buffers;
  for (int pass = 0; pass < 2; ++pass) {  // the second pass reuses the inflater
    TRecordingSink sink;
    ASSERT_EQ("", StreamAll(c, sink, buffers));
    ASSERT_EQ(8u, sink.Files.size());
    EXPECT_TRUE(sink.Files ==
                (std::vector<std::string>{big, huge, noise, stored, "MZ", "", "kept", "after"}));
    EXPECT_EQ("Engine.exe* /q", sink.Entries[4].MainEntry);
    EXPECT_EQ(name, sink.Entries[6].FileName);
    for (size_t i = 0; i < sink.Files.size(); ++i) EXPECT_EQ(sink.Files[i].size(), sink.Sizes[i]);
    EXPECT_LE(sink.LargestPiece, TStreamBuffers::KWholePiece);
  }
}

TEST(RecordStream, CutDamagedAndOversizedStreamsRaiseNoneWaits) {
  TStreamBuffers buffers;
  const std::string z = Deflate(std::string("|t.txt|0|") + '\0' + Text(200000), 9);
  std::string bad = z, badHeader = z;
  bad[z.size() / 2] ^= 0x55;
  badHeader[1] ^= 1;
  // Past the largest record content: damaged, with memory bounded meanwhile.
  const std::string huge = DeflateZeros(KMaxRecordContent + 1);
  // Each stream with the message it may raise besides "data error": damaged
  // data, a wrong header check, raw deflate data, a bomb, a header asking for
  // a preset dictionary, cuts.
  std::vector<std::pair<std::string, std::string>> streams = {
      {bad, "data error"},
      {badHeader, "data error"},
      {z.substr(2), "data error"},
      {huge, "data error"},
      {std::string("\x78\xBB\0\0\0\1", 6) + z.substr(2), "need dictionary"}};
  for (size_t cut : {(size_t)1, (size_t)2, z.size() / 3, z.size() - 4, z.size() - 1})
    streams.push_back({z.substr(0, cut), "buffer error"});
  for (const auto& stream : streams) {
    TContainer c;
    c.Files = {Record((int32_t)stream.first.size(), stream.first)};
    TRecordingSink sink;
    std::string msg = StreamAll(c, sink, buffers);
    EXPECT_TRUE(msg == "data error" || msg == stream.second) << stream.first.size() << ": " << msg;
    EXPECT_LE(sink.LargestPiece, TStreamBuffers::KOutSize);
  }
}
