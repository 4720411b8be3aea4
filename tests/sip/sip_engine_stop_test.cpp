// A stop racing new work: a call thread sending, or a datagram on its way to
// dispatch, while the engine stops. Once Stop returns nothing more is
// dispatched or sent (the socket is closed; its descriptor may already be
// another's), and the next Start serves both again.
#include "platform/clock.h"
#include "sip/sip_engine.h"
#include "sip/sip_graveyard.h"
#include "support/process.h"
#include "support/udp_peer.h"
#include "support/wait.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace
{
int gPort = 0;
std::atomic<int> gSent{0};

int SettingInt(const char *, const char *key, int def)
{
    return strcmp(key, "Port") == 0 ? gPort : def;
}

void CountSent(bool sent, const LIPAddressWithPort &, const char *, size_t)
{
    gSent += sent ? 1 : 0;
}

struct CountingHandler : LSipNewMessageHandler {
    std::atomic<int> options{0};
    void HandleNewInvite(LPtr<LSipMessage> &) override {}
    void HandleNewOptions(LPtr<LSipMessage> &) override { options++; }
    void HandleNewRegister(LPtr<LSipMessage> &) override {}
};

TEST(SipEngineStop, WorkRacingTheStopIsRefusedAfterItAndServedAfterTheNextStart)
{
    const std::string options = "OPTIONS sip:a@b SIP/2.0\r\nCall-ID: stop-race\r\nCSeq: 1 "
                                "OPTIONS\r\nVia: SIP/2.0/UDP 127.0.0.1:9\r\n\r\n";
    vtest::UdpPeer peer;
    LIPAddressWithPort to(0x7F000001, peer.Port());
    LIPAddressWithPort from(0x7F000001, 9);
    CountingHandler handler;
    // clang-format off
    const struct Case { const char *work; std::function<void(LSipEngine &)> step; std::function<int()> served; } cases[] = {
        {"datagram", [&](LSipEngine &e) { e.ReceivePacket(options.data(), options.size(), from); }, [&] { return handler.options.load(); }},
        {"send", [&](LSipEngine &e) { e.SendPacketUDP(to, "x"); }, [] { return gSent.load(); }},
    };
    // clang-format on
    gPort = vtest::FreeUdpPort(); // the engine moves on if it is taken meanwhile
    LSystemClock clock;
    LSipGraveyard graveyard(clock);
    LSipEngine engine(graveyard, clock);
    LSipEngineSettings settings;
    settings.getInt = SettingInt;
    settings.trace = CountSent;
    engine.SetSettings(settings);
    engine.SetNewMessageHandler(&handler);
    for (const Case &c : cases)
        for (int start = 0; start < 2; start++) {
            SCOPED_TRACE(std::string(c.work) + " start " + std::to_string(start));
            engine.Start();
            ASSERT_TRUE(engine.GetReadySignal().WaitSignal(5000));
            std::atomic<int> attempts{0};
            std::atomic<bool> done{false};
            std::thread worker([&] {
                for (; !done.load(); attempts++)
                    c.step(engine);
            });
            int before = c.served();
            EXPECT_TRUE(vtest::WaitUntil([&] { return c.served() > before + 10; }));
            engine.Stop();
            int atStop = c.served();
            int goal = attempts.load() + 100;
            EXPECT_TRUE(vtest::WaitUntil([&] { return attempts.load() > goal; }));
            done = true;
            worker.join();
            EXPECT_EQ(c.served(), atStop);
        }
}
} // namespace
