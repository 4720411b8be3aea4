#include "platform/hashtable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::pair<std::string, std::string>> Pairs(const LHashTable &table)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (LHashTable::Iterator it(table); it.IsValid(); it.Next())
        out.emplace_back(it.GetParm(), it.GetData());
    return out;
}
using PairList = std::vector<std::pair<std::string, std::string>>;
} // namespace

TEST(HashTable, SetParmReplacesOrInsertsAtTheFront)
{
    LHashTable table;
    EXPECT_TRUE(table.IsEmpty());
    table.SetParm("a", "1");
    table.SetParm("b", "2");
    table.SetParm("A", "3"); // names compare with case
    table.SetParm("a", "4"); // replaced in place
    EXPECT_EQ((PairList{{"A", "3"}, {"b", "2"}, {"a", "4"}}), Pairs(table));
    EXPECT_STREQ("dflt", table.GetParm("c", "dflt"));
    EXPECT_TRUE(table.DeleteParm("b"));
    EXPECT_FALSE(table.DeleteParm("b"));
    EXPECT_FALSE(table.TestExists("b"));
    LHashTable copy(table);
    table.Clear();
    EXPECT_EQ((PairList{{"A", "3"}, {"a", "4"}}), Pairs(copy));
}

// A value lives behind its name until a longer one replaces it; every
// replacement must keep the whole new value and the name intact.
TEST(HashTable, ReplacedValuesKeepTheirWholeText)
{
    LHashTable table;
    table.SetParm("key", "abcdef");
    const std::string longValue(300, 'x');
    for (const char *value : {"ab", "abcdef", "", longValue.c_str(), "short", "abcdefgh"}) {
        ASSERT_TRUE(table.SetParm("key", value));
        EXPECT_EQ((PairList{{"key", value}}), Pairs(table));
    }
    // A part of the stored value, on the heap and behind the name.
    table.SetParm("in", "abcdefgh");
    for (const char *name : {"key", "in"})
        table.SetParm(name, table.GetParm(name) + 2);
    EXPECT_EQ((PairList{{"in", "cdefgh"}, {"key", "cdefgh"}}), Pairs(table));
}

TEST(HashTable, ConversionsFollowTheirRules)
{
    LHashTable t;
    t.LoadHTTPString("zero=0&one=1&yes=yes&empty=&num=42abc&neg=-7&junk=x9&huge=99999999999&sp=+8");
    // GetBool with default true, GetInt with default 5
    // clang-format off
    const struct { const char *name; bool boolValue; int intValue; } cases[] = {
        {"zero", false, 0}, {"one", true, 1}, {"yes", true, 0}, {"empty", true, 5}, {"num", true, 42},
        {"neg", true, -7}, {"junk", true, 0}, {"huge", true, INT32_MAX}, {"sp", true, 8}, {"absent", true, 5},
    };
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(c.boolValue, t.GetBool(c.name, true)) << c.name;
        EXPECT_EQ(c.intValue, t.GetInt(c.name, 5)) << c.name;
    }
    EXPECT_FALSE(t.GetBool("yes", false));
    t.SetInt("neg", -12);
    EXPECT_STREQ("-12", t.GetParm("neg"));
    t.SetParm("pad", "  v a  ");
    EXPECT_STREQ("v a", t.GetParmTrim("pad"));
    EXPECT_STREQ("v a", t.GetParm("pad")); // trimmed in place
    char out[260];
    t.SetParm("long", std::string(400, 'q').c_str());
    t.GetString("long", "", out);
    EXPECT_EQ(std::string(259, 'q'), out);
}

TEST(HashTable, LoadHTTPStringHandlesHostileText)
{
    // clang-format off
    const struct { const char *text; PairList pairs; } cases[] = {
        {"a=1+2&b=%41&c", {{"a", "1 2"}, {"b", "A"}, {"c", ""}}},
        {"=skipped&&x=1&=&", {{"x", "1"}}}, {"n=%4", {{"n", ""}}}, // escape cut short ends the text
        {"n=ab%", {{"n", "ab"}}}, {"n=%zz%4G", {{"n", "@"}}}, // non-hex digits count as 0
        {"n=a%00b", {{"n", "ab"}}}, // decoded zero byte dropped
        {"%00=v", {}}, // name decodes to empty
        {"k%3Dv=w%26x", {{"k=v", "w&x"}}}, {"dup=1&dup=2", {{"dup", "1"}, {"dup", "2"}}},
        {"x=a=b", {{"x", "a=b"}}}, {"", {}},
    };
    // clang-format on
    for (const auto &c : cases) {
        LHashTable table;
        table.LoadHTTPString(c.text);
        EXPECT_EQ(c.pairs, Pairs(table)) << c.text;
    }
    LHashTable appended;
    appended.SetParm("old", "1");
    appended.LoadHTTPString("new=2&old=3");
    EXPECT_EQ((PairList{{"old", "1"}, {"new", "2"}, {"old", "3"}}), Pairs(appended));
    EXPECT_STREQ("1", appended.GetParm("old")); // first occurrence wins
}

TEST(HashTable, SaveHTTPStringRoundTripsEveryByte)
{
    LHashTable table;
    table.SetParm("x y", "a&b");
    LStringLong text;
    table.SaveHTTPString(text);
    EXPECT_STREQ("x%20y=a%26b", text.GetString());

    std::string all;
    for (int b = 1; b < 256; b++)
        all += (char)b;
    LHashTable wide;
    wide.SetParm("plain", "Az09-_.~");
    wide.SetParm(all.c_str(), all.c_str());
    wide.SetParm("reserved", "%:/?#[]@!$&'()*+,;= ");
    LStringLong saved;
    wide.SaveHTTPString(saved);
    for (const char *p = saved.GetString(); *p; p++)
        EXPECT_TRUE(*p > 0x20 && *p < 0x7F) << (int)*p;
    EXPECT_NE(nullptr, strstr(saved.GetString(), "plain=Az09-_.~"));
    LHashTable loaded;
    loaded.LoadHTTPString(saved.GetString());
    EXPECT_EQ(Pairs(wide), Pairs(loaded));
}
