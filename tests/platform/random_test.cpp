#include "platform/random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

TEST(Random, BytesBelowAndLettersCoverTheirRange)
{
    unsigned char a[64] = {}, b[64] = {};
    ASSERT_TRUE(LRandomBytes(a, sizeof a));
    ASSERT_TRUE(LRandomBytes(b, sizeof b));
    EXPECT_NE(0, memcmp(a + 32, b + 32, 32)); // the tail is written too
    EXPECT_EQ(0u, LRandomBelow(0));
    int counts[3] = {0, 0, 0};
    for (int i = 0; i < 3000; i++) {
        uint32_t v = LRandomBelow(3);
        ASSERT_LT(v, 3u);
        counts[v]++;
    }
    for (int c : counts) // each expects 1000; 800 is over 8 standard deviations away
        EXPECT_GT(c, 800);
    char out[33];
    memset(out, '#', sizeof out);
    LRandomLetters(out, 32, "01");
    EXPECT_EQ(32u, strlen(out));
    EXPECT_EQ(std::set<char>(out, out + 32), (std::set<char>{'0', '1'}));
}
