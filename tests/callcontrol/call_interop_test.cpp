// Calls through `vela -foreground` between SIPp or raw UDP phones; each SIPp
// scenario fails unless every expected message arrives in order.
#include "call_fixture.h"

#include "support/udp_peer.h"

#include <algorithm>

namespace vtest
{
namespace
{
// The caller's CANCEL: 200, every ringing target cancelled, and 487 to the
// caller's INVITE; the call never counts as answered. When one of two
// ringing contacts answers, the other is cancelled (200 to the CANCEL, 487
// to its INVITE), and the caller's BYE reaches the one that answered. A call
// to 103, which has no phone, is refused at once with 404.
TEST_F(CallTest, CancelsOfTheCallerAndOfTheLosingContact)
{
    StartVela();
    auto refused = StartCaller("uac_refused.xml", "103");
    EXPECT_TRUE(Succeeded(*refused)) << refused->Output();
    int first = RegisteredPort("102"), second = RegisteredPort("102");
    ASSERT_TRUE(first && second);
    auto ringing = StartPhone("uas_cancelled.xml", first);
    auto alsoRinging = StartPhone("uas_cancelled.xml", second);
    auto cancelling = StartCaller("uac_cancel.xml", "102");
    ExpectSucceeded(cancelling, ringing, alsoRinging);
    EXPECT_TRUE(vela.Process().WaitForOutput("disconnected", 5000));
    EXPECT_EQ(vela.Process().Output().find("answered"), std::string::npos);

    auto winner = StartPhone("uas_answer.xml", first);
    auto loser = StartPhone("uas_cancelled.xml", second);
    auto caller = StartCaller("uac_call.xml", "102");
    ExpectSucceeded(caller, winner, loser);
}

// A phone that never responds gets the INVITE at about 0, 300, 1000 and
// 2500 ms and is given up near 5600 ms; with nothing else to ring, the
// caller then gets 480 "Temporarily Unavailable". A caller still waiting
// when the service stops gets 503 at once.
TEST_F(CallTest, SilentPhoneGetsInviteRepeatsThenStoppingAnswersAWaitingCaller)
{
    StartVela();
    auto phone = RawPhone("102");
    ASSERT_TRUE(phone);
    auto caller = StartCaller("uac_unavailable.xml", "102");
    std::vector<int64_t> sends;
    std::string invite, callId;
    // The repeats, counted until the give-up has brought the caller its 480.
    for (int64_t end = MonotonicMs() + 10000; MonotonicMs() < end && !caller->WaitExit(0);)
        if (phone->Receive(invite, 20) && invite.rfind("INVITE ", 0) == 0) {
            sends.push_back(MonotonicMs());
            callId = HeaderLine(invite, "Call-ID");
        }
    ASSERT_EQ(sends.size(), 4u);
    const int64_t expected[] = {300, 1000, 2500};
    for (int i = 0; i < 3; i++) {
        EXPECT_GE(sends[i + 1] - sends[0], expected[i] - 150) << i;
        EXPECT_LE(sends[i + 1] - sends[0], expected[i] + 250) << i;
    }
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();

    auto waiting = StartCaller("uac_stopped.xml", "102");
    ASSERT_FALSE(NextRequest(*phone, "INVITE", callId, 5000).empty());
    EXPECT_TRUE(vela.Stop(SIGTERM, 10000));
    EXPECT_TRUE(Succeeded(*waiting)) << waiting->Output();
}

// A second call to a group waits while the first one rings its member and
// rings the member as soon as the first caller gives up.
TEST_F(CallTest, SecondCallToAGroupWaitsForTheFirst)
{
    AddGroup("600", {{"102", 0}});
    StartVela();
    auto phone = RawPhone("102");
    ASSERT_TRUE(phone);
    auto first = StartCaller("uac_cancel_later.xml", "600");
    std::string inviteA = NextRequest(*phone, "INVITE", "", 5000);
    ASSERT_FALSE(inviteA.empty());
    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(inviteA, "180 Ringing")));
    int64_t ringingAt = MonotonicMs();
    auto second = StartCaller("uac_cancel.xml", "600");
    // The first caller cancels three seconds after its ringing.
    std::string inviteB = NextRequest(*phone, "INVITE", HeaderLine(inviteA, "Call-ID"), 6000);
    ASSERT_FALSE(inviteB.empty());
    int64_t waited = MonotonicMs() - ringingAt;
    EXPECT_GE(waited, 2800);
    EXPECT_LE(waited, 4500);
    ASSERT_TRUE(phone->SendTo(sipPort, PhoneResponse(inviteB, "180 Ringing")));
    ExpectSucceeded(first, second);
}

// Group 600 rings 102 at once and 103 only after its 4 s delay, give or take
// a second (start times are whole seconds, looked at once a second). Both
// phones stay silent, so nothing else moves the stages.
TEST_F(CallTest, GroupMemberRingsOnlyAfterItsDelay)
{
    AddGroup("600", {{"102", 0}, {"103", 4}});
    StartVela();
    auto first = RawPhone("102"), second = RawPhone("103");
    ASSERT_TRUE(first && second);
    auto caller = StartCaller("uac_call.xml", "600");
    std::string invite;
    ASSERT_TRUE(first->Receive(invite, 5000));
    int64_t firstAt = MonotonicMs();
    EXPECT_EQ(invite.rfind("INVITE sip:102@", 0), 0u) << invite;
    std::string secondInvite;
    // Repeats of the first member's INVITE may arrive meanwhile on its own
    // port; the second member hears nothing before its delay.
    EXPECT_FALSE(second->Receive(secondInvite, 2900)) << secondInvite;
    ASSERT_TRUE(second->Receive(secondInvite, 2500));
    int64_t delay = MonotonicMs() - firstAt;
    EXPECT_EQ(secondInvite.rfind("INVITE sip:103@", 0), 0u) << secondInvite;
    EXPECT_GE(delay, 2900);
    EXPECT_LE(delay, 5200);
}
// 256 calls ring at once; the 257th is refused with 503 at once and the
// others go on to their end.
TEST_F(CallTest, CallBeyondTheCallLimitGets503)
{
    constexpr int kLimit = 256;
    StartVela();
    int phonePort = RegisteredPort("102");
    ASSERT_NE(phonePort, 0);
    std::vector<std::string> phoneArgs = SippArgs("uas_cancelled.xml", phonePort);
    std::vector<std::string> callerArgs = SippArgs("uac_cancel_later.xml", FreeUdpPort(), Remote());
    // "-m 1" becomes the number of calls each side makes or takes.
    auto setCalls = [](std::vector<std::string> &argv, int calls) {
        *(std::find(argv.begin(), argv.end(), "-m") + 1) = std::to_string(calls);
    };
    setCalls(phoneArgs, kLimit);
    setCalls(callerArgs, kLimit + 1);
    callerArgs.insert(callerArgs.end(), {"-s", "102", "-au", "101", "-ap", kCallerPassword, "-r",
                                         "400", "-l", "400"});
    ChildProcess phone, caller;
    ASSERT_TRUE(phone.Start(phoneArgs));
    ASSERT_TRUE(caller.Start(callerArgs));
    // The phone ends only after exactly 256 cancelled calls, and each of the
    // caller's 257 ends by its scenario (487, or 503 at once): so one 503.
    EXPECT_TRUE(Succeeded(phone, 60000)) << phone.Output();
    EXPECT_TRUE(Succeeded(caller, 60000)) << caller.Output();
    EXPECT_TRUE(vela.Process().WaitForOutput("refused: 256 calls are running", 1000))
        << vela.Process().Output();
}
} // namespace
} // namespace vtest
