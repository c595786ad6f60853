#include <gtest/gtest.h>

#include "text/KSUB.h"

namespace {

const std::string KButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
std::string S(const char* p, size_t n) {
  return std::string(p, n);
}

TEST(SubRead, ItemsOfMalformedListsAndControlByteDelimiters) {
  EXPECT_EQ(SUB::Count(KButtons), 7);
  EXPECT_EQ(SUB::Item(KButtons, -1), "&Ignore");
  // Not closed: no items by count, but closed items are still readable.
  EXPECT_EQ(SUB::Count("|a|b"), 0);
  EXPECT_EQ(SUB::Item("|a|b", 0), "a");
  EXPECT_EQ(SUB::Item("|a|b", 1, "d"), "d");
  EXPECT_EQ(SUB::Item(S("\0", 1), 0, "d"), "d");
  EXPECT_EQ(SUB::Item("||x|", 0, "d"), "d");  // empty item
  EXPECT_EQ(SUB::ItemInt("|-9223372036854775808|x|99999999999999999999|", 0, 5), INT64_MIN);
  EXPECT_EQ(SUB::ItemInt("|-9223372036854775808|x|99999999999999999999|", 2, 5), 5);
  // Records of the language block: 0x02 outside, 0x01 inside.
  const std::string block =
      S("\x02\x01x\x01\x02"
        "b\xFF\x00"
        "c\x02",
        10);
  EXPECT_EQ(SUB::Count(block), 2);
  EXPECT_EQ(SUB::Item(SUB::Item(block, 0), 0), "x");
  EXPECT_EQ(SUB::Item(block, 1), S("b\xFF\x00"
                                   "c",
                                   4));
  EXPECT_EQ(SUB::Item(S("\0x\0y\0", 5), 1), "y");
}

TEST(SubRead, ValueMatchesWholeKeysIgnoringCaseAndBlanksBeforeEquals) {
  const std::string l = "|s10=y|s1=x|";
  EXPECT_EQ(SUB::Value(l, "S1", "d"), "x");
  EXPECT_EQ(SUB::Value(l, "s10", "d"), "y");
  EXPECT_EQ(SUB::Value(l, "S1=", "d"), "x");  // no second "="
  EXPECT_EQ(SUB::Value("|a   =1|", "A", "d"), "1");
  EXPECT_EQ(SUB::Value("|a=|", "a", "d"), "");
  EXPECT_EQ(SUB::Value("|x==v|", "=", "d"), "d");
  EXPECT_EQ(SUB::Value("|==v|", "=", "d"), "v");
  EXPECT_EQ(SUB::Value("|a=1", "a", "d"), "d");  // not closed
  EXPECT_EQ(SUB::Value(S("\x01k=\xFF\x00\x02\x01", 7), "K", "d"), S("\xFF\x00\x02", 3));
}

TEST(SubSearch, IndexOfWholeOrStartAndContains) {
  EXPECT_EQ(SUB::IndexOf(KButtons, "&IGNORE"), 6);
  EXPECT_EQ(SUB::IndexOf(KButtons, "&Re"), -1);
  EXPECT_EQ(SUB::IndexOf(KButtons, "&Re", true), 5);
  EXPECT_EQ(SUB::IndexOf(KButtons, " &No "), 3);  // retried trimmed
  EXPECT_EQ(SUB::IndexOf(S("\x02x\x02y\x02", 5), "Y"), 1);
  EXPECT_TRUE(SUB::Contains(KButtons, "&yes"));
  EXPECT_FALSE(SUB::Contains(KButtons, " &Yes "));
  EXPECT_TRUE(SUB::Contains(KButtons, " &Yes ", true));
}

TEST(SubBuild, RedelimitPicksTheFirstFreeCandidateElseKeepsNul) {
  EXPECT_EQ(SUB::Redelimit("a|b", true), "*a|b*");
  EXPECT_EQ(SUB::Redelimit("#x#y#"), "|x|y|");
  EXPECT_EQ(SUB::Redelimit("", true), "||");  // one empty item
  EXPECT_EQ(SUB::Redelimit("|*~^!@#$&", true), "\xFF|*~^!@#$&\xFF");
  const std::string all = "|*~^!@#$&\xFF";
  EXPECT_EQ(SUB::Redelimit(all, true), S("\0", 1) + all + S("\0", 1));
}

TEST(SubBuild, EditsKeepTheDelimiterUnlessAnItemHoldsIt) {
  EXPECT_EQ(SUB::SetItem("|a|", 3, "z"), "|a|||z|");
  EXPECT_EQ(SUB::SetItem("|a|b|", 1, "p|q"), "*a*p|q*");
  EXPECT_EQ(SUB::SetItem("#a#b#", 1, "p|q"), "#a#p|q#");
  const std::string withNul = SUB::SetItem(S("|a\0b|", 5), 1, "c");  // NUL survives a rebuild
  EXPECT_EQ(SUB::Count(withNul), 2);
  EXPECT_EQ(SUB::Item(withNul, 0), S("a\0b", 3));
  EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 1), "|a|c|");
  EXPECT_EQ(SUB::DeleteItem("|a|", 0), "");
  EXPECT_EQ(SUB::DeleteItem(S("\x02x\x02y\x02", 5), 0), S("\x02y\x02", 3));
  EXPECT_EQ(SUB::TrimEmpty("|||a||b|||", true, true), "|a||b|");
  EXPECT_EQ(SUB::TrimEmpty("||||"), "");
  EXPECT_EQ(SUB::Values("|a = 1|b=2|c|", true), "|1|2||");
  EXPECT_EQ(SUB::Pairs("|a|b|||", "|1||", true), "|a=1|b=|");
  EXPECT_EQ(SUB::Pairs("|a|", "|x|y|"), "|a=x|=y|");
  EXPECT_EQ(SUB::Pairs("|a|", "*p|q*"), "*a=p|q*");
}

TEST(SubBuild, FromItemsAddItemsAndDistinctWithRepeatables) {
  EXPECT_EQ(SUB::FromItems({"x|", "y"}), "*x|*y*");
  EXPECT_EQ(SUB::FromItems({"a", "A ", "b", "", "a"}, true), "|a|b|");
  const std::string binary = SUB::FromItems({S("\0\x01\x02\xFF", 4), "|"});
  EXPECT_EQ(SUB::Count(binary), 2);
  EXPECT_EQ(SUB::Item(binary, 0), S("\0\x01\x02\xFF", 4));
  EXPECT_EQ(SUB::Item(binary, 1), "|");
  EXPECT_EQ(SUB::AddItems("|a|", {"b|c"}), "*a*b|c*");
  EXPECT_EQ(SUB::AddItems("|a|b|", {"A", "c"}, true), "|a|b|c|");
  EXPECT_EQ(SUB::AddItems(S("\x02r\x02", 3), {"s"}), S("\x02r\x02s\x02", 5));
  EXPECT_EQ(SUB::Distinct("|a|B| a |b||c|a|"), "|a|B|c|");
  EXPECT_EQ(SUB::Distinct("|-|a|-|a|", "|-|"), "|-|a|-|");
}

}  // namespace
