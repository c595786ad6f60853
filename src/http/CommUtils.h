// Text side of the HTTP download client: the progress and transfer-rate text
// of one download (TBytesRate), the test for a server's HTML error page and
// its message, and the names a download works with (the address actually
// opened, the temporary file, the chunk size).
//
// Portable (no windows.h): the WinINet side lives in InetHTTP.
#pragma once

#include <cstdint>
#include <string>

// ---------------------------------------------------------------- rate

// The progress and rate text of one transfer. The rate averages the last four
// chunks and changes at most twice a second; it stays empty for the first
// four chunks.
class TBytesRate {
public:
  TBytesRate(bool showInKB, bool showInMB);  // Create; already reset

  void Reset();
  // "done/total MB" (one decimal, thousands grouped) when showing MB, else
  // "done/total KB", else "done/total BytesArr"; followed by
  // "   -   <rate> KB/Sec" once a rate is known. `nowTick`: a millisecond
  // tick count.
  std::string ProgressText(int64_t total, int64_t done, int32_t chunkBytes, uint32_t nowTick);
  // Takes the sample of one chunk and returns the current rate text
  // (KB per second with two decimals, or empty).
  std::string RateText(int32_t chunkBytes, uint32_t nowTick);

  // Moves a five-entry window one place (oldest out) and stores value last.
  // Mode 0: value minus the oldest remaining entry; mode 1: the sum of the
  // four newest entries.
  static int32_t PushSample(int32_t (&window)[5], int32_t value, int mode);

private:
  int32_t FTicks[5];
  int32_t FBytes[5];
  bool FShowInKB;
  bool FShowInMB;
  std::string FRate;
  uint32_t FLastRateUpdate;
};

// ---------------------------------------------------------------- error pages

// True when the text is a server's HTML error page: a title holding "404", or
// the tags <HTML>, <HEAD>, <TITLE> and </TITLE> in that order, within the
// first 1,000 characters. With an existing file, its first 1,000 bytes are
// examined instead of `content`.
bool IsHtmlErrorPage(const std::string& fileName, const std::string& content);
// The 404 message (mark-up) for an error page, else `previous`.
std::string HtmlErrorMessage(const std::string& fileName, const std::string& content,
                             const std::string& url, const std::string& previous);

// ---------------------------------------------------------------- download names

// Announced size when the server sends no Content-Length.
const uint32_t KNoContentLength = 0xFFFFFFFFu;

// The address opened without a user name: "http://" is put in front unless
// the URL already holds "http://" anywhere or begins with "https://" (any
// case).
std::string UrlToOpen(const std::string& url);
// Parts of an explicit connection (with a user name): every "http://" is
// removed, or a leading "https://" (secure); the host is the text before the
// first "/", the object is "/" and the text after it.
void SplitExplicitUrl(const std::string& url, std::string& host, std::string& object, bool& secure);
// The last path element of a URL ("/" and "\" both separate).
std::string UrlDisplayName(const std::string& url);
// Bytes per read: a tenth of the announced size, 1 to 8,192.
uint32_t DownloadChunkSize(uint32_t announcedSize);
// The temporary name: destination, ".", and (size + last-modified stamp) as an
// unsigned 32-bit decimal.
std::string DownloadTempName(const std::string& destination, uint32_t announcedSize,
                             uint32_t lastModified);
// True when `name` (a file name without folder) is a temporary file an
// earlier download of `destination` left: its file name, ".", and digits only.
bool IsDownloadLeftover(const std::string& destination, const std::string& name);
