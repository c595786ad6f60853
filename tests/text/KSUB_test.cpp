#include <gtest/gtest.h>

#include "text/KSUB.h"

namespace {

using namespace std::string_literals;

const std::string KButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

TEST(SubRead, ItemsOfMalformedListsAndControlByteDelimiters) {
  EXPECT_EQ(SUB::Item(KButtons, -1), "&Ignore");
  // Not closed: no items by count, but closed items are still readable.
  EXPECT_EQ(SUB::Count("|a|b"), 0);
  EXPECT_EQ(SUB::Item("|a|b", 0), "a");
  EXPECT_EQ(SUB::Item("|a|b", 1, "d"), "d");
  EXPECT_EQ(SUB::Item("||x|", 0, "d"), "d");  // empty item
  EXPECT_EQ(SUB::ItemInt("|-9223372036854775808|x|99999999999999999999|", 0, 5), INT64_MIN);
  EXPECT_EQ(SUB::ItemInt("|-9223372036854775808|x|99999999999999999999|", 2, 5), 5);
  // Records of the language block: 0x02 outside, 0x01 inside.
  const std::string block = "\002\001x\001\002b\377\0c\002"s;
  EXPECT_EQ(SUB::Count(block), 2);
  EXPECT_EQ(SUB::Item(SUB::Item(block, 0), 0), "x");
  EXPECT_EQ(SUB::Item(block, 1), "b\377\0c"s);
  EXPECT_EQ(SUB::Item("\0x\0y\0"s, 1), "y");
}

// Also the language texts' lookup: an empty text is kept.
TEST(SubRead, ValueMatchesWholeKeysIgnoringCaseAndBlanksBeforeEquals) {
  EXPECT_EQ(SUB::Value("|s10=y|s1=x|", "S1", "d"), "x");
  EXPECT_EQ(SUB::Value("|s1=|s10=y|", "s1", "d"), "");
  EXPECT_EQ(SUB::Value("|s10=y|s1=x|", "S1=", "d"), "x");  // no second "="
  EXPECT_EQ(SUB::Value("|a   =1|", "A", "d"), "1");
  EXPECT_EQ(SUB::Value("|x==v|", "=", "d"), "d");
  EXPECT_EQ(SUB::Value("|==v|", "=", "d"), "v");
  EXPECT_EQ(SUB::Value("|a=1", "a", "d"), "d");  // not closed
  EXPECT_EQ(SUB::Value("\x01k=\xFF\x00\x02\x01"s, "K", "d"), "\xFF\x00\x02"s);
}

TEST(SubSearch, IndexOfWholeOrStartAndContains) {
  EXPECT_EQ(SUB::IndexOf(KButtons, "&Re"), -1);
  EXPECT_EQ(SUB::IndexOf(KButtons, "&Re", true), 5);
  EXPECT_EQ(SUB::IndexOf(KButtons, " &No "), 3);  // retried trimmed
  EXPECT_EQ(SUB::IndexOf("\x02x\x02y\x02"s, "Y"), 1);
  EXPECT_TRUE(SUB::Contains(KButtons, "&yes"));
  EXPECT_FALSE(SUB::Contains(KButtons, " &Yes "));
  EXPECT_TRUE(SUB::Contains(KButtons, " &Yes ", true));
}

TEST(SubBuild, RedelimitPicksTheFirstFreeCandidateElseKeepsNul) {
  EXPECT_EQ(SUB::Redelimit("#x#y#"), "|x|y|");
  EXPECT_EQ(SUB::Redelimit("", true), "||");  // one empty item
  EXPECT_EQ(SUB::Redelimit("|*~^!@#$&", true), "\xFF|*~^!@#$&\xFF");
  const std::string all = "|*~^!@#$&\xFF";
  EXPECT_EQ(SUB::Redelimit(all, true), "\0"s + all + "\0"s);
}

TEST(SubBuild, EditsKeepTheDelimiterUnlessAnItemHoldsIt) {
  EXPECT_EQ(SUB::SetItem("|a|", 3, "z"), "|a|||z|");
  EXPECT_EQ(SUB::SetItem("|a|b|", 1, "p|q"), "*a*p|q*");
  const std::string withNul = SUB::SetItem("|a\0b|"s, 1, "c");  // NUL survives a rebuild
  EXPECT_EQ(SUB::Item(withNul, 0), "a\0b"s);
  EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 1), "|a|c|");
  EXPECT_EQ(SUB::TrimEmpty("|||a||b|||", true, true), "|a||b|");
  EXPECT_EQ(SUB::Values("|a = 1|b=2|c|", true), "|1|2||");
  EXPECT_EQ(SUB::Pairs("|a|b|||", "|1||", true), "|a=1|b=|");
  EXPECT_EQ(SUB::Pairs("|a|", "*p|q*"), "*a=p|q*");
}

TEST(SubBuild, FromItemsAddItemsAndDistinctWithRepeatables) {
  EXPECT_EQ(SUB::FromItems({"a", "A ", "b", "", "a"}, true), "|a|b|");
  const std::string binary = SUB::FromItems({"\0\x01\x02\xFF"s, "|"});
  EXPECT_EQ(SUB::Item(binary, 0), "\0\x01\x02\xFF"s);
  EXPECT_EQ(SUB::Item(binary, 1), "|");
  EXPECT_EQ(SUB::AddItems("|a|b|", {"A", "c"}, true), "|a|b|c|");
  EXPECT_EQ(SUB::Distinct("|a|B| a |b||c|a|"), "|a|B|c|");
  EXPECT_EQ(SUB::Distinct("|-|a|-|a|", "|-|"), "|-|a|-|");
}

}  // namespace
