// The extension list in headless chromium: the browser logs on itself
// through a page served by the exchange, fetches the list and renders
// a phone's registration; the DOM is checked and a screenshot kept in the
// test's working folder (extensionlist.png).
#include "config/pbx_extension.h"
#include "pages_fixture.h"

#include <ctime>
#include <filesystem>
#include <fstream>

namespace
{
// Logs on from the same origin, so the session cookie is the browser's
// own, then fetches the list with it and renders it in place of this page.
// (A second navigation would leave headless chromium waiting.)
const char *const kAutoLogOn =
    "<script>\n"
    "var logon = new XMLHttpRequest();\n"
    "logon.open('POST', 'logon', false);\n"
    "logon.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');\n"
    "logon.send('101=admin&102=&submitdef=++OK++');\n"
    "var page = new XMLHttpRequest();\n"
    "page.open('GET', 'extensionlist', false);\n"
    "page.send();\n"
    "document.write(page.responseText);\n"
    "</script>\n";

class BrowserTest : public PagesServerTest
{
  protected:
    void SetUp() override
    {
        PagesServerTest::SetUp();
        char folder[LPathSize];
        ASSERT_TRUE(LCreateFolder(LGetFolder(LFolder::WebControl, folder)));
        std::ofstream(std::string(LGetFolder(LFolder::WebControl, folder)) + "/autologon.html")
            << kAutoLogOn;
    }
    bool Render(const std::vector<std::string> &args, std::string *dom = nullptr)
    {
        std::vector<std::string> all = {"--window-size=1100,520"};
        all.insert(all.end(), args.begin(), args.end());
        return vtest::Chromium(root, all, base + "/autologon.html", dom);
    }
};
} // namespace

TEST_F(BrowserTest, ExtensionListShowsARegisteredPhone)
{
    struct Phone {
        const char *name, *display, *contact;
        long expires_in;
    } phones[] = {
        {"101", "Front Desk", "sip:101@192.168.1.20:5062;transport=udp", 3600},
        {"102", "Warehouse <b>bold</b>", "<script>document.title='owned'</script>", 3600},
        {"103", "Lobby", "sip:103@192.168.1.23:5060", -60},
    };
    for (const Phone &p : phones) {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().Open(ext, p.name));
        ext.SetPassword("pw");
        ext.SetDisplayName(p.display);
        ASSERT_TRUE(ext.AddContact(p.contact, time(nullptr) + p.expires_in, "0.5"));
    }
    std::string dom;
    ASSERT_TRUE(Render({"--dump-dom"}, &dom)) << dom;
    for (const char *part :
         {"<title>Vela</title>", "Extension ID", "Display Name", "Setup Details", "Front Desk",
          "sip:101@192.168.1.20:5062;transport=udp", "expires at ", "Warehouse &lt;b&gt;bold",
          "&lt;script&gt;document.title='owned'&lt;/script&gt;", "Logged on as admin",
          "Add New Extension", "extensionprop?id=101"})
        EXPECT_NE(dom.find(part), std::string::npos) << part << "\n" << dom;
    EXPECT_EQ(dom.find("<b>bold</b>"), std::string::npos);
    EXPECT_EQ(dom.find("sip:103@"), std::string::npos) << "an expired registration shows nothing";
    EXPECT_EQ(dom.find("Your session has expired"), std::string::npos);

    std::string png = std::filesystem::current_path().string() + "/extensionlist.png";
    std::filesystem::remove(png);
    ASSERT_TRUE(Render({"--screenshot=" + png}));
    std::error_code ec;
    EXPECT_GT(std::filesystem::file_size(png, ec), 10000u) << png;
}

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
        << "KNOWN')})</script>fetched";
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
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().Open(ext, name));
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
