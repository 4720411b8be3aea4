// The control panel of the real service, `vela -foreground` on free ports:
// what is saved through the panel is what the exchange's registrar and call
// control then use, and what they learn shows on the panel.
#include <string>

// The phones' scenarios live with the call tests.
inline const std::string kPagesGenerated = VELA_TEST_GENERATED;
#undef VELA_TEST_GENERATED
#define VELA_TEST_GENERATED (kPagesGenerated + "/../../callcontrol")

#include "callcontrol/call_fixture.h"
#include "support/text.h"
#include "support/web_client.h"

namespace vtest
{
namespace
{
class VelaWebInterop : public CallTest
{
  protected:
    void StartWithPanel()
    {
        StartVela();
        base = vela.WebBase();
        cookie = vela.PanelCookie();
        ASSERT_NE(cookie, "") << vela.Process().Output();
        token = WebFormToken(Curl({"-b", cookie, base + "/extensionprop"}));
    }
    // A form post of the panel; where it sends the browser.
    std::string Post(const char *script, const std::string &fields)
    {
        return HttpHeader(
            Curl({"-b", cookie, "-d", fields + "&csrf=" + token, base + "/" + script}), "Location");
    }
    std::string base, cookie, token;
};

TEST_F(VelaWebInterop, PhoneWithThePanelsPasswordRegistersAndShowsOnTheList)
{
    StartWithPanel();
    EXPECT_EQ(Post("extensionprop", "save=1&name=104&password=pw104&displayname=Desk"),
              "extensionlist");
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("104", "pw104", phonePort));
    std::string list = Curl({"-b", cookie, base + "/extensionlist"});
    EXPECT_TRUE(Has(list, "Desk")) << list;
    EXPECT_TRUE(Has(list, "sip:104@127.0.0.1:" + std::to_string(phonePort))) << list;
    EXPECT_TRUE(Has(list, "expires at "));
    EXPECT_EQ(HttpHeader(Curl({base + "/extensionlist"}), "Location"), "logon");
}

// An extension renamed through the panel while it is a group's member: a
// call to the group rings the phone registered under the new name.
TEST_F(VelaWebInterop, RenamedMemberStillAnswersForItsGroup)
{
    StartWithPanel();
    EXPECT_EQ(Post("groupprop", "save=1&name=701&waithold=ringing"), "grouplist");
    EXPECT_EQ(Post("groupextensionprop", "id=701&saveext=1&extension=102"), "groupprop?id=701");
    EXPECT_EQ(Post("extensionprop", "save=1&id=102&name=112"), "extensionlist");
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("112", "pw102", phonePort));
    auto phone = StartPhone("uas_answer.xml", phonePort);
    auto caller = StartCaller("uac_call.xml", "701");
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output() << vela.Process().Output();
    EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
}
} // namespace
} // namespace vtest
