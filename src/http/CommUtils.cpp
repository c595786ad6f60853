#include "http/CommUtils.h"

#include <cstring>

#include "support/Files.h"
#include "text/Common.h"

namespace {

const size_t KErrorPageProbe = 1000;  // characters of a page that are examined

bool IsHttpsUrl(const std::string& url) {
  return SameText(url.substr(0, 8), "https://");
}

bool InOrder(size_t a, size_t b, size_t c) {
  return 0 < a && a < b && b < c;
}

}  // namespace

// ---------------------------------------------------------------- rate

TBytesRate::TBytesRate(bool showInKB, bool showInMB) : FShowInKB(showInKB), FShowInMB(showInMB) {
  Reset();
}

void TBytesRate::Reset() {
  std::memset(FTicks, 0, sizeof FTicks);
  std::memset(FBytes, 0, sizeof FBytes);
  FRate.clear();
  FLastRateUpdate = 0;
}

int32_t TBytesRate::PushSample(int32_t (&window)[5], int32_t value, int mode) {
  std::memmove(&window[0], &window[1], 4 * sizeof window[0]);
  window[4] = value;
  if (mode == 0) return static_cast<int32_t>(static_cast<uint32_t>(value) - window[0]);
  return window[1] + window[2] + window[3] + window[4];
}

std::string TBytesRate::RateText(int32_t chunkBytes, uint32_t nowTick) {
  int32_t elapsed = PushSample(FTicks, static_cast<int32_t>(nowTick), 0);
  int32_t bytes = PushSample(FBytes, chunkBytes, 1);
  if (FTicks[0] != 0 && elapsed != 0 && nowTick - FLastRateUpdate > 500) {
    FLastRateUpdate = nowTick;
    FRate = FloatText(bytes / (elapsed / 1000.0) / 1024.0, 2);
  }
  return FRate;
}

std::string TBytesRate::ProgressText(int64_t total, int64_t done, int32_t chunkBytes,
                                     uint32_t nowTick) {
  std::string text;
  if (FShowInMB)
    text = MBText(done, 1, true) + "/" + MBText(total, 1, true) + " MB";
  else if (FShowInKB)
    text = KBText(done, 1, true) + "/" + KBText(total, 1, true) + " KB";
  else
    text = IntToStr(done) + "/" + IntToStr(total) + " BytesArr";
  std::string rate = RateText(chunkBytes, nowTick);
  return rate.empty() ? text : text + "   -   " + rate + " KB/Sec";
}

// ---------------------------------------------------------------- error pages

bool IsHtmlErrorPage(const std::string& fileName, const std::string& content) {
  std::string text = content;
  if (!fileName.empty() && FileExists(fileName))
    text = ReadFilePart(fileName, KErrorPageProbe, false, 0);
  if (text.size() > KErrorPageProbe) text.resize(KErrorPageProbe);
  size_t closeTitle = PosNoCase("</TITLE>", text);
  if (InOrder(PosNoCase("<TITLE", text), PosNoCase("404", text), closeTitle)) return true;
  return InOrder(PosNoCase("<HTML>", text), PosNoCase("<HEAD>", text),
                 PosNoCase("<TITLE>", text)) &&
         PosNoCase("<TITLE>", text) < closeTitle;
}

std::string HtmlErrorMessage(const std::string& fileName, const std::string& content,
                             const std::string& url, const std::string& previous) {
  if (!IsHtmlErrorPage(fileName, content)) return previous;
  return "<B>404 File Not Found...</B><P><P>URL:  " + url +
         ".<P><P>Please make sure the file is available and access is allowed to this file.";
}

// ---------------------------------------------------------------- download names

std::string UrlToOpen(const std::string& url) {
  // An address that names HTTPS already must stay as it is: "http://" in
  // front of it made every HTTPS download fail.
  if (IsHttpsUrl(url) || PosNoCase("http://", url) != 0) return url;
  return "http://" + url;
}

void SplitExplicitUrl(const std::string& url, std::string& host, std::string& object,
                      bool& secure) {
  secure = IsHttpsUrl(url);
  std::string rest = secure ? url.substr(8) : ReplaceAllNoCase(url, "http://", "");
  size_t slash = rest.find('/');
  host = slash == std::string::npos ? std::string() : rest.substr(0, slash);
  object = "/" + (slash == std::string::npos ? std::string() : rest.substr(slash + 1));
}

std::string UrlDisplayName(const std::string& url) {
  size_t p = url.find_last_of("/\\");
  return p == std::string::npos ? url : url.substr(p + 1);
}

uint32_t DownloadChunkSize(uint32_t announcedSize) {
  uint32_t chunk = announcedSize / 10;
  if (chunk < 1) return 1;
  return chunk > 8192 ? 8192 : chunk;
}

std::string DownloadTempName(const std::string& destination, uint32_t announcedSize,
                             uint32_t lastModified) {
  return destination + "." + UIntToStr(static_cast<uint32_t>(announcedSize + lastModified));
}

bool IsDownloadLeftover(const std::string& destination, const std::string& name) {
  std::string base = UrlDisplayName(destination) + ".";
  if (name.size() <= base.size() || name.size() > base.size() + 10) return false;
  if (!SameText(name.substr(0, base.size()), base)) return false;
  return name.find_first_not_of("0123456789", base.size()) == std::string::npos;
}
