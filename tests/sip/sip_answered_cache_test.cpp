// The answered-response cache: what counts as a repeat, how often it is
// answered, pruning by age and the bound on its size.
#include "platform/clock.h"
#include "sip/sip_answered_cache.h"
#include "sip/sipmessage.h"
#include "support/sip_parse.h"

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
    static std::vector<std::unique_ptr<LSipMessage>> kept;
    kept.push_back(vtest::ParseSip(text));
    return *kept.back();
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
    LManualClock clock{1000};
    LSipAnsweredCache cache{clock};
    Recorder sent;
    LIPAddressWithPort peer{0x7f000001, 5070};
};

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
    std::string ok =
        "SIP/2.0 200 OK\r\nVia: v\r\nTo: t\r\nFrom: f\r\nCall-ID: r\r\nCSeq: 1 INVITE\r\n\r\n";
    cache.Add(Parse(ok), peer, "ACK sip:x SIP/2.0\r\n\r\n");
    EXPECT_FALSE(cache.Handle(Parse(std::string(ok).replace(8, 6, "486 Busy Here")), sent));
    EXPECT_TRUE(cache.Handle(Parse(ok), sent));
    EXPECT_EQ(sent.texts, (std::vector<std::string>{"ACK sip:x SIP/2.0\r\n\r\n"}));
}

// Per Call-ID lookups: many calls each holding several transactions; every
// stored key finds its own text and keys never stored find nothing.
TEST_F(AnsweredCache, EachTransactionOfManyCallsFindsItsOwnAnswer)
{
    const char *cseqs[] = {"1 INVITE", "2 INVITE", "2 BYE"};
    const char *vias[] = {"SIP/2.0/UDP h;branch=z9hG4bKa", "SIP/2.0/UDP h;branch=z9hG4bKb"};
    for (int call = 0; call < 300; call++)
        for (const char *cseq : cseqs)
            for (const char *via : vias)
                cache.Add(Parse(Invite("c" + std::to_string(call), cseq, via)), peer,
                          std::to_string(call) + cseq + via);
    EXPECT_EQ(cache.GetCount(), 300u * 6u);
    EXPECT_EQ(cache.GetCallIdCount(), 300u);
    for (int call = 0; call < 300; call += 37)
        for (const char *cseq : cseqs)
            for (const char *via : vias) {
                sent.texts.clear();
                std::string callId = "c" + std::to_string(call);
                EXPECT_TRUE(cache.Handle(Parse(Invite(callId, cseq, via)), sent));
                EXPECT_EQ(sent.texts,
                          (std::vector<std::string>{std::to_string(call) + cseq + via}));
            }
    sent.texts.clear();
    const std::string strangers[] = {Invite("c1", "3 INVITE", vias[0]),
                                     Invite("c300", cseqs[0], vias[0]),
                                     Invite("c1", cseqs[0], "SIP/2.0/UDP h;branch=z9hG4bKc")};
    for (const std::string &text : strangers)
        EXPECT_FALSE(cache.Handle(Parse(text), sent)) << text;
    EXPECT_TRUE(sent.texts.empty());
}

// Two answers to the same key: the newer one is what a repeat gets.
TEST_F(AnsweredCache, NewestAnswerOfTheSameKeyIsResent)
{
    const LSipMessage &invite = Parse(Invite("twice"));
    cache.Add(invite, peer, "first");
    cache.Add(Parse(Invite("twice", "2 INVITE")), peer, "other");
    cache.Add(invite, peer, "second");
    EXPECT_TRUE(cache.Handle(invite, sent));
    EXPECT_EQ(sent.texts, (std::vector<std::string>{"second"}));
    EXPECT_EQ(sent.ports, std::vector<int>{5070}); // where the answer went
}

// Dropping the oldest when full must also drop it from the index: a Call-ID
// keeps answering with what is left of it and vanishes with its last entry.
TEST_F(AnsweredCache, DroppingTheOldestKeepsTheIndexConsistent)
{
    cache.Add(Parse(Invite("shared", "1 INVITE")), peer, "shared 1");
    for (int i = 0; i < 4094; i++)
        cache.Add(Parse(Invite("f" + std::to_string(i))), peer, "filler");
    cache.Add(Parse(Invite("shared", "2 INVITE")), peer, "shared 2");
    EXPECT_EQ(cache.GetCallIdCount(), 4095u);
    cache.Add(Parse(Invite("new")), peer, "new"); // drops "shared" 1 INVITE
    EXPECT_EQ(cache.GetCount(), LSipAnsweredCache::kMaxEntries);
    EXPECT_EQ(cache.GetCallIdCount(), 4096u);
    EXPECT_FALSE(cache.Handle(Parse(Invite("shared", "1 INVITE")), sent));
    EXPECT_TRUE(cache.Handle(Parse(Invite("shared", "2 INVITE")), sent));
    cache.Add(Parse(Invite("new2")), peer, "new2"); // drops "f0", its only entry
    EXPECT_EQ(cache.GetCallIdCount(), 4096u);
    EXPECT_FALSE(cache.Handle(Parse(Invite("f0")), sent));
    EXPECT_TRUE(cache.Handle(Parse(Invite("f1")), sent));
    // The index key of "shared" lived in the dropped entry, whose memory the
    // adds since may reuse; the lookup must still find its remaining entry.
    EXPECT_TRUE(cache.Handle(Parse(Invite("shared", "2 INVITE")), sent));
    EXPECT_EQ(sent.texts, (std::vector<std::string>{"shared 2", "filler", "shared 2"}));
}

// A lookup prunes the expired entries newer than its match (all of them
// without a match; an expired entry that matches is still used) and the
// index loses their Call-IDs with them.
TEST_F(AnsweredCache, PruningRemovesExpiredEntriesFromTheIndex)
{
    cache.Add(Parse(Invite("x")), peer, "x");
    clock.Advance(1);
    cache.Add(Parse(Invite("y")), peer, "y");
    clock.Advance(1);
    cache.Add(Parse(Invite("z", "1 INVITE")), peer, "z1");
    clock.Advance(10);
    cache.Add(Parse(Invite("z", "2 INVITE")), peer, "z2");
    clock.Advance(30000 - 9);
    // z 1 INVITE and older are expired; z 2 INVITE is not.
    EXPECT_TRUE(cache.Handle(Parse(Invite("y")), sent));
    EXPECT_EQ(cache.GetCount(), 3u); // z 1 INVITE went, x is older than the match
    EXPECT_EQ(cache.GetCallIdCount(), 3u);
    EXPECT_FALSE(cache.Handle(Parse(Invite("z", "1 INVITE")), sent));
    EXPECT_EQ(cache.GetCount(), 1u);
    EXPECT_EQ(cache.GetCallIdCount(), 1u);
    EXPECT_TRUE(cache.Handle(Parse(Invite("z", "2 INVITE")), sent));
    clock.Advance(9);
    EXPECT_FALSE(cache.Handle(Parse(Invite("w")), sent));
    EXPECT_EQ(cache.GetCount(), 1u); // exactly 30000 ms old is still kept
    clock.Advance(1);
    EXPECT_FALSE(cache.Handle(Parse(Invite("w")), sent));
    EXPECT_EQ(cache.GetCount(), 0u);
    EXPECT_EQ(cache.GetCallIdCount(), 0u);
    EXPECT_EQ(sent.texts, (std::vector<std::string>{"y", "z2"}));
}
} // namespace
