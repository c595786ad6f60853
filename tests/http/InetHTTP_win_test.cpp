// Downloads under Wine from the local servers that tests/http/servers.py starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "http/CommUtils.h"
#include "http/InetHTTP.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "ui/KProgBar.h"

namespace {

std::string Env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}
const std::string KFiles = Env("KORVIX_HTTP_FILES"), KOdd = Env("KORVIX_HTTP_ODD");

// The body the servers send: byte i is (i * 7) & 0xFF.
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7) & 0xFF);
  return s;
}

struct TResult {
  std::string Error, Content;
};
TResult Download(const std::string& url, const std::string& destination, TProgBar* bar = nullptr) {
  TResult r;
  HTTP_SetAbort(false);
  HTTP_DownloadFile(nullptr, url, destination, r.Error, bar, r.Content);
  return r;
}

class Http : public ::testing::Test {
protected:
  void SetUp() override {
    if (KFiles.empty()) GTEST_SKIP() << "run through tests/http/servers.py";
    DeleteTree(FDir, true);
    CreateDirectoryA(FDir.c_str(), nullptr);
  }
  void TearDown() override { DeleteTree(FDir, true); }
  std::string Dest(const std::string& name) { return FDir + "\\" + name; }
  std::string Read(const std::string& name) { return ReadFilePart(Dest(name), 0, false, 0); }

  std::string FDir = TempFolder(true) + "korvix_http";
};

TProgBar* GCancelling = nullptr;
int GCancelSteps = 0;
void CancelAfterThreeSteps(int kind, int, int64_t, int64_t, int, const std::string&) {
  if (kind == 1 && ++GCancelSteps == 3) GCancelling->Cancel();
}
}  // namespace

TEST_F(Http, AWholeBodyArrivesIntoAFileOrTextAndACancelledOneLeavesTheFile) {
  const std::string url = KFiles + "/fifty.bin";
  EXPECT_EQ(HTTP_GetFileSize(url), 50);
  EXPECT_EQ(Download(url, "").Content, Pattern(50));

  // Cancelled through the progress bar: no error, the old file stays.
  AppendText(Dest("fifty.bin"), "old", false);
  TProgBar bar(CancelAfterThreeSteps);
  GCancelling = &bar;
  EXPECT_EQ(Download(url, Dest("fifty.bin"), &bar).Error, "");
  EXPECT_EQ(Read("fifty.bin"), "old");
  EXPECT_EQ(Download(url, Dest("fifty.bin")).Error, "");
  EXPECT_EQ(Read("fifty.bin"), Pattern(50));
}

TEST_F(Http, BodiesThatDoNotArriveWholeNeverReplaceTheDestination) {
  // No Content-Length: read to the end, kept under the temporary name.
  AppendText(Dest("Setup.exe"), "old", false);
  EXPECT_EQ(Download(KOdd + "/nolength/3000", Dest("Setup.exe")).Error, "");
  EXPECT_EQ(Read("Setup.exe"), "old");
  EXPECT_EQ(Read("Setup.exe.4294967295"), Pattern(3000));

  // Cut short: an error, the bytes so far under the temporary name.
  TResult r = Download(KOdd + "/cut/1000", Dest("Setup.exe"));
  EXPECT_EQ(r.Error, "1000 --- Error downloading file (500 of 1000 bytes received)");
  EXPECT_EQ(Read("Setup.exe"), "old");
  EXPECT_EQ(Read("Setup.exe.1000"), Pattern(500));

  // The next download of the destination removes both leftovers.
  EXPECT_EQ(Download(KFiles + "/fifty.bin", Dest("Setup.exe")).Error, "");
  EXPECT_EQ(Read("Setup.exe"), Pattern(50));
  EXPECT_FALSE(FileExists(Dest("Setup.exe.1000")));
  EXPECT_FALSE(FileExists(Dest("Setup.exe.4294967295")));
}

TEST_F(Http, EmptyBodiesAndFailedStatusesAreErrorsThatLeaveNoFile) {
  std::string url = KOdd + "/empty";
  EXPECT_EQ(Download(url, Dest("empty.bin")).Error, url + " --- File Not Found !");
  EXPECT_FALSE(FileExists(Dest("empty.bin")));

  // A 404 is an error whatever its body (a classic error page, or
  // http.server's own); no temporary file holds the page.
  AppendText(Dest("Setup.exe"), "old", false);
  for (const std::string& base : {KOdd + "/files", KFiles}) {
    url = base + "/Setup.exe";
    EXPECT_EQ(Download(url, Dest("Setup.exe")).Error,
              "Setup.exe --- Error downloading file (HTTP 404)")
        << url;
    EXPECT_EQ(Read("Setup.exe"), "old") << url;
    EXPECT_EQ(HTTP_GetFileSize(url), -1) << url;
  }
  WIN32_FIND_DATAA found;
  TFindHandle find(FindFirstFileA(Dest("*").c_str(), &found));
  do {
    const std::string name = found.cFileName;
    EXPECT_TRUE(name == "." || name == ".." || name == "Setup.exe") << name;
  } while (FindNextFileA(find.Get(), &found));
}

TEST_F(Http, TextDownloadsStopAtTheirLimit) {
  TResult r = Download(KOdd + "/nolength/" + std::to_string(KMaxContentBytes + 1), "");
  EXPECT_NE(r.Error.find("--- Error downloading file (more than"), std::string::npos) << r.Error;
  EXPECT_LE(r.Content.size(), KMaxContentBytes);
}

TEST_F(Http, AbortFromAnotherThreadEndsAfterTheCurrentChunk) {
  std::thread aborter([] {
    Sleep(500);
    HTTP_SetAbort(true);
  });
  DWORD t0 = GetTickCount();
  TResult r = Download(KOdd + "/slow/20000", Dest("slow.bin"));  // 10 s in all
  aborter.join();
  EXPECT_EQ(r.Error, "Download Aborted");
  EXPECT_LT(GetTickCount() - t0, 5000u);
  EXPECT_FALSE(FileExists(Dest("slow.bin")));
  EXPECT_LT(FileSizeByName(Dest("slow.bin.20000")), 20000);
}

TEST_F(Http, HttpsWithATrustedCertificateOnly) {
  // The Wine prefix trusts the CA of the first server; the second is self-signed.
  std::string trusted = Env("KORVIX_HTTPS_TRUSTED"), rogue = Env("KORVIX_HTTPS_ROGUE");
  EXPECT_EQ(Download(trusted + "/fifty.bin", Dest("tls.bin")).Error, "");
  EXPECT_EQ(Read("tls.bin"), Pattern(50));
  EXPECT_EQ(Download(rogue + "/fifty.bin", Dest("rogue.bin")).Error,
            "Unable to open Internet Connection: " + rogue + "/fifty.bin");
  EXPECT_FALSE(FileExists(Dest("rogue.bin")));
}
