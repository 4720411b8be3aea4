// What call control supplies to the SIP dialogs and target lists: a dialog's
// remote target and the targets of a redirect reach a phone behind NAT
// through the registrar's contact map, only from the source that registered
// it; an in-dialog OPTIONS gets the idle offer shaped by "Quality" and
// "Active" as the settings store holds them now.
#include "callcontrol/initiate_list.h"
#include "callcontrol/pbx_dialog_services.h"
#include "config/pbx_global_settings.h"
#include "media/sdp_decoder.h"
#include "media/sdp_stored_settings.h"
#include "registrar_fixture.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/sip_graveyard.h"

namespace
{
constexpr const char *kPrivate = "sip:201@192.168.1.20:5060";
constexpr const char *kMapped = "sip:201@203.0.113.5:40000";

class PBXDialogServicesTest : public RegistrarTest
{
  protected:
    void SetUp() override
    {
        RegistrarTest::SetUp();
        // The phone at 192.168.1.20:5060 registered from 203.0.113.5:40000.
        LIPAddressWithPort a, s;
        a.SetFromText("192.168.1.20:5060", 5060);
        s.SetFromText("203.0.113.5:40000", 5060);
        contacts.Mapping().Set(a, s, kNow);
    }

    // The remote target a dialog takes from a 200 sent by source.
    std::string DialogTarget(const char *source)
    {
        LSipCall call(stack, "<sip:201@pbx.test>", "<sip:100@pbx.test>", "", "100", "", "");
        auto answer = Request("OPTIONS", "sip:100@pbx.test",
                              std::string("Contact: <") + kPrivate + ">\r\n", source);
        call.SetRemoteTargetURI(*answer);
        return call.GetRemoteTargetURI();
    }

    // The target a redirect sent by source adds to a list.
    std::string RedirectTarget(const char *source)
    {
        LSipCallInitiateList list(environment);
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

    LManualClock clock{1000, kNow};
    LSDPStoredSettings sdp{clock, LRtpDefaultPublicAddress, [](const char *) {}};
    LPBXFileContacts contacts;
    LPBXDialogServices services{sdp, clock, contacts};
    LPBXRunningEnvironment environment{clock, &contacts};
    LSipGraveyard graveyard{clock};
    LSipEngine engine{graveyard, clock};
    LSipDialogTiming timing;
    LSipStack stack{engine, graveyard, clock, timing, services};
};

TEST_F(PBXDialogServicesTest, DialogsAndTargetListsMapOnlyTheRegisteringSource)
{
    // clang-format off
    struct {
        const char *what;
        const char *source;
        const char *expected;
    } cases[] = {
        {"from the registering source", "203.0.113.5:40000", kMapped},
        {"from another site", "198.51.100.7:40000", kPrivate},
    };
    // clang-format on
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DialogTarget(c.source), c.expected);
        EXPECT_EQ(RedirectTarget(c.source), c.expected);
    }
}

// The settings are read when the offer is made, so a change in the store
// reaches the next OPTIONS answer without a restart.
TEST_F(PBXDialogServicesTest, IdleOfferFollowsQualityAndActiveInTheStore)
{
    auto options = Request("OPTIONS", "sip:100@pbx.test", "");
    std::string body;
    services.MakeDefaultSdp(*options, body);
    EXPECT_EQ(LSDPDecoder(body).GetRemotePayLoadTypes(), "0 8 96 3 13 101");
    EXPECT_EQ(body.find("a=direction:active"), std::string::npos) << body;
    LPBXSettings::SipQuality.Set(20);
    LPBXSettings::SipActive.Set(true);
    services.MakeDefaultSdp(*options, body);
    EXPECT_EQ(LSDPDecoder(body).GetRemotePayLoadTypes(), "3 96 0 8 13 101");
    EXPECT_NE(body.find("a=direction:active\r\n"), std::string::npos) << body;
}
} // namespace
