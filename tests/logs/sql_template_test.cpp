#include "logs/sql_template.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Expand(const char *sqlTemplate, const char *from, const char *to = "101",
                   bool *ok = nullptr)
{
    const LSqlArgument args[] = {{"date", "2024-03-05"},  {"time", "07:08:09"},
                                 {"from", from},          {"to", to},
                                 {"durationtotal", "75"}, {"duration", "0"}};
    char out[kSqlStatementMax + 1];
    bool expanded = LSqlExpandTemplate(out, sizeof out, sqlTemplate, args, 6);
    if (ok)
        *ok = expanded;
    return out;
}
} // namespace

TEST(SqlTemplate, PlaceholdersTable)
{
    struct Case {
        const char *sqlTemplate, *from, *expected;
    } cases[] = {
        {"%from%%to%", "it's", "it''s101"},
        {"('%date%','%time%','%from%')", "40", "('2024-03-05','07:08:09','40')"},
        {"%durationtotal%/%duration%", "", "75/0"},
        {"a%unknown%b%%c", "", "abc"},
        {"%FROM%|%From%", "x", "|"}, // names are case-sensitive
        {"100% sure", "x", "100% sure"},
        {"'%from%'", "'; DROP TABLE CallTable; --", "'''; DROP TABLE CallTable; --'"},
        {"'%from%'",
         "a\r\nb\tc\x7f"
         "d",
         "'abcd'"},
        {"'%from%'", "''''", "''''''''''"},
        {"", "x", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Expand(c.sqlTemplate, c.from), c.expected) << c.sqlTemplate;
}

TEST(SqlTemplate, ValueIsCutBeforeQuotesAreDoubled)
{
    // 258 letters and a quote at position 259: the quote is kept, doubled.
    std::string value(258, 'a');
    value += "'tail";
    std::string sql = Expand("'%from%'", value.c_str());
    EXPECT_EQ(sql, "'" + std::string(258, 'a') + "'''");
    // A quote just past the cut is dropped whole, not half.
    value = std::string(259, 'b') + "'";
    EXPECT_EQ(Expand("'%from%'", value.c_str()), "'" + std::string(259, 'b') + "'");
    // 259 quotes double to 518 characters: every quote keeps its pair.
    std::string quotes(300, '\'');
    sql = Expand("%from%", quotes.c_str());
    EXPECT_EQ(sql, std::string(518, '\''));
    // Control characters do not count against the 259.
    value = std::string(100, '\n') + std::string(259, 'c') + "X";
    EXPECT_EQ(Expand("%from%", value.c_str()), std::string(259, 'c'));
}

TEST(SqlTemplate, OverlongStatementIsRefusedNotCut)
{
    std::string quotes(259, '\'');
    bool ok = true;
    // 518 + 518 fits nowhere under 1023 with the text around it.
    std::string sql = Expand("x%from%%to%", quotes.c_str(), quotes.c_str(), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(sql, "");
    std::string tmpl(1023, 'y');
    EXPECT_EQ(Expand(tmpl.c_str(), "", "", &ok), tmpl);
    EXPECT_TRUE(ok);
    tmpl += "z";
    Expand(tmpl.c_str(), "", "", &ok);
    EXPECT_FALSE(ok);

    // A small buffer: a doubled quote never straddles the end.
    char small[4];
    size_t length = 0;
    EXPECT_FALSE(LSqlAppendValue(small, sizeof small, length, "ab'"));
    EXPECT_STREQ(small, "ab");
}
