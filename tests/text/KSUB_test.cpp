#include <gtest/gtest.h>

#include "text/KSUB.h"

namespace {

const std::string kButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

std::string S(const char* p, size_t n)
{
    return std::string(p, n);
}

TEST(SubRead, CountAndItemOfWellFormedAndMalformedLists)
{
    EXPECT_EQ(SUB::Count(kButtons), 7);
    EXPECT_EQ(SUB::Item(kButtons, 0), "&OK");
    EXPECT_EQ(SUB::Item(kButtons, -1), "&Ignore");
    EXPECT_EQ(SUB::Item(kButtons, 6), "&Ignore");
    EXPECT_EQ(SUB::Item(kButtons, 7, "dflt"), "dflt");
    EXPECT_EQ(SUB::Item(kButtons, -2, "dflt"), "dflt");

    // Not closed: no items by count, but closed items are still readable.
    EXPECT_EQ(SUB::Count("|a|b"), 0);
    EXPECT_EQ(SUB::Item("|a|b", 0), "a");
    EXPECT_EQ(SUB::Item("|a|b", 1, "none"), "none");
    EXPECT_EQ(SUB::Item("|a|b", -1, "none"), "none");

    EXPECT_EQ(SUB::Count(""), 0);
    EXPECT_EQ(SUB::Count("|"), 0);
    EXPECT_EQ(SUB::Count("||"), 1);
    EXPECT_EQ(SUB::Count(S("\0", 1)), 0);
    EXPECT_EQ(SUB::Item(S("\0", 1), 0, "d"), "d");
    EXPECT_EQ(SUB::Item("", -1, "d"), "d");

    // Empty items give the default.
    EXPECT_EQ(SUB::Count("||x|"), 2);
    EXPECT_EQ(SUB::Item("||x|", 0, "d"), "d");
    EXPECT_EQ(SUB::Item("||x|", 1, "d"), "x");
}

TEST(SubRead, ControlByteDelimitersAndBinaryItems)
{
    // Records of the language block: 0x02 outside, 0x01 inside.
    const std::string block = S("\x02\x01x\x01\x02" "b\xFF\x00" "c\x02", 10);
    EXPECT_EQ(SUB::Count(block), 2);
    EXPECT_EQ(SUB::Item(SUB::Item(block, 0), 0), "x");
    EXPECT_EQ(SUB::Item(block, 1), S("b\xFF\x00" "c", 4));

    const std::string nulList = S("\0x\0y\0", 5);
    EXPECT_EQ(SUB::Count(nulList), 2);
    EXPECT_EQ(SUB::Item(nulList, 1), "y");
}

TEST(SubRead, ItemInt)
{
    EXPECT_EQ(SUB::ItemInt("|12|-9223372036854775808|x||", 0, 5), 12);
    EXPECT_EQ(SUB::ItemInt("|12|-9223372036854775808|x||", 1, 5), INT64_MIN);
    EXPECT_EQ(SUB::ItemInt("|12|-9223372036854775808|x||", 2, 5), 5);
    EXPECT_EQ(SUB::ItemInt("|12|-9223372036854775808|x||", 3, 5), 5);
    EXPECT_EQ(SUB::ItemInt("|99999999999999999999|", 0, 5), 5);
}

TEST(SubRead, ValueMatchesWholeKeysIgnoringCaseAndBlanks)
{
    const std::string l = "|s10=y|s1=x|";
    EXPECT_EQ(SUB::Value(l, "S1", "d"), "x");
    EXPECT_EQ(SUB::Value(l, "s10", "d"), "y");
    EXPECT_EQ(SUB::Value(l, "S1=", "d"), "x");  // no second "="
    EXPECT_EQ(SUB::Value("|a =1|", "a", "d"), "1");
    EXPECT_EQ(SUB::Value("|a   =1|", "A", "d"), "1");
    EXPECT_EQ(SUB::Value("|a=|", "a", "d"), "");
    EXPECT_EQ(SUB::Value("|b=2|", "a", "d"), "d");
    EXPECT_EQ(SUB::Value("|a=1|a=2|", "a", "d"), "1");
    EXPECT_EQ(SUB::Value("|x==v|", "=", "d"), "d");
    EXPECT_EQ(SUB::Value("|==v|", "=", "d"), "v");
    // Malformed or too short lists give the default.
    EXPECT_EQ(SUB::Value("|a=1", "a", "d"), "d");
    EXPECT_EQ(SUB::Value("||", "", "d"), "d");
    // Values keep any bytes except the delimiter.
    EXPECT_EQ(SUB::Value(S("\x01k=\xFF\x00\x02\x01", 7), "K", "d"), S("\xFF\x00\x02", 3));
}

TEST(SubSearch, IndexOfAndContains)
{
    EXPECT_EQ(SUB::IndexOf(kButtons, "&ok"), 0);
    EXPECT_EQ(SUB::IndexOf(kButtons, "&IGNORE"), 6);
    EXPECT_EQ(SUB::IndexOf(kButtons, "&Re"), -1);
    EXPECT_EQ(SUB::IndexOf(kButtons, "&Re", true), 5);
    EXPECT_EQ(SUB::IndexOf(kButtons, " &No "), 3);  // retried trimmed
    EXPECT_EQ(SUB::IndexOf("  |a|b|  ", "b"), 1);   // list trimmed
    EXPECT_EQ(SUB::IndexOf(kButtons, "", false, -7), -7);
    EXPECT_EQ(SUB::IndexOf("", "a", false, -7), -7);
    EXPECT_EQ(SUB::IndexOf(S("\x02x\x02y\x02", 5), "Y"), 1);

    EXPECT_TRUE(SUB::Contains(kButtons, "&yes"));
    EXPECT_FALSE(SUB::Contains(kButtons, "&yes", false, false));
    EXPECT_TRUE(SUB::Contains(kButtons, "&Yes", false, false));
    EXPECT_FALSE(SUB::Contains(kButtons, " &Yes "));
    EXPECT_TRUE(SUB::Contains(kButtons, " &Yes ", true));
    EXPECT_FALSE(SUB::Contains(kButtons, ""));
    EXPECT_FALSE(SUB::Contains("", "a"));
}

TEST(SubBuild, RedelimitPicksFirstFreeCandidate)
{
    EXPECT_EQ(SUB::Redelimit("a|b", true), "*a|b*");
    EXPECT_EQ(SUB::Redelimit("#x#y#"), "|x|y|");
    EXPECT_EQ(SUB::Redelimit("", true), "||");  // one empty item
    EXPECT_EQ(SUB::Redelimit("|"), "");
    EXPECT_EQ(SUB::Redelimit(""), "");
    // All ten candidates in use: NUL stays the delimiter.
    const std::string all = "|*~^!@#$&\xFF";
    EXPECT_EQ(SUB::Redelimit(all, true), S("\0", 1) + all + S("\0", 1));
    // The first free candidate after 0xFF-free ones.
    EXPECT_EQ(SUB::Redelimit("|*~^!@#$&", true), "\xFF|*~^!@#$&\xFF");
}

TEST(SubBuild, SetItemGrowsAndRedelimits)
{
    const std::string l = SUB::SetItem("|a|", 3, "z");
    EXPECT_EQ(l, "|a|||z|");
    EXPECT_EQ(SUB::Count(l), 4);
    EXPECT_EQ(SUB::SetItem("", 0, "v"), "|v|");
    EXPECT_EQ(SUB::SetItem("|a|b|", 0, "x"), "|x|b|");
    EXPECT_EQ(SUB::SetItem("|a|b|", 1, "p|q"), "*a*p|q*");
    EXPECT_EQ(SUB::SetItem("#a#b#", 1, "p|q"), "#a#p|q#");  // old delimiter kept
    EXPECT_EQ(SUB::SetItem("|a|", -1, "x"), "|a|");
    // Items holding NUL survive a rebuild.
    const std::string withNul = SUB::SetItem(S("|a\0b|", 5), 1, "c");
    EXPECT_EQ(SUB::Count(withNul), 2);
    EXPECT_EQ(SUB::Item(withNul, 0), S("a\0b", 3));
}

TEST(SubBuild, DeleteItemReverseTrimEmpty)
{
    EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 1), "|a|c|");
    EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 3), "|a|b|c|");
    EXPECT_EQ(SUB::DeleteItem("|a|b|c|", -1), "|a|b|c|");
    EXPECT_EQ(SUB::DeleteItem("|a|", 0), "");
    EXPECT_EQ(SUB::DeleteItem(S("\x02x\x02y\x02", 5), 0), S("\x02y\x02", 3));

    EXPECT_EQ(SUB::Reverse("|a|b||c|"), "|c||b|a|");
    EXPECT_EQ(SUB::Reverse(""), "");

    EXPECT_EQ(SUB::TrimEmpty("|||a||b|||"), "|||a||b|");
    EXPECT_EQ(SUB::TrimEmpty("|||a||b|||", true, true), "|a||b|");
    EXPECT_EQ(SUB::TrimEmpty("|||a|", false, true), "|a|");
    EXPECT_EQ(SUB::TrimEmpty("||||"), "");
    EXPECT_EQ(SUB::TrimEmpty("|"), "");
}

TEST(SubBuild, KeysValuesPairs)
{
    const std::string l = "|a = 1|b=2|c|";
    EXPECT_EQ(SUB::Keys(l), "|a |b|c|");
    EXPECT_EQ(SUB::Keys(l, true), "|a|b|c|");
    EXPECT_EQ(SUB::Values(l), "| 1|2||");
    EXPECT_EQ(SUB::Values(l, true), "|1|2||");
    EXPECT_EQ(SUB::Values("|k=x|y|"), "|x||");
    EXPECT_EQ(SUB::Keys(""), "");

    EXPECT_EQ(SUB::Pairs("|a|b|", "|1|"), "|a=1|b=|");
    EXPECT_EQ(SUB::Pairs("|a|b|||", "|1||", true), "|a=1|b=|");
    EXPECT_EQ(SUB::Pairs("|a|", "|x|y|"), "|a=x|=y|");
    EXPECT_EQ(SUB::Pairs("|a|", "|p|q|"), "|a=p|=q|");
    EXPECT_EQ(SUB::Pairs("|a|", "*p|q*"), "*a=p|q*");
    EXPECT_EQ(SUB::Pairs("", ""), "");
}

TEST(SubBuild, FromItemsAddItemsDistinct)
{
    EXPECT_EQ(SUB::FromItems({"x", "y"}), "|x|y|");
    EXPECT_EQ(SUB::FromItems({"x|", "y"}), "*x|*y*");
    EXPECT_EQ(SUB::FromItems({}), "");
    EXPECT_EQ(SUB::FromItems({""}), "||");
    EXPECT_EQ(SUB::FromItems({"a", "A ", "b", "", "a"}, true), "|a|b|");
    const std::string binary = SUB::FromItems({S("\0\x01\x02\xFF", 4), "|"});
    EXPECT_EQ(SUB::Count(binary), 2);
    EXPECT_EQ(SUB::Item(binary, 0), S("\0\x01\x02\xFF", 4));
    EXPECT_EQ(SUB::Item(binary, 1), "|");

    EXPECT_EQ(SUB::AddItems("|a|", {"b", "c"}), "|a|b|c|");
    EXPECT_EQ(SUB::AddItems("", {"b"}), "|b|");
    EXPECT_EQ(SUB::AddItems("|a|", {"b|c"}), "*a*b|c*");
    EXPECT_EQ(SUB::AddItems("|a|b|", {"A", "c"}, true), "|a|b|c|");
    EXPECT_EQ(SUB::AddItems(S("\x02r\x02", 3), {"s"}), S("\x02r\x02s\x02", 5));

    EXPECT_EQ(SUB::Distinct("|a|B| a |b||c|a|"), "|a|B|c|");
    EXPECT_EQ(SUB::Distinct("|-|a|-|a|", "|-|"), "|-|a|-|");
    EXPECT_EQ(SUB::Distinct("||||"), "");
}

}  // namespace
