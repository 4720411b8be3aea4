// Relay decisions and SDP rewriting of bridged calls, against a fake relay.
#include <gtest/gtest.h>

#include <string>

#include "media/sdp_call_leg.h"
#include "media/sdp_decoder.h"
#include "media/sdp_mediator.h"
#include "sdp_fakes.h"
#include "support/wait.h"

namespace
{
std::string Sdp(const std::string &host, uint16_t port, const std::string &extra = "")
{
    return "v=0\r\no=- 7 7 IN IP4 " + host + "\r\ns=-\r\nc=IN IP4 " + host +
           "\r\nt=0 0\r\nm=audio " + std::to_string(port) +
           " RTP/AVP 0 8 101\r\na=rtpmap:101 telephone-event/8000\r\n" + extra;
}

enum Mode { kDecide, kRecord, kForce, kNotRequired, kNotRequiredRecorded };

void Prepare(LSDPMediator &m, Mode mode)
{
    m.Reset();
    m.SetRecorder(mode == kRecord || mode == kNotRequiredRecorded ? "call-1" : "");
    if (mode == kForce)
        m.SetForceRelayBothWays();
    if (mode == kNotRequired || mode == kNotRequiredRecorded)
        m.SetRelayNotRequired();
}

// A mediator of a fake host, prepared for a call in the given mode.
struct WithHost {
    FakeHost host;
};
struct Mediator : WithHost, LSDPMediator {
    explicit Mediator(Mode mode, unsigned releaseMs = 0) : LSDPMediator(host, releaseMs)
    {
        Prepare(*this, mode);
    }
};

// clang-format off
struct Side { std::string host; uint16_t port; std::string source, extra; };
// offerOut, answerOut: "host:port" the other side is given, "" = unchanged
struct Row { const char *name; Mode mode; Side offer; bool destinationPublic, oddRtpDisabled; Side answer; bool answererPublic; const char *offerOut, *answerOut; bool relayStarted, reattempt; };

const Side kLanA{"192.168.1.20", 2222, "192.168.1.20", ""};
const Side kLanB{"192.168.1.30", 3334, "192.168.1.30", ""};
const Side kNatedA{"192.168.1.20", 2222, "198.51.100.7", ""};
const Side kPublicA{"198.51.100.7", 4000, "198.51.100.7", ""};
const Side kProvider{"198.51.100.50", 40000, "198.51.100.50", ""};

const Row kRows[] = {
    {"two LAN phones", kDecide, kLanA, false, false, kLanB, false, "", "", false, false},
    {"two public phones", kDecide, kPublicA, true, false, kProvider, true, "", "", false, false},
    {"NATed caller to LAN phone", kDecide, kNatedA, false, false, kLanB, false, "192.168.1.2:8000", "203.0.113.5:8002", true, false},
    {"LAN phone out to provider", kDecide, kLanA, true, false, kProvider, true, "203.0.113.5:8000", "192.168.1.2:8002", true, false},
    {"always relay", kForce, kLanA, false, false, kLanB, false, "192.168.1.2:8000", "192.168.1.2:8002", true, false},
    {"relay not needed", kNotRequired, kNatedA, false, false, kLanB, false, "", "", false, false},
    {"relay not needed but recorded", kNotRequiredRecorded, kLanA, false, false, kLanB, false, "192.168.1.2:8000", "192.168.1.2:8002", true, false},
    {"recorded", kRecord, kPublicA, true, false, kProvider, true, "203.0.113.5:8000", "203.0.113.5:8002", true, false},
    {"odd port prohibited", kDecide, {"192.168.1.20", 2223, "192.168.1.20", ""}, false, true, kLanB, false, "192.168.1.2:8000", "192.168.1.2:8002", true, false},
    {"odd port allowed", kDecide, {"192.168.1.20", 2223, "192.168.1.20", ""}, false, false, kLanB, false, "", "", false, false},
    {"hold with 0.0.0.0", kDecide, {"0.0.0.0", 4000, "198.51.100.7", "a=sendonly\r\n"}, true, false, kProvider, true, "", "", false, false},
    {"hold with sendonly", kDecide, {"192.168.1.20", 2222, "192.168.1.20", "a=sendonly\r\n"}, false, false, kLanB, false, "", "", false, false},
    {"NATed answerer asks for a reattempt", kDecide, kPublicA, true, false, {"10.0.0.9", 5000, "198.51.100.60", ""}, true, "", "203.0.113.5:8002", true, true},
    {"caller behind our NAT with its LAN address", kDecide, {"203.0.113.5", 9000, "203.0.113.5", "a=local:192.168.1.40 4000\r\na=domain:203.0.113.5\r\n"}, false, false, kLanB, false, "192.168.1.40:4000", "203.0.113.5:8002", true, false},
    {"caller behind our NAT without LAN address", kDecide, {"203.0.113.5", 9000, "203.0.113.5", ""}, false, false, kLanB, false, "192.168.1.2:8000", "192.168.1.2:8002", true, false},
};
// clang-format on

std::string Target(const std::string &sdp)
{
    LSDPDecoder d(sdp);
    return d.GetRemoteHost() + ":" + std::to_string(d.GetRemoteRTPAudioPort());
}

TEST(SdpMediator, DecisionTable)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.name);
        Mediator m(row.mode);
        const std::string offer = Sdp(row.offer.host, row.offer.port, row.offer.extra);
        const std::string answer = Sdp(row.answer.host, row.answer.port, row.answer.extra);
        m.ReceiveInviteSDP({offer, row.offer.source}, row.destinationPublic);
        const std::string offerOut = m.RewriteInviteSDP(!row.destinationPublic, row.oddRtpDisabled);
        EXPECT_EQ(*row.offerOut ? Target(offerOut) : offerOut,
                  *row.offerOut ? row.offerOut : offer);
        const std::string answerOut =
            m.ProcessAnswer(answer, row.answer.source, row.answererPublic, row.oddRtpDisabled);
        EXPECT_EQ(*row.answerOut ? Target(answerOut) : answerOut,
                  *row.answerOut ? row.answerOut : answer);
        EXPECT_EQ(m.host.log.started == 1, row.relayStarted);
        EXPECT_EQ(m.IsReattemptWithRelayRequired(), row.reattempt);
        EXPECT_EQ(m.host.log.made, 1);
    }
}

TEST(SdpMediator, RelayPointsAtEndpointsAndNeverAtZeroAddress)
{
    // clang-format off
    const struct { const char *name; std::string offerHost, source, extra; bool valid, latch; } cases[] = {
        {"LAN phone", "192.168.1.20", "192.168.1.20", "", true, false},
        {"NATed phone latches", "192.168.1.20", "198.51.100.7", "", true, true},
        {"asked to latch", "198.51.100.7", "198.51.100.7", "a=direction:active\r\n", true, true},
        {"hold address", "0.0.0.0", "198.51.100.7", "a=sendonly\r\n", false, false},
        {"unresolvable name", "phone.invalid", "198.51.100.7", "", false, false},
        {"no c line", "", "198.51.100.7", "", false, false},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Mediator m(kForce);
        m.ReceiveInviteSDP({Sdp(c.offerHost, 2222, c.extra), c.source}, true);
        ASSERT_NE(m.host.last, nullptr);
        const FakeConnection &a = m.host.last->a;
        EXPECT_TRUE(a.connected);
        EXPECT_EQ(a.destination.valid, c.valid);
        EXPECT_EQ(a.latch, c.latch);
        EXPECT_TRUE(c.valid || a.destination.ip == 0u);
        // Forced relay still gives the target the relay, even for a held call.
        EXPECT_EQ(Target(m.RewriteInviteSDP(false, false)), "203.0.113.5:8000");
    }
}

TEST(SdpMediator, RecordedCallFiltersCodecsAndStartsRecorder)
{
    Mediator m(kRecord);
    const std::string offer = "c=IN IP4 198.51.100.7\r\nm=audio 4000 RTP/SAVP 0 18 97 8\r\n"
                              "a=rtpmap:97 G726-32/8000\r\na=rtpmap:18 G729/8000\r\n";
    m.ReceiveInviteSDP({offer, "198.51.100.7"}, true);
    LSDPDecoder out(m.RewriteInviteSDP(false, false));
    EXPECT_EQ(out.GetRemotePayLoadTypes(), "0 97 8");
    EXPECT_EQ(out.GetRemoteHostPrivate(), "192.168.1.2");
    EXPECT_TRUE(m.host.last->a.privatePortHandedOut);
    EXPECT_FALSE(m.ProcessAnswer(Sdp("198.51.100.8", 5000), "198.51.100.8", true, false).empty());
    EXPECT_EQ(m.host.log.started, 1);
    EXPECT_EQ(m.host.log.recorder, "call-1");
    EXPECT_EQ(m.host.log.g726, 97);
}

TEST(SdpMediator, OfferRewriteIsCachedPerFlags)
{
    Mediator m(kDecide);
    m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, true);
    const std::string first = m.RewriteInviteSDP(false, false);
    const int resolves = m.host.last->a.resolves;
    EXPECT_EQ(m.RewriteInviteSDP(false, false), first);
    EXPECT_EQ(m.host.last->a.resolves, resolves);
    // The public side learns where the phone really is.
    EXPECT_EQ(LSDPDecoder(first).GetRemoteHostPrivate(), "192.168.1.20");
    EXPECT_NE(m.RewriteInviteSDP(true, false), first); // to a LAN phone: unchanged offer
}

// "Active" asks the far side of an offer relayed to the public side to send
// first, so that the relay can latch onto it.
TEST(SdpMediator, PublicOfferAsksForActiveOnlyWhenSet)
{
    for (bool active : {false, true}) {
        Mediator m(kForce);
        m.host.sdp.active = active;
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, true);
        EXPECT_EQ(LSDPDecoder(m.RewriteInviteSDP(false, false)).GetRemoteDirectionActive(), active);
    }
}

TEST(SdpMediator, AnswersAfterTheFirstAndWithoutOfferAreEmpty)
{
    Mediator m(kDecide);
    EXPECT_EQ(m.RewriteInviteSDP(false, false), "");
    m.ReceiveInviteSDP({"", "192.168.1.20"}, false); // INVITE without SDP
    EXPECT_FALSE(m.HasOffer());
    // The 200 OK then carries the offer and the ACK the answer.
    const std::string ok = Sdp("192.168.1.20", 2222);
    EXPECT_EQ(m.RewriteOkSDP({ok, "192.168.1.20"}, false, false, false), ok);
    const std::string ack = Sdp("192.168.1.30", 3334);
    EXPECT_EQ(m.RewriteAckSDP({ack, "192.168.1.30"}, false, false), ack);
    EXPECT_EQ(m.RewriteAckSDP({ack, "192.168.1.30"}, false, false), "");
}

TEST(SdpMediator, NoFreePortsPassesSdpUnchanged)
{
    Mediator m(kForce);
    m.host.noPorts = true;
    const std::string offer = Sdp("192.168.1.20", 2222);
    m.ReceiveInviteSDP({offer, "198.51.100.7"}, true);
    EXPECT_EQ(m.RewriteInviteSDP(false, false), offer);
    const std::string answer = Sdp("198.51.100.8", 5000);
    EXPECT_EQ(m.ProcessAnswer(answer, "198.51.100.8", true, false), answer);
}

TEST(SdpMediator, RetiredRelayKeepsPortsUntilReleased)
{
    FakeHost host;
    {
        LSDPMediator m(host, 50);
        Prepare(m, kDecide);
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, false);
        m.RewriteInviteSDP(true, false);
        m.ProcessAnswer(Sdp("192.168.1.30", 3334), "192.168.1.30", false, false);
        EXPECT_EQ(host.log.stopped, 1);
        EXPECT_FALSE(m.HasRelay());
        // Held through the delay (on the host's manual clock), then released.
        host.sdp.clock.Advance(49);
        EXPECT_TRUE(m.HasDyingRelay());
        EXPECT_EQ(host.log.destroyed, 0);
        host.sdp.clock.Advance(1);
        EXPECT_TRUE(vtest::WaitUntil([&] { return host.log.destroyed >= 1; }));
        EXPECT_FALSE(m.HasDyingRelay());
        // The data no longer reaches the released relay.
        EXPECT_FALSE(m.RewriteInviteSDP(false, true).empty());

        // A new offer replaces an unstarted relay at once.
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, false);
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, false);
        EXPECT_EQ(host.log.destroyed, 2);
    }
    EXPECT_EQ(host.log.destroyed, host.log.made);

    // Destroying the mediator, and the exchange's stop, end a ten-second
    // wait at once; after the stop a retired relay goes at once.
    FakeHost slow;
    LSDPRelayReleaser &releaser = slow.sdp.GetRelayReleaser();
    {
        LSDPMediator m(slow);
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, false);
        m.KillRelayIn10Seconds();
        EXPECT_TRUE(m.HasDyingRelay());
    }
    EXPECT_EQ(slow.log.destroyed, 1);
    LSDPMediator m(slow);
    for (int destroyed : {2, 3}) {
        m.ReceiveInviteSDP({Sdp("192.168.1.20", 2222), "192.168.1.20"}, false);
        m.KillRelayIn10Seconds();
        releaser.Stop();
        EXPECT_EQ(slow.log.destroyed, destroyed);
        EXPECT_FALSE(m.HasDyingRelay());
    }
}

TEST(SdpMediator, RelayModeFromRemoteSpecialFlags)
{
    const LSDPCallLeg plain{}, always{false, kRemoteAlwaysRelay},
        notNeeded{true, kRemoteRelayNotNeeded | kRemoteOddRTPDisabled};
    // clang-format off
    const struct { const char *name; LSDPCallLeg caller; std::vector<LSDPCallLeg> targets; LSDPRelayMode mode; } cases[] = {
        {"plain", plain, {plain, plain}, LSDPRelayMode::Decide},
        {"one target always", plain, {plain, always}, LSDPRelayMode::ForceBothWays},
        {"always beats not needed", notNeeded, {always}, LSDPRelayMode::ForceBothWays},
        {"caller not needed", notNeeded, {plain}, LSDPRelayMode::NotRequired},
        {"every target not needed", plain, {notNeeded, notNeeded}, LSDPRelayMode::NotRequired},
        {"some target not needed", plain, {notNeeded, plain}, LSDPRelayMode::Decide},
        {"no targets", plain, {}, LSDPRelayMode::Decide},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(LSDPChooseRelayMode(c.caller, c.targets.data(), c.targets.size()), c.mode)
            << c.name;
}
} // namespace
