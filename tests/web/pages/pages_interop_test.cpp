// The panel over HTTP with curl: what only the wire shows. A link cannot
// change anything, a post needs the session, and log file names that leave
// the log folder are refused however they are encoded. The forms' logic is
// in pages_test.
#include "config/pbx_extension.h"
#include "pages_fixture.h"

#include <filesystem>
#include <fstream>

namespace
{
TEST_F(PagesServerTest, OnlyASessionsPostChangesRecords)
{
    EXPECT_EQ(Location(Post("extensionprop", {{"save", "1"}, {"name", "105"}, {"password", "pw"}})),
              "extensionlist");
    ASSERT_TRUE(LPBXExtensionList().Exists("105"));
    // A link, even one that says "confirmed", only asks.
    EXPECT_TRUE(Has(Get("/extensiondelete?id=105&confirmed=yes"), "Are you sure"));
    EXPECT_TRUE(LPBXExtensionList().Exists("105"));
    std::string anonymous = vtest::Curl({"-d", "id=105&confirmed=yes", base + "/extensiondelete"});
    EXPECT_TRUE(Has(anonymous, "This form has expired")) << anonymous;
    EXPECT_TRUE(LPBXExtensionList().Exists("105"));
    EXPECT_EQ(Location(Post("extensiondelete", {{"id", "105"}, {"confirmed", "yes"}})),
              "extensionlist");
    EXPECT_FALSE(LPBXExtensionList().Exists("105"));
}

TEST_F(PagesServerTest, LogFilesLeaveOnlyTheirFolder)
{
    char folder[LPathSize];
    const std::string logs = LGetFolder(LFolder::Logs, folder), csv = "2026-01 Phone Log.csv";
    const std::string text = "2026-01-02,10:11:12,01:15,00:00,\"101\",\"102\"\r\n";
    ASSERT_TRUE(LCreateFolder(logs.c_str()));
    std::ofstream(logs + "/" + csv) << text;
    std::ofstream(shared + "/sip") << "port=5060\r\n";
    std::string view = Get("/logprop?file=2026-01%20Phone%20Log.csv");
    EXPECT_EQ(vtest::HttpHeader(view, "Content-Length"), std::to_string(text.size())) << view;
    EXPECT_EQ(view.substr(view.find("\r\n\r\n") + 4), text);
    // "../sip" is the settings file beside the log folder. The page's own
    // refusals are log_pages_test's; here names coded in the query are
    // decoded once and then refused.
    for (std::string name : {"..%2Fsip", "%2E%2E%2Fsip"}) {
        view = Get("/logprop?file=" + name);
        EXPECT_TRUE(Has(view, "404 Not Found") && !Has(view, "port=")) << name << view;
        Post("logdelete", {{"confirmed", "yes"}, {"file", name}});
        Post("logdeleteselected", {{"count", "1"}, {"check0", name}});
        EXPECT_TRUE(std::filesystem::exists(shared + "/sip")) << name;
    }
    Get("/logdelete?confirmed=yes&file=2026-01%20Phone%20Log.csv");
    EXPECT_TRUE(std::filesystem::exists(logs + "/" + csv)) << "a link only asks";
    Post("logdeleteselected", {{"count", "1"}, {"check0", csv}});
    EXPECT_FALSE(std::filesystem::exists(logs + "/" + csv));
}
} // namespace
