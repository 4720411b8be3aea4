#include "config/pbx_secret.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

TEST(PBXSecret, EveryLetterIsEquallyLikely)
{
    // Taking a random byte modulo 26 would give "w" to "z" about 10% fewer
    // draws than the others; with 10000 expected per letter (standard
    // deviation about 100) a 5% band catches that and nothing else.
    constexpr size_t kCount = 260000;
    std::string letters(kCount, 0);
    ASSERT_TRUE(LPBXRandomLetters(letters.data(), kCount));
    std::array<int, 26> counts{};
    for (char c : letters.substr(0, kCount))
        ++counts.at(static_cast<size_t>(c - 'a'));
    for (size_t i = 0; i < counts.size(); ++i) {
        EXPECT_GT(counts[i], 9500) << static_cast<char>('a' + i);
        EXPECT_LT(counts[i], 10500) << static_cast<char>('a' + i);
    }
}
