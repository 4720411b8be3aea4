#include "platform/md5.h"

#include <gtest/gtest.h>

#include <string>

// The test suite of RFC 1321, appendix A.5, one shot and fed in 7-byte pieces
// that straddle the 64-byte blocks and the 56-byte padding boundary.
TEST(MD5, Rfc1321TestSuiteWholeAndPiecewise)
{
    std::string eighty;
    for (int i = 0; i < 8; i++)
        eighty += "1234567890";
    // clang-format off
    const struct { std::string input; const char *digest; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {eighty, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    // clang-format on
    for (const auto &c : cases) {
        char hex[LMD5::HexSize], pieces[LMD5::HexSize];
        LMD5::HexOf(c.input.c_str(), hex);
        EXPECT_STREQ(c.digest, hex) << "input \"" << c.input << "\"";
        LMD5 many;
        for (size_t at = 0; at < c.input.size(); at += 7)
            many.Update(c.input.data() + at, std::min<size_t>(7, c.input.size() - at));
        many.FinalHex(pieces);
        EXPECT_STREQ(c.digest, pieces) << "input \"" << c.input << "\"";
    }
}
