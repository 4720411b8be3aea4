// The engine on loopback: what it sends, and what a hostile second sender
// does to what it receives.
#include "media/rtp_engine.h"
#include "media/rtp_packets.h"
#include "media/rtp_receive_stack.h"
#include "media/rtp_test_support.h"
#include "media/sdp_fakes.h"
#include "support/wait.h"

#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

namespace
{
// Counts what the receive thread plays, and how loud.
struct Heard : LSoundSinkBase {
    Heard() : LSoundSinkBase(8000, 1) {}
    void Write(const int *s, int n) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int i = 0; i < n; i++)
            loud += std::abs(s[i]) > 2000 * 16;
    }
    long Loud()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return loud;
    }
    std::mutex mutex;
    long loud = 0;
};

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct RtpEngineTest : ::testing::Test {
    TempSettingsRoot root;
    KeysHeard keys;
    FixedSdpSettings sdpSettings;
    LManualClock clock; // moves as the test says, and by the engine's pacing sleeps
    LRtpEngine engine{keys, sdpSettings, clock};
    UdpPeer phone, stray;
    void SetUp() override
    {
        LSettingSetInt("SIP", "RTPPortBase", RandomPortBase());
        ASSERT_TRUE(engine.Initialize());
        EXPECT_EQ(engine.GetLocalPort() % 2, 0);
    }
};

// The sanitizers hold freed memory in quarantine, so there the resident size
// grows with any allocation; growth is measured in the plain build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasuresGrowth = false;
#else
constexpr bool kMeasuresGrowth = true;
#endif

TEST_F(RtpEngineTest, AFloodFromASecondSenderNeitherGrowsNorStopsTheFirstStream)
{
    std::string answer;
    ASSERT_TRUE(engine.CreateAnswerSDP(answer, PhoneOffer(phone.Port(), "0"), false));
    auto heard = new Heard;
    engine.SetReceiveSink(LSoundSink(heard));
    engine.Start();
    // Waiting: past the start, which throws away what came before.
    ASSERT_TRUE(vtest::WaitUntil([&] { return clock.IsWaiting(); }));
    uint16_t n = 0;
    // 20 ms of virtual time per packet, as a phone paces them.
    auto talk = [&] {
        phone.SendTo(engine.GetLocalPort(), RtpPacket(n, 160u * n, 1, 0, UlawTone(n)));
        n++;
        clock.Advance(20);
    };
    while (n < 50)
        talk();
    ASSERT_TRUE(vtest::WaitUntil([&] { return engine.GetReceivedCount() == 50; }));
    clock.Advance(LRtpReceivePacketStack::kNewStreamMs + 1000); // past the new-stream window
    long before = ResidentKb(), loudBefore = heard->Loud();
    for (int i = 0; i < 10000; i++) {
        // Silence: were it played instead of the first stream, the tone
        // would stop.
        stray.SendTo(engine.GetLocalPort(),
                     RtpPacket((uint16_t)i, 160u * i, 2, 0, std::string(160, '\xff')));
        if (i % 100 == 0)
            talk();
        // In bursts the socket buffer holds, so that a busy machine's kernel
        // drops nothing and every packet reaches the engine.
        if (i % 50 == 49) {
            unsigned sent = 50u + (unsigned)i + 1u + (unsigned)(i / 100 + 1);
            ASSERT_TRUE(vtest::WaitUntil([&] { return engine.GetReceivedCount() >= sent; }));
        }
    }
    EXPECT_TRUE(vtest::WaitUntil([&] { return engine.GetReceivedCount() == 10150u; }));
    if (kMeasuresGrowth) {
        EXPECT_LT(ResidentKb() - before, 1024);
    }
    // 2 s of the first stream's tone (about 8 in 10 samples loud).
    EXPECT_GT(heard->Loud() - loudBefore, 8000);
}

TEST_F(RtpEngineTest, NothingArrivingLeavesTheReceiveThreadAsleepUntilTheKeepAlive)
{
    std::string sdp, data;
    ASSERT_TRUE(engine.CreateAnswerSDP(sdp, PhoneOffer(phone.Port(), "0"), true));
    engine.Start();
    // From wake to wake (a wait each) past 3 s of a player that only sends.
    for (uint32_t end = clock.Tick() + 3000; LTickDiff(clock.Tick(), end) < 0;) {
        ASSERT_TRUE(vtest::WaitUntil([&] { return clock.IsWaiting(); }));
        uint64_t entered = clock.WaitsEntered();
        clock.SetTick(clock.NextWake());
        ASSERT_TRUE(vtest::WaitUntil([&] { return clock.WaitsEntered() > entered; }));
    }
    EXPECT_LE(clock.WaitsEntered(), 3u);    // about 25 a second when it polled
    ASSERT_TRUE(phone.Receive(data, 3000)); // the last wake was the keep-alive's
    EXPECT_EQ(data, std::string(4, '\0'));
}

TEST_F(RtpEngineTest, SilenceIsSentAsComfortNoiseAndSpeechAfterItCarriesTheMarker)
{
    std::string answer;
    ASSERT_TRUE(engine.CreateAnswerSDP(answer, PhoneOffer(phone.Port(), "8 13"), false));
    ASSERT_EQ(engine.GetComfortNoisePayLoadType(), 13);
    LSoundSink sink = engine.OpenSoundSink(false);
    std::vector<int> tone(1600), quiet(8000 + 1600);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = (int)(8000 * 16 * sin(i * 0.3));
    sink.Write(tone.data(), (int)tone.size()); // 200 ms
    sink.Write(quiet.data(), (int)quiet.size());
    sink.Write(tone.data(), (int)tone.size());
    std::string kinds;
    uint16_t seq = 0;
    uint32_t ts = 0;
    std::string data;
    // Sent at once: the pacing sleeps passed on the manual clock.
    for (int n = 0; phone.Receive(data, 50); n++) {
        ASSERT_GE(data.size(), 13u);
        uint16_t s = (uint16_t)RtpWord(data, 2, 2);
        uint32_t t = RtpWord(data, 4, 4);
        if (n > 0) {
            EXPECT_EQ(s, (uint16_t)(seq + 1));
        }
        if (n > 0 && kinds.back() == 'a') {
            EXPECT_EQ(t, ts + 160);
        }
        seq = s, ts = t;
        bool mark = (uint8_t)data[1] & 0x80;
        int pt = data[1] & 0x7F;
        kinds += pt == 13 ? 'n' : mark ? 'M' : 'a';
        if (pt == 13) {
            EXPECT_EQ(data, data.substr(0, 12) + '\x3f');
        }
    }
    // 10 frames of tone and the quiet frame that ends it, 1.2 s of silence
    // (noise at once, after 80 ms, then each second), 10 frames of tone.
    EXPECT_EQ(kinds, "Maaaaaaaaaa"
                     "nnn"
                     "Maaaaaaaaa");
    // The writer was held back to about 240 ms ahead of the clock.
    EXPECT_NEAR(engine.GetSequencer().GetTimeAhead(), LRTPSendSequencer::kMaxAheadMs, 20);
}
} // namespace
