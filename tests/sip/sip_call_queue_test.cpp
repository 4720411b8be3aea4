// The hand-off from the receive thread to a dialog's owner: the queue's
// signal is written only when the queue fills and read back only when it
// empties, so no message may be left behind without a wake-up, and the
// owner sees them in arrival order.
#include "sip_call_fixture.h"

#include <atomic>

namespace vtest
{
namespace
{
class SipCallQueue : public SipCallTest
{
  protected:
    // An in-dialog INFO as the engine would hand it to the dialog.
    LPtr<LSipMessage> Info(const LSipCall &call, int cseq)
    {
        std::string text = PeerRequest("INFO", call.GetCallID(), call.GetLocalTag(), peer.Port(),
                                       cseq, "", "q" + std::to_string(cseq));
        LPtr<LSipMessage> message(new LSipMessage());
        size_t position = 0;
        EXPECT_TRUE(message->LoadPacket(text.data(), text.size(), position));
        message->SetSource(LIPAddressWithPort(0x7F000001, peer.Port()));
        return message;
    }
    static int CSeqOf(const LSipMessage &message)
    {
        return atoi(message.FindField(LSipFields::CSeq, "0"));
    }
};

// A producer in bursts against an owner that drains on each wake-up: a
// message queued while the owner empties the queue must still wake it.
TEST_F(SipCallQueue, EveryMessageWakesTheOwnerInArrivalOrder)
{
    constexpr int kMessages = 3000;
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("queue-order@test", invite);
    std::vector<LPtr<LSipMessage>> messages;
    for (int i = 0; i < kMessages; i++)
        messages.push_back(Info(*call, i + 2));
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
            ASSERT_EQ(CSeqOf(*message), expected++);
    }
    producer.get();
    EXPECT_FALSE(signal.IsSignaled());
}
} // namespace
} // namespace vtest
