// Progress and rate texts, the error-page test, and the names a download
// works with.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "http/CommUtils.h"

TEST(BytesRate, ProgressTextUnitFollowsTheAnnouncedSize) {
  const struct {
    bool kb, mb;
    int64_t total, done;
    const char* text;
  } cases[] = {
      {false, false, 50, 25, "25/50 BytesArr"},
      {true, false, 2000000, 1536000, "1,500.0/1,953.1 KB"},
      {true, true, 0xFFFFFFFFLL, 5 * 1048576 + 104858, "5.1/4,096.0 MB"},  // no length
  };
  for (const auto& c : cases) {
    TBytesRate rate(c.kb, c.mb);
    EXPECT_EQ(rate.ProgressText(c.total, c.done, 100, 1000), c.text);
  }
}

TEST(BytesRate, RateAppearsFromTheFifthChunkAndChangesAtMostTwiceASecond) {
  TBytesRate rate(false, false);
  // Chunks of 1 KiB every 100 ms: four chunks in the 400 ms the window spans.
  for (uint32_t k = 0; k < 4; ++k)
    EXPECT_EQ(rate.ProgressText(10000, 1024 * (k + 1), 1024, 100000 + 100 * k),
              std::to_string(1024 * (k + 1)) + "/10000 BytesArr");
  EXPECT_EQ(rate.ProgressText(10000, 5120, 1024, 100400), "5120/10000 BytesArr   -   10.00 KB/Sec");
  // Twice as fast now, but within 500 ms of the last update: unchanged.
  EXPECT_EQ(rate.RateText(2048, 100450), "10.00");
  for (uint32_t t = 100500; t <= 100900; t += 100) rate.RateText(2048, t);
  EXPECT_EQ(rate.RateText(2048, 101000), "20.00");
  rate.Reset();
  EXPECT_EQ(rate.RateText(1024, 102000), "");
}

TEST(HtmlErrorPage, TitleTagsDecideWithinTheFirst1000Characters) {
  const struct {
    const char* page;
    bool isError;
  } cases[] = {
      {"<title>404 Not Found</title>", true},  // 404 in the title is enough
      {"<HTML><HEAD><TITLE>Welcome</TITLE></HEAD>", true},
      {"<html>\n<head>\n<Title>Access denied</tItle>", true},
      {"<HEAD><HTML><TITLE>x</TITLE>", false},  // tags out of order
      {"<title>Error</title> 404", false},      // 404 outside the title
      {"MZ\x90\0 a setup program", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsHtmlErrorPage("", c.page), c.isError) << c.page;
  std::string late = "<HTML><HEAD><TITLE>" + std::string(990, 'x') + "</TITLE>";
  EXPECT_FALSE(IsHtmlErrorPage("", late));
}

TEST(HtmlErrorPage, AnExistingFileIsExaminedInsteadOfTheContent) {
  std::string path = ::testing::TempDir() + "korvix_error_page.htm";
  std::ofstream(path, std::ios::binary) << "<HTML><HEAD><TITLE>404</TITLE></HEAD>";
  EXPECT_TRUE(IsHtmlErrorPage(path, "plain"));
  EXPECT_EQ(HtmlErrorMessage(path, "", "http://h/Setup.exe", "Bad Secret Token!"),
            "<B>404 File Not Found...</B><P><P>URL:  http://h/Setup.exe.<P><P>Please make sure "
            "the file is available and access is allowed to this file.");
  std::remove(path.c_str());
  EXPECT_FALSE(IsHtmlErrorPage(path, "plain"));  // gone: the content counts
  EXPECT_EQ(HtmlErrorMessage(path, "plain", "u", "Bad Secret Token!"), "Bad Secret Token!");
}

TEST(DownloadNames, AddressesOpenedAsTheyAreOrWithHttpInFront) {
  const struct {
    const char* url;
    const char* opened;
  } cases[] = {
      {"127.0.0.1:8080/Setup.exe", "http://127.0.0.1:8080/Setup.exe"},
      {"HTTP://host/Setup.exe", "HTTP://host/Setup.exe"},
      {"https://host/Setup.exe", "https://host/Setup.exe"},
      {"HTTPS://host/Setup.exe", "HTTPS://host/Setup.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlToOpen(c.url), c.opened);
}

TEST(DownloadNames, ExplicitConnectionSplitsHostAndObject) {
  const struct {
    const char* url;
    const char* host;
    const char* object;
    bool secure;
  } cases[] = {
      {"http://host/dir/Setup.exe", "host", "/dir/Setup.exe", false},
      {"http://host", "", "/", false},  // no "/" after the host: empty host
      {"https://host:8443/Setup.exe", "host:8443", "/Setup.exe", true},
  };
  for (const auto& c : cases) {
    std::string host, object;
    bool secure = !c.secure;
    SplitExplicitUrl(c.url, host, object, secure);
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(object, c.object) << c.url;
    EXPECT_EQ(secure, c.secure) << c.url;
  }
}

TEST(DownloadNames, TemporaryNamesAndTheLeftoversANewDownloadRemoves) {
  EXPECT_EQ(DownloadTempName("Setup.exe", KNoContentLength, 5), "Setup.exe.4");  // 32-bit sum
  const struct {
    const char* name;
    bool leftover;
  } cases[] = {{"Setup.exe.1512768488", true}, {"SETUP.EXE.4", true},
               {"Setup.exe.bak", false},       {"Setup.exe.", false},
               {"Setup.exe.12x", false},       {"Setup.exe.123456789012", false},
               {"Other.exe.1", false}};
  for (const auto& c : cases)
    EXPECT_EQ(IsDownloadLeftover("C:\\T\\Setup.exe", c.name), c.leftover) << c.name;
}
