// The control panel's script table: every script a page links to, once.
#include "service/web_script_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{
TEST(WebScriptTable, HoldsEveryScriptOnce)
{
    const char *const expected[] = {"",
                                    "logon",
                                    "logoff",
                                    "main",
                                    "externallist",
                                    "externaldelete",
                                    "externalprop",
                                    "externaladvancedsettings",
                                    "extensionlist",
                                    "extensiondelete",
                                    "extensionprop",
                                    "extensioninstruction",
                                    "planlist",
                                    "planadd",
                                    "planprop",
                                    "plandelete",
                                    "sipruleprop",
                                    "sipruledelete",
                                    "dialruleprop",
                                    "dialruledelete",
                                    "grouplist",
                                    "groupadd",
                                    "groupdelete",
                                    "groupprop",
                                    "groupextensiondelete",
                                    "groupextensionprop",
                                    "loglist",
                                    "logprop",
                                    "logdelete",
                                    "logdeleteselected",
                                    "autodeletelog",
                                    "odbclog",
                                    "siptrace",
                                    "recordersettings",
                                    "emergencymapping",
                                    "webaccess"};
    int count = 0;
    const LWebletScriptItem *table = VLWebScriptTable(&count);
    ASSERT_EQ(count, 36);
    std::set<std::string> names;
    for (int i = 0; i < count; i++) {
        EXPECT_NE(table[i].handler, nullptr) << table[i].name;
        EXPECT_TRUE(names.insert(table[i].name).second) << "twice: " << table[i].name;
    }
    for (const char *name : expected)
        EXPECT_EQ(names.count(name), 1u) << name;
    EXPECT_STREQ(table[0].name, "");
}
} // namespace
