#include "platform/md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// The test suite of RFC 1321, appendix A.5.
TEST(MD5, Rfc1321TestSuite)
{
    std::string eighty;
    for (int i = 0; i < 8; i++)
        eighty += "1234567890";
    const char *kEightyDigits = eighty.c_str();
    struct Case {
        const char *input;
        const char *digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {kEightyDigits, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case &c : cases) {
        char hex[LMD5::HexSize];
        LMD5::HexOf(c.input, hex);
        EXPECT_STREQ(c.digest, hex) << "input \"" << c.input << "\"";
    }
}

// Feeding the same bytes in pieces that straddle the 64-byte blocks and the
// 56-byte padding boundary must not change the digest.
TEST(MD5, PiecewiseUpdatesMatchOneShot)
{
    std::string text;
    for (int i = 0; i < 300; i++)
        text += (char)('!' + i % 90);
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
        char whole[LMD5::HexSize], pieces[LMD5::HexSize];
        LMD5 one;
        one.Update(text.data(), length);
        one.FinalHex(whole);
        LMD5 many;
        for (size_t at = 0; at < length; at += 7)
            many.Update(text.data() + at, std::min<size_t>(7, length - at));
        many.FinalHex(pieces);
        EXPECT_STREQ(whole, pieces) << "length " << length;
    }
}

// RFC 2617's worked digest example (HA1 for Mufasa) exercises the exact
// "user:realm:password" use.
TEST(MD5, DigestAuthenticationExample)
{
    char hex[LMD5::HexSize];
    LMD5::HexOf("Mufasa:testrealm@host.com:Circle Of Life", hex);
    EXPECT_STREQ("939e7578ed9e3c518a452acee763bce9", hex);
}
