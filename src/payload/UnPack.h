#pragma once
// Reader of the payload container: stub image, record area (header records,
// then file records), 74-byte trailer, optional data after the payload end.
// All integers in the container are little-endian.
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include "support/Handles.h"
#endif

#include "payload/ZLibOpen.h"

const uint32_t KContainerMagic = 0x4A3B2C1D;
const int KTrailerSize = 74;

// Trailer field offsets.
enum {
  KTrlHeaderCount = 1,   // byte: header record count H (2 or 3; 0 reads as 2)
  KTrlRecordArea = 4,    // u32: offset of the first header record
  KTrlFileCount = 8,     // u32: number of file records
  KTrlMagic = 12,        // u32: KContainerMagic
  KTrlChecksum = 16,     // i32: volume checksum, 1234 = none
  KTrlSpace = 28,        // 9 x u32: space required per cluster size
  KTrlOptions = 65,      // byte: option bits
  KTrlInternet = 66,     // bool byte: internet setup
  KTrlAskDownload = 67,  // bool byte: ask before downloading
  KTrlMakeAgent = 68,    // bool byte: write an update-agent copy
  KTrlIsAgent = 69,      // bool byte: this file is an update-agent copy
  KTrlLength = 70        // u32: trailer length, 74
};

// Option bits of byte 65.
enum {
  KOptTempDriveInfo = 0x01,
  KOptNextVolume = 0x02,
  KOptSpanRelaunch = 0x04,
  KOptActivityBar = 0x08,
  KOptAgentLog = 0x10
};

// The 74 trailer bytes with little-endian accessors (also used by the
// authoring tool to build one).
struct TTrailer {
  uint8_t Bytes[KTrailerSize];

  TTrailer() { Clear(); }
  void Clear();
  uint32_t U32(int offset) const;
  void SetU32(int offset, uint32_t value);

  int HeaderCount() const { return Bytes[KTrlHeaderCount]; }
  uint32_t RecordArea() const { return U32(KTrlRecordArea); }
  uint32_t FileCount() const { return U32(KTrlFileCount); }
  uint32_t Magic() const { return U32(KTrlMagic); }
  bool MagicOK() const { return Magic() == KContainerMagic; }
  int32_t Checksum() const { return (int32_t)U32(KTrlChecksum); }
  uint32_t SpaceRequired(int k) const;  // k = 0..8
  uint8_t Options() const { return Bytes[KTrlOptions]; }
  uint32_t Length() const { return U32(KTrlLength); }
};

// A container file opened for reading (others may read and write it), with
// 64-bit offsets. Closed when destroyed.
class TPayloadFile {
public:
  TPayloadFile() {}
  explicit TPayloadFile(const std::string& path) { Open(path); }
  ~TPayloadFile() { Close(); }
  TPayloadFile(const TPayloadFile&) = delete;
  TPayloadFile& operator=(const TPayloadFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const;
  uint64_t Size() const;  // 0 when not open
  // Reads up to `count` bytes at `offset`; returns the bytes read (short at
  // the end of the file, 0 on failure).
  size_t ReadAt(uint64_t offset, void* buf, size_t count);
  bool ReadExact(uint64_t offset, void* buf, size_t count) {
    return ReadAt(offset, buf, count) == count;
  }

private:
#ifdef _WIN32
  THandle FHandle;
#else
  int FFd = -1;
#endif
};

// True when the file begins with "MZ" and has "PE" at offset 256.
bool IsExeContainer(TPayloadFile& file);
bool IsExeContainer(const std::string& path);

// The payload-end pointer: word 248 is the high half, word 252 the low
// half; 0 when unset (or the header is too short).
uint64_t PayloadEndFromHeader(TPayloadFile& file);
uint64_t PayloadEndFromBytes(const void* bytes, size_t count);
uint64_t PayloadEndFromBytes(const std::string& bytes);

// The payload end: the pointer of an executable container when it is set,
// else the file size.
uint64_t PayloadEnd(TPayloadFile& file);

// Fills `record` (which the caller has cleared) from the trailer before the
// payload end. A trailer length that points before the file start or below
// 4 bytes reads nothing. Returns the payload end.
uint64_t ReadTrailer(TPayloadFile& file, TTrailer& record);

// True when the trailer has the magic number and its record area lies
// inside the payload (before the trailer).
bool PayloadPresent(const TTrailer& trailer, uint64_t payloadEnd, uint64_t fileSize);

// Sectors per cluster times bytes per sector of the drive of `path`
// (its first three characters on Windows; natively the file system holding
// the path); 0 when the query fails.
int64_t ClusterSize(const std::string& path);

// The plain token of a scrambled token text; false (token empty) when the
// text is damaged or missing.
bool TryUnscrambleToken(const std::string& text, std::string& token);
// The plain token of a scrambled token text; a damaged token gives a random
// decimal number from 0 to 99998 instead.
std::string UnscrambleToken(const std::string& text);
// True when both scrambled tokens are sound and their plain tokens equal: a
// damaged or missing token equals no token, not even itself.
bool SameToken(const std::string& a, const std::string& b);

// Splits a downloaded inform text: descrambled, the field after the first
// "|" is the token (unscrambled), two fields are skipped, `rest` is the text
// after the fourth "|".
void SplitTokenText(const std::string& text, std::string& token, std::string& rest);

// ---------------------------------------------------------------------------
// Record walk over one container file.

enum TRecordStatus {
  KRecordRead,    // a record header was read (Next) or its data (ReadData)
  KRecordEnd,     // no further record: at most the trailer is left
  KRecordDamaged  // the length word or the data reach past the payload end or
                  // the file's end, or a read failed; the walk stops here
};

struct TRecordHeader {
  uint64_t Offset = 0;    // offset of the length word
  int32_t Length = 0;     // as stored: > 0 zlib stream, <= 0 stored plain
  uint32_t DataSize = 0;  // |Length|
  int Index = 0;          // 1-based, counted from the first header record
  bool Compressed() const { return Length > 0; }
};

// The parsed content of a file record: entry header, one 0x00, file bytes.
struct TFileEntry {
  std::string Header;        // the entry header list, e.g. "|Engine.exe*|12345|"
  std::string Item0;         // item 0 as stored
  std::string FileName;      // item 0 before any "*"
  std::string MainEntry;     // item 0 when it holds "*"; the header when only
                             // the header does; else empty
  uint32_t DosDateTime = 0;  // item 1 as a number, 0 when not a number
  bool IsMain() const { return !MainEntry.empty(); }
};

// Splits decompressed record content. False (entry left empty) when the
// content has no 0x00: such a record is skipped.
bool ParseFileRecord(const std::string& content, TFileEntry& entry, std::string& fileBytes);
// Fills the entry from its header list (the content before the 0x00).
void ParseEntryHeader(const std::string& header, TFileEntry& entry);

// An entry header longer than this is never a file name the system can
// write; such a record is skipped like one without 0x00.
const size_t KMaxEntryHeader = 65536;

// Hook that lets the program's windows run between read pieces (default:
// nothing).
void SetRecordPumpHook(void (*hook)());

// Receives a file record's content as it is read and inflated: the entry,
// then its file bytes in pieces, then the end.
class TEntrySink {
public:
  virtual ~TEntrySink() {}
  virtual void Begin(const TFileEntry& entry) = 0;
  virtual void Write(const char* bytes, size_t count) = 0;
  // All file bytes have come; `size` is their count.
  virtual void End(uint64_t size) = 0;
};

// The buffers and inflaters one walk (or a chain of walks) reuses for every
// record, so that memory stays bounded whatever the records' sizes.
struct TStreamBuffers {
  static constexpr size_t KInSize = 65536;  // read piece
  static constexpr size_t KOutSize = 1 << 18;
  // A compressed record of at most KWholeInSize bytes is read whole and
  // inflated in one pass when its content fits KWholeOutSize: the
  // authoring tool's largest record, 5 MiB of file bytes behind the longest
  // entry header. Its content goes to the sink in pieces of KWholePiece.
  // Other records (mostly stored ones, which zlib copies) stream through In
  // and Out.
  static constexpr size_t KWholeInSize = 2 << 20;
  static constexpr size_t KWholeOutSize = (5 << 20) + KMaxEntryHeader + 1;
  static constexpr size_t KWholePiece = 1 << 20;
  TStreamBuffers();
  ~TStreamBuffers();
  TStreamBuffers(const TStreamBuffers&) = delete;
  TStreamBuffers& operator=(const TStreamBuffers&) = delete;
  // Takes WholeIn and WholeOut on first use; false when memory cannot hold
  // them (records then stream).
  bool TakeWholeBuffers();
  unsigned char* In;
  unsigned char* Out;
  unsigned char* WholeIn = nullptr;
  unsigned char* WholeOut = nullptr;
  std::string Header;
  TInflater Inflater;
  TWholeInflater WholeInflater;
};

class TRecordWalk {
public:
  TRecordWalk() {}
  explicit TRecordWalk(const std::string& path) { Open(path); }

  // Opens the container, reads its trailer and positions the walk at the
  // record area. False when there is no payload (no file, wrong magic,
  // trailer or record area outside the file); Trailer() then holds the bytes
  // that were read.
  bool Open(const std::string& path);
  bool IsOpen() const { return FValid; }
  const TTrailer& Trailer() const { return FTrailer; }
  uint64_t PayloadEnd() const { return FEnd; }
  uint64_t Position() const { return FPos; }
  int HeaderCount() const { return FTrailer.HeaderCount(); }
  // Position after the last header record, 0 until the walk passed it.
  uint64_t HeaderEnd() const { return FHeaderEnd; }
  TPayloadFile& File() { return FFile; }

  // Reads the next record's length word. The data stay unread until
  // ReadData, StreamFileRecord or ReadFileRecord; calling Next again skips
  // them.
  TRecordStatus Next(TRecordHeader& rec);
  // Reads the current record's data whole (pieces of 64 KiB, pumping
  // between). Data of more than KMaxRecordContent bytes, or that memory
  // cannot hold, are damage.
  TRecordStatus ReadData(std::string& data);
  // Reads the current record as a file record: inflated when compressed,
  // its entry and file bytes handed to `sink` as they come, through the
  // reused buffers. `hasEntry` is false for content without 0x00 (the sink
  // then hears nothing). Raises EZLibError on a damaged stream and on
  // content past KMaxRecordContent.
  TRecordStatus StreamFileRecord(TStreamBuffers& buffers, TEntrySink& sink, bool& hasEntry);
  // StreamFileRecord into memory (for tools and tests).
  TRecordStatus ReadFileRecord(TFileEntry& entry, std::string& fileBytes, bool& hasEntry);
  bool IsHeaderRecord(const TRecordHeader& rec) const { return rec.Index <= HeaderCount(); }

private:
  // Reads `count` bytes of the current record's data from `offset` in read
  // pieces, letting the windows run between; on a short read the walk is
  // damaged.
  bool ReadRecordBytes(uint64_t offset, unsigned char* to, size_t count);

  TPayloadFile FFile;
  TTrailer FTrailer;
  uint64_t FEnd = 0;      // payload end, bounded by the file size
  uint64_t FPos = 0;      // next length word
  uint64_t FDataPos = 0;  // data of the current record
  uint32_t FDataSize = 0;
  bool FHaveData = false;
  bool FCompressed = false;
  uint64_t FHeaderEnd = 0;
  int FCount = 0;
  bool FValid = false;
  bool FDamaged = false;
};

// ---------------------------------------------------------------------------
// The reader of one container: trailer, option bits, header texts, tokens.
// Keeps no file open after construction.
class TGFileInfo {
public:
  explicit TGFileInfo(const std::string& path);  // Create

  const TTrailer& Trailer() const { return FTrailer; }
  const std::string& LanguageBlock() const { return FLanguageBlock; }
  const std::string& UpdateSettings() const { return FUpdateSettings; }
  const std::string& DownloadSettings() const { return FDownloadSettings; }
  // True when the file holds a valid container (magic and header records).
  bool HasPayload() const { return FHasPayload; }

  double GetSpaceRequired(const std::string& path) const;

  bool ShowTempDriveInfo() const { return (FTrailer.Options() & KOptTempDriveInfo) != 0; }
  bool HasNextVolume() const { return (FTrailer.Options() & KOptNextVolume) != 0; }
  bool SpanRelaunch() const { return (FTrailer.Options() & KOptSpanRelaunch) != 0; }
  bool ShowActivityBar() const { return (FTrailer.Options() & KOptActivityBar) != 0; }
  bool AgentLogOn() const { return (FTrailer.Options() & KOptAgentLog) != 0; }
  bool IsInternetSetup() const { return FTrailer.Bytes[KTrlInternet] != 0; }
  bool AskBeforeDownload() const { return FTrailer.Bytes[KTrlAskDownload] != 0; }
  bool MakeAgentCopy() const { return FTrailer.Bytes[KTrlMakeAgent] != 0; }
  bool IsAutoUpdateProg() const { return FTrailer.Bytes[KTrlIsAgent] != 0; }

  std::string GetUpdateServer() const;
  std::string GetInfoFileName() const;
  std::string GetOriginalFileName() const;
  std::string GetAgentExeName() const;
  std::string GetUpdateToken(bool plain) const;
  bool IsHiddenSetup() const;

  std::string GetDownloadLocation() const;
  std::string GetDownloadFileName() const;
  bool DownloadAlways() const;
  std::string GetDownloadToken(bool plain) const;
  std::string GetDownloadSize() const;

  // Texts and font values of the language block (defined in text/LangRes0).
  std::string GetLangStr(const std::string& key, const std::string& def) const;
  int GetLangCharset() const;
  int GetLangFontSize() const;
  std::string GetLangFontName() const;

  bool SameDownloadToken(const TGFileInfo& other) const;
  bool CheckToken(const std::string& path, int kind) const;

private:
  TTrailer FTrailer;
  std::string FLanguageBlock;
  std::string FUpdateSettings;
  std::string FDownloadSettings;
  bool FHasPayload = false;
};

// The text of `key` in the payload's selected language record, or the
// built-in default of that key.
std::string GetLangText(const TGFileInfo& info, const std::string& key);
