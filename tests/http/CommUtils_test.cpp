#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "http/CommUtils.h"

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
  EXPECT_FALSE(IsHtmlErrorPage("", "<HTML><HEAD><TITLE>" + std::string(990, 'x') + "</TITLE>"));
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
  EXPECT_EQ(UrlToOpen("HTTPS://host/Setup.exe"), "HTTPS://host/Setup.exe");
  const struct {
    const char *url, *host, *object;
    bool secure;
  } cases[] = {
      {"http://host/dir/Setup.exe", "host", "/dir/Setup.exe", false},
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
