#include "support/Utils.h"

#include <random>
#include <set>

#include <gtest/gtest.h>

TEST(Scrambling, MaskAlternatesTheKeyByteByByteAndWrapsAt256) {
  // k = 33 ("!"): bytes 1..4 are masked with 34, 225, 36, 227.
  EXPECT_EQ(std::string("Scrambled=01!") + "\x22\xE1\x24\xE3",
            ScrambleWithKey(std::string(4, '\0'), 33));
  // Position 256 wraps: mask (256 - k) mod 256 for even i.
  EXPECT_EQ((char)('z' ^ (uint8_t)(256 - 122)), ScrambleWithKey(std::string(300, 'z'), 122)[268]);
}

// Texts without the whole marker are plain; scrambled ones are left alone.
TEST(Scrambling, RoundTripsWithRandomKeysAndPlainTextsStayUnchanged) {
  for (const char* t : {"", "x Scrambled=01!abc", "scrambled=01!abc", "Scrambled=0"})
    EXPECT_EQ(t, Descramble(t));
  EXPECT_EQ("", Descramble("Scrambled=01!"));
  EXPECT_EQ("Scrambled=01!xyz", Scramble("Scrambled=01!xyz"));
  std::mt19937 gen(7);
  std::set<int> keys;
  for (int i = 0; i < 300; ++i) {
    std::string t(1 + gen() % 600, '\0');
    for (char& c : t) c = (char)(gen() & 0xFF);
    const std::string s = Scramble(t);
    ASSERT_TRUE(s[12] >= 33 && s[12] <= 122) << s[12];  // a printable key
    keys.insert(s[12]);
    ASSERT_EQ(t, Descramble(s));
    ASSERT_EQ(t, Descramble(ScrambleWithKey(t, (unsigned char)(33 + i % 90))));  // every key
  }
  EXPECT_GT(keys.size(), 10u);  // the key is random
}
