#include "support/Win64.h"

#include <string>

#include <gtest/gtest.h>

TEST(OsNames, TableRowsWith64BitAndServerOverridesEachOneBit) {
  const struct {
    std::uint32_t major, minor, platform, build;
    bool is64, server;
    const char* want;
  } rows[] = {// 64-bit and server overrides, and where a server one does not apply
              {6, 1, 2, 0, true, true, "6.1 2008R2.64/16384"},
              {6, 1, 2, 0, false, true, "6.1 7/1024"},
              // Unknown versions by platform; the build tells 98 from ME
              {11, 0, 2, 0, true, false, "11.0 NTx/8"},
              {4, 10, 1, 3000, false, false, "4.90 ME/4"},
              {3, 1, 0, 0, false, false, "3.1 32S/0"}};
  for (const auto& r : rows) {
    TOsVersionRecord v;
    v.Major = r.major, v.Minor = r.minor, v.PlatformId = r.platform, v.Build = r.build;
    std::string vt, name;
    const std::uint32_t code = OsNameFor(v, r.is64, r.server, vt, name);
    EXPECT_EQ(r.want, vt + " " + name + "/" + std::to_string(code));
    EXPECT_EQ(0u, code & (code - 1)) << r.want;
  }
}

TEST(VersionAndRegistryTexts, NormalisedVersionsRootNamesAndMultiStrings) {
  EXPECT_EQ("1.0.0.0", NormalizeVersion("v1 beta", 1, 4));
  EXPECT_EQ("10.0.19041", NormalizeVersion("10.0.19041.1 (WinBuild.160101.0800)", 1, 3));
  const char* cases[][3] = {{"Software\\X", "HKEY_CURRENT_USER", "Software\\X"},
                            {"  HKLM\\Software\\X ", "HKEY_LOCAL_MACHINE", "Software\\X"},
                            {"HKXY\\Software", "HKEY_CURRENT_USER", "Software"},
                            {"hkdd\\x", "HKEY_DYN_DATA", "x"}};
  for (const auto& c : cases) {
    std::string root, sub;
    SplitRegistryPathText(c[0], root, sub);
    EXPECT_EQ(std::string(c[1]) + "|" + c[2], root + "|" + sub) << c[0];
  }
  EXPECT_EQ("a<0><0>b", MultiStringText(std::string("a\0\0b\0\0", 6)));
}
