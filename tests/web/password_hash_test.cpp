// The panel password at rest: hashes that verify only the right password,
// and stored values that must not verify anything.
#include "web/password_hash.h"

#include <gtest/gtest.h>

namespace
{
TEST(PasswordHash, SaltedHashVerifiesOnlyTheRightPassword)
{
    std::string a = WebHashPassword("correct horse", 1000);
    std::string b = WebHashPassword("correct horse", 1000);
    EXPECT_NE(a, b) << "each hash has its own salt";
    EXPECT_TRUE(WebIsPasswordHash(a.c_str()));
    EXPECT_EQ(a.find("correct"), std::string::npos);
    EXPECT_TRUE(WebCheckPassword(a.c_str(), "correct horse"));
    for (const char *wrong : {"", "correct horsE", "correct horse ", "correct"})
        EXPECT_FALSE(WebCheckPassword(a.c_str(), wrong)) << wrong;
    // An older clear-text value still checks until it is converted.
    EXPECT_TRUE(WebCheckPassword("plain", "plain"));
    EXPECT_FALSE(WebCheckPassword("plain", "plai"));
}

TEST(PasswordHash, DamagedStoredValuesVerifyNothing)
{
    std::string good = WebHashPassword("pw", 1000);
    std::string salt_and_hash = good.substr(good.find('$', 14));
    // clang-format off
    const std::string damaged[] = {
        "pbkdf2-sha256$",
        "pbkdf2-sha256$1000",
        "pbkdf2-sha256$0" + salt_and_hash,
        "pbkdf2-sha256$999999999" + salt_and_hash,
        "pbkdf2-sha256$1000$zz$00",
        "pbkdf2-sha256$1000$00$0",
        good.substr(0, good.size() - 2),
    };
    // clang-format on
    for (const std::string &stored : damaged)
        EXPECT_FALSE(WebCheckPassword(stored.c_str(), "pw")) << stored;
}
} // namespace
