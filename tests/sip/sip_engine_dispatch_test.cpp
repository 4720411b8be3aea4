// Dispatch by Call-ID: among dialogs of one Call-ID the local tag decides, an
// untagged message goes to the newest, and no dialog of another Call-ID ever
// sees it. The hand-off to the dialog's owner loses no wake-up. A teardown
// handed to the graveyard still absorbs repeats.
#include "sip/sip_graveyard.h"
#include "sip_call_fixture.h"
#include "support/sip_parse.h"
#include "support/wait.h"

#include <atomic>

namespace vtest
{
namespace
{
using SipEngineDispatch = SipCallTest;

TEST_F(SipEngineDispatch, CallIdAndLocalTagChooseTheDialog)
{
    std::vector<LPtr<LSipCall>> calls;
    LSipMessage invites[3];
    calls.push_back(Incoming("same-id", invites[0]));
    calls.push_back(Incoming("same-id", invites[1]));
    calls.push_back(Incoming("other-id", invites[2]));
    std::string older = calls[0]->GetLocalTag();
    std::string newer = calls[1]->GetLocalTag();
    // clang-format off
    const struct Case { std::string callId; std::string toTag; int taker; } cases[] = {
        {"same-id", older, 0}, {"same-id", newer, 1}, {"same-id", "", 1}, {"other-id", "", 2},
        {"same-id", "nobody", -1}, {"SAME-ID", older, -1}, {"same-i", older, -1},
    };
    // clang-format on
    int cseq = 10;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.callId + " " + c.toTag);
        peer.Send(PeerRequest("INFO", c.callId, c.toTag, peer.Port(), cseq++));
        if (c.taker >= 0) {
            // Wait on the expected taker first, then check no other got it.
            EXPECT_TRUE(calls[c.taker]->WaitMessage(1000));
            for (size_t i = 0; i < calls.size(); i++)
                EXPECT_FALSE(calls[i]->WaitMessage(0)) << i;
        } else {
            Received r;
            ASSERT_TRUE(peer.Next(r, 5000)); // no dialog: the fixed answer
            EXPECT_EQ(r.message().GetResponseStatusCode(), 481);
            for (size_t i = 0; i < calls.size(); i++)
                EXPECT_FALSE(calls[i]->WaitMessage(0)) << i;
        }
    }
    calls[1].Reset(); // the newer goes: untagged requests reach the older
    peer.Send(PeerRequest("INFO", "same-id", "", peer.Port(), cseq++));
    EXPECT_TRUE(calls[0]->WaitMessage(1000));
    calls[0].Reset();
    peer.Send(PeerRequest("INFO", "same-id", "", peer.Port(), cseq++));
    Received r;
    ASSERT_TRUE(peer.Next(r, 5000));
    EXPECT_EQ(r.message().GetResponseStatusCode(), 481);
}

// The hand-off from the receive thread to a dialog's owner: the queue's
// signal is written only when the queue fills (after the queue lock is let
// go) and read back only when it empties, so a message queued while the
// owner drains the queue must still wake it, and the owner sees them in
// arrival order. A write that lands after the owner emptied the queue is
// read back by the owner's next look.
TEST_F(SipEngineDispatch, EveryMessageWakesTheOwnerInArrivalOrder)
{
    constexpr int kMessages = 3000;
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("queue-order@test", invite);
    std::vector<LPtr<LSipMessage>> messages;
    for (int cseq = 2; cseq < kMessages + 2; cseq++)
        messages.emplace_back(
            ParseSip(PeerRequest("INFO", call->GetCallID(), call->GetLocalTag(), peer.Port(), cseq))
                .release());
    std::atomic<bool> go{false};
    auto producer = Run([&] {
        while (!go.load()) {
        }
        for (int i = 0; i < kMessages; i++) {
            ASSERT_TRUE(call->HandleNewMessage(messages[i]));
            if (i % 7 == 0)
                std::this_thread::yield();
        }
    });
    LSignalObjectRef signal(*call);
    int expected = 2;
    go.store(true);
    while (expected < kMessages + 2) {
        ASSERT_TRUE(signal.WaitSignal(5000)) << "no wake-up for message " << expected;
        while (LPtr<LSipMessage> message = call->GetNextMessage())
            ASSERT_EQ(atoi(message->FindField(LSipFields::CSeq, "0")), expected++);
    }
    producer.get();
    EXPECT_FALSE(call->GetNextMessage());
    EXPECT_FALSE(signal.IsSignaled());
}

// A leg handed to the graveyard while the receive thread still writes its
// signal (the write comes after the queue lock is let go): the descriptor
// goes back to the pool only after that write, cleared, so the next user of
// the descriptor never starts signalled; later messages go to the graveyard.
TEST_F(SipEngineDispatch, HandOverDuringASignalWriteReleasesTheDescriptorAfterIt)
{
    LManualClock graveClock;
    LSipGraveyard graveyard{graveClock}; // not started: holds the legs only
    LSipStack stack{Sip()->engine, graveyard, Clock(), Sip()->timing, Sip()->services};
    for (int round = 0; round < 100; round++) {
        std::string callId = "handover-" + std::to_string(round);
        std::unique_ptr<LSipMessage> invite = ParseSip(PeerRequest("INVITE", callId, "", 1, 1));
        LPtr<LSipCall> call(new LSipCall(stack, *invite, "100", "user100", "secret"));
        LSipCall *leg = call.Get(); // the graveyard keeps it
        std::vector<LPtr<LSipMessage>> messages;
        for (int cseq = 2; cseq < 42; cseq++)
            messages.emplace_back(
                ParseSip(PeerRequest("INFO", callId, call->GetLocalTag(), 1, cseq)).release());
        auto producer = Run([&] {
            for (LPtr<LSipMessage> &message : messages)
                ASSERT_TRUE(leg->HandleNewMessage(message));
        });
        for (int taken = 0; taken < round % 20;)
            taken += call->GetNextMessage() ? 1 : 0;
        LSipAddCallToGraveyard(call);
        producer.get();
        LSignalObject next(stack.signals);
        EXPECT_FALSE(next.IsSignaled()) << round;
    }
}

// The far end's BYE to a leg in the graveyard is answered; its repeat (our
// 200 lost) is answered again with the same text, also after the leg is gone.
// The graveyard runs on its own manual clock: its repeat and linger times
// pass in virtual time.
TEST_F(SipEngineDispatch, GraveyardLegAnswersRepeatedByeBeforeAndAfterRelease)
{
    LManualClock graveClock;
    LSipGraveyard graveyard{graveClock};
    graveyard.StartGraveyard(LThread::StartNormal);
    LSipStack stack{Sip()->engine, graveyard, Clock(), Sip()->timing, Sip()->services};
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("grave-1", invite, stack);
    call->SetDialogEstablished();
    std::string tag = call->GetLocalTag();
    LSipAddCallToGraveyard(call);
    Received bye;
    ASSERT_TRUE(peer.Next(bye, 1000));
    ASSERT_STREQ(bye.message().GetRequest(), "BYE");
    peer.Send(PeerRequest("BYE", "grave-1", tag, peer.Port(), 5));
    Received first;
    ASSERT_TRUE(peer.Next(first, 5000));
    EXPECT_EQ(first.message().GetResponseStatusCode(), 200);
    graveClock.Advance(2000); // past two repeat times of our BYE
    Received none;
    EXPECT_FALSE(peer.Next(none, 100)) << none.text; // their BYE ended it: no repeat of ours
    for (int i = 0; i < 2; i++) {
        uint64_t entered = graveClock.WaitsEntered();
        peer.Send(PeerRequest("BYE", "grave-1", tag, peer.Port(), 5));
        Received again;
        ASSERT_TRUE(peer.Next(again, 5000));
        EXPECT_EQ(again.text, first.text);
        if (i == 0) {
            EXPECT_EQ(graveyard.GetCount(), 1u);
            // The graveyard sets its next wait from the tick it read for this
            // BYE; advancing before it waits again would push that wait past
            // the advance.
            ASSERT_TRUE(WaitUntil(
                [&] { return graveClock.WaitsEntered() > entered && graveClock.IsWaiting(); }));
            graveClock.Advance(LSipGraveyard::kLingerMs);
            EXPECT_TRUE(WaitUntil([&] { return graveyard.GetCount() == 0; }));
        }
    }
    graveyard.StopGraveyard();
}
} // namespace
} // namespace vtest
