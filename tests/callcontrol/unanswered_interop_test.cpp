// Calls the dialled phone does not answer, between real phones (baresip):
// after the extension's own delay its voice mail or the number it forwards
// to takes the call, and the phone that rang is cancelled.
#include "call_fixture.h"

#include "support/baresip.h"
#include "support/wait.h"

namespace vtest
{
namespace
{
struct Unanswered {
    const char *name;
    bool voiceMail; // else forwarding to 102 when not answered
};

class UnansweredTest : public CallTest, public ::testing::WithParamInterface<Unanswered>
{
};

TEST_P(UnansweredTest, TheDelayedTargetTakesTheCallAndTheDialledPhoneStops)
{
    AddExtension("199", "pw199");
    {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().Open(ext, "103"));
        if (GetParam().voiceMail) {
            ext.SetVoiceMailExtension("199");
            ext.SetVoiceMailDelayTime(3);
        } else {
            ext.SetTransferNotAnswered("102");
            ext.SetTransferNotAnsweredDelayTime(3);
        }
    }
    StartVela();
    const char *taker = GetParam().voiceMail ? "199" : "102";
    TempDir homes[3] = {TempDir{"vela-na-101"}, TempDir{"vela-na-103"}, TempDir{"vela-na-take"}};
    const int c101 = FreeUdpPort(), c103 = FreeUdpPort(), cTaker = FreeUdpPort();
    auto caller = StartBaresip(homes[0], "101", "pw101", Remote(), false, c101);
    auto dialled = StartBaresip(homes[1], "103", "pw103", Remote(), false, c103);
    auto takes = StartBaresip(homes[2], taker, std::string("pw") + taker, Remote(), true, cTaker);
    ASSERT_TRUE(caller && dialled && takes);
    for (const char *e : {"101", "103", taker})
        ASSERT_TRUE(vela.Process().WaitForOutput(std::string("Extension ") + e + " is at", 10000))
            << vela.Process().Output();
    UdpPeer console;
    Console(console, c101, "/dial 103");
    ASSERT_TRUE(dialled->WaitForOutput("Incoming call", 5000)) << dialled->Output();
    int64_t rang = MonotonicMs();
    ASSERT_TRUE(takes->WaitForOutput("Call established", 10000))
        << takes->Output() << vela.Process().Output();
    EXPECT_GE(MonotonicMs() - rang, 2500) << "taken before the extension's delay";
    EXPECT_TRUE(dialled->WaitForOutput("session closed", 5000)) << dialled->Output();
    EXPECT_TRUE(Hears(console, c101, cTaker));
    EXPECT_TRUE(Hears(console, cTaker, c101));
    Console(console, c101, "/hangup");
    EXPECT_TRUE(takes->WaitForOutput("terminated", 5000)) << takes->Output();
    for (ChildProcess *p : {caller.get(), dialled.get(), takes.get()})
        p->Stop(SIGTERM, 5000);
}

INSTANTIATE_TEST_SUITE_P(Delays, UnansweredTest,
                         ::testing::Values(Unanswered{"VoiceMail", true},
                                           Unanswered{"Forwarding", false}),
                         [](const auto &info) { return std::string(info.param.name); });
} // namespace
} // namespace vtest
