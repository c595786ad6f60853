// File-system utilities and self-deletion.
#include "support/Files.h"

#include "support/ExecPipe.h"
#include "support/KDebug.h"
#include "text/Common.h"

#include <cctype>
#include <cstring>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include "support/Handles.h"
#else
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool IsLeadByte(char c) {
#ifdef _WIN32
  return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
#else
  (void)c;
  return false;
#endif
}

enum class TWriteMode { Append, Truncate, New };

// One open file; closed when it goes out of scope.
class TFile {
public:
  TFile() = default;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile() { Close(); }

#ifdef _WIN32
  bool OpenRead(const std::string& path) {
    FHandle.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return Ok();
  }
  // Append: open or create, then go to the end; Truncate: create or
  // truncate; New: create, failing when anything is at the path.
  bool OpenWrite(const std::string& path, TWriteMode mode) {
    static const DWORD creation[] = {OPEN_ALWAYS, CREATE_ALWAYS, CREATE_NEW};
    FHandle.Reset(CreateFileA(path.c_str(), GENERIC_WRITE,
                              mode == TWriteMode::Append ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0,
                              nullptr, creation[static_cast<int>(mode)], FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (Ok() && mode == TWriteMode::Append) SetFilePointer(FHandle.Get(), 0, nullptr, FILE_END);
    return Ok();
  }
  bool Ok() const {
    return FHandle.Valid();
  }
  std::int64_t Size() const {
    LARGE_INTEGER s;
    return GetFileSizeEx(FHandle.Get(), &s) ? s.QuadPart : -1;
  }
  bool Seek(std::int64_t pos) {
    LARGE_INTEGER p;
    p.QuadPart = pos;
    return SetFilePointerEx(FHandle.Get(), p, nullptr, FILE_BEGIN) != 0;
  }
  std::size_t Read(char* data, std::size_t n) {
    DWORD got = 0;
    if (!ReadFile(FHandle.Get(), data, static_cast<DWORD>(n), &got, nullptr)) return 0;
    return got;
  }
  std::size_t Write(const char* data, std::size_t n) {
    DWORD done = 0;
    if (!WriteFile(FHandle.Get(), data, static_cast<DWORD>(n), &done, nullptr)) return 0;
    return done;
  }
  // Packed FAT date (high word) and time (low word), local time.
  void SetFatDate(std::uint32_t fatDate) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(fatDate), LOWORD(fatDate), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(FHandle.Get(), nullptr, nullptr, &utc);
  }
  void Close() {
    FHandle.Reset();
  }

private:
  THandle FHandle;
#else
  bool OpenRead(const std::string& path) {
    FFd = ::open(path.c_str(), O_RDONLY);
    return Ok();
  }
  bool OpenWrite(const std::string& path, TWriteMode mode) {
    static const int flags[] = {0, O_TRUNC, O_EXCL};
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | flags[static_cast<int>(mode)], 0644);
    if (Ok() && mode == TWriteMode::Append) ::lseek(FFd, 0, SEEK_END);
    return Ok();
  }
  bool Ok() const {
    return FFd >= 0;
  }
  std::int64_t Size() const {
    struct stat st;
    return ::fstat(FFd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
  }
  bool Seek(std::int64_t pos) {
    return ::lseek(FFd, pos, SEEK_SET) == pos;
  }
  std::size_t Read(char* data, std::size_t n) {
    std::size_t total = 0;
    while (total < n) {
      ssize_t r = ::read(FFd, data + total, n - total);
      if (r <= 0) break;
      total += static_cast<std::size_t>(r);
    }
    return total;
  }
  std::size_t Write(const char* data, std::size_t n) {
    ssize_t r = ::write(FFd, data, n);
    return r > 0 ? static_cast<std::size_t>(r) : 0;
  }
  void SetFatDate(std::uint32_t fatDate) {
    std::tm t{};
    unsigned date = fatDate >> 16, time = fatDate & 0xFFFF;
    t.tm_year = static_cast<int>((date >> 9) + 80);
    t.tm_mon = static_cast<int>(((date >> 5) & 15) - 1);
    t.tm_mday = static_cast<int>(date & 31);
    t.tm_hour = static_cast<int>(time >> 11);
    t.tm_min = static_cast<int>((time >> 5) & 63);
    t.tm_sec = static_cast<int>((time & 31) * 2);
    t.tm_isdst = -1;
    std::time_t tt = std::mktime(&t);
    if (tt == static_cast<std::time_t>(-1)) return;
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = tt;
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ::futimens(FFd, ts);
  }
  void Close() {
    if (Ok()) ::close(FFd);
    FFd = -1;
  }

private:
  int FFd = -1;
#endif
};

// Writes all of data in pieces the system accepts; returns the bytes written.
std::size_t WriteAll(TFile& f, const char* data, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    std::size_t piece = n - done;
    if (piece > (1u << 30)) piece = 1u << 30;
    std::size_t w = f.Write(data + done, piece);
    if (w == 0) break;
    done += w;
  }
  return done;
}

#ifdef _WIN32
struct TEntry {
  std::string Name;
  DWORD Attributes;
};

// Entries of a listing (a folder mask such as "C:\x\*.*"), "." and ".."
// excluded.
std::vector<TEntry> List(const std::string& mask) {
  std::vector<TEntry> out;
  WIN32_FIND_DATAA fd;
  TFindHandle h(FindFirstFileA(mask.c_str(), &fd));
  if (!h) return out;
  do {
    std::string n = fd.cFileName;
    if (n != "." && n != "..") out.push_back({n, fd.dwFileAttributes});
  } while (FindNextFileA(h.Get(), &fd));
  return out;
}

std::string FolderText(UINT(WINAPI* get)(LPSTR, UINT), bool add) {
  char buf[261] = {0};
  UINT n = get(buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  return WithBackslash(buf, add);
}

std::string TreeWalk(const std::string& folder, const std::string& name, bool wantDir) {
  std::string base = WithBackslash(folder, true);
  if (!wantDir && FileExists(base + name)) return base + name;
  for (const TEntry& e : List(base + "*.*")) {
    PumpMessages(0);
    if (!(e.Attributes & FILE_ATTRIBUTE_DIRECTORY) || (e.Attributes & FILE_ATTRIBUTE_HIDDEN))
      continue;
    std::string sub = base + e.Name;
    if (wantDir && EndsWithNoCase("\\" + name, sub)) return sub;
    std::string r = TreeWalk(sub, name, wantDir);
    if (!r.empty()) return r;
  }
  return std::string();
}
#endif

}  // namespace

// ---------------------------------------------------------------- paths

std::string WithBackslash(const std::string& path, bool add) {
  std::string r = path;
  if (r.size() > 2 && r.back() == '\\' && !IsLeadByte(r[r.size() - 2])) r.pop_back();
  if (add) r += '\\';
  return r;
}

std::string StripBackslash(const std::string& path) {
  if (path == "\\") return std::string();
  std::string r = path;
  if (r.size() > 1 && r.back() == '\\' && !IsLeadByte(r[r.size() - 2])) r.pop_back();
  return r;
}

std::string CollapseBackslashes(const std::string& path, bool (*isLeadByte)(char)) {
  if (path.size() <= 2) return path;
  // In a delimited list ("|\\srv\a|C:\x|") a doubled backslash right after
  // the delimiter starts a network path and stays.
  const char first = path.front();
  const bool list = first == path.back();
  auto keep = [&](char before) { return isLeadByte(before) || (list && before == first); };
  std::string rest = path.substr(1);
  // Downward, so that a run of backslashes shrinks to one; a pair that ends
  // the text stays.
  for (std::size_t i = rest.size() >= 3 ? rest.size() - 3 : 0; i >= 1; --i)
    if (rest[i] == '\\' && rest[i + 1] == '\\' && !keep(rest[i - 1])) rest.erase(i, 1);
  if (rest.size() >= 2 && rest[0] == '\\' && rest[1] == '\\' && !keep(first)) rest.erase(0, 1);
  return first + rest;
}

std::string NormalizePath(const std::string& path, bool stripTrailing) {
  const std::string r = CollapseBackslashes(path, IsLeadByte);
  return stripTrailing ? StripBackslash(r) : r;
}

std::string FileNameNoExt(const std::string& path, bool allExtensions) {
  std::string name = PathFileName(path);
  std::size_t dot = allExtensions ? name.find('.') : name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string ProgramName(bool noExtension) {
  return noExtension ? FileNameNoExt(ProgramPath(), false) : ProgramPath();
}

std::string ProgramFolder(bool add) {
#ifdef _WIN32
  std::string p = ProgramPath();
  std::size_t s = p.find_last_of('\\');
  return WithBackslash(s == std::string::npos ? std::string() : p.substr(0, s + 1), add);
#else
  std::string p = ProgramPath();
  std::size_t s = p.find_last_of('/');
  std::string f = s == std::string::npos ? std::string() : p.substr(0, s);
  return add ? f + "/" : f;
#endif
}

std::string TempFolder(bool add) {
#ifdef _WIN32
  char buf[261] = {0};
  DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  return WithBackslash(buf, add);
#else
  const char* t = std::getenv("TMPDIR");
  std::string f = t && *t ? t : "/tmp";
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  return add ? f + "/" : f;
#endif
}

#ifdef _WIN32
std::string WindowsFolder(bool add) {
  return FolderText(GetWindowsDirectoryA, add);
}
std::string SystemFolder(bool add) {
  return FolderText(GetSystemDirectoryA, add);
}
#endif

// ---------------------------------------------------------------- files

bool FileExists(const std::string& path) {
#ifdef _WIN32
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
#else
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
#endif
}

bool DirExists(const std::string& path) {
#ifdef _WIN32
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
#else
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

std::int64_t FileSizeByName(const std::string& path) {
#ifdef _WIN32
  WIN32_FIND_DATAA fd;
  const TFindHandle h(FindFirstFileA(path.c_str(), &fd));
  if (!h) return 0;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return (static_cast<std::int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  } while (FindNextFileA(h.Get(), &fd));
  return 0;
#else
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return st.st_size;
#endif
}

std::string ReadFilePart(const std::string& path, std::int64_t maxLength, bool trim,
                         std::int64_t offset) {
  std::string result;
  if (FileExists(path)) {
    TFile f;
    if (f.OpenRead(path)) {
      std::int64_t size = f.Size();
      std::int64_t n = size - offset;
      if (maxLength != 0 && n > maxLength) n = maxLength;
      if (offset >= 0 && offset < size && n > 0 && f.Seek(offset)) {
        result.resize(static_cast<std::size_t>(n));
        std::size_t got = 0;
        while (got < result.size()) {
          std::size_t piece = result.size() - got;
          if (piece > (1u << 30)) piece = 1u << 30;
          std::size_t r = f.Read(&result[got], piece);
          if (r == 0) break;
          got += r;
        }
        if (got < result.size()) result.clear();
      }
    }
  }
  return trim ? Trim(result) : result;
}

std::size_t WriteChunkSize(std::size_t length) {
  std::size_t tenth = length / 10;
  if (tenth <= 1024) return length < 1024 ? length : 1024;
  return tenth > 1048576 ? 1048576 : tenth;
}

namespace {

bool WriteOpened(const std::string& path, TWriteMode mode, const std::string& text,
                 std::uint32_t fileDate, TFileProgress progress, void* context) {
  TFile f;
  if (!f.OpenWrite(path, mode)) return false;
  const std::size_t total = text.size();
  std::size_t done = 0;
  if (progress || total > 1048576) {
    bool cancel = false;
    if (progress) progress(0, 0, static_cast<std::int64_t>(total), 0, 1, cancel, context);
    const std::size_t chunk = WriteChunkSize(total);
    while (done < total && !cancel) {
      std::size_t piece = total - done < chunk ? total - done : chunk;
      std::size_t w = WriteAll(f, text.data() + done, piece);
      done += w;
      if (progress)
        progress(0, 0, static_cast<std::int64_t>(total), static_cast<std::int64_t>(done), 1, cancel,
                 context);
      if (w < piece) break;
    }
  } else if (total > 0) {
    done = WriteAll(f, text.data(), total);
  }
  bool complete = done == total;
  if (complete && fileDate != 0) f.SetFatDate(fileDate);
  return complete;
}

}  // namespace

bool WriteTextFile(const std::string& path, const std::string& text, std::uint32_t fileDate,
                   bool append, TFileProgress progress, void* context) {
  return WriteOpened(path, append ? TWriteMode::Append : TWriteMode::Truncate, text, fileDate,
                     progress, context);
}

bool WriteNewFile(const std::string& path, const std::string& text, std::uint32_t fileDate) {
  return WriteOpened(path, TWriteMode::New, text, fileDate, nullptr, nullptr);
}

bool AppendText(const std::string& path, const std::string& text, bool addLineBreak,
                std::uint32_t fileDate) {
  std::string t = addLineBreak ? text + "\r\n" : text;
  TFile f;
  if (!f.OpenWrite(path, TWriteMode::Append)) return false;
  std::size_t done = t.empty() ? 0 : WriteAll(f, t.data(), t.size());
  if (fileDate != 0) f.SetFatDate(fileDate);
  return done == t.size();
}

// ---------------------------------------------------------------- deletion
//
// Deletion never follows a link: a junction, symbolic link or mount point is
// removed itself, never entered. On Windows every entry is deleted through a
// handle opened on the entry itself, and only when the system's final path of
// that handle is the entry's own place in the folder being emptied: where a
// link is resolved instead of opened (Wine opens what a Unix link leads to),
// the final path lies elsewhere and nothing is touched.

namespace {

#ifdef _WIN32
const DWORD KPathBuf = 2 * MAX_PATH;

// The final path of an open file or folder, without a trailing backslash;
// false when the system cannot tell.
bool FinalPathOf(HANDLE h, char (&buf)[KPathBuf]) {
  DWORD n = GetFinalPathNameByHandleA(h, buf, KPathBuf, 0);
  if (n == 0 || n >= KPathBuf) return false;
  if (buf[n - 1] == '\\') buf[n - 1] = '\0';
  return true;
}

// Opens the entry at path itself (a link as the link) when it is the entry
// `name` directly in the folder whose final path is `parent`: where a link
// is resolved instead, its final path lies elsewhere and nothing is opened.
THandle OpenOwnEntry(const char* parent, const std::string& path, const char* name, DWORD access,
                     DWORD& attributes, char (&final)[KPathBuf]) {
  THandle h(CreateFileA(path.c_str(), access | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                        nullptr));
  const std::size_t n = std::strlen(parent);
  BY_HANDLE_FILE_INFORMATION info;
  if (!h || n == 0 || !FinalPathOf(h.Get(), final) || _strnicmp(final, parent, n) != 0 ||
      final[n] != '\\' || _stricmp(final + n + 1, name) != 0 ||
      !GetFileInformationByHandle(h.Get(), &info))
    return THandle();
  attributes = info.dwFileAttributes;
  return h;
}

bool IsRealFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The final path of the folder that holds path (links on the way followed)
// and path's own name; false for a root or when the folder cannot be read.
bool LocateEntry(const std::string& path, char (&parent)[KPathBuf], const char*& name) {
  const std::size_t s = path.find_last_of("\\/");
  if (s + 1 == path.size()) return false;
  name = path.c_str() + s + 1;
  std::string folder = s == std::string::npos
                           ? std::string(".")
                           : path.substr(0, s == 0 || path[s - 1] == ':' ? s + 1 : s);
  THandle h(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h && FinalPathOf(h.Get(), parent);
}

bool RemoveEntry(const char* parent, const std::string& path, const char* name,
                 bool clearAttributes);

// Removes every entry of the real folder at path (final path `final`) but
// the one named keepName (none when nullptr). Messages are handled after
// every entry; only a subfolder adds a 10 ms wait: a 10 ms wait per file
// made removing a setup's folder of n files take n x 10 ms without making
// the windows any more responsive.
void RemoveContents(const char* final, const std::string& path, bool clearAttributes,
                    const char* keepName) {
  for (const TEntry& e : List(path + "\\*.*")) {
    if (!keepName || _stricmp(e.Name.c_str(), keepName) != 0)
      RemoveEntry(final, path + "\\" + e.Name, e.Name.c_str(), clearAttributes);
    PumpMessages(e.Attributes & FILE_ATTRIBUTE_DIRECTORY ? 10 : 0);
  }
}

// Removes one entry of a folder: a file, a link (itself) or a real folder
// with its contents. True when it was deleted.
bool RemoveEntry(const char* parent, const std::string& path, const char* name,
                 bool clearAttributes) {
  char final[KPathBuf];
  DWORD attributes = 0;
  const DWORD access = DELETE | (clearAttributes ? FILE_WRITE_ATTRIBUTES : 0);
  THandle h = OpenOwnEntry(parent, path, name, access, attributes, final);
  if (h && IsRealFolder(attributes)) {
    // A folder is listed without the delete handle (a listing does not
    // share with it), then opened and checked again.
    h.Reset();
    RemoveContents(final, path, clearAttributes, nullptr);
    h = OpenOwnEntry(parent, path, name, access, attributes, final);
  }
  if (!h) return false;
  if (clearAttributes) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(h.Get(), FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(h.Get(), FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// Removes the entry at path: a file or a link itself, a real folder with
// its contents. With keepName, a real folder stays, emptied but for that
// entry. With onlyFiles, a real folder is left alone. False when nothing
// was removed.
bool ClearEntry(const std::string& path, bool clearAttributes, const std::string& keepName,
                bool onlyFiles = false) {
  char parent[KPathBuf], final[KPathBuf];
  const char* name = nullptr;
  DWORD attributes = 0;
  if (!LocateEntry(path, parent, name)) return false;
  if (onlyFiles || !keepName.empty()) {
    if (!OpenOwnEntry(parent, path, name, 0, attributes, final)) return false;
    if (IsRealFolder(attributes)) {
      if (!onlyFiles) RemoveContents(final, path, clearAttributes, keepName.c_str());
      return false;
    }
  }
  return RemoveEntry(parent, path, name, clearAttributes);
}

// True when path is a real folder (not a link) that holds nothing but an
// entry named keepName.
bool IsRealFolderHolding(const std::string& path, const std::string& keepName) {
  char parent[KPathBuf], final[KPathBuf];
  const char* name = nullptr;
  DWORD attributes = 0;
  if (!LocateEntry(path, parent, name) || !OpenOwnEntry(parent, path, name, 0, attributes, final) ||
      !IsRealFolder(attributes))
    return false;
  for (const TEntry& e : List(path + "\\*.*"))
    if (_stricmp(e.Name.c_str(), keepName.c_str()) != 0) return false;
  return true;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}
#else
bool IsRealDir(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  return names;
}

bool RemoveEntry(const std::string& path);

void RemoveContents(const std::string& path, const std::string& keepName) {
  for (const std::string& n : Names(path)) {
    const bool folder = DirExists(path + "/" + n);
    if (n != keepName) RemoveEntry(path + "/" + n);
    PumpMessages(folder ? 10 : 0);
  }
}

// A link is unlinked itself; a real folder is emptied first.
bool RemoveEntry(const std::string& path) {
  if (!IsRealDir(path)) return ::unlink(path.c_str()) == 0;
  RemoveContents(path, std::string());
  return ::rmdir(path.c_str()) == 0;
}

bool IsRealFolderHolding(const std::string& path, const std::string& keepName) {
  if (!IsRealDir(path)) return false;
  for (const std::string& n : Names(path))
    if (n != keepName) return false;
  return true;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0;
}

bool ClearEntry(const std::string& path, bool, const std::string& keepName,
                bool onlyFiles = false) {
  if (!IsRealDir(path)) return ::unlink(path.c_str()) == 0;
  if (!onlyFiles) {
    if (keepName.empty()) return RemoveEntry(path);
    RemoveContents(path, keepName);
  }
  return false;
}
#endif

// Strips the trailing separators of a folder path (not from a root).
std::string FolderPath(const std::string& folder) {
  std::string p = folder;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/') && !(p.size() == 3 && p[1] == ':'))
    p.pop_back();
  return p;
}

}  // namespace

bool PathPresent(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
#endif
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
#ifdef _WIN32
  std::size_t s = mask.find_last_of("\\/:");
  std::string folder = s == std::string::npos ? std::string() : mask.substr(0, s + 1);
  bool any = false;
  for (const TEntry& e : List(mask)) {
    if (e.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    any = true;
    ClearEntry(folder + e.Name, clearAttributes, std::string(), true);
  }
  return any;
#else
  std::size_t s = mask.find_last_of('/');
  std::string folder = s == std::string::npos ? std::string(".") : mask.substr(0, s);
  std::string pattern = s == std::string::npos ? mask : mask.substr(s + 1);
  if (pattern == "*.*") pattern = "*";
  std::vector<std::string> names;
  for (const std::string& n : Names(folder.empty() ? "/" : folder))
    if (::fnmatch(pattern.c_str(), n.c_str(), 0) == 0 && FileExists(folder + "/" + n))
      names.push_back(n);
  for (const std::string& n : names) ::unlink((folder + "/" + n).c_str());
  return !names.empty();
#endif
}

bool DeleteFileItself(const std::string& path) {
  return ClearEntry(path, false, std::string(), true);
}

bool DeleteTree(const std::string& folder, bool clearAttributes) {
  if (!DirExists(folder)) return false;
  const std::string self = FolderPath(folder);
  ClearEntry(self, clearAttributes, std::string());
  return !PathPresent(self);
}

bool RecreateFolder(const std::string& folder, const std::string& keepName) {
  const std::string self = FolderPath(folder);
  if (PathPresent(self)) {
    ClearEntry(self, true, keepName);
    if (PathPresent(self)) {
      if (!keepName.empty() && IsRealFolderHolding(self, keepName)) return true;
#ifdef _WIN32
      SetLastError(ERROR_ALREADY_EXISTS);
#endif
      return false;
    }
  }
  // Missing parents first (failures show in the last step).
  for (std::size_t i = self.find_first_of("\\/", 1); i != std::string::npos;
       i = self.find_first_of("\\/", i + 1))
    if (i > 0 && self[i - 1] != ':' && self[i - 1] != '\\') MakeFolder(self.substr(0, i));
  return MakeFolder(self);
}

// ---------------------------------------------------------------- disk

std::string RootForFreeSpace(const std::string& path, bool driveOnly) {
  if (path.empty()) return std::string();
  std::string p = ReplaceChar(path, '/', '\\');
  if (driveOnly || p.size() < 3)
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])))) +
           ":\\";
  std::size_t s = p.find('\\', 3);
  return s == std::string::npos ? p : p.substr(0, s);
}

// ---------------------------------------------------------------- self-deletion

std::string SelfDeleteScript(const std::string& exe, const std::string& dir, const std::string& bat,
                             bool removeFolder) {
  std::string s = ":START\r\n";
  s += "DEL \"" + exe + "\"\r\n";
  s += "IF exist \"" + exe + "\" GOTO START\r\n";
  if (removeFolder) s += "RD \"" + dir + "\"\r\n";
  s += "DEL \"" + bat + "\"\r\n";
  return s;
}

#ifdef _WIN32
std::string FindFileInTree(const std::string& folder, const std::string& name) {
  return TreeWalk(folder, name, false);
}

std::string FindDirInTree(const std::string& folder, const std::string& name) {
  return TreeWalk(folder, name, true);
}

namespace {
std::string ScanDrives(const std::string& name, int driveType, bool wantDir) {
  if (driveType < 0) return std::string();
  for (char l = 'C'; l <= 'Z'; ++l) {
    std::string root = std::string(1, l) + ":\\";
    if (GetDriveTypeA(root.c_str()) != static_cast<UINT>(driveType)) continue;
    std::string r = TreeWalk(root, name, wantDir);
    if (!r.empty()) return r;
  }
  return std::string();
}
}  // namespace

std::string FindFileOnDrives(const std::string& name, int driveType) {
  return ScanDrives(name, driveType, false);
}

std::string FindDir(const std::string& name, int driveType) {
  if (name.size() >= 3 && name.compare(1, 2, ":\\") == 0) {
    std::string root = name.substr(0, 3);
    if (driveType >= 0 && GetDriveTypeA(root.c_str()) == static_cast<UINT>(driveType) &&
        DirExists(name))
      return name;
    return std::string();
  }
  return ScanDrives(name, driveType, true);
}

double DiskFree(const std::string& path) {
  using TFreeEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  static int available = -1;  // undecided
  static TFreeEx freeEx = nullptr;
  if (available < 0) {
    // kernel32 is always loaded: look it up without a library search.
    HMODULE k = GetModuleHandleA("kernel32.dll");
    freeEx = k ? reinterpret_cast<TFreeEx>(
                     reinterpret_cast<void*>(GetProcAddress(k, "GetDiskFreeSpaceExA")))
               : nullptr;
    available = freeEx ? 1 : 0;
  }
  if (available == 1) {
    ULARGE_INTEGER avail, total, freeBytes;
    std::string root = RootForFreeSpace(path, false);
    if (freeEx(root.c_str(), &avail, &total, &freeBytes))
      return static_cast<double>(avail.QuadPart);
    root = RootForFreeSpace(path, true);
    if (freeEx(root.c_str(), &avail, &total, &freeBytes))
      return static_cast<double>(avail.QuadPart);
    return -1;
  }
  DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
  std::string root = RootForFreeSpace(path, true);
  if (!GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &freeClusters, &clusters)) return -1;
  return static_cast<double>(static_cast<DWORD>(spc * bps)) * freeClusters;
}

bool DeleteMySelf(bool removeFolder) {
  const std::string bat = TempFolder(true) + "_DEL_ME_.BAT";
  const std::string exe = ProgramPath();
  const std::string dir = ProgramFolder(false);
  DebugLine("[", "ExeName", "]  [", exe, "]");
  SetCurrentDirectoryA(TempFolder(false).c_str());
  if (!WriteTextFile(bat, SelfDeleteScript(exe, dir, bat, removeFolder), 0, false)) return false;
  std::string cmd = "\"" + bat + "\"";
  return WinExec(cmd.c_str(), SW_HIDE) > 31;
}

bool EjectCD(const std::string& path) {
  if (path.empty()) return false;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  if (letter < 'A' || letter > 'Z') return false;
  std::string root = std::string(1, letter) + ":\\";
  if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;
  std::string device = std::string("\\\\.\\") + letter + ":";
  THandle h(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  DebugLine("EjectCD-2: ", device, " ", static_cast<long long>(reinterpret_cast<INT_PTR>(h.Get())));
  if (!h) {
    h.Reset(CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
    DebugLine("EjectCD-3: ", device, " ",
              static_cast<long long>(reinterpret_cast<INT_PTR>(h.Get())));
  }
  if (!h) return false;
  DWORD bytes = 0;
  return DeviceIoControl(h.Get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &bytes,
                         nullptr) != 0;
}

namespace {
unsigned GAutoPlayMessageId = 0;
}

void SetAutoPlaySuppression(bool on) {
  GAutoPlayMessageId = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

unsigned GetAutoPlayMessageId() {
  return GAutoPlayMessageId;
}
#endif
