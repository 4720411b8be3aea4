// Who may change records. In chromium (driven by playwright-core), another
// origin's pages try to with the administrator's session; the
// administrator's own forms must still work, and a stale form token must
// not.
#include "config/pbx_extension.h"
#include "config/pbx_fixture.h"
#include "pages_fixture.h"

#include <fstream>

namespace
{
// Pages of another origin (the same server reached as 127.0.0.2, another
// host to the browser) that try what a hostile page would.
void WriteAttackPages(const std::string &folder, const std::string &panel)
{
    const std::string form = "<form id=f method=post action=\"" + panel;
    const std::string submit = "</form><script>document.getElementById('f').submit()</script>";
    std::ofstream(folder + "/post_edit.html")
        << form << "/extensionprop\"><input name=save value=1><input name=id value=101>"
        << "<input name=name value=101><input name=password value=KNOWN>" << submit;
    std::ofstream(folder + "/post_delete.html")
        << form << "/extensiondelete\"><input name=id value=102><input name=confirmed value=yes>"
        << submit;
    std::ofstream(folder + "/link_delete.html")
        << "<script>location = '" << panel << "/extensiondelete?id=102&confirmed=yes'</script>";
    std::ofstream(folder + "/fetch_edit.html")
        << "<script>fetch('" << panel << "/extensionprop', {method: 'POST', mode: 'no-cors', "
        << "credentials: 'include', body: new URLSearchParams('save=1&id=101&name=101&password="
        << "KNOWN')}).then(() => document.body.append('answered'))</script>fetching ";
}

std::string Step(const std::string &output, const char *step)
{
    std::string key = std::string("{\"step\":\"") + step + "\"";
    size_t at = output.find(key);
    return at == std::string::npos ? "" : output.substr(at, output.find('\n', at) - at);
}
} // namespace

TEST_F(PagesServerTest, OtherOriginsCannotChangeWhatTheAdministratorsOwnFormsCan)
{
    for (const char *name : {"101", "102", "103"}) {
        LPBXExtension ext = OpenRecord(LPBXExtensionList(), name);
        ext.SetPassword("orig");
        ext.SetDisplayName("Desk");
    }
    char folder[LPathSize];
    std::string panel = base;
    ASSERT_TRUE(LCreateFolder(LGetFolder(LFolder::WebControl, folder)));
    WriteAttackPages(folder, panel);
    std::string other = "http://127.0.0.2:" + std::to_string(port);
    std::string profile = root + "/profile";
    ASSERT_TRUE(LCreateFolder(profile.c_str()));
    std::string out;
    ASSERT_TRUE(vtest::Playwright(VELA_TEST_DATA "/cross_site.js", {panel, other, profile}, &out))
        << out;

    EXPECT_TRUE(Has(Step(out, "cookie"), "\"httpOnly\":true,\"sameSite\":\"Strict\"")) << out;
    for (const char *attack : {"post_edit", "post_delete", "link_delete", "fetch_edit"})
        EXPECT_NE(Step(out, attack), "") << attack << "\n" << out;
    EXPECT_TRUE(Has(Step(out, "post_edit"), "another site and was refused")) << out;
    // The link's navigation carries no cookie (SameSite=Strict): no session.
    EXPECT_TRUE(Has(Step(out, "link_delete"), "not logged on")) << out;
    EXPECT_TRUE(Has(Step(out, "own_edit"), "extensionlist")) << out;
    EXPECT_TRUE(Has(Step(out, "stale_token"), "This form has expired")) << out;

    // What is stored: the administrator's own changes, none of the others.
    LPBXExtension ext;
    char text[LPathSize];
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    EXPECT_STREQ(ext.GetPassword(text), "orig");
    EXPECT_STREQ(ext.GetDisplayName(text), "Reception");
    EXPECT_TRUE(LPBXExtensionList().Exists("102"));
    EXPECT_FALSE(LPBXExtensionList().Exists("103"));
}
