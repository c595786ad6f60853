// WinINet side of the HTTP download client.
#include "http/InetHTTP.h"

#include <wininet.h>

#include <atomic>
#include <cstring>

#include "http/CommUtils.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "support/Win64.h"
#include "text/Common.h"
#include "ui/KProgBar.h"

namespace {

// Set by the main window's thread, possibly while another thread downloads.
std::atomic<bool> GAbort{false};

const char* const KAgentPrime = "HTTP_Connect_2";  // priming and size query
const char* const KAgentDownload = "HTTP_Connect_3";
const DWORD KTimeoutMs = 180000;
const DWORD KReadBuffer = 8192;
const uint32_t KShowKBAbove = 102400;
const uint32_t KShowMBAbove = 10485760;

// ---------------------------------------------------------------- binding

// Every WinINet function is bound at run time from the system folder's
// wininet.dll: a wininet.dll planted beside a setup in a Downloads folder was
// loaded in its place when the library came through the import table.
enum TWinINetProc {
  KGetConnectedState,
  KCloseHandle,
  KOpen,
  KOpenUrl,
  KQueryInfo,
  KReadFile,
  KConnect,
  KOpenRequest,
  KSendRequest,
  KSetOption,
  KGetLastResponseInfo,
  KProcCount
};
const char* const GProcNames[KProcCount] = {"InternetGetConnectedState",
                                            "InternetCloseHandle",
                                            "InternetOpenA",
                                            "InternetOpenUrlA",
                                            "HttpQueryInfoA",
                                            "InternetReadFile",
                                            "InternetConnectA",
                                            "HttpOpenRequestA",
                                            "HttpSendRequestA",
                                            "InternetSetOptionA",
                                            "InternetGetLastResponseInfoA"};

TLibrary GWinINet;
FARPROC GProcs[KProcCount] = {};

FARPROC BindWinINetProc(TWinINetProc proc) {
  if (!GWinINet) GWinINet.Reset(LoadSystemLibrary("wininet.dll"));
  if (!GWinINet) return nullptr;
  if (!GProcs[proc]) GProcs[proc] = GetProcAddress(GWinINet.Get(), GProcNames[proc]);
  return GProcs[proc];
}

template <typename Fn>
Fn Bound(TWinINetProc proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(BindWinINetProc(proc)));
}

HINTERNET OpenSession(const char* agent) {
  auto open = Bound<decltype(&InternetOpenA)>(KOpen);
  return open ? open(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0) : nullptr;
}

HINTERNET OpenUrlDirect(HINTERNET session, const std::string& url, DWORD flags) {
  auto open = Bound<decltype(&InternetOpenUrlA)>(KOpenUrl);
  return open ? open(session, UrlToOpen(url).c_str(), nullptr, 0, flags, 0) : nullptr;
}

// ---------------------------------------------------------------- steps

void HTTP_PrimeUrl(const std::string& url) {
  TInternetHandle session(OpenSession(KAgentPrime));
  if (session) TInternetHandle request(OpenUrlDirect(session.Get(), url, 0));
}

// Opens the request of a download. With a user name the connection it runs on
// goes to `connection`, which must outlive the request.
using TUrlOpener = HINTERNET (*)(HINTERNET session, const std::string& url,
                                 const std::string& userName, const std::string& password,
                                 TInternetHandle& connection);

HINTERNET HTTP_OpenUrlPlain(HINTERNET session, const std::string& url, const std::string&,
                            const std::string&, TInternetHandle&) {
  return OpenUrlDirect(session, url, INTERNET_FLAG_RELOAD);
}

HINTERNET HTTP_OpenUrl(HINTERNET session, const std::string& url, const std::string& userName,
                       const std::string& password, TInternetHandle& connection) {
  if (userName.empty()) return HTTP_OpenUrlPlain(session, url, userName, password, connection);
  auto connect = Bound<decltype(&InternetConnectA)>(KConnect);
  auto openRequest = Bound<decltype(&HttpOpenRequestA)>(KOpenRequest);
  auto send = Bound<decltype(&HttpSendRequestA)>(KSendRequest);
  if (!connect || !openRequest || !send) return nullptr;
  std::string host, object;
  bool secure = false;
  SplitExplicitUrl(url, host, object, secure);
  connection.Reset(connect(session, host.c_str(),
                           secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT,
                           userName.c_str(), password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return nullptr;
  DWORD flags = INTERNET_FLAG_RELOAD | (secure ? INTERNET_FLAG_SECURE : 0);
  TInternetHandle request(
      openRequest(connection.Get(), "GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request || !send(request.Get(), nullptr, 0, nullptr, 0)) return nullptr;
  return request.Release();
}

void HTTP_SetTimeouts(HINTERNET session, DWORD ms) {
  auto set = Bound<decltype(&InternetSetOptionA)>(KSetOption);
  if (!set) return;
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT,  INTERNET_OPTION_RECEIVE_TIMEOUT,
                           INTERNET_OPTION_SEND_TIMEOUT,     INTERNET_OPTION_RECEIVE_TIMEOUT,
                           INTERNET_OPTION_SEND_TIMEOUT,     INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                           INTERNET_OPTION_DATA_SEND_TIMEOUT};
  for (DWORD option : options) set(session, option, &ms, sizeof ms);
}

// A numeric header of the response; the buffer starts as `fallback`, which
// stays when the server sent none.
DWORD HTTP_QueryNumber(HINTERNET request, DWORD info, DWORD fallback) {
  auto query = Bound<decltype(&HttpQueryInfoA)>(KQueryInfo);
  DWORD value = fallback, length = sizeof value, index = 0;
  if (query) query(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index);
  return value;
}

// The announced size; KNoContentLength when the server sends none.
uint32_t HTTP_GetContentLength(HINTERNET request) {
  return HTTP_QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, KNoContentLength);
}

// The response's status code; 0 when it cannot be read.
DWORD HTTP_GetStatus(HINTERNET request) {
  return HTTP_QueryNumber(request, HTTP_QUERY_STATUS_CODE, 0);
}

// A 404, 403 or 500 carries a body too, often one that is no classic error
// page: only a 2xx answer is the file asked for.
bool IsSuccessStatus(DWORD status) {
  return status >= 200 && status < 300;
}

// Last-Modified as a packed file date-time (date high, time low), 0 when
// missing or before 1980.
uint32_t HTTP_GetLastModified(HINTERNET request) {
  auto query = Bound<decltype(&HttpQueryInfoA)>(KQueryInfo);
  SYSTEMTIME t = {};
  DWORD length = sizeof t, index = 0;
  if (!query ||
      !query(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &t, &length, &index))
    return 0;
  if (t.wYear < 1980 || t.wYear > 2107 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) return 0;
  return static_cast<uint32_t>(t.wYear - 1980) << 25 | static_cast<uint32_t>(t.wMonth) << 21 |
         static_cast<uint32_t>(t.wDay) << 16 | static_cast<uint32_t>(t.wHour) << 11 |
         static_cast<uint32_t>(t.wMinute) << 5 | t.wSecond / 2;
}

std::string HTTP_LastResponseText() {
  auto info = Bound<decltype(&InternetGetLastResponseInfoA)>(KGetLastResponseInfo);
  char text[1024] = {0};
  DWORD code = 0, length = sizeof text;
  if (!info || !info(&code, text, &length)) return std::string();
  return Trim(std::string(text, strnlen(text, sizeof text)));
}

bool ReadChunk(HINTERNET request, char* buffer, DWORD count, DWORD& got) {
  auto read = Bound<decltype(&InternetReadFile)>(KReadFile);
  got = 0;
  if (read && read(request, buffer, count, &got)) return true;
  got = 0;
  return false;
}

bool WriteAll(HANDLE file, const char* data, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, data, count, &written, nullptr) && written == count;
}

// Removes what earlier downloads of this destination left: only the names
// "<destination>.<digits>", never other files that merely begin alike.
void RemoveDownloadLeftovers(const std::string& destination) {
  size_t slash = destination.find_last_of("\\/");
  std::string folder =
      slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
  WIN32_FIND_DATAA found;
  TFindHandle find(FindFirstFileA((destination + ".*").c_str(), &found));
  if (!find) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (IsDownloadLeftover(destination, found.cFileName))
      DeleteFileA((folder + found.cFileName).c_str());
  } while (FindNextFileA(find.Get(), &found));
}

std::string ReadErrorText(const std::string& name, const std::string& detail) {
  std::string error = name + " --- Error downloading file";
  return detail.empty() ? error : error + " (" + detail + ")";
}

// Steps 5 to 12 of a download on an open request: reads the body chunk by
// chunk into the temporary file or the content, then puts the file in place
// when it arrived whole.
void TransferBody(HINTERNET request, HWND window, const std::string& url, const std::string& name,
                  const std::string& destination, std::string& error, TProgBar* bar,
                  std::string& content) {
  const uint32_t size = HTTP_GetContentLength(request);
  const uint32_t stamp = HTTP_GetLastModified(request);
  const DWORD status = HTTP_GetStatus(request);
  if (size == 0) {
    error = url + " --- File Not Found !";
    return;
  }
  if (reinterpret_cast<UINT_PTR>(window) > 10) ShowWindow(window, SW_SHOW);

  std::string tempName;
  THandle out;
  // The body of a failed status is read into the content, bounded like any
  // text, so the caller can tell an error page; it never comes near the
  // destination or its temporary name.
  if (!destination.empty() && IsSuccessStatus(status)) {
    tempName = DownloadTempName(destination, size, stamp);
    RemoveDownloadLeftovers(destination);
    // CREATE_NEW: a name planted after the clean-up (a link into another
    // folder) is never written through.
    out.Reset(CreateFileA(tempName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
      error = ReadErrorText(name, LastErrorText());
      return;
    }
  }

  const uint32_t chunk = DownloadChunkSize(size);
  if (bar) {
    bar->SetRange(1, static_cast<int64_t>((static_cast<uint64_t>(size) + chunk - 1) / chunk) + 1);
    bar->SetCaption(name);
  }
  TBytesRate rate(size > KShowKBAbove, size > KShowMBAbove);
  char buffer[KReadBuffer];
  uint64_t done = 0;
  DWORD got = 0;
  do {
    WaitPumping(0, 2);
    std::memset(buffer, 0, sizeof buffer);
    bool ok = ReadChunk(request, buffer, chunk, got);
    if (ok) {
      done += got;
      if (out && !WriteAll(out.Get(), buffer, got)) {
        error = ReadErrorText(name, LastErrorText());
        got = 0;
      } else if (!out && content.size() + got > KMaxContentBytes) {
        // Text downloads are small; a server that sends more is not
        // allowed to fill the memory.
        error = ReadErrorText(name, "more than " + UIntToStr(KMaxContentBytes) + " bytes");
        got = 0;
      } else if (!out) {
        content.append(buffer, got);
      }
    } else {
      std::string detail = LastErrorText();
      if (detail.empty()) detail = HTTP_LastResponseText();
      error = ReadErrorText(name, detail);
    }
    std::string text = rate.ProgressText(size, static_cast<int64_t>(done),
                                         static_cast<int32_t>(got), GetTickCount());
    if (ok && got > 0 && bar) bar->StepText(text);
  } while (got > 0 && !HTTP_IsAborted() && !(bar && bar->Cancelled()));

  const bool cancelled = bar && bar->Cancelled();
  if (HTTP_IsAborted())
    error = "Download Aborted";
  else if (error.empty() && !IsSuccessStatus(status))
    error = ReadErrorText(name, "HTTP " + UIntToStr(status));
  // A body cut short with its length announced is an error, not a silent
  // success: the caller would otherwise take an older destination for it.
  if (error.empty() && !cancelled && size != KNoContentLength && done < size)
    error = ReadErrorText(name, UIntToStr(done) + " of " + UIntToStr(size) + " bytes received");
  if (!out) return;
  out.Reset();
  // Only a whole body replaces the destination, in one step: the old file
  // stays until the new one takes its place.
  if (error.empty() && FileSizeByName(tempName) == static_cast<int64_t>(size) &&
      !MoveFileExA(tempName.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING))
    error = ReadErrorText(name, LastErrorText());
}

// The download; `open` is HTTP_OpenUrl, or HTTP_OpenUrlPlain for callers that
// never pass a user name (the stub then carries no explicit-connection code).
void Download(HWND window, const std::string& url, const std::string& destination,
              std::string& error, TProgBar* bar, std::string& content, TUrlOpener open,
              const std::string& password, const std::string& userName) {
  error.clear();
  content.clear();
  HTTP_PrimeUrl(url);
  {
    TInternetHandle session(OpenSession(KAgentDownload));
    if (!session) {
      error = "Unable to initialize \"WinINet.dll\"";
    } else {
      HTTP_SetTimeouts(session.Get(), KTimeoutMs);
      TInternetHandle connection;
      TInternetHandle request(open(session.Get(), url, userName, password, connection));
      if (!request)
        error = "Unable to open Internet Connection: " + url;
      else
        TransferBody(request.Get(), window, url, UrlDisplayName(url), destination, error, bar,
                     content);
    }
  }
  if (!error.empty())
    DebugLine(static_cast<unsigned long>(GetCurrentProcessId()),
              " HTTP_DownloadFile_Incremental: ", error);
}

}  // namespace

BOOL WINAPI KorvixCloseInternetHandle(void* handle) {
  auto close = Bound<decltype(&InternetCloseHandle)>(KCloseHandle);
  return close ? close(handle) : FALSE;
}

bool HTTP_CheckConnection(std::string& message) {
  message.clear();
  auto connected = Bound<decltype(&InternetGetConnectedState)>(KGetConnectedState);
  DWORD flags = 0;
  if (connected && connected(&flags, 0)) return true;
  message = LastErrorText();
  return false;
}

bool HTTP_IsConnected() {
  std::string message;
  return HTTP_CheckConnection(message);
}

int32_t HTTP_GetFileSize(const std::string& url) {
  HTTP_PrimeUrl(url);
  TInternetHandle session(OpenSession(KAgentPrime));
  if (!session) return -1;
  int32_t size = -1;
  TInternetHandle request(OpenUrlDirect(session.Get(), url, 0));
  if (request && IsSuccessStatus(HTTP_GetStatus(request.Get()))) {
    size = static_cast<int32_t>(HTTP_GetContentLength(request.Get()));
    DebugLine("HTTP_GetFileSize=", static_cast<long>(size), "  ", url);
  }
  return size;
}

void HTTP_DownloadFile_Incremental(HWND window, const std::string& url,
                                   const std::string& destination, std::string& error,
                                   TProgBar* bar, std::string& content, const std::string& password,
                                   const std::string& userName) {
  Download(window, url, destination, error, bar, content, HTTP_OpenUrl, password, userName);
}

void HTTP_DownloadFile(HWND window, const std::string& url, const std::string& destination,
                       std::string& error, TProgBar* bar, std::string& content) {
  std::string none;
  Download(window, url, destination, error, bar, content, HTTP_OpenUrlPlain, none, none);
}

void HTTP_SetAbort(bool abort) {
  GAbort = abort;
}

bool HTTP_IsAborted() {
  return GAbort;
}

void HTTP_UnloadWinINet() {
  GWinINet.Reset();
  // The addresses pointed into the freed library; a later call binds anew
  // instead of jumping into unmapped memory.
  std::memset(GProcs, 0, sizeof GProcs);
}
