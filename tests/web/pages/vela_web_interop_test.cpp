// The control panel of the real service, `vela -foreground` on free ports:
// what is saved through the panel is what the exchange's registrar then
// uses, and what it learns shows on the panel. (Renames reaching every
// reference are pages_test's.)
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
using VelaWebInterop = CallTest;

TEST_F(VelaWebInterop, PhoneWithThePanelsPasswordRegistersAndShowsOnTheList)
{
    StartVela();
    const std::string base = vela.WebBase(), cookie = vela.PanelCookie();
    ASSERT_NE(cookie, "") << vela.Process().Output();
    const std::string token = WebFormToken(Curl({"-b", cookie, base + "/extensionprop"}));
    std::string saved =
        Curl({"-b", cookie, "-d", "save=1&name=104&password=pw104&displayname=Desk&csrf=" + token,
              base + "/extensionprop"});
    EXPECT_EQ(HttpHeader(saved, "Location"), "extensionlist");
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("104", "pw104", phonePort));
    std::string list = Curl({"-b", cookie, base + "/extensionlist"});
    EXPECT_TRUE(Has(list, "Desk")) << list;
    EXPECT_TRUE(Has(list, "sip:104@127.0.0.1:" + std::to_string(phonePort))) << list;
    EXPECT_TRUE(Has(list, "expires at "));
    EXPECT_EQ(HttpHeader(Curl({base + "/extensionlist"}), "Location"), "logon");
}
} // namespace
} // namespace vtest
