#include "support/Win64.h"

#include <string>

#include <gtest/gtest.h>

namespace {
std::string Name(std::uint32_t major, std::uint32_t minor, bool is64, bool server,
                 std::uint32_t platform = 2, std::uint32_t build = 0, std::uint32_t* code = nullptr)
{
    OsVersionRecord v;
    v.major = major;
    v.minor = minor;
    v.platformId = platform;
    v.build = build;
    std::string vt, name;
    std::uint32_t c = OsNameFor(v, is64, server, vt, name);
    if (code) *code = c;
    return name + "/" + std::to_string(c);
}
}  // namespace

TEST(OsNames, NtTableWith64BitAndServerOverrides)
{
    EXPECT_EQ("7/1024", Name(6, 1, false, false));
    EXPECT_EQ("7.64/2048", Name(6, 1, true, false));
    EXPECT_EQ("2003/64", Name(5, 2, false, false));
    EXPECT_EQ("XP.64/256", Name(5, 2, true, false));
    EXPECT_EQ("XP.64/256", Name(5, 2, true, true));  // server rows start at 6.0
    EXPECT_EQ("2003/64", Name(5, 2, false, true));
    EXPECT_EQ("2008/4096", Name(6, 0, false, true));
    EXPECT_EQ("2008.64/8192", Name(6, 0, true, true));
    EXPECT_EQ("2008R2.64/16384", Name(6, 1, true, true));
    EXPECT_EQ("2012R2.64/1048576", Name(6, 3, true, true));
    EXPECT_EQ("7/1024", Name(6, 1, false, true));  // 32-bit server 6.1 keeps the desktop row
    EXPECT_EQ("8/32768", Name(6, 2, false, false));
    EXPECT_EQ("10/2097152", Name(10, 0, false, false));
    EXPECT_EQ("10.64/4194304", Name(10, 0, true, false));
    EXPECT_EQ("10.64/4194304", Name(10, 0, true, true));
    EXPECT_EQ("XP/32", Name(5, 1, false, false));
    EXPECT_EQ("NT/8", Name(4, 0, false, false));
    EXPECT_EQ("2000/16", Name(5, 0, false, false));
    EXPECT_EQ("NTx/8", Name(11, 0, true, false));
}

TEST(OsNames, NineXAndWin32s)
{
    EXPECT_EQ("95/1", Name(4, 0, false, false, 1));
    EXPECT_EQ("98/2", Name(4, 10, false, false, 1, 1998));
    EXPECT_EQ("ME/4", Name(4, 10, false, false, 1, 3000));
    EXPECT_EQ("ME/4", Name(4, 90, false, false, 1));
    EXPECT_EQ("9x/1", Name(4, 3, false, false, 1));
    EXPECT_EQ("32S/0", Name(3, 1, false, false, 0));
}

TEST(OsNames, EveryCodeIsOneBit)
{
    const std::uint32_t versions[][2] = {{4, 0}, {5, 0}, {5, 1}, {5, 2}, {6, 0},
                                         {6, 1}, {6, 2}, {6, 3}, {10, 0}};
    std::uint32_t seen = 0;
    for (auto& v : versions)
        for (int is64 = 0; is64 < 2; ++is64)
            for (int server = 0; server < 2; ++server) {
                std::uint32_t code = 0;
                Name(v[0], v[1], is64, server, 2, 0, &code);
                EXPECT_EQ(0u, code & (code - 1)) << v[0] << "." << v[1];
                seen |= code;
            }
    EXPECT_EQ(20, __builtin_popcount(seen));  // every NT code is reachable
}

TEST(VersionText, NormalisedForComparison)
{
    EXPECT_EQ("0001.0002.0033.0000", NormalizeVersion("1, 2, 33", 4, 4));
    EXPECT_EQ("5.1.2600.0", NormalizeVersion("5.1.2600.0", 1, 4));
    EXPECT_EQ("05.01", NormalizeVersion("5.1.2600.0", 2, 2));
    EXPECT_EQ("1.0.0.0", NormalizeVersion("v1 beta", 1, 4));
    EXPECT_EQ("0.0.0", NormalizeVersion("", 1, 3));
    EXPECT_EQ("", NormalizeVersion("1.2", 1, 0));
    EXPECT_EQ("10.0.19041", NormalizeVersion("10.0.19041.1 (WinBuild.160101.0800)", 1, 3));
}

TEST(RegistryPath, RootAndSubKey)
{
    std::string root, sub;
    SplitRegistryPathText("Software\\X", root, sub);
    EXPECT_EQ("HKEY_CURRENT_USER", root);
    EXPECT_EQ("Software\\X", sub);
    SplitRegistryPathText("  HKLM\\Software\\X ", root, sub);
    EXPECT_EQ("HKEY_LOCAL_MACHINE", root);
    EXPECT_EQ("Software\\X", sub);
    SplitRegistryPathText("HKXY\\Software", root, sub);
    EXPECT_EQ("HKEY_CURRENT_USER", root);
    EXPECT_EQ("Software", sub);
    SplitRegistryPathText("hkey_classes_root", root, sub);
    EXPECT_EQ("HKEY_CLASSES_ROOT", root);
    EXPECT_EQ("", sub);
    SplitRegistryPathText("hku\\.DEFAULT", root, sub);
    EXPECT_EQ("HKEY_USERS", root);
    EXPECT_EQ(".DEFAULT", sub);
    EXPECT_EQ("HKEY_DYN_DATA", RegistryRootName("HKDD"));
    EXPECT_EQ("HKEY_CURRENT_CONFIG", RegistryRootName("hkcc"));
    EXPECT_EQ("", RegistryRootName("HKX"));
}

TEST(RegistryPath, MultiStringShowsInnerSeparators)
{
    EXPECT_EQ("a<0>b", MultiStringText(std::string("a\0b\0\0", 5)));
    EXPECT_EQ("a<0><0>b", MultiStringText(std::string("a\0\0b\0", 5)));
    EXPECT_EQ("", MultiStringText(std::string("\0\0", 2)));
}
