#include "support/Utils.h"

#include <random>
#include <set>

#include <gtest/gtest.h>

TEST(Scrambling, MaskSequenceAlternatesTheKey)
{
  // k = 33 ("!"): bytes 1..4 are masked with 34, 225, 36, 227.
  std::string s = ScrambleWithKey(std::string(4, '\0'), 33);
  EXPECT_EQ(std::string("Scrambled=01!") + "\x22\xE1\x24\xE3", s);
  EXPECT_EQ(std::string(4, '\0'), Descramble(s));
  // A known plain text: 'A' ^ 34, 'B' ^ 225.
  EXPECT_EQ(std::string("Scrambled=01!") + (char)('A' ^ 34) + (char)('B' ^ 225),
            ScrambleWithKey("AB", 33));
  // Position 256 wraps: mask (256 - 33) mod 256 for even i.
  std::string longText(300, 'z');
  std::string sc = ScrambleWithKey(longText, 122);
  EXPECT_EQ((char)('z' ^ (uint8_t)(256 - 122)), sc[13 + 255]);
  EXPECT_EQ(longText, Descramble(sc));
}

TEST(Scrambling, TextsWithoutTheMarkerStayUnchanged)
{
  EXPECT_EQ("", Descramble(""));
  EXPECT_EQ("plain text", Descramble("plain text"));
  EXPECT_EQ("x Scrambled=01!abc", Descramble("x Scrambled=01!abc"));
  EXPECT_EQ("scrambled=01!abc", Descramble("scrambled=01!abc"));  // case matters
  EXPECT_EQ("Scrambled=0", Descramble("Scrambled=0"));
  // The marker and the key alone, or the bare marker: no plain text.
  EXPECT_EQ("", Descramble("Scrambled=01!"));
  EXPECT_EQ("", Descramble("Scrambled=01"));
  // Scramble leaves empty and already scrambled texts alone.
  EXPECT_EQ("", Scramble(""));
  EXPECT_EQ("Scrambled=01!xyz", Scramble("Scrambled=01!xyz"));
}

TEST(Scrambling, RandomRoundTrips)
{
  std::mt19937 gen(7);
  std::set<int> keys;
  for (int i = 0; i < 300; ++i) {
    std::string t(1 + gen() % 600, '\0');
    for (char& c : t)
      c = (char)(gen() & 0xFF);
    if (t.compare(0, 12, "Scrambled=01") == 0)
      continue;
    std::string s = Scramble(t);
    ASSERT_EQ(0, s.compare(0, 12, "Scrambled=01"));
    ASSERT_EQ(t.size() + 13, s.size());
    int k = (uint8_t)s[12];
    ASSERT_GE(k, 33);
    ASSERT_LE(k, 122);
    keys.insert(k);
    ASSERT_EQ(t, Descramble(s));
    ASSERT_EQ(t, Descramble(ScrambleWithKey(t, (unsigned char)(33 + i % 90))));
  }
  EXPECT_GT(keys.size(), 10u);  // the key is random
}
