// The call recorder: payload location, decoding limits, lining up the two
// directions and the flush at the end.
#include "media/recorder_record.h"
#include "recorder_test_audio.h"

#include <gtest/gtest.h>

namespace
{

TEST(RecorderPayload, HeaderPartsAreSkippedAndCappedAtThePacket)
{
    // clang-format off
    const struct Case { const char *name; std::string packet; int offset, length; } cases[] = {
        {"plain", std::string("\x80\x00", 2) + std::string(10, 0) + "abcd", 12, 4},
        {"two csrc", std::string("\x82\x00", 2) + std::string(18, 0) + "ab", 20, 2},
        {"extension of 1 word", std::string("\x90\x00", 2) + std::string(10, 0) + std::string("\0\0\0\x01", 4) + "xxxx" + "ab", 20, 2},
        {"extension longer than packet", std::string("\x90\x00", 2) + std::string(10, 0) + std::string("\0\0\xff\xff", 4), 16, 0},
        {"padding 2", std::string("\xa0\x00", 2) + std::string(10, 0) + "ab" + std::string("\0\x02", 2), 12, 2},
        {"padding beyond payload", std::string("\xa0\x00", 2) + std::string(10, 0) + "\x09", 12, 0},
        {"csrc count beyond packet", std::string("\x8f\x00", 2) + std::string(10, 0) + "ab", 14, 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        int offset = -1, length = -1;
        LRtpFindPayload((const unsigned char *)c.packet.data(), (int)c.packet.size(), offset,
                        length);
        EXPECT_EQ(offset, c.offset) << c.name;
        EXPECT_EQ(length, c.length) << c.name;
    }
}

TEST(RecorderDecode, OnePacketGivesAtMost8192Samples)
{
    std::vector<int> out;
    LRtpRecord record(LSoundSink(new CaptureSink(out)), 96);
    std::vector<unsigned char> payload(4096, 0x55);
    static int samples[LRtpRecord::kMaxSamples];
    // clang-format off
    const struct Case { int payloadType; int length; int expected; } cases[] = {
        {0, 4096, 4096}, {8, 160, 160}, {3, 4096, 8160}, {3, 65, 160}, {3, 32, 0}, {96, 4096, 8192},
        {96, 80, 160}, {13, 10, 0}, {101, 4, 0}, {18, 20, 0},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(record.Decode(c.payloadType, payload.data(), c.length, true, samples), c.expected)
            << c.payloadType << "/" << c.length;
    LRtpRecord noG726(LSoundSink(new CaptureSink(out)), 255);
    EXPECT_EQ(noG726.Decode(255, payload.data(), 100, true, samples), 0);
}

TEST(RecorderDecode, LargestGsmPacketIsCutNotOverrun)
{
    std::vector<int> out;
    {
        LRtpRecord record(LSoundSink(new CaptureSink(out)), 255);
        LGSMEncoder encoder;
        std::string frames = GsmFrames(encoder, Tone(160 * 125, 440, 8000));
        record.WriteRtpPacket(Packet(3, frames.substr(0, 4096)), true);
        EXPECT_EQ(out.size(), 8160u);
    }
    EXPECT_EQ(out.size(), 8160u);
}

TEST(RecorderMix, PcmuAndGsmAreDecodedAndSummedInArrivalOrder)
{
    std::vector<int> out;
    std::vector<std::vector<int>> heardA, heardB;
    {
        LRtpRecord record(LSoundSink(new CaptureSink(out)), 255);
        LGSMEncoder encoder;
        LGSMDecoder decoder;
        for (int i = 0; i < 10; ++i) {
            std::string ulaw = Ulaw(Tone(160, 440, 6000, i * 160));
            record.WriteRtpPacket(Packet(0, ulaw), true);
            std::vector<int> a(160);
            ConvertSamplesIn(a.data(), (const LSFULAW *)ulaw.data(), 160);
            heardA.push_back(a);
            std::string gsm = GsmFrames(encoder, Tone(160, 1000, 6000, i * 160));
            record.WriteRtpPacket(Packet(3, gsm), false);
            std::vector<int> b(160);
            decoder.DecodeFrameNormal((const unsigned char *)gsm.data(), b.data());
            heardB.push_back(b);
            // A telephone event adds nothing.
            record.WriteRtpPacket(Packet(101, "\x01\x0a\x00\xa0"), false);
        }
    }
    // A starts alone (B counts as silent); from then on A's packet i meets
    // B's packet i - 1; the flush pads A for B's last packet.
    ASSERT_EQ(out.size(), 11u * 160);
    for (int i = 0; i <= 10; ++i)
        for (int s = 0; s < 160; ++s) {
            int a = i < 10 ? heardA[i][s] : 0, b = i > 0 ? heardB[i - 1][s] : 0;
            ASSERT_EQ(out[i * 160 + s], a + b) << i << ":" << s;
        }
}

TEST(RecorderMix, ASideOnHoldHoldsTheOtherBackAtMost400Ms)
{
    std::vector<int> out;
    LRtpRecord record(LSoundSink(new CaptureSink(out)), 255);
    std::string silence = Ulaw(std::vector<int>(160, 0));
    std::string voice = Ulaw(Tone(160, 440, 6000));
    record.WriteRtpPacket(Packet(0, voice), false); // B first
    record.WriteRtpPacket(Packet(0, voice), true);
    size_t before = out.size();
    // B holds for 2 s while A talks: A is late by at most 3200 samples.
    for (int i = 0; i < 100; ++i) {
        record.WriteRtpPacket(Packet(0, voice), true);
        ASSERT_GE(out.size() + 3200 + 160, before + (i + 1) * 160u) << i;
    }
    size_t held = out.size();
    // B resumes: mixing goes on with no gap and no extra delay.
    for (int i = 0; i < 10; ++i) {
        record.WriteRtpPacket(Packet(0, silence), false);
        record.WriteRtpPacket(Packet(0, voice), true);
    }
    EXPECT_GE(out.size(), held + 9 * 160);
}

} // namespace
