#include "config/settingstext.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Show(const LSettingsEntries &entries)
{
    std::string out;
    for (const LSettingsEntry &e : entries)
        out += "[" + e.key + "|" + e.value + "]";
    return out;
}

std::string Parse(const std::string &text)
{
    return Show(LSettingsParse(text.data(), text.size()));
}

} // namespace

TEST(SettingsText, LineFormat)
{
    // Every line-end form, blank lines and indentation give the same.
    // clang-format off
    struct Case { std::string text, entries; } cases[] = {
        {"a=1\r\nb=2\r\n", "[a|1][b|2]"}, {"a=1\nb=2", "[a|1][b|2]"}, {"a=1\rb=2\r", "[a|1][b|2]"},
        {"a=1\n\rb=2\n\r", "[a|1][b|2]"}, {"a=1\n\r\n\r\r\n  \t b=2\r\n\n", "[a|1][b|2]"},
        {"a==b\r\n", "[a|=b]"}, {"a===b=c\r\n", "[a|==b=c]"}, {"flag\r\n", "[flag|]"},
        {"=orphan\r\nk=\r\n", "[k|]"}, {"k=1\r\nk=2\r\n", "[k|1][k|2]"}, {"Upper=Case\r\n", "[Upper|Case]"},
        {"k=a b  \r\n", "[k|a b  ]"}, {"k=\xe9t\xe9\r\n", "[k|\xe9t\xe9]"}, {"", ""}, {"\r\n\r\n", ""},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(c.entries, Parse(c.text)) << c.text;
}

TEST(SettingsText, ZeroByteDoesNotEndTheFile)
{
    std::string text("a=1\r\nb=x\0y\r\nc=3\r\n", 17);
    LSettingsEntries e = LSettingsParse(text.data(), text.size());
    ASSERT_EQ(3u, e.size());
    EXPECT_EQ("c", e[2].key);
    EXPECT_EQ("3", e[2].value);
}

TEST(SettingsText, LongKeysAndValuesAreCut)
{
    std::string key(300, 'k'), value(400, 'v');
    LSettingsEntries e = LSettingsParse((key + "=" + value + "\r\nz=1").c_str(), 703 + 5);
    ASSERT_EQ(2u, e.size());
    EXPECT_EQ(std::string(259, 'k'), e[0].key);
    EXPECT_EQ(std::string(259, 'v'), e[0].value);
    EXPECT_EQ("z", e[1].key);
}

TEST(SettingsText, ComposeRoundTrips)
{
    LSettingsEntries e{{"a", "1"}, {"b", ""}, {"a", "2"}, {"c", "==x="}};
    std::string text = LSettingsCompose(e);
    EXPECT_EQ("a=1\r\nb=\r\na=2\r\nc===x=\r\n", text);
    EXPECT_EQ(Show(e), Parse(text));
}

TEST(SettingsText, KeysAndValuesAsStored)
{
    EXPECT_EQ("rtpportbase", LSettingsKey("RTPPortBase"));
    EXPECT_EQ("a b c", LSettingsValue("a\rb\nc"));
    EXPECT_EQ(259u, LSettingsValue(std::string(300, 'v').c_str()).size());
    EXPECT_TRUE(LSettingsIsStorableKey("inner space"));
}

TEST(SettingsText, ValueConversions)
{
    // clang-format off
    struct BoolCase { const char *stored; bool def, result; } bools[] = {
        {nullptr, true, true}, {"", true, true}, {"", false, false}, {"0", true, false},
        {"0abc", true, false}, {"1", false, true}, {"yes", false, true}, {"no", false, true},
    };
    struct IntCase { const char *stored; int def, result; } ints[] = {
        {nullptr, 7, 7}, {"", 7, 7}, {"42", 7, 42}, {"  -5", 7, -5}, {"12abc", 7, 12}, {"abc", 7, 0},
        {"+3", 7, 3}, {"99999999999", 0, 2147483647}, {"-99999999999", 0, -2147483647 - 1},
    };
    // clang-format on
    for (const BoolCase &c : bools)
        EXPECT_EQ(c.result, LFromSettingString(c.stored, c.def)) << (c.stored ? c.stored : "null");
    for (const IntCase &c : ints)
        EXPECT_EQ(c.result, LFromSettingString(c.stored, c.def)) << (c.stored ? c.stored : "null");
    EXPECT_STREQ("1", LToSettingString(true));
    EXPECT_STREQ("0", LToSettingString(false));
}
