#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "http/CommUtils.h"

TEST(BytesRate, TheRateJoinsTheProgressTextOnceFourChunksAreTimed) {
  // 1 KiB every 100 ms: no rate until the fifth chunk, then 4 KiB in 400 ms.
  TBytesRate rate(false, false);
  for (uint32_t k = 0; k < 4; ++k)
    EXPECT_EQ(rate.ProgressText(10000, 1024, 1024, 100000 + 100 * k), "1024/10000 BytesArr");
  EXPECT_EQ(rate.ProgressText(10000, 5120, 1024, 100400), "5120/10000 BytesArr   -   10.00 KB/Sec");
  EXPECT_EQ(TBytesRate(true, true).ProgressText(0xFFFFFFFFLL, 5347738, 100, 0), "5.1/4,096.0 MB");
}

TEST(HtmlErrorPage, TitleTagsDecideWithinTheFirst1000Characters) {
  const struct {
    const char* page;
    bool isError;
  } cases[] = {
      {"<title>404 Not Found</title>", true},  // 404 in the title is enough
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
  EXPECT_NE(HtmlErrorMessage(path, "", "http://h/Setup.exe", "Bad Secret Token!")
                .find("404 File Not Found...</B><P><P>URL:  http://h/Setup.exe."),
            std::string::npos);
  std::remove(path.c_str());
  EXPECT_EQ(HtmlErrorMessage(path, "plain", "u", "Bad Secret Token!"), "Bad Secret Token!");
}

TEST(DownloadNames, HttpsAddressesKeepTheirSchemeWhenOpenedAndSplit) {
  EXPECT_EQ(UrlToOpen("127.0.0.1:8080/Setup.exe"), "http://127.0.0.1:8080/Setup.exe");
  EXPECT_EQ(UrlToOpen("HTTPS://host/Setup.exe"), "HTTPS://host/Setup.exe");
  const struct {
    const char *url, *host, *object;
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
    EXPECT_EQ(host + " " + object, std::string(c.host) + " " + c.object) << c.url;
    EXPECT_EQ(secure, c.secure) << c.url;
  }
}

TEST(DownloadNames, ANewDownloadRemovesOnlyItsOwnLeftovers) {
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
