// The far end hangs up while the exchange's re-INVITE to it is pending: its
// BYE is answered, nothing more is sent for the re-INVITE (no repeat, no
// CANCEL), and its final answer is acknowledged.
#include "sip_call_fixture.h"

namespace vtest
{
namespace
{
class SipCallReInviteBye : public SipCallTest
{
};

TEST_F(SipCallReInviteBye, PendingReInviteEndsQuietlyWhenTheFarEndHangsUp)
{
    // clang-format off
    const struct { bool trying; bool bye; int answer; const char *seen; int result; bool established; } cases[] = {
        {false, true, 487, "INVITE 200 ACK ", 487, false},
        {true, true, 487, "INVITE 200 ACK ", 487, false},
        {false, false, 481, "INVITE ACK ", 481, false}, // its BYE crossed the re-INVITE
    };
    // clang-format on
    for (const auto &c : cases) {
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        LSipRequest ours;
        LPtr<LSipMessage> response;
        std::string seen;
        std::shared_ptr<LSipMessage> invite;
        int result = Drive(
            [&] {
                return call->SendReInviteAndWaitForFinalResponse(owner, ours, response, "v=0\r\n");
            },
            [&](const Received &r) {
                const LSipMessage &m = r.message();
                std::string name =
                    m.IsRequest() ? m.GetRequest() : std::to_string(m.GetResponseStatusCode());
                seen += name + " ";
                if (!invite) {
                    invite = r.parsed;
                    if (c.trying)
                        peer.Reply(*invite, 100, "Trying");
                    if (c.bye)
                        peer.Send(PeerRequest("BYE", call->GetCallID(), call->GetLocalTag(),
                                              peer.Port(), 9));
                    else
                        peer.Reply(*invite, c.answer, "Call/Transaction Does Not Exist");
                    return true;
                }
                // Its BYE answered, the far end ends the re-INVITE (RFC 3261
                // section 15.1.2).
                if (name != "200")
                    return false;
                peer.Reply(*invite, c.answer, "Request Terminated");
                return true;
            });
        EXPECT_EQ(seen, c.seen) << c.trying << c.bye;
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(call->IsDialogEstablished(), c.established);
    }
}
} // namespace
} // namespace vtest
