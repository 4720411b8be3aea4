// Key presses: RFC 2833 events, and in-band tones made by spandsp's
// generator.
#include "media/rtp_dtmf.h"
#include "media/rtp_packets.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include <spandsp.h>

namespace
{
LRtpHeader EventPacket(uint32_t ts, uint8_t event, bool end, int length = 4)
{
    std::string payload = {(char)event, (char)(end ? 0x8A : 0x0A), 0, (char)160};
    return ToRtpHeader(RtpPacket(1, ts, 9, 101, payload.substr(0, length)));
}

TEST(RtpDtmfEvents, EveryEventIsReportedOnceWhateverItsRepeatsAndEndPackets)
{
    KeysHeard keys;
    LRtpDTMF dtmf(keys, 50);
    dtmf.Start(101);
    uint32_t ts = 0xFFFFF000u;
    // Each key: three packets while held, three end packets (RFC 2833 3.6),
    // plus stray short and unknown ones that must not count.
    for (int event : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 5, 5}) {
        ts += 800;
        for (int i = 0; i < 6; i++)
            dtmf.HandleTelephoneEvent(EventPacket(ts, (uint8_t)event, i >= 3));
        dtmf.HandleTelephoneEvent(EventPacket(ts + 1, 17, false));
        dtmf.HandleTelephoneEvent(EventPacket(ts + 2, 7, false, 1));
        dtmf.HandleTelephoneEvent(EventPacket(ts + 3, 7, false, 3));
    }
    EXPECT_EQ(keys.heard, "0123456789*#ABCD!55");
}

// What the receive path hands the detector: the audio after a PCMU trip.
std::string OursHear(const std::vector<int16_t> &audio)
{
    std::vector<int> ulaw(audio.size());
    for (size_t i = 0; i < audio.size(); i++)
        ulaw[i] = LG711::UlawToLinear(LG711::LinearToUlaw(audio[i] * 16));
    KeysHeard keys;
    LRtpDTMF dtmf(keys, 50);
    dtmf.Start(LRtpDTMF::kNoPayload);
    for (size_t i = 0; i < ulaw.size(); i += 160)
        dtmf.ReceiveAudio(&ulaw[i], (int)std::min<size_t>(160, ulaw.size() - i));
    return keys.heard;
}

const std::string kAllKeys = "0123456789*#ABCD";
const std::string kOurKeys = "0123456789*#"; // no 1633 Hz column

std::vector<int16_t> Tones(int level, int twist, int onMs, double snrDb = 0)
{
    dtmf_tx_state_t *tx = dtmf_tx_init(nullptr);
    dtmf_tx_set_level(tx, level, twist);
    dtmf_tx_set_timing(tx, onMs, 80);
    dtmf_tx_put(tx, kAllKeys.c_str(), -1);
    std::vector<int16_t> out(8000 * 3);
    out.resize((size_t)dtmf_tx(tx, out.data(), (int)out.size()) + 800);
    dtmf_tx_free(tx);
    if (snrDb > 0) { // white noise that far below the tones' power
        double power = 0;
        for (int16_t x : out)
            power += (double)x * x;
        power /= out.size();
        double dbov = 10 * log10(power / (32768.0 * 32768.0 / 2)) - snrDb;
        awgn_state_t *noise = awgn_init_dbov(nullptr, 7, (float)dbov);
        for (int16_t &x : out)
            x = (int16_t)std::clamp(x + awgn(noise), -32768, 32767);
        awgn_free(noise);
    }
    return out;
}

// Speech is where in-band detectors fail: vowels carry strong pairs of
// harmonics in the tone bands. espeak-ng's, as 16-bit samples at 8000 Hz.
std::vector<int16_t> Speech(int seconds)
{
    const char *text = "The quick brown fox jumps over the lazy dog while seven wise men "
                       "count nine hundred and forty one golden coins. Please hold the line; "
                       "your call is important to us and will be answered shortly. ";
    std::string all;
    for (int i = 0; i < 12; i++)
        all += text;
    const std::string command = "espeak-ng --stdout -s 170 \"" + all +
                                "\" | sox -t wav - -r 8000 -c 1 -e signed -b 16 -t raw - trim 0 " +
                                std::to_string(seconds) + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    std::vector<int16_t> out;
    int16_t block[4096];
    size_t got;
    while (pipe != nullptr && (got = fread(block, 2, 4096, pipe)) > 0)
        out.insert(out.end(), block, block + got);
    if (pipe != nullptr)
        pclose(pipe);
    return out;
}

// Tones from spandsp's generator at the edges of what a receiver must take
// (and one below them), and speech, where in-band detectors fail.
TEST(RtpDtmfInBand, HearsEveryKeyOfSpandspTonesAndNoneInSpeech)
{
    // clang-format off
    struct Row { const char *name; std::vector<int16_t> audio; std::string ours; };
    std::vector<Row> rows = {
        {"-4 dBm0, no twist",        Tones(-4, 0, 60),   kOurKeys},
        {"-20 dBm0, no twist",       Tones(-20, 0, 60),  kOurKeys},
        {"-36 dBm0, no twist",       Tones(-36, 0, 60),  kOurKeys},
        {"-10 dBm0, twist +6 dB",    Tones(-10, 6, 60),  kOurKeys},
        {"-10 dBm0, twist -6 dB",    Tones(-10, -6, 60), kOurKeys},
        {"-10 dBm0, 40 ms tones",    Tones(-10, 0, 40),  kOurKeys},
        {"-20 dBm0, 15 dB SNR",      Tones(-20, 0, 60, 15), kOurKeys},
        {"-45 dBm0 (too weak)",      Tones(-45, 0, 60),  ""},
        {"60 s speech (espeak-ng)",  Speech(60),         ""},
    };
    // clang-format on
    for (const Row &row : rows) {
        ASSERT_GT(row.audio.size(), 8000u) << row.name << ": no audio made";
        EXPECT_EQ(OursHear(row.audio), row.ours) << row.name;
    }
}
} // namespace
