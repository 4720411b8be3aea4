// The start-up hooks: once installed, a dialog's remote target and the
// targets of a redirect reach a phone behind NAT through the registrar's
// contact map, only from the source that registered it; removed, nothing
// is rewritten.
#include "callcontrol/initiate_list.h"
#include "callcontrol/pbx_hooks.h"
#include "registrar_fixture.h"
#include "sip/sip_call.h"
#include "sip/sip_call_hooks.h"

namespace
{
constexpr const char *kPrivate = "sip:201@192.168.1.20:5060";
constexpr const char *kMapped = "sip:201@203.0.113.5:40000";

class PBXHooksTest : public RegistrarTest
{
  protected:
    void SetUp() override
    {
        RegistrarTest::SetUp();
        LTestClock::Install(1000, kNow);
        // The phone at 192.168.1.20:5060 registered from 203.0.113.5:40000.
        LIPAddressWithPort a, s;
        a.SetFromText("192.168.1.20:5060", 5060);
        s.SetFromText("203.0.113.5:40000", 5060);
        SetRegistryContactMapping(a, s, kNow);
    }
    void TearDown() override
    {
        LPBXRemoveHooks();
        LTestClock::Remove();
        RegistrarTest::TearDown();
    }

    // The remote target a dialog takes from a 200 sent by source.
    static std::string DialogTarget(const char *source)
    {
        LSipCall call("<sip:201@pbx.test>", "<sip:100@pbx.test>", "", "100", "", "");
        auto answer = Request("OPTIONS", "sip:100@pbx.test",
                              std::string("Contact: <") + kPrivate + ">\r\n", source);
        call.SetRemoteTargetURI(*answer);
        return call.GetRemoteTargetURI();
    }

    // The target a redirect sent by source adds to a list.
    static std::string RedirectTarget(const char *source)
    {
        LSipCallInitiateList list;
        LSipCallInitiateParams p;
        p.remoteNameAddr = "<sip:300@pbx.test>";
        p.remoteTargetURI = "sip:300@10.0.0.9";
        list.AddExtension(p);
        LSipCallInitiateItem &item = *list.GetFirst();
        auto redirect = Request("OPTIONS", "sip:300@pbx.test",
                                std::string("Contact: <") + kPrivate + ">\r\n", source);
        std::string target = list.AddContact(item, *redirect) == 1
                                 ? list.GetFirst()->GetCall().remoteTargetURI
                                 : "(none added)";
        list.DeleteAll();
        return target;
    }
};

TEST_F(PBXHooksTest, DialogsAndTargetListsSeeTheMapOnlyWhileInstalled)
{
    struct {
        const char *what;
        bool installed;
        const char *source;
        const char *expected;
    } cases[] = {
        {"installed, from the registering source", true, "203.0.113.5:40000", kMapped},
        {"installed, from another site", true, "198.51.100.7:40000", kPrivate},
        {"not installed", false, "203.0.113.5:40000", kPrivate},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.installed)
            LPBXInstallHooks();
        else
            LPBXRemoveHooks();
        EXPECT_EQ(DialogTarget(c.source), c.expected);
        EXPECT_EQ(RedirectTarget(c.source), c.expected);
    }
}

TEST_F(PBXHooksTest, ExpiredMappingIsNotApplied)
{
    LPBXInstallHooks();
    LTestClock::Advance(4001 * 1000);
    EXPECT_EQ(DialogTarget("203.0.113.5:40000"), kPrivate);
}

TEST_F(PBXHooksTest, InDialogOptionsGetTheIdleOfferOnlyWhileInstalled)
{
    auto options = Request("OPTIONS", "sip:100@pbx.test", "");
    std::string body;
    LSipMakeDefaultSdp(*options, body);
    EXPECT_EQ(body, "");
    LPBXInstallHooks();
    LSipMakeDefaultSdp(*options, body);
    EXPECT_EQ(body.rfind("v=0\r\n", 0), 0u) << body;
    EXPECT_NE(body.find("m=audio "), std::string::npos) << body;
}
} // namespace
