// The control panel's script table: a name listed twice would leave the
// second page unreachable, an empty handler would crash the server.
#include "service/web_script_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(WebScriptTable, EveryScriptOnceWithAHandler)
{
    int count = 0;
    const LWebletScriptItem *table = VLWebScriptTable(&count);
    ASSERT_GT(count, 0);
    EXPECT_STREQ(table[0].name, "") << "the bare address opens the log-on";
    std::set<std::string> names;
    for (int i = 0; i < count; i++) {
        EXPECT_NE(table[i].handler, nullptr) << table[i].name;
        EXPECT_TRUE(names.insert(table[i].name).second) << "twice: " << table[i].name;
    }
    for (const char *linked : {"loglist", "siptrace", "webaccess", "externaladvancedsettings"})
        EXPECT_EQ(names.count(linked), 1u) << linked;
}
