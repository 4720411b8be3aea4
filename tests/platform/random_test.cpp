#include "platform/random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

TEST(Random, BytesVaryAndFillTheWholeBuffer)
{
    unsigned char a[64], b[64];
    memset(a, 0, sizeof a);
    memset(b, 0, sizeof b);
    ASSERT_TRUE(LRandomBytes(a, sizeof a));
    ASSERT_TRUE(LRandomBytes(b, sizeof b));
    EXPECT_NE(0, memcmp(a, b, sizeof a));
    // 64 zero bytes at the end would mean the tail was never written.
    int zeros = 0;
    for (int i = 32; i < 64; i++)
        zeros += a[i] == 0;
    EXPECT_LT(zeros, 8);
}

TEST(Random, BelowStaysInRangeAndCoversIt)
{
    EXPECT_EQ(0u, LRandomBelow(0));
    EXPECT_EQ(0u, LRandomBelow(1));
    int counts[3] = {0, 0, 0};
    for (int i = 0; i < 3000; i++) {
        uint32_t v = LRandomBelow(3);
        ASSERT_LT(v, 3u);
        counts[v]++;
    }
    // Each third expects 1000; 800 is over 8 standard deviations away.
    for (int c : counts)
        EXPECT_GT(c, 800);
}

TEST(Random, LettersComeFromTheAlphabetAndAreTerminated)
{
    char out[33];
    memset(out, '#', sizeof out);
    LRandomLetters(out, 32);
    EXPECT_EQ(32u, strlen(out));
    std::set<char> seen;
    for (int i = 0; i < 32; i++) {
        EXPECT_TRUE(isalpha((unsigned char)out[i])) << out;
        seen.insert(out[i]);
    }
    EXPECT_GT(seen.size(), 8u);
    char digits[17];
    LRandomLetters(digits, 16, "01");
    for (int i = 0; i < 16; i++)
        EXPECT_TRUE(digits[i] == '0' || digits[i] == '1');
    EXPECT_EQ(0, digits[16]);
}
