#include "support/web_client.h"
#include "web/html_list.h"
#include "web/web_dialog.h"
#include "web/web_logon.h"
#include "web_fixture.h"

namespace
{
// A dialog whose OK needs a non-empty control 101.
class NameDialog : public LWebDialog
{
  public:
    using LWebDialog::LWebDialog;
    void InitDialog() override { SetText(101, "from \"settings\""); }
    void Generate() override
    {
        AddInput(101, "Name:", 20);
        AddCheckBox(102, "Enabled", true);
        EnableControlOnCheck(101, 102);
    }
    bool CmOk() override
    {
        ok_calls++;
        if (GetTextAndTrim(101).empty()) {
            PopupControlDataInvalid(101, "Name <required>.");
            return false;
        }
        return true;
    }
    int ok_calls = 0;
};

class WebDialogTest : public WebRootTest
{
  protected:
    // Runs the dialog on the form fields, with the given Referer header.
    std::string Run(const std::string &fields, const char *referrer = nullptr,
                    int *ok_calls = nullptr, bool logon = true)
    {
        return RunScript(
            [&](LWebletForm &form) {
                if (referrer)
                    form.headers.SetParm("Referer", referrer);
                NameDialog dialog(form);
                dialog.Run();
                if (ok_calls)
                    *ok_calls = dialog.ok_calls;
            },
            fields, logon);
    }
};
} // namespace

TEST_F(WebDialogTest, WithoutSessionRedirectsToLogon)
{
    EXPECT_EQ(Run("", nullptr, nullptr, false), "HTTP/1.0 302 OK\r\nLocation: logon\r\n\r\n");
}

TEST_F(WebDialogTest, FirstDisplayDrawsInitialValuesEncoded)
{
    std::string page = Run("");
    EXPECT_EQ(page.compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0);
    EXPECT_TRUE(Has(page, "value=\"from &quot;settings&quot;\""));
    EXPECT_TRUE(Has(page, "<form action=\"dialog\" method=post>"));
    EXPECT_TRUE(Has(page, "name=submitdef value=\"  OK  \""));
    EXPECT_TRUE(Has(page, "document.getElementById('101').disabled = "
                          "!document.getElementById('102').checked;"));
}

// Where the browser goes after a button; hostile return targets (the full
// set is weblet_guard_test's) go to the main page and add no header.
TEST_F(WebDialogTest, ButtonsDecideWhatHappens)
{
    // clang-format off
    struct Case { const char *fields, *referrer; int ok_calls; const char *location; } cases[] = {
        {"submitdef=++OK++&101=x", nullptr, 1, "main"}, // Enter key
        {"submit=++OK++&101=x&onok=extensionlist", nullptr, 1, "extensionlist"},
        {"submit=++OK++&101=x", "http://pbx:1081/grouplist?iCol=1", 1, "grouplist?iCol=1"},
        {"submit=++OK++&101=x", "http://evil.example/x", 1, "main"},
        {"submit=++OK++&101=x&onok=//evil.example/x", nullptr, 1, "main"},
        {"submit=++OK++&101=x&onok=main%0d%0aSet-Cookie:+sess%3dstolen", nullptr, 1, "main"},
        {"submit=Cancel&oncancel=planlist&onok=x", nullptr, 0, "planlist"},
        {"submit=Cancel&onok=grouplist", nullptr, 0, "grouplist"},
        {"submit=++OK++&101=", nullptr, 1, ""}, // invalid: redrawn
        {"submit=Something", nullptr, 0, ""},
    };
    // clang-format on
    for (const Case &c : cases) {
        int ok_calls = -1;
        std::string answer = Run(c.fields, c.referrer, &ok_calls);
        EXPECT_EQ(ok_calls, c.ok_calls) << answer.substr(0, 200);
        EXPECT_EQ(vtest::HttpHeader(answer, "Location"), c.location) << answer.substr(0, 200);
        EXPECT_FALSE(Has(answer, "Set-Cookie"));
    }
}

TEST_F(WebDialogTest, ValidationMessageMarksTheControlAndKeepsTargetsEncoded)
{
    std::string page = Run("submit=++OK++&101=+&onok=%22%3e%3cscript%3ex");
    EXPECT_TRUE(Has(page, "<tr><td colspan=6><font color=#a00000>Name &lt;required&gt;."
                          "</font></td></tr><tr bgcolor=#ffe0e0>"));
    EXPECT_TRUE(Has(page, "name=onok value=\"&quot;&gt;&lt;script&gt;x\""));
    EXPECT_FALSE(Has(page, "<script>x"));
    EXPECT_TRUE(Has(page, "value=\" \"")); // submitted value redrawn
}

TEST_F(WebDialogTest, ListSortsByTheRequestedColumn)
{
    CapturedForm captured(sessions);
    captured.Form().form_data.LoadHTTPString("iCol=1&bAsc=0");
    LHtmlList list(captured.Form(), "extensionlist", 0);
    list.AddColumn("Name", 50, LHtmlList::AlignLeft, true);
    list.AddColumn("Display", 50, LHtmlList::AlignLeft, true);
    const char *rows[][2] = {{"101", "bob"}, {"102", "Carol"}, {"103", "alice"}, {"104", "<x>"}};
    for (auto &r : rows) {
        LHtmlListRow row;
        row.AddCell(r[0]);
        row.AddCell(r[1]);
        list.AddRow(row);
    }
    list.Write(captured.Form(), 80);
    const std::string &html = captured.Output();
    size_t carol = html.find("Carol"), bob = html.find("bob"), alice = html.find("alice"),
           x = html.find("&lt;x&gt;");
    ASSERT_NE(x, std::string::npos);
    EXPECT_LT(carol, bob);
    EXPECT_LT(bob, alice);
    EXPECT_LT(alice, x);
    EXPECT_TRUE(Has(html, "href=\"extensionlist?iCol=1&amp;bAsc=1\""));
    EXPECT_TRUE(Has(html, "href=\"extensionlist?iCol=0&amp;bAsc=1\""));
    EXPECT_TRUE(Has(html, "<tr bgcolor=#f5fafa><td>102"));
    EXPECT_TRUE(Has(html, "<tr bgcolor=#ffffff><td>101"));
}

TEST_F(WebDialogTest, EmptyListSaysSo)
{
    CapturedForm captured(sessions);
    LHtmlList list(captured.Form(), "grouplist?x=1", 0);
    list.AddColumn("Group ID", 20, LHtmlList::AlignLeft, true);
    list.AddColumnRawHTML("<b>raw</b>", 5);
    list.Write(captured.Form(), 100);
    const std::string &html = captured.Output();
    EXPECT_TRUE(Has(html, "There are no items in this list"));
    EXPECT_TRUE(Has(html, "grouplist?x=1&amp;iCol=0&amp;bAsc=0"));
    EXPECT_TRUE(Has(html, "<td width=5%><b>raw</b></td>"));
}
