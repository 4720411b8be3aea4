// The set-up loop on a clock that moves with every read, as time does on a
// loaded machine: a target's 180 is stamped later than the tick the loop
// read before. Read in the wrong order, the interval since the 180 wraps to
// about 49 days, past the ring limit, and the ringing target is buried at
// once; the caller then hears 480 instead of its ringback. And a caller
// that never acknowledges the 200, waited out in virtual time.
#include "callcontrol/pbx_sip_line.h"
#include "config/settings_fixture.h"
#include "media/sdp_stored_settings.h"
#include "platform/clock.h"
#include "sip/sip_call_fixture.h"
#include "support/sip_parse.h"

#include <cstring>

namespace
{
using vtest::EnginePort;

struct NoOwner : LPBXCallOwner {
    bool StartCall(const LSipMessage &, const LPBXCallStart &) override { return false; }
    int HandleTransfer(const char *, LPtr<LSipCall> &) override { return 0; }
    void WriteCallLog(int64_t, int64_t, const char *, const char *) override {}
};

// The next message a peer receives, parsed; its status or method.
std::string Next(vtest::UdpPeer &peer, LSipMessage &message)
{
    std::string text;
    size_t position = 0;
    if (!peer.Receive(text, 5000) || !message.LoadPacket(text.data(), text.size(), position))
        return "nothing";
    return message.IsRequest() ? message.GetRequest()
                               : std::to_string(message.GetResponseStatusCode());
}

class CallSetupClock : public SettingsTest
{
  protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        clock.SetStepPerRead(1);
        vtest::UdpPeer probe; // a port free a moment ago; the engine moves on if taken
        EnginePort() = probe.Port() + 1;
        LSipEngineSettings settings;
        settings.getInt = vtest::EngineSetting;
        engine.SetSettings(settings);
        engine.Start();
        ASSERT_TRUE(engine.GetReadySignal().WaitSignal(5000));
        EnginePort() = engine.GetPrivateSipPort();
    }
    void TearDown() override
    {
        calls.StopThreadsNow();
        engine.Stop();
        SettingsTest::TearDown();
    }
    // The caller's INVITE (offering sdp when given) reaches a call thread
    // whose one target is callee.
    void StartCall(const std::string &sdp = "")
    {
        std::string text = vtest::PeerRequest("INVITE", "setup-1", "", caller.Port(), 1);
        if (!sdp.empty())
            text.replace(text.find("Content-Length"), std::string::npos,
                         "Content-Type: application/sdp\r\nContent-Length: " +
                             std::to_string(sdp.size()) + "\r\n\r\n" + sdp);
        LPtr<LSipMessage> invite(vtest::ParseSip(text).release());
        invite->SetSource(LIPAddressWithPort(0x7F000001, caller.Port()));
        std::string target = "<sip:200@127.0.0.1:" + std::to_string(callee.Port()) + ">";
        LSipCallInitiateParams params;
        params.remoteNameAddr = target.c_str();
        params.localNameAddr = "<sip:100@127.0.0.1>";
        params.localUserID = "100";
        params.startTime = clock.UnixTime();
        LPtr<LSipCallInitiateList> list(new LSipCallInitiateList(environment));
        list->AddExtension(params);
        LPBXCallStart start;
        start.outboundPlan = "-";
        calls.StartThread(new LPBXSipLine(context, invite, list, "", "", start));
    }
    void Reply(vtest::UdpPeer &peer, const LSipMessage &request, int status, const char *reason,
               const std::string &sdp = "")
    {
        std::string text, contact = "<sip:200@127.0.0.1:" + std::to_string(peer.Port()) + ">";
        const char *body = sdp.empty() ? nullptr : sdp.c_str();
        LSipComposeResponse(text, request, status, reason, "callee1", contact.c_str(),
                            body ? "application/sdp" : nullptr, body, false, nullptr);
        peer.SendTo(EnginePort(), text);
    }

    LManualClock clock;
    LSipDialogTiming timing;
    vtest::BareDialogServices services; // used by the graveyard's thread too
    LSipGraveyard graveyard{clock};
    LSipEngine engine{graveyard, clock};
    LSipStack stack{engine, graveyard, clock, timing, services};
    LPBXCallTargetEnvironment environment{clock};
    LSDPStoredSettings sdp{clock, LRtpDefaultPublicAddress, [](const char *) {}};
    NoOwner owner;
    LPBXContext context{stack, environment, sdp, owner};
    LDetachedThreadsOwner calls;
    vtest::UdpPeer caller, callee;
};

TEST_F(CallSetupClock, TargetThatRingsKeepsRingingUntilItsFinalResponse)
{
    StartCall();
    LSipMessage trying, invite, ringing, busy, ack;
    ASSERT_EQ(Next(caller, trying), "100");
    ASSERT_EQ(Next(callee, invite), "INVITE");
    Reply(callee, invite, 180, "Ringing");
    EXPECT_EQ(Next(caller, ringing), "180");
    Reply(callee, invite, 486, "Busy Here");
    ASSERT_EQ(Next(caller, busy), "486");
    std::string toTag = busy.FindField(LSipFields::To, "");
    toTag = toTag.substr(toTag.find("tag=") + 4);
    caller.SendTo(EnginePort(), vtest::PeerRequest("ACK", "setup-1", toTag, caller.Port(), 1));
    EXPECT_EQ(Next(callee, ack), "ACK");
}

// RFC 3261 section 15: once the target's dialog exists only a BYE ends it; a
// CANCEL after its 200 would leave it in a call nobody ends. The caller's ACK
// is given up at Timer H, 32 s of the clock.
TEST_F(CallSetupClock, CallerThatNeverAcksLeavesTheAnsweringTargetAByeNotACancel)
{
    auto sdp = [](const vtest::UdpPeer &peer) {
        return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio " +
               std::to_string(peer.Port() + 2) + " RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";
    };
    StartCall(sdp(caller));
    LSipMessage trying, invite, ok;
    ASSERT_EQ(Next(caller, trying), "100");
    ASSERT_EQ(Next(callee, invite), "INVITE");
    Reply(callee, invite, 200, "OK", sdp(callee));
    ASSERT_EQ(Next(caller, ok), "200");
    std::string seen, text;
    auto bye = [&] { return seen.find("BYE") != std::string::npos; };
    for (int advanced = 0; !bye() && advanced < 40000; advanced += 1000) {
        clock.Advance(1000);
        if (callee.Receive(text, 10))
            seen += text.substr(0, text.find(' ')) + " ";
    }
    while (!bye() && callee.Receive(text, 5000)) // what is still on its way
        seen += text.substr(0, text.find(' ')) + " ";
    EXPECT_TRUE(bye()) << seen;
    EXPECT_EQ(seen.find("CANCEL"), std::string::npos) << seen;
}
} // namespace
