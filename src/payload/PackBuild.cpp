#include "payload/PackBuild.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include "payload/UnPack.h"
#include "payload/ZLibOpen.h"
#include "text/Common.h"

namespace fs = std::filesystem;

namespace {

// A build failure with the text shown to the author; caught in BuildSetup.
class EPackError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// ------------------------------------------------------------------ files

struct TFileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

TFilePtr OpenFile(const std::string& path, const char* mode) {
  return TFilePtr(std::fopen(path.c_str(), mode));
}

std::string ReadWholeFile(const std::string& path) {
  std::string data, error;
  if (!ReadSourceFile(path, data, error)) throw EPackError(error);
  return data;
}

void WriteAll(std::FILE* f, const std::string& data, const std::string& path) {
  if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size())
    throw EPackError("cannot write " + Quoted(path) + ": " + std::strerror(errno));
}

// Overwrites bytes of a closed file in place.
void PatchFile(const std::string& path, long offset, const std::string& bytes) {
  TFilePtr f = OpenFile(path, "r+b");
  if (!f || std::fseek(f.get(), offset, SEEK_SET) != 0)
    throw EPackError("cannot update " + Quoted(path));
  WriteAll(f.get(), bytes, path);
  if (std::fflush(f.get()) != 0) throw EPackError("cannot write " + Quoted(path));
}

// Temporary files of one build; removed unless the build commits them.
class TTempFiles {
public:
  explicit TTempFiles(TPackRandom& random) : FRandom(random) {}
  ~TTempFiles() {
    for (auto& t : FFiles) {
      std::error_code ec;
      fs::remove(t.first, ec);
    }
  }
  // A temporary name next to `finalPath`.
  std::string Add(const std::string& finalPath) {
    std::string tmp = finalPath + ".kpk" + IntToStr(FRandom.Range(10000, 99999)) + ".tmp";
    FFiles.emplace_back(tmp, finalPath);
    return tmp;
  }
  // Renames every temporary file to its final name, the setup program (the
  // first file) last, so that it never stands without its volumes.
  void Commit() {
    for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
      auto& t = *it;
      std::error_code ec;
      fs::rename(t.first, t.second, ec);
      if (ec)
        throw EPackError("cannot rename " + Quoted(t.first) + " to " + Quoted(t.second) + ": " +
                         ec.message());
    }
    FFiles.clear();
  }

private:
  TPackRandom& FRandom;
  std::vector<std::pair<std::string, std::string>> FFiles;
};

// -------------------------------------------------------------- volumes

struct TVolumeOut {
  std::string Final;
  std::string Temp;
  TFilePtr F;
  bool Exe = false;
  uint64_t Size = 0;
  uint32_t Records = 0;
  uint32_t RecordArea = 0;
  uint8_t HeaderCount = 0;
};

struct TBuildState {
  const TPackProject* Project = nullptr;
  std::string Stub;     // stub image
  std::string Headers;  // the header records, length-prefixed
  uint8_t HeaderCount = 2;
  std::array<uint32_t, 9> Space{};
  TPackReport* Report = nullptr;
};

void OpenVolume(TVolumeOut& v, const std::string& finalPath, bool withHeaders, TBuildState& st,
                TTempFiles& temps) {
  v.Final = finalPath;
  v.Temp = temps.Add(finalPath);
  v.F = OpenFile(v.Temp, "wb");
  if (!v.F) throw EPackError("cannot create " + Quoted(v.Temp) + ": " + std::strerror(errno));
  v.Size = 0;
  v.Records = 0;
  v.Exe = withHeaders;
  v.HeaderCount = 0;
  v.RecordArea = 0;
  if (withHeaders) {
    WriteAll(v.F.get(), st.Stub, v.Temp);
    v.RecordArea = (uint32_t)st.Stub.size();
    WriteAll(v.F.get(), st.Headers, v.Temp);
    v.Size = st.Stub.size() + st.Headers.size();
    v.HeaderCount = st.HeaderCount;
  }
}

// Sets the image checksum of a setup program when its stub has one.
void SetImageChecksum(const std::string& path, const std::string& stub) {
  size_t at = PeChecksumOffset(stub);
  if (at == 0 || stub.compare(at, 4, std::string(4, '\0')) == 0) return;
  TFilePtr f = OpenFile(path, "rb");
  if (!f) throw EPackError("cannot read " + Quoted(path));
  std::string block(1 << 16, '\0');
  uint64_t sum = 0, length = 0;
  size_t n;
  while ((n = std::fread(&block[0], 1, block.size(), f.get())) > 0) {
    sum = PeChecksumAdd(sum, block.data(), n, length, at);
    length += n;
  }
  if (std::ferror(f.get())) throw EPackError("cannot read " + Quoted(path));
  f.reset();
  PatchFile(path, (long)at, Le32Bytes(PeChecksumEnd(sum, length)));
}

void WriteRecord(TVolumeOut& v, const std::string& record) {
  WriteAll(v.F.get(), record, v.Temp);
  v.Size += record.size();
  v.Records++;
}

void FinishVolume(TVolumeOut& v, bool nextFollows, bool relaunch, TBuildState& st) {
  const TPackProject& p = *st.Project;
  TTrailer t;
  t.Clear();
  t.Bytes[TRL_HEADER_COUNT] = v.HeaderCount;
  t.SetU32(TRL_RECORD_AREA, v.RecordArea);
  t.SetU32(TRL_FILE_COUNT, v.Records);
  t.SetU32(TRL_MAGIC, KContainerMagic);
  t.SetU32(TRL_CHECKSUM, (uint32_t)KNoVolumeChecksum);
  for (int k = 0; k < 9; ++k) t.SetU32(TRL_SPACE + 4 * k, st.Space[k]);
  uint8_t options = p.Options & (uint8_t) ~(OPT_NEXT_VOLUME | OPT_SPAN_RELAUNCH);
  if (nextFollows) options |= OPT_NEXT_VOLUME;
  if (relaunch) options |= OPT_SPAN_RELAUNCH;
  t.Bytes[TRL_OPTIONS] = options;
  t.Bytes[TRL_INTERNET] = p.Internet ? 1 : 0;
  t.Bytes[TRL_ASK_DOWNLOAD] = p.AskBeforeDownload ? 1 : 0;
  t.Bytes[TRL_MAKE_AGENT] = p.MakeAgentCopy ? 1 : 0;
  t.Bytes[TRL_IS_AGENT] = p.IsAgent ? 1 : 0;
  t.SetU32(TRL_LENGTH, KTrailerSize);
  WriteAll(v.F.get(), std::string((const char*)t.Bytes, KTrailerSize), v.Temp);
  v.Size += KTrailerSize;
  if (std::fflush(v.F.get()) != 0 || std::ferror(v.F.get()))
    throw EPackError("cannot write " + Quoted(v.Temp));
  v.F.reset();

  if (v.Exe) {
    std::string ptr(8, '\0');
    SetLe32(ptr, 0, (uint32_t)(v.Size >> 32));
    SetLe32(ptr, 4, (uint32_t)(v.Size & 0xFFFFFFFFu));
    PatchFile(v.Temp, 248, ptr);
  }
  // The checksum field lies past the summed words, so the value computed
  // with the placeholder in place is the value of the finished volume.
  int32_t sum = VolumeChecksum(v.Temp, KTrailerSize);
  if (sum != KNoVolumeChecksum)
    PatchFile(v.Temp, (long)(v.Size - KTrailerSize + TRL_CHECKSUM), Le32Bytes((uint32_t)sum));

  // The image checksum covers the whole setup program; the volume checksum
  // starts at offset 512, past its field, so neither disturbs the other.
  if (v.Exe) SetImageChecksum(v.Temp, st.Stub);

  TPackVolume info;
  info.Path = v.Final;
  info.Size = v.Size;
  info.Records = v.Records;
  info.Checksum = sum;
  st.Report->Volumes.push_back(info);
  st.Report->OutputBytes += v.Size;
}

// Reads a source file in order, keeping what was read but not yet packed.
class TSourceReader {
public:
  TSourceReader(const std::string& path, uint64_t size) : FPath(path), FLeft(size) {
    FFile = OpenFile(path, "rb");
    if (!FFile) throw EPackError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  }
  // Tops the pending bytes up to `want` (or to the end of the file).
  const std::string& Pending(size_t want) {
    while (FPending.size() < want && FLeft > 0) {
      size_t n = (size_t)std::min<uint64_t>(want - FPending.size(), FLeft);
      size_t old = FPending.size();
      FPending.resize(old + n);
      size_t got = std::fread(&FPending[old], 1, n, FFile.get());
      FPending.resize(old + got);
      FLeft -= got;
      if (got < n) throw EPackError(Quoted(FPath) + " changed or could not be read while packing");
    }
    return FPending;
  }
  void Consume(size_t n) { FPending.erase(0, n); }
  bool Done() const { return FLeft == 0 && FPending.empty(); }
  // True when the file has grown since its size was taken.
  bool Grew() {
    char c;
    return std::fread(&c, 1, 1, FFile.get()) == 1;
  }

private:
  std::string FPath;
  TFilePtr FFile;
  uint64_t FLeft;
  std::string FPending;
};

void CountRecord(TPackReport& report, bool compressed, size_t plain) {
  report.Records++;
  if (!compressed) report.Stored++;
  report.PlainBytes += plain;
}

std::string EntryDisplayName(const TPackEntry& e) {
  return e.IsEngine ? e.Name + "*" + e.EngineArgs : e.Name;
}

// Smallest room at the end of a volume worth cutting a piece for.
const uint64_t KMinCutRoom = 4096;

// One piece of a file: at most KMaxRecordFileBytes of it behind its entry
// header, and the record it packs into.
struct TPiece {
  const TPackEntry* Entry = nullptr;
  std::string Content;  // entry header, 0x00, the bytes; kept while it may be cut
  size_t HeaderSize = 0;
  size_t Plain = 0;  // file bytes
  std::string Record;
  bool Compressed = false;
};

TPiece PackPiece(TPiece piece, int level, bool keepContent) {
  piece.Record = PackRecord(piece.Content, level, piece.Compressed);
  if (!keepContent) std::string().swap(piece.Content);
  return piece;
}

// Writes the packed pieces in order into the setup program and its volumes.
// Volumes are cut by the sizes of the records alone, which do not depend on
// the thread that packed them, so the output is the same for any thread
// count.
class TVolumeCutter {
public:
  TVolumeCutter(const TPackProject& project, TBuildState& state, TTempFiles& temps,
                TVolumeOut& first, uint64_t firstLimit)
      : FProject(project), FState(state), FTemps(temps), FCur(first), FLimit(firstLimit) {}

  void Place(TPiece piece) {
    size_t part = piece.Plain;
    std::string record = std::move(piece.Record);
    bool compressed = piece.Compressed;
    for (;;) {
      if (FCur.Size + record.size() + KTrailerSize <= FLimit) {
        WriteRecord(FCur, record);
        CountRecord(*FState.Report, compressed, part);
        if (part == piece.Plain) return;
        // The rest of a cut piece goes on in a further record of the same name.
        piece.Content.erase(piece.HeaderSize, part);
        piece.Plain -= part;
        piece = PackPiece(std::move(piece), FProject.Level, true);
        part = piece.Plain;
        record = std::move(piece.Record);
        compressed = piece.Compressed;
        continue;
      }
      bool fresh = FCur.Records == 0;
      uint64_t used = FCur.Size + KTrailerSize;
      uint64_t room = FLimit > used ? FLimit - used : 0;
      uint64_t minRecord = 4 + piece.HeaderSize;
      if (part > 1 && room > minRecord && (room >= KMinCutRoom || fresh)) {
        // Cut the piece so that its record fills the rest of the volume.
        uint64_t want = (uint64_t)part * (room - minRecord) / record.size() * 9 / 10;
        part = (size_t)std::max<uint64_t>(1, std::min<uint64_t>(want, part - 1));
        record = PackRecord(piece.Content.substr(0, piece.HeaderSize + part), FProject.Level,
                            compressed);
        continue;
      }
      if (fresh)
        throw EPackError("volume size " + std::to_string(FProject.VolumeSize) +
                         " is too small for a record of " + Quoted(EntryDisplayName(*piece.Entry)));
      FinishVolume(FCur, true, false, FState);
      OpenVolume(FCur, VolumeFileName(FProject.Output, FNextIndex++), false, FState, FTemps);
      FLimit = FProject.VolumeSize;  // only the first medium holds two files
      if (part != piece.Plain) {
        part = piece.Plain;
        record = PackRecord(piece.Content, FProject.Level, compressed);
      }
    }
  }

private:
  const TPackProject& FProject;
  TBuildState& FState;
  TTempFiles& FTemps;
  TVolumeOut& FCur;
  uint64_t FLimit;
  int FNextIndex = 2;  // the stub names the volume after the setup program ".002"
};

// Reads every file in pieces, packs the pieces on several threads and hands
// them to the cutter in order.
void PackFiles(const TPackProject& p, const std::vector<uint64_t>& sizes,
               const std::vector<uint32_t>& dates, TVolumeCutter& cutter) {
  unsigned threads = p.Threads ? p.Threads : std::max(1u, std::thread::hardware_concurrency());
  const auto policy = threads > 1 ? std::launch::async : std::launch::deferred;
  const bool keepContent = p.VolumeSize > 0;
  std::deque<std::future<TPiece>> inFlight;
  auto placeDone = [&](size_t keep) {
    while (inFlight.size() > keep) {
      TPiece piece = inFlight.front().get();
      inFlight.pop_front();
      cutter.Place(std::move(piece));
    }
  };
  for (size_t i = 0; i < p.Entries.size(); ++i) {
    const TPackEntry& e = p.Entries[i];
    std::string header = EntryHeader(e.Name, e.IsEngine, e.EngineArgs, dates[i]) + '\0';
    TSourceReader src(e.Source, sizes[i]);
    bool first = true;
    while (first || !src.Done()) {
      first = false;
      TPiece piece;
      piece.Entry = &e;
      const std::string& pending = src.Pending(KMaxRecordFileBytes);
      piece.Content = header + pending;
      piece.HeaderSize = header.size();
      piece.Plain = pending.size();
      src.Consume(piece.Plain);
      inFlight.push_back(std::async(policy, PackPiece, std::move(piece), p.Level, keepContent));
      placeDone(threads - 1);
    }
    if (src.Grew()) throw EPackError(Quoted(e.Source) + " changed while packing");
  }
  placeDone(0);
}

// Puts the setup's icon and version into its copy of the stub.
void SetStubResources(const TPackProject& p, std::string& stub) {
  if (p.Icon.empty() && p.Version.Empty()) return;
  std::string icon = p.Icon.empty() ? std::string() : ReadWholeFile(p.Icon);
  std::string error;
  if (!SetIconAndVersion(stub, icon, p.Version, error))
    throw EPackError(Quoted(error.find("icon") != std::string::npos ? p.Icon : p.Stub) + ": " +
                     error);
}

}  // namespace

bool IsRegularFile(const std::string& path, uint64_t& size, int64_t& mtime) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::is_regular_file(st)) return false;
  size = fs::file_size(path, ec);
  if (ec) return false;
  struct stat sb;
  mtime = (stat(path.c_str(), &sb) == 0) ? (int64_t)sb.st_mtime : 0;
  return true;
}

bool ReadSourceFile(const std::string& path, std::string& data, std::string& error) {
  TFilePtr f = OpenFile(path, "rb");
  if (!f) {
    error = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  data.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) data.append(buf, n);
  if (std::ferror(f.get())) {
    error = "cannot read " + Quoted(path);
    return false;
  }
  return true;
}

bool CheckProject(const TPackProject& p, std::vector<std::string>& warnings, std::string& error) {
  if (p.Output.empty()) {
    error = "no output file given";
    return false;
  }
  if (p.Stub.empty()) {
    error = "no stub given";
    return false;
  }
  uint64_t size;
  int64_t mtime;
  if (!IsRegularFile(p.Stub, size, mtime)) {
    error = "stub not found: " + Quoted(p.Stub);
    return false;
  }
  if (p.Level < 1 || p.Level > 9) {
    error = "compression level must be 1 to 9";
    return false;
  }
  for (auto& lang : p.Languages)
    if (!CheckLanguage(lang, error)) return false;

  const TPackEntry* engine = nullptr;
  for (size_t i = 0; i < p.Entries.size(); ++i) {
    const TPackEntry& e = p.Entries[i];
    if (!CheckEntryName(e.Name, error)) return false;
    if (e.IsEngine) {
      if (engine) {
        error = "two entries are marked \"*\" as the engine: " + Quoted(engine->Name) + " and " +
                Quoted(e.Name);
        return false;
      }
      engine = &e;
      if (e.EngineArgs.find('|') != std::string::npos || HasLineBreakOrNul(e.EngineArgs)) {
        error = "the engine's extra text must not hold \"|\" or line breaks";
        return false;
      }
    }
    for (size_t j = 0; j < i; ++j)
      if (SameText(p.Entries[j].Name, e.Name)) {
        error = "two entries are named " + Quoted(e.Name) +
                "; the stub would append them into one file";
        return false;
      }
    if (!IsRegularFile(e.Source, size, mtime)) {
      error = "file not found: " + Quoted(e.Source);
      return false;
    }
  }

  const std::string* texts[] = {
      &p.Update.Server,       &p.Update.InfoFile,     &p.Update.AgentExe,        &p.Update.Token,
      &p.Download.Location,   &p.Download.FileName,   &p.Download.Token,         &p.Download.Size,
      &p.Version.ProductName, &p.Version.CompanyName, &p.Version.FileDescription};
  for (const std::string* t : texts)
    if (HasLineBreakOrNul(*t)) {
      error = "a setting holds a line break or a NUL byte: " + Quoted(*t);
      return false;
    }
  if (!p.Icon.empty() && !IsRegularFile(p.Icon, size, mtime)) {
    error = "icon file not found: " + Quoted(p.Icon);
    return false;
  }
  uint16_t parts[4];
  for (const std::string* v : {&p.Version.FileVersion, &p.Version.ProductVersion})
    if (!v->empty() && !ParseVersionNumber(*v, parts)) {
      error = "a version must be one to four numbers 0..65535 joined by dots: " + Quoted(*v);
      return false;
    }
  if (!p.Download.Size.empty()) {
    uint64_t n;
    if (!ParseUInt(p.Download.Size, n)) {
      error = "download size must be a number of bytes: " + Quoted(p.Download.Size);
      return false;
    }
  }
  if (p.Internet &&
      (!p.Download.Given || p.Download.Location.empty() || p.Download.FileName.empty())) {
    error = "an internet setup needs the download location and file name";
    return false;
  }
  if (p.MakeAgentCopy && p.Update.AgentExe.empty()) {
    error = "make_agent_copy needs the update agent's file name (update.agent_exe)";
    return false;
  }
  if (p.IsAgent && p.Update.AgentExe.empty())
    warnings.push_back("an update-agent setup without update.agent_exe");
  if ((p.Options & OPT_AGENT_LOG) && !p.IsAgent && !p.MakeAgentCopy)
    warnings.push_back("agent_log is only read by an update-agent copy");
  if (p.Internet && !p.Entries.empty())
    warnings.push_back("an internet setup never extracts its own files");
  if (!p.Internet && !p.Entries.empty() && !engine)
    warnings.push_back("no entry is marked \"*\": no engine will start after extraction");
  return true;
}

bool BuildSetup(const TPackProject& project, TPackReport& report, std::string& error) {
  report = TPackReport();
  if (!CheckProject(project, report.Warnings, error)) return false;
  try {
    TPackRandom random = project.HasSeed ? TPackRandom(project.Seed) : TPackRandom();
    TBuildState st;
    st.Project = &project;
    st.Report = &report;
    st.Stub = ReadWholeFile(project.Stub);
    if (!CheckStubImage(st.Stub.substr(0, 512), error)) {
      error = Quoted(project.Stub) + ": " + error;
      return false;
    }
    SetPayloadEnd(st.Stub, 0);
    SetStubResources(project, st.Stub);

    // Header records: stored, positive length.
    std::vector<std::string> headers = {BuildLanguageBlock(project.Languages),
                                        BuildUpdateSettings(project.Update, random)};
    if (project.Download.Given) headers.push_back(BuildDownloadSettings(project.Download, random));
    st.HeaderCount = (uint8_t)headers.size();
    for (auto& h : headers) st.Headers += Le32Bytes((uint32_t)h.size()) + h;

    // Sizes and dates as they are now; a file that changes while it is
    // packed stops the build.
    std::vector<uint64_t> sizes;
    std::vector<uint32_t> dates;
    for (auto& e : project.Entries) {
      uint64_t size = 0;
      int64_t mtime = 0;
      IsRegularFile(e.Source, size, mtime);
      sizes.push_back(size);
      dates.push_back(e.HasDate ? e.DosDate : DosDateTimeOf(mtime));
    }
    st.Space = SpaceRequiredTable(sizes);

    std::error_code ec;
    fs::path parent = fs::path(project.Output).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec) && !fs::create_directories(parent, ec))
      throw EPackError("cannot create the folder " + Quoted(parent.string()) + ": " + ec.message());
    TTempFiles temps(random);
    const bool relaunch = (project.Options & OPT_SPAN_RELAUNCH) != 0;
    const bool multi = project.VolumeSize > 0;
    uint64_t limit = multi ? project.VolumeSize : UINT64_MAX;
    TVolumeOut cur;
    if (relaunch) {
      // The setup program holds the settings only and relaunches itself
      // from the temporary folder, which then reads ".001" onward; both
      // files share the first medium.
      TVolumeOut head;
      OpenVolume(head, project.Output, true, st, temps);
      FinishVolume(head, true, true, st);
      OpenVolume(cur, VolumeFileName(project.Output, 1), true, st, temps);
      if (multi) limit = project.VolumeSize > head.Size ? project.VolumeSize - head.Size : 0;
    } else {
      // The setup program is volume 1; the stub names the next one ".002".
      OpenVolume(cur, project.Output, true, st, temps);
    }
    if (multi && cur.Size + KTrailerSize + 64 > limit)
      throw EPackError("volume size " + std::to_string(project.VolumeSize) +
                       " is too small for the stub and the settings (" +
                       std::to_string(cur.Size + KTrailerSize + (relaunch ? st.Stub.size() : 0)) +
                       " bytes and more)");

    TVolumeCutter cutter(project, st, temps, cur, limit);
    PackFiles(project, sizes, dates, cutter);
    FinishVolume(cur, false, false, st);
    temps.Commit();

    // Volumes of an earlier build of the same setup that this build did not
    // write would otherwise look like part of it.
    const int ours = (int)report.Volumes.size() + 1;
    for (int j = 1; j < 100000; ++j) {
      std::string old = VolumeFileName(project.Output, j);
      bool written = false;
      for (auto& v : report.Volumes) written = written || v.Path == old;
      if (written) continue;
      if (!fs::exists(old, ec)) {
        if (j > ours) break;
        continue;
      }
      fs::remove(old, ec);
    }
    return true;
  } catch (const EPackError& ex) {
    error = ex.what();
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& ex) {
    error = ex.what();
  }
  report.Volumes.clear();
  return false;
}
