#include "logs/sql_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The statement, then each bound value ("#" marks a number) after a "|".
std::string Prepare(const char *sqlTemplate, const char *from, const char *to = "101",
                    bool *ok = nullptr)
{
    const LSqlArgument args[] = {
        {"date", "2024-03-05"},        {"time", "07:08:09"},   {"from", from}, {"to", to},
        {"durationtotal", "75", true}, {"duration", "0", true}};
    char out[kSqlStatementMax + 1];
    std::vector<LSqlParameter> parameters;
    bool prepared = LSqlPrepareTemplate(out, sizeof out, sqlTemplate, args, 6, parameters);
    if (ok)
        *ok = prepared;
    std::string text = out;
    for (const LSqlParameter &p : parameters)
        text += "|" + std::string(p.number ? "#" : "") + p.value;
    return text;
}
} // namespace

TEST(SqlTemplate, PlaceholdersBecomeBoundParameters)
{
    struct Case {
        const char *sqlTemplate, *from, *expected;
    } cases[] = {
        // clang-format off
        {"%from%%to%", "it's", "??|it's|101"},
        {"INSERT INTO CallTable (\"Date\",\"Time\",\"From\",\"To\",\"Duration\") values "
         "('%date%','%time%','%from%','%to%','%duration%')", "40",
         "INSERT INTO CallTable (\"Date\",\"Time\",\"From\",\"To\",\"Duration\") values "
         "(?,?,?,?,?)|2024-03-05|07:08:09|40|101|#0"},
        {"%durationtotal%/%duration%", "", "?/?|#75|#0"},
        {"a%unknown%b%%c '%nothing%'", "", "abc ''"},
        {"%FROM%|%From%", "x", "|"}, // names are case-sensitive
        {"100% sure", "x", "100% sure"},
        // Whatever the value holds, it stays a value: no quoting rules apply.
        {"'%from%'", "'; DROP TABLE CallTable; --", "?|'; DROP TABLE CallTable; --"},
        {"'%from%'", "\\'); DELETE FROM t; --", "?|\\'); DELETE FROM t; --"},
        {"'%from%'", "a\r\nb\tc\x7f" "d", "?|abcd"},
        {"x'%from%", "v", "x'?|v"},
        {"", "x", ""},
        // clang-format on
    };
    for (const Case &c : cases)
        EXPECT_EQ(Prepare(c.sqlTemplate, c.from), c.expected) << c.sqlTemplate;
}

TEST(SqlTemplate, ValuesAreCutAndOverlongStatementsRefused)
{
    // Control characters do not count against the 259.
    std::string value = std::string(100, '\n') + std::string(259, 'c') + "X";
    EXPECT_EQ(Prepare("%from%", value.c_str()), "?|" + std::string(259, 'c'));
    bool ok = false;
    std::string tmpl(1023, 'y');
    EXPECT_EQ(Prepare(tmpl.c_str(), "", "", &ok), tmpl);
    EXPECT_TRUE(ok);
    tmpl += "%from%";
    EXPECT_EQ(Prepare(tmpl.c_str(), "v", "", &ok), "");
    EXPECT_FALSE(ok);
}
