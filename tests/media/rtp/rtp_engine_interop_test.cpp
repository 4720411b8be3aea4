// A phone's RTP socket listens to the media engine in real time: audio paced
// every 20 ms, without gaps, in its codec. An interop test for its running
// time and serial run, not for a peer: the socket that listens is the test's.
// VELA_RTP_WIRE_SECONDS: how long it listens (default 10).
#include "media/rtp_engine.h"
#include "media/rtp_packets.h"
#include "media/rtp_test_support.h"
#include "media/sdp_fakes.h"
#include "platform/thread.h"
#include "support/process.h"
#include "support/udp_peer.h"

#include <gtest/gtest.h>
#include <thread>

namespace
{
struct Arrival {
    double ms;
    std::string packet;
};

TEST(RtpEngineWire, APhoneHearsPacedContinuousAudioInItsCodec)
{
    const char *env = getenv("VELA_RTP_WIRE_SECONDS");
    int seconds = env != nullptr ? atoi(env) : 10;
    TempSettingsRoot root;
    LSettingSetInt("SIP", "RTPPortBase", RandomPortBase());
    KeysHeard keys;
    FixedSdpSettings sdpSettings;
    LSystemClock clock; // the phone checks the pacing in real time
    LRtpEngine engine(keys, sdpSettings, clock);
    ASSERT_TRUE(engine.Initialize());
    UdpPeer phoneRtp;
    phoneRtp.TimeArrivals(1 << 20); // the kernel's arrival stamps: no scheduling blur
    std::string answer;
    ASSERT_TRUE(engine.CreateAnswerSDP(answer, PhoneOffer(phoneRtp.Port(), "0"), false));
    ASSERT_EQ(engine.GetAudioPayLoadType(), 0);
    engine.Start();

    std::atomic<bool> stop{false};
    std::thread player([&] {                      // writes as fast as the sink lets it
        LThreadApplyPriority(LThread::StartHigh); // as the call player's pump
        LSoundSink sink = engine.OpenSoundSink(false);
        int frame[160];
        for (long n = 0; !stop; n++) {
            for (int i = 0; i < 160; i++)
                frame[i] = (int)(8000 * 16 * sin(2 * M_PI * 1000 * (n * 160 + i) / 8000));
            sink.Write(frame, 160);
        }
    });
    std::vector<Arrival> arrivals;
    std::string packet;
    int64_t atUs = 0;
    for (int64_t end = vtest::MonotonicMs() + seconds * 1000; vtest::MonotonicMs() < end;)
        if (phoneRtp.ReceiveTimed(packet, 100, atUs))
            arrivals.push_back({atUs / 1e3, packet});
    stop = true;
    player.join();
    engine.Stop();

    ASSERT_GT(arrivals.size(), (size_t)seconds * 45);
    std::vector<int> audio;
    int paced = 0, counted = 0;
    double sum = 0, worst = 0;
    for (size_t i = 0; i < arrivals.size(); i++) {
        const std::string &p = arrivals[i].packet;
        ASSERT_EQ(p.size(), 172u);
        EXPECT_EQ(p[1] & 0x7F, 0);
        EXPECT_EQ((p[1] & 0x80) != 0, i == 0);
        std::vector<int> samples = DecodeUlaw(p.substr(12));
        audio.insert(audio.end(), samples.begin(), samples.end());
        if (i == 0)
            continue;
        const std::string &q = arrivals[i - 1].packet;
        EXPECT_EQ((uint16_t)(RtpWord(p, 2, 2) - RtpWord(q, 2, 2)), 1);
        EXPECT_EQ(RtpWord(p, 4, 4) - RtpWord(q, 4, 4), 160u);
        // The first 240 ms go at once: the lead the sink keeps ahead.
        if (arrivals[i - 1].ms - arrivals[0].ms < 400)
            continue;
        double gap = arrivals[i].ms - arrivals[i - 1].ms;
        counted++;
        sum += gap;
        paced += std::fabs(gap - 20) <= 2;
        worst = std::max(worst, std::fabs(gap - 20));
    }
    printf("RTP wire, %d s: %zu packets, mean interval %.3f ms, %.2f%% within 20 +- 2 ms, "
           "largest deviation %.2f ms, 1 kHz share %.3f\n",
           seconds, arrivals.size(), sum / counted, 100.0 * paced / counted, worst,
           ToneShare(audio, 1000));
    EXPECT_NEAR(sum / counted, 20.0, 0.2);
    EXPECT_GE(paced, counted * 95 / 100);
    EXPECT_GT(ToneShare(audio, 1000), 0.9);
}
} // namespace
