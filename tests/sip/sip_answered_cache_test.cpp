// The answered-response cache: what counts as a repeat, how often it is
// answered, pruning by age and the bound on its size.
#include "platform/tick.h"
#include "sip/sip_answered_cache.h"
#include "sip/sipmessage.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{
class Recorder : public LSipPacketSender
{
  public:
    void SendPacketUDP(const LIPAddressWithPort &to, const std::string &text) override
    {
        ports.push_back(to.GetPort());
        texts.push_back(text);
    }
    std::vector<int> ports;
    std::vector<std::string> texts;
};

// Parsed messages live until the end of the test program (few and small).
const LSipMessage &Parse(const std::string &text)
{
    LSipMessage *message = new LSipMessage();
    size_t position = 0;
    EXPECT_TRUE(message->LoadPacket(text.data(), text.size(), position)) << text;
    static std::vector<std::unique_ptr<LSipMessage>> kept;
    kept.emplace_back(message);
    return *message;
}

std::string Invite(const std::string &callId, const char *cseq = "1 INVITE",
                   const char *via = "SIP/2.0/UDP h:5060;branch=z9hG4bK1",
                   const char *from = "<sip:a@h>;tag=1", const char *to = "<sip:b@h>")
{
    return "INVITE sip:b@h SIP/2.0\r\nVia: " + std::string(via) + "\r\nTo: " + to +
           "\r\nFrom: " + from + "\r\nCall-ID: " + callId + "\r\nCSeq: " + cseq + "\r\n\r\n";
}

class AnsweredCache : public ::testing::Test
{
  protected:
    void SetUp() override { LTestClock::Install(1000); }
    void TearDown() override { LTestClock::Remove(); }
    LSipAnsweredCache cache;
    Recorder sent;
    LIPAddressWithPort peer{0x7f000001, 5070};
};

TEST_F(AnsweredCache, RepeatIsAnsweredSixteenTimesThenAbsorbed)
{
    const LSipMessage &invite = Parse(Invite("r1"));
    cache.Add(invite, peer, "SIP/2.0 486 Busy Here\r\n\r\n");
    for (int i = 0; i < 20; i++)
        EXPECT_TRUE(cache.Handle(invite, sent));
    ASSERT_EQ(sent.texts.size(), 16u);
    for (size_t i = 0; i < sent.texts.size(); i++) {
        EXPECT_EQ(sent.texts[i], "SIP/2.0 486 Busy Here\r\n\r\n");
        EXPECT_EQ(sent.ports[i], 5070);
    }
}

TEST_F(AnsweredCache, EveryKeyFieldMustMatch)
{
    cache.Add(Parse(Invite("k")), peer, "answer");
    const std::string others[] = {
        Invite("K"),
        Invite("k", "2 INVITE"),
        Invite("k", "1 INVITE", "SIP/2.0/UDP h:5060;branch=z9hG4bK2"),
        Invite("k", "1 INVITE", "SIP/2.0/UDP h:5060;branch=z9hG4bK1", "<sip:a@h>;tag=2"),
        Invite("k", "1 INVITE", "SIP/2.0/UDP h:5060;branch=z9hG4bK1", "<sip:a@h>;tag=1",
               "<sip:b@h>;tag=9"),
        // A response with the same fields is not the request repeated.
        "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP h:5060;branch=z9hG4bK1\r\nTo: <sip:b@h>\r\n"
        "From: <sip:a@h>;tag=1\r\nCall-ID: k\r\nCSeq: 1 INVITE\r\n\r\n",
    };
    for (const std::string &text : others)
        EXPECT_FALSE(cache.Handle(Parse(text), sent)) << text;
    EXPECT_TRUE(sent.texts.empty());
    EXPECT_TRUE(cache.Handle(Parse(Invite("k")), sent));
}

// A final response we acknowledged is matched with its status code.
TEST_F(AnsweredCache, AcknowledgedResponseMatchesOnlyTheSameStatus)
{
    std::string ok = "SIP/2.0 200 OK\r\nVia: v\r\nTo: t\r\nFrom: f\r\nCall-ID: r\r\nCSeq: 1 "
                     "INVITE\r\n\r\n";
    std::string busy = ok;
    busy.replace(8, 6, "486 Busy Here");
    cache.Add(Parse(ok), peer, "ACK sip:x SIP/2.0\r\n\r\n");
    EXPECT_FALSE(cache.Handle(Parse(busy), sent));
    EXPECT_TRUE(cache.Handle(Parse(ok), sent));
    EXPECT_EQ(sent.texts, (std::vector<std::string>{"ACK sip:x SIP/2.0\r\n\r\n"}));
}

TEST_F(AnsweredCache, OldEntriesGoWhenAnotherMessageIsLookedUp)
{
    const LSipMessage &old = Parse(Invite("old"));
    cache.Add(old, peer, "a");
    LTestClock::Advance(30000);
    cache.Add(Parse(Invite("young")), peer, "b");
    EXPECT_FALSE(cache.Handle(Parse(Invite("other")), sent));
    EXPECT_EQ(cache.GetCount(), 2u); // exactly 30000 ms is still kept
    LTestClock::Advance(1);
    EXPECT_TRUE(cache.Handle(old, sent)); // an old entry that matches is used
    EXPECT_FALSE(cache.Handle(Parse(Invite("other")), sent));
    EXPECT_EQ(cache.GetCount(), 1u);
    EXPECT_FALSE(cache.Handle(old, sent));
}

TEST_F(AnsweredCache, HoldsAtMost4096EntriesDroppingTheOldest)
{
    for (int i = 0; i < 5000; i++)
        cache.Add(Parse(Invite("n" + std::to_string(i))), peer, std::to_string(i));
    EXPECT_EQ(cache.GetCount(), LSipAnsweredCache::kMaxEntries);
    EXPECT_FALSE(cache.Handle(Parse(Invite("n903")), sent));
    EXPECT_TRUE(cache.Handle(Parse(Invite("n904")), sent));
    EXPECT_TRUE(cache.Handle(Parse(Invite("n4999")), sent));
}
} // namespace
