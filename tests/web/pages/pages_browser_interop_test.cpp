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
