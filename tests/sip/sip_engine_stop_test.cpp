// The engine on its own socket: the next port when its own is busy, the
// public address learnt by STUN once the socket is bound, and a stop racing
// new work.
#include "fake_stun_server.h"
#include "platform/clock.h"
#include "sip/sip_engine.h"
#include "sip/sip_graveyard.h"
#include "support/process.h"
#include "support/wait.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace
{
int gPort = 0;
std::atomic<int> gSent{0};
std::string gStunServer;

int SettingInt(const char *, const char *key, int def)
{
    return strcmp(key, "Port") == 0 ? gPort : def;
}

const char *SettingString(const char *, const char *key, const char *def, char *out)
{
    snprintf(out, 260, "%s", strcmp(key, "STUNServer1") == 0 ? gStunServer.c_str() : def);
    return out;
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

// A port taken by another program means the next one; once bound, the
// engine asks the STUN server from that socket for its public address; the
// stop closes the socket, so a restart can bind it again.
TEST(SipEngineStart, TakesTheNextFreePortAndItsPublicAddressFromStun)
{
    vtest::FakeStunServer server({"198.51.100.4", 31000});
    gStunServer = server.Name();
    std::unique_ptr<vtest::UdpPeer> busy;
    for (int attempt = 0; attempt < 20 && !busy; attempt++) {
        busy = std::make_unique<vtest::UdpPeer>();
        if (!vtest::UdpPeer(busy->Port() + 1).IsOpen()) // the next one must be free
            busy.reset();
    }
    ASSERT_TRUE(busy);
    gPort = busy->Port();
    LSystemClock clock;
    LSipGraveyard graveyard(clock);
    LSipEngine engine(graveyard, clock);
    engine.SetSettings({SettingInt, nullptr, SettingString, nullptr, nullptr});
    engine.Start();
    ASSERT_TRUE(engine.GetReadySignal().WaitSignal(5000));
    EXPECT_EQ(engine.GetPrivateSipPort(), gPort + 1);
    char ip[64] = "";
    EXPECT_TRUE(vtest::WaitUntil([&] {
        engine.GetPublicIP(ip, sizeof ip);
        return strcmp(ip, "198.51.100.4") == 0;
    })) << ip;
    EXPECT_EQ(engine.GetPublicSipPort(), 31000);
    EXPECT_GE(server.Requests(), 1);
    engine.Stop();
    EXPECT_TRUE(vtest::UdpPeer(gPort + 1).IsOpen());
}

// A call thread sending, or a datagram on its way to dispatch, while the
// engine stops: once Stop returns nothing more is dispatched or sent (the
// socket is closed; its descriptor may be another's), the next Start serves.
TEST(SipEngineStop, WorkRacingTheStopIsRefusedAfterItAndServedAfterTheNextStart)
{
    const std::string options =
        "OPTIONS sip:a@b SIP/2.0\r\nCall-ID: race\r\nCSeq: 1 OPTIONS\r\n\r\n";
    LIPAddressWithPort peer(0x7F000001, 9);
    CountingHandler handler;
    // clang-format off
    const struct Case { const char *work; std::function<void(LSipEngine &)> step; std::function<int()> served; } cases[] = {
        {"datagram", [&](LSipEngine &e) { e.ReceivePacket(options.data(), options.size(), peer); }, [&] { return handler.options.load(); }},
        {"send", [&](LSipEngine &e) { e.SendPacketUDP(peer, "x"); }, [] { return gSent.load(); }},
    };
    // clang-format on
    gPort = vtest::FreeUdpPort(); // the engine moves on if it is taken meanwhile
    LSystemClock clock;
    LSipGraveyard graveyard(clock);
    LSipEngine engine(graveyard, clock);
    engine.SetSettings({SettingInt, nullptr, nullptr, nullptr, CountSent});
    engine.SetNewMessageHandler(&handler);
    for (int i = 0; i < 4; i++) {
        const Case &c = cases[i / 2]; // each twice: the second start serves again
        SCOPED_TRACE(c.work);
        engine.Start();
        ASSERT_TRUE(engine.GetReadySignal().WaitSignal(5000));
        std::atomic<int> tries{0};
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (; !done.load(); tries++)
                c.step(engine);
        });
        int before = c.served(), goal;
        EXPECT_TRUE(vtest::WaitUntil([&] { return c.served() > before + 10; }));
        engine.Stop();
        int atStop = c.served();
        goal = tries.load() + 100; // go on racing a while after the stop
        EXPECT_TRUE(vtest::WaitUntil([&] { return tries.load() > goal; }));
        done = true;
        worker.join();
        EXPECT_EQ(c.served(), atStop);
    }
}
} // namespace
