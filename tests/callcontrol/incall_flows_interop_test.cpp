// Connected calls through `vela -foreground` between SIPp phones: extension
// 101 calls 102, and each flow's scenarios fail their run unless every
// expected message (and each checked SDP direction) arrives in order. In an
// attended transfer 101 first makes a consultation call to 103 with a
// Call-ID of its own choosing, and REFERs the call with 102 with Refer-To
// "...?Replaces=<that Call-ID>".
#include "call_fixture.h"

namespace vtest
{
namespace
{
struct Flow {
    const char *name, *description, *caller, *phone;
    const char *logLine;           // must appear in the exchange's log
    const char *sipSettings = "";  // lines added to the "SIP" settings
    const char *third = nullptr;   // scenario of extension 103, when it takes part
    const char *consult = nullptr; // 101's consultation call to 103, up before the call
};

class InCallFlow : public CallTest, public ::testing::WithParamInterface<Flow>
{
};

TEST_P(InCallFlow, RunsBetweenPhones)
{
    const Flow &flow = GetParam();
    SCOPED_TRACE(std::string(flow.name) + ": " + flow.description);
    std::ofstream(vela.SharedDataFolder() + "/sip", std::ios::app) << flow.sipSettings;
    StartVela();
    int phonePort = RegisteredPort("102"), thirdPort = RegisteredPort("103");
    ASSERT_TRUE(phonePort && thirdPort);
    auto phone = StartPhone(flow.phone, phonePort);
    const std::string consultCallId = "consult-" + std::to_string(getpid()) + "@127.0.0.1";
    std::unique_ptr<ChildProcess> third, consult;
    if (flow.third)
        third = StartPhone(flow.third, thirdPort);
    if (flow.consult) {
        consult = StartCaller(flow.consult, "103",
                              {"-key", "callb", consultCallId, "-cid_str", consultCallId});
        ASSERT_TRUE(vela.Process().WaitForOutput("Call 101 -> sip:103@127.0.0.1 answered", 10000))
            << vela.Process().Output() << consult->Output();
    }
    auto caller = StartCaller(flow.caller, "102", {"-key", "callb", consultCallId});
    ExpectSucceeded(caller, phone);
    for (auto *other : {third.get(), consult.get()})
        if (other) {
            EXPECT_TRUE(Succeeded(*other)) << other->Output();
        }
    EXPECT_TRUE(vela.Process().WaitForOutput(flow.logLine, 5000)) << vela.Process().Output();
    EXPECT_TRUE(vela.Process().WaitForOutput("disconnected", 5000)) << vela.Process().Output();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Flows, InCallFlow, ::testing::Values(
    Flow{"HoldAndResume", "the caller's re-INVITEs with a=sendonly then a=sendrecv reach the called phone and its answers come back", "uac_hold_resume.xml", "uas_hold_resume.xml", "LPBXSipLine::Reinvite uInviteResponse: 200"},
    Flow{"CalleeHoldsAndResumes", "the called phone's hold and resume re-INVITEs reach the caller the same way", "uac_held_by_callee.xml", "uas_holds_caller.xml", "LPBXSipLine::Reinvite uInviteResponse: 200"},
    Flow{"ByeFromCallee", "the phone hangs up a connected call; the caller gets the BYE", "uac_call_remote_bye.xml", "uas_answer_bye.xml", "answered"},
    Flow{"ByeDuringPassedOnHold", "the phone hangs up while the caller's hold re-INVITE is passed to it: the caller gets 487 to the re-INVITE, then the BYE", "uac_hold_ended.xml", "uas_bye_during_hold.xml", "LPBXSipLine::Reinvite uInviteResponse: 487"},
    Flow{"ByeDuringOwnHold", "the caller hangs up while its hold re-INVITE waits at the phone: 200 to the BYE and 487 to the hold at once, the phone's re-INVITE is cancelled, then it gets the BYE", "uac_bye_during_hold.xml", "uas_hold_cancelled.xml", "LPBXSipLine::Reinvite uInviteResponse: 487"},
    Flow{"CancelledOwnHold", "the caller, told 100 Trying, cancels its hold before the phone answers it: 200 and 487 at once, the phone's re-INVITE is cancelled, then both legs are renegotiated from the caller's offer", "uac_hold_withdrawn.xml", "uas_hold_withdrawn.xml", "cancelled by its sender, renegotiating"},
    Flow{"HoldRefused", "the phone refuses the caller's hold with 488: the caller gets that 488, the call goes on, and both legs are renegotiated from the caller's offer", "uac_hold_refused.xml", "uas_hold_refused.xml", "refused by the other side, renegotiating"},
    Flow{"ByeDuringGlare", "the phone hangs up while the exchange backs off from the caller's 491 to the phone's hold: 200 and 487 at once, and the caller gets the BYE, not the retried hold", "uac_glare_then_bye.xml", "uas_bye_in_glare.xml", "LPBXSipLine::Reinvite uInviteResponse: 491"},
    Flow{"OptionsPassedOn", "the caller's in-dialog OPTIONS is answered with the phone's own 200 and SDP", "uac_options.xml", "uas_options.xml", "answered"},
    Flow{"InfoPassedOn", "the caller's DTMF digit sent by SIP INFO reaches the phone, and the phone's own answer (202) comes back", "uac_info.xml", "uas_info.xml", "answered"},
    Flow{"Glare", "both phones re-INVITE at once: the exchange answers 491, backs off and retries", "uac_glare.xml", "uas_glare.xml", "LPBXSipLine::Reinvite uInviteResponse: 491"},
    Flow{"SilentPhoneEnded", "after a quiet second both legs are polled; the phone stops answering and the caller gets the BYE", "uac_call_wait_bye.xml", "uas_silent.xml", "no answer to polling", "activitypollinterval=1000\n"},
    Flow{"BlindTransfer", "the caller REFERs the call to 103 (202, NOTIFY sipfrag 200 OK, BYE); 103's offer reaches the phone by re-INVITE and the phone's answer goes back in the ACK", "uac_blind_transfer.xml", "uas_transferee.xml", "Call transferred to sip:103@", "", "uas_transfer_target.xml"},
    Flow{"AttendedTransfer", "101 REFERs its call with 102 to its consultation call with 103 (202, NOTIFY sipfrag 200 OK, BYE on both of 101's calls); 102 is asked for an offer that reaches 103 by re-INVITE, and 103's answer comes back in 102's ACK", "uac_attended_transfer.xml", "uas_joined.xml", "LPBXSipLine::Reinvite uInviteResponse: 200", "", "uas_join_target.xml", "uac_consult.xml"},
    Flow{"AttendedTransferGivenUp", "the consultation call stays busy (103 is slow to answer a hold re-INVITE) past the give-up time: 101 gets NOTIFY 503 Service Unavailable, its call with 102 goes on until it hangs up, and the hold still completes", "uac_transfer_refused.xml", "uas_wait_ringing.xml", "given up: the call is busy", "attendedtransfergiveup=1500\n", "uas_slow_hold.xml", "uac_consult_hold.xml"},
    Flow{"AttendedTransferToNoCall", "the Replaces names a Call-ID no call holds: 101 still gets NOTIFY 200 OK and the call ends with BYE to both 101 and 102", "uac_attended_transfer.xml", "uas_answer.xml", "Attended transfer: no call holds"}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on
} // namespace
} // namespace vtest
