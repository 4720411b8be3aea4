// An in-process SIP engine on a free loopback port, a raw UDP peer that
// plays the far end of a dialog, and a manual clock on which a dialog's
// timers run in virtual time.
#pragma once

#include "platform/clock.h"
#include "platform/thread.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/siplayouts.h"
#include "support/udp_peer.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vtest
{
inline int &EnginePort()
{
    static int port = 0;
    return port;
}

inline int EngineSetting(const char *, const char *key, int def)
{
    return std::string(key) == "Port" ? EnginePort() : def;
}

// The SIP stack alone: no registrar to map contacts, no idle SDP.
struct BareDialogServices : LSipDialogServices {
    bool MapContact(char *, size_t, const LIPAddressWithPort &) override { return false; }
    void MakeDefaultSdp(const LSipMessage &, std::string &) override {}
};

// One suite's own engine and graveyard. Dialogs run on the manual clock
// with the service's timing; the graveyard keeps the machine's clock (its
// timing is tested on its passes) and finishes legs as in service.
// The services outlive the graveyard's thread, which uses them (as in the
// service).
struct TestSipStack {
    LManualClock clock;
    LSystemClock machine;
    LSipDialogTiming timing;
    BareDialogServices services;
    LSipGraveyard graveyard{machine};
    LSipEngine engine{graveyard, clock};
    LSipStack stack{engine, graveyard, clock, timing, services};
};

// The owner of a dialog; never started, only its stop signal is used.
class OwnerThread : public LThread
{
  protected:
    void ThreadFunction() override {}
};

struct Received {
    std::shared_ptr<LSipMessage> parsed;
    const LSipMessage &message() const { return *parsed; }
    // The method of a request, the status code of a response.
    std::string Name() const
    {
        return parsed->IsRequest() ? parsed->GetRequest()
                                   : std::to_string(parsed->GetResponseStatusCode());
    }
    std::string text;
    uint32_t at = 0; // virtual ms since Drive began
};

class DialogPeer
{
  public:
    int Port() const { return m_Udp.Port(); }
    std::string Target() const { return "<sip:200@127.0.0.1:" + std::to_string(Port()) + ">"; }
    bool Next(Received &out, int timeoutMs)
    {
        if (!m_Udp.Receive(out.text, timeoutMs))
            return false;
        size_t position = 0;
        out.parsed = std::make_shared<LSipMessage>();
        return out.parsed->LoadPacket(out.text.data(), out.text.size(), position);
    }
    void Send(const std::string &text) { m_Udp.SendTo(EnginePort(), text); }
    void Reply(const LSipMessage &request, int status, const char *reason,
               const char *extra = nullptr, const char *toTag = "peer1")
    {
        std::string text;
        LSipComposeResponse(text, request, status, reason, toTag, Target().c_str(), nullptr,
                            nullptr, false, extra);
        Send(text);
    }

  private:
    UdpPeer m_Udp;
};

inline std::string PeerRequest(const std::string &method, const std::string &callId,
                               const std::string &toTag, int peerPort, int cseq,
                               const std::string &extra = "", const std::string &branch = "b1")
{
    std::string port = std::to_string(peerPort);
    return method + " sip:100@127.0.0.1:" + std::to_string(EnginePort()) +
           " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + port + ";branch=z9hG4bK" + branch +
           "\r\nTo: <sip:100@127.0.0.1>" + (toTag.empty() ? "" : ";tag=" + toTag) +
           "\r\nFrom: <sip:200@127.0.0.1:" + port + ">;tag=peer1\r\nCall-ID: " + callId +
           "\r\nCSeq: " + std::to_string(cseq) + " " + method +
           "\r\nContact: <sip:200@127.0.0.1:" + port + ">\r\n" + extra +
           "Content-Length: 0\r\n\r\n";
}

class SipCallTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        UdpPeer probe; // a port free a moment ago; the engine moves on if taken
        EnginePort() = probe.Port() + 1;
        Sip() = std::make_unique<TestSipStack>();
        LSipEngineSettings settings;
        settings.getInt = EngineSetting;
        Sip()->engine.SetSettings(settings);
        Sip()->engine.Start();
        Sip()->engine.GetReadySignal().WaitSignal(5000);
        EnginePort() = Sip()->engine.GetPrivateSipPort();
    }
    static void TearDownTestSuite() { Sip().reset(); }
    void SetUp() override { ASSERT_NE(EnginePort(), 0); }
    static std::unique_ptr<TestSipStack> &Sip()
    {
        static std::unique_ptr<TestSipStack> stack;
        return stack;
    }

    // A dialog the exchange opens towards the peer.
    LPtr<LSipCall> Outgoing(const char *password = "secret")
    {
        return LPtr<LSipCall>(new LSipCall(Sip()->stack, peer.Target().c_str(), "<sip:100@>",
                                           nullptr, "100", "user100", password));
    }
    // A dialog opened by an INVITE of the peer (parsed here, as dispatch would).
    LPtr<LSipCall> Incoming(const std::string &callId, LSipMessage &invite,
                            LSipStack &stack = Sip()->stack)
    {
        std::string text = PeerRequest("INVITE", callId, "", peer.Port(), 1);
        size_t position = 0;
        EXPECT_TRUE(invite.LoadPacket(text.data(), text.size(), position));
        invite.SetSource(LIPAddressWithPort(0x7F000001, peer.Port()));
        return LPtr<LSipCall>(new LSipCall(stack, invite, "100", "user100", "secret"));
    }
    template <class F> auto Run(F function) { return std::async(std::launch::async, function); }
    static LManualClock &Clock() { return Sip()->clock; }

    // Runs step (a dialog's blocking call) on another thread in virtual
    // time. Each datagram the peer receives goes to react with the virtual
    // time it was sent at; when react sends something back (returns true)
    // the dialog takes it in before time moves on. Otherwise the clock jumps
    // to the end of the dialog's wait. Returns what step returned.
    template <class F, class R> auto Drive(F step, R react)
    {
        auto running = Run(step);
        uint32_t start = Clock().Tick();
        // Stops at the first reply: what comes after it may already answer
        // that reply, and is read once the dialog waits again.
        auto drain = [&] {
            Received r;
            while (peer.Next(r, 0)) {
                r.at = Clock().Tick() - start;
                if (react(r))
                    return true;
            }
            return false;
        };
        // While the dialog waits, everything it sent has reached the peer.
        while (Until(running, [&] { return Clock().IsWaiting(); })) {
            uint64_t entered = Clock().WaitsEntered();
            if (!drain())
                Clock().SetTick(Clock().NextWake());
            Until(running, [&] { return Clock().WaitsEntered() > entered; });
        }
        while (drain()) {
        }
        return running.get();
    }
    // Waits in real time (a few seconds at most) until done holds; false
    // once running has finished.
    template <class T, class D> static bool Until(std::future<T> &running, D done)
    {
        for (int i = 0; i < 5000; i++) {
            if (running.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready)
                return false;
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    DialogPeer peer;
    OwnerThread owner;
};
} // namespace vtest
