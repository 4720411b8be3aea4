// Hostile input in every text field of every form, posted with curl: each
// value is stored as text or refused with the form's message, every page
// that shows it afterwards shows it encoded, and no name reaches outside the
// settings tree. Log file names that leave the log folder are refused
// however they are encoded.
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "pages_fixture.h"

#include <filesystem>
#include <fstream>

namespace
{
// Markup that would run or break out of an attribute if shown raw, a path
// out of the tree, and a line break that would add a settings key.
const char *const kPayloads[] = {
    "<script>alert(1)</script>",
    "\"><img src=x onerror=alert(2)>",
    "\" autofocus onfocus=\"alert(3)",
    "'><svg onload=alert(4)>",
    "../../escape",
    "..\\escape",
    "a\r\nPassword=owned",
};
// What must never appear in a page: the payloads' markup unencoded.
const char *const kRawMarkers[] = {"<script>alert", "<img src=x", "\" autofocus", "<svg onload"};

class HostileInput : public PagesServerTest
{
  protected:
    void ExpectEncoded(const std::string &page, const std::string &what)
    {
        for (const char *marker : kRawMarkers)
            EXPECT_FALSE(Has(page, marker)) << what << " shows " << marker << ":\n" << page;
    }
    std::string GetWithId(const char *script, const std::string &id)
    {
        return vtest::Curl(
            {"-b", cookie, "-G", "--data-urlencode", "id=" + id, base + "/" + script});
    }
    // Every form once with the payload in all its text fields.
    void PostEverywhere(const std::string &p)
    {
        // clang-format off
        struct Form { const char *script; Fields fields; } posts[] = {
            {"extensionprop", {{"save", "1"}, {"name", p}, {"displayname", p}, {"password", p}, {"plan", p}}},
            {"extensionprop", {{"save", "1"}, {"name", "x" + p}, {"usetna", "1"}, {"tna", p}, {"tnadelay", p}}},
            {"externalprop", {{"101", p}, {"106", p}, {"107", p}, {"108", p}, {"rbg1", "102"}, {"103", p}, {"submitdef", "  OK  "}}},
            {"externaladvancedsettings", {{"id", p}, {"rbg1", "102"}, {"103", p}, {"rbg2", "202"}, {"106", p}, {"107", p}, {"108", p}, {"109", p}, {"submitdef", "  OK  "}}},
            {"groupadd", {{"add", "1"}, {"name", p}}},
            {"groupprop", {{"save", "1"}, {"name", p}, {"startprompt", "1"}, {"promptfile", p}, {"waithold", "server"}, {"imsserver", p}}},
            {"groupextensionprop", {{"id", p}, {"saveext", "1"}, {"extension", p}, {"delay", p}}},
            {"planadd", {{"add", "1"}, {"name", p}}},
            {"planprop", {{"save", "1"}, {"name", p}, {"dialonline", p}}},
            {"dialruleprop", {{"id", p}, {"saverule", "1"}, {"startswith", p}, {"prepend", p}, {"removedigits", "1"}, {"dialonline", p}}},
            {"sipruleprop", {{"id", p}, {"saverule", "1"}, {"host", p}, {"dialonline", p}}},
            {"recordersettings", {{"101", p}, {"102", p}, {"submitdef", "  OK  "}}},
            {"emergencymapping", {{"101", "on"}, {"102", p}, {"103", p}, {"104", p}, {"submitdef", "Save Changes"}}},
        };
        // clang-format on
        for (const Form &f : posts)
            ExpectEncoded(Post(f.script, f.fields), std::string(f.script) + " with " + p);
    }
};
} // namespace

TEST_F(HostileInput, StoredAsTextOrRefusedNeverShownRaw)
{
    for (const char *p : kPayloads)
        PostEverywhere(p);
    // The same forms once more for the records the first round stored, so
    // that rules and members land inside them.
    char key[LPathSize];
    std::vector<std::string> plans, groups, lines, extensions;
    for (LPBXOutboundPlanListIterator it; it; it.Next())
        plans.push_back(it->GetPlanName(key));
    for (LPBXGroupListIterator it; it; it.Next())
        groups.push_back(it->GetName(key));
    for (LPBXExternalLineListIterator it; it; it.Next())
        lines.push_back(it->GetLineName(key));
    for (LPBXExtensionListIterator it; it; it.Next())
        extensions.push_back(it->GetName(key));
    EXPECT_FALSE(extensions.empty()) << "a quote payload is a valid name";
    for (const std::string &name : plans)
        for (const char *p : kPayloads) {
            Post("dialruleprop", {{"id", name}, {"saverule", "1"}, {"startswith", p}});
            Post("sipruleprop", {{"id", name}, {"saverule", "1"}, {"host", p}});
        }
    for (const std::string &name : groups)
        for (const std::string &ext : extensions)
            Post("groupextensionprop", {{"id", name}, {"saveext", "1"}, {"extension", ext}});

    for (const char *list : {"/extensionlist", "/externallist", "/grouplist", "/planlist", "/main",
                             "/recordersettings", "/emergencymapping"})
        ExpectEncoded(Get(list), list);
    for (const std::string &name : extensions) {
        ExpectEncoded(GetWithId("extensionprop", name), "extension " + name);
        ExpectEncoded(GetWithId("extensioninstruction", name), "instructions " + name);
    }
    for (const std::string &name : lines) {
        ExpectEncoded(GetWithId("externalprop", name), "line " + name);
        ExpectEncoded(GetWithId("externaladvancedsettings", name), "advanced " + name);
    }
    for (const std::string &name : groups)
        ExpectEncoded(GetWithId("groupprop", name), "group " + name);
    for (const std::string &name : plans)
        ExpectEncoded(GetWithId("planprop", name), "plan " + name);

    // No name made a file outside the records, and no line break made a key.
    namespace fs = std::filesystem;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        std::string path = entry.path().string();
        EXPECT_EQ(path.find("escape"), std::string::npos) << path;
        if (entry.is_regular_file()) {
            EXPECT_FALSE(Has(vtest::ReadFile(path), "\nPassword=owned")) << path;
        }
    }
    // A stored hostile name is still reached through its encoded link.
    std::string quoted = "\"><img src=x onerror=alert(2)>";
    ASSERT_TRUE(LPBXExtensionList().Exists(quoted.c_str()));
    Post("extensiondelete", {{"id", quoted}, {"confirmed", "yes"}});
    EXPECT_FALSE(LPBXExtensionList().Exists(quoted.c_str()));
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
