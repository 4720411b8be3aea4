// Attended transfers through `vela -foreground`: extension 101 calls 102,
// then makes a consultation call to 103 with a Call-ID of its own choosing,
// and REFERs the first call with Refer-To "...?Replaces=<that Call-ID>".
#include "call_fixture.h"

namespace vtest
{
namespace
{
// transferor: 101's first call, to 102; joined: 102; consult: 101's
// consultation call to 103 (none: no such call); target: 103.
struct AttendedFlow {
    const char *name, *description, *transferor, *joined, *consult, *target;
    const char *logLine; // must appear in the exchange's log
    const char *sipSettings;
};

class AttendedTransfer : public CallTest, public ::testing::WithParamInterface<AttendedFlow>
{
  protected:
    // 101 dialling target; the consultation call takes the Call-ID that
    // the REFER names.
    std::unique_ptr<ChildProcess> Start101(const char *scenario, const char *target, bool consult)
    {
        auto sipp = std::make_unique<ChildProcess>();
        std::vector<std::string> argv = SippArgs(scenario, FreeUdpPort(), Remote());
        argv.insert(argv.end(), {"-s", target, "-au", "101", "-ap", kCallerPassword, "-key",
                                 "callb", consultCallId});
        if (consult)
            argv.insert(argv.end(), {"-cid_str", consultCallId});
        EXPECT_TRUE(sipp->Start(argv));
        return sipp;
    }
    std::string consultCallId = "consult-" + std::to_string(getpid()) + "@127.0.0.1";
};

TEST_P(AttendedTransfer, RunsBetweenThreePhones)
{
    const AttendedFlow &flow = GetParam();
    SCOPED_TRACE(std::string(flow.name) + ": " + flow.description);
    std::ofstream(vela.SharedDataFolder() + "/sip", std::ios::app) << flow.sipSettings;
    StartVela();
    int port102 = FreeUdpPort();
    int port103 = FreeUdpPort();
    ASSERT_TRUE(Register("102", "pw102", port102));
    ASSERT_TRUE(Register("103", "pw103", port103));
    auto joined = StartPhone(flow.joined, port102);
    std::unique_ptr<ChildProcess> target, consult;
    if (flow.consult) {
        target = StartPhone(flow.target, port103);
        consult = Start101(flow.consult, "103", true);
        // The REFER names the consultation call, so that call must be up first.
        ASSERT_TRUE(vela.Process().WaitForOutput("Call 101 -> sip:103@127.0.0.1 answered", 10000))
            << vela.Process().Output() << consult->Output();
    }
    auto transferor = Start101(flow.transferor, "102", false);
    EXPECT_TRUE(Succeeded(*transferor)) << transferor->Output();
    EXPECT_TRUE(Succeeded(*joined)) << joined->Output();
    if (flow.consult) {
        EXPECT_TRUE(Succeeded(*consult)) << consult->Output();
        EXPECT_TRUE(Succeeded(*target)) << target->Output();
    }
    EXPECT_TRUE(vela.Process().WaitForOutput(flow.logLine, 5000)) << vela.Process().Output();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Flows, AttendedTransfer, ::testing::Values(
    AttendedFlow{"AttendedTransfer", "101 REFERs its call with 102 to its consultation call with 103 (202, NOTIFY sipfrag 200 OK, BYE on both of 101's calls); 102 is asked for an offer that reaches 103 by re-INVITE, and 103's answer comes back in 102's ACK", "uac_attended_transfer.xml", "uas_joined.xml", "uac_consult.xml", "uas_join_target.xml", "LPBXSipLine::Reinvite uInviteResponse: 200", ""},
    AttendedFlow{"AttendedTransferGivenUp", "the consultation call stays busy (103 is slow to answer a hold re-INVITE) past the give-up time: 101 gets NOTIFY 503 Service Unavailable, its call with 102 goes on until it hangs up, and the hold still completes", "uac_transfer_refused.xml", "uas_wait_ringing.xml", "uac_consult_hold.xml", "uas_slow_hold.xml", "given up: the call is busy", "attendedtransfergiveup=1500\n"},
    AttendedFlow{"AttendedTransferToNoCall", "the Replaces names a Call-ID no call holds: 101 still gets NOTIFY 200 OK and the call ends with BYE to both 101 and 102", "uac_attended_transfer.xml", "uas_answer.xml", nullptr, nullptr, "Attended transfer: no call holds", ""}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on
} // namespace
} // namespace vtest
