// Connected calls through `vela -foreground` between two SIPp phones:
// extension 101 calls 102, and each flow's pair of scenarios fails its run
// unless every expected message (and each checked SDP direction) arrives
// in order.
#include "call_fixture.h"

namespace vtest
{
namespace
{
struct Flow {
    const char *name, *description, *caller, *phone;
    const char *logLine;          // must appear in the exchange's log
    const char *sipSettings = ""; // lines added to the "SIP" settings
    const char *third = nullptr;  // scenario of extension 103, when it takes part
};

class InCallFlow : public CallTest, public ::testing::WithParamInterface<Flow>
{
};

TEST_P(InCallFlow, RunsBetweenTwoPhones)
{
    SCOPED_TRACE(std::string(GetParam().name) + ": " + GetParam().description);
    std::ofstream(vela.SharedDataFolder() + "/sip", std::ios::app) << GetParam().sipSettings;
    StartVela();
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(Register("102", "pw102", phonePort));
    auto phone = StartPhone(GetParam().phone, phonePort);
    std::unique_ptr<ChildProcess> third;
    if (GetParam().third) {
        int thirdPort = FreeUdpPort();
        ASSERT_TRUE(Register("103", "pw103", thirdPort));
        third = StartPhone(GetParam().third, thirdPort);
    }
    auto caller = StartCaller(GetParam().caller, "102");
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
    EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
    if (third) {
        EXPECT_TRUE(Succeeded(*third)) << third->Output();
    }
    EXPECT_TRUE(vela.Process().WaitForOutput(GetParam().logLine, 5000)) << vela.Process().Output();
    EXPECT_TRUE(vela.Process().WaitForOutput("disconnected", 5000)) << vela.Process().Output();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Flows, InCallFlow, ::testing::Values(
    Flow{"HoldAndResume", "the caller's re-INVITEs with a=sendonly then a=sendrecv reach the called phone and its answers come back", "uac_hold_resume.xml", "uas_hold_resume.xml", "LPBXSipLine::Reinvite uInviteResponse: 200"},
    Flow{"CalleeHoldsAndResumes", "the called phone's hold and resume re-INVITEs reach the caller the same way", "uac_held_by_callee.xml", "uas_holds_caller.xml", "LPBXSipLine::Reinvite uInviteResponse: 200"},
    Flow{"ByeFromCaller", "the caller hangs up a connected call; the phone gets the BYE", "uac_call.xml", "uas_answer.xml", "answered"},
    Flow{"ByeFromCallee", "the phone hangs up a connected call; the caller gets the BYE", "uac_call_remote_bye.xml", "uas_answer_bye.xml", "answered"},
    Flow{"OptionsPassedOn", "the caller's in-dialog OPTIONS is answered with the phone's own 200 and SDP", "uac_options.xml", "uas_options.xml", "answered"},
    Flow{"Glare", "both phones re-INVITE at once: the exchange answers 491, backs off and retries", "uac_glare.xml", "uas_glare.xml", "LPBXSipLine::Reinvite uInviteResponse: 491"},
    Flow{"SilentPhoneEnded", "after a quiet second both legs are polled; the phone stops answering and the caller gets the BYE", "uac_call_wait_bye.xml", "uas_silent.xml", "no answer to polling", "activitypollinterval=1000\n"},
    Flow{"BlindTransfer", "the caller REFERs the call to 103 (202, NOTIFY sipfrag 200 OK, BYE); 103's offer reaches the phone by re-INVITE and the phone's answer goes back in the ACK", "uac_blind_transfer.xml", "uas_transferee.xml", "Call transferred to sip:103@", "", "uas_transfer_target.xml"}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on
} // namespace
} // namespace vtest
