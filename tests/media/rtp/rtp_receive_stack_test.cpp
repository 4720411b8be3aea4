#include "media/rtp_packets.h"
#include "media/rtp_receive_stack.h"
#include "media/rtp_send_sequencer.h"
#include "media/sdp_fakes.h"
#include "support/udp_peer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>

namespace
{
const LRtpAddress kPeer = LRtpMakeAddress(0x7F000001, 40000);

struct StackTest : ::testing::Test {
    FixedSdpSettings media;
    LManualClock clock{0xFFFFF000u}; // the tick wraps while a test runs
    LRtpReceivePacketStack stack{media, clock};
    void Give(uint16_t seq, uint32_t ssrc = 7)
    {
        std::string p = RtpPacket(seq, seq * 160u, ssrc, 0, UlawTone(seq));
        stack.ReceiveBytes(p.data(), (int)p.size(), kPeer);
    }
    // Everything the decoder would take now, in order.
    std::vector<uint16_t> Drain()
    {
        std::vector<uint16_t> out;
        LRtpHeader packet;
        while (stack.HasNextPacket()) {
            stack.GetNextPacket(packet);
            out.push_back(packet.ReadSequence());
        }
        return out;
    }
};

TEST_F(StackTest, ShuffledAndRepeatedPacketsComeOutOnceInOrderAcrossTheWrap)
{
    std::vector<uint16_t> later;
    for (int i = 1; i < 40; i++)
        later.push_back((uint16_t)(65520 + i));
    later.insert(later.end(), {65525, 65521, 3, 65535}); // repeats
    std::shuffle(later.begin(), later.end(), std::mt19937(22));
    Give(65520);
    for (uint16_t seq : later)
        Give(seq);
    std::vector<uint16_t> expected;
    for (int i = 0; i < 40; i++)
        expected.push_back((uint16_t)(65520 + i));
    EXPECT_EQ(Drain(), expected);
    EXPECT_EQ(stack.GetWaiting(), 0);
}

TEST_F(StackTest, LatePacketsAreDroppedWhileARestartedNumberingIsFollowed)
{
    for (uint16_t seq = 1000; seq < 1010; seq++)
        Give(seq);
    Drain();
    // clang-format off
    struct { int seq; bool kept; } rows[] = {
        {1009, false}, {1009 - 255, false}, {1010 - 300, false}, {1010 - 30000, false},
        {1010 + 30000, true},
    };
    // clang-format on
    for (auto row : rows) {
        Give((uint16_t)row.seq);
        EXPECT_EQ(stack.HasNextPacket(), row.kept) << row.seq;
        Drain();
    }
    Give(31010 + 1);
    Give(500);
    Give(501); // the second in a row of a new numbering
    Give(502);
    EXPECT_EQ(Drain(), (std::vector<uint16_t>{501, 502}));
}

TEST_F(StackTest, ASecondStreamIsTakenOnlyInTheFirstFiveSeconds)
{
    Give(10, 1);
    clock.Advance(4000);
    Give(900, 2);
    EXPECT_EQ(stack.GetNextSequence(), 900);
    clock.Advance(2000);
    Give(50, 3);
    EXPECT_EQ(stack.GetNextSequence(), 900);
    EXPECT_EQ(stack.GetWaiting(), 1);
    stack.Restart();
    Give(50, 3);
    EXPECT_EQ(stack.GetNextSequence(), 50);
}

// Through a real socket, so that the length check sees what the kernel
// delivers (MSG_TRUNC for what does not fit).
TEST(RtpReceiveBadInput, OnlyWellFormedDatagramsThatFitAreStored)
{
    LRtpHeldPorts held;
    LIPSocketUDPQoSHigh socket(held);
    bool inUse;
    ASSERT_TRUE(socket.BindToListenPort(0, inUse));
    sockaddr_in own{};
    socklen_t length = sizeof own;
    getsockname(socket.GetHandle(), (sockaddr *)&own, &length);
    vtest::UdpPeer sender;
    std::string csrcPastEnd = RtpPacket(1, 0, 7, 0, "abcd", 0x8F);
    // clang-format off
    struct { std::string datagram; bool stored; } rows[] = {
        {"", false}, {std::string(11, '\x80'), false},
        {RtpPacket(1, 0, 7, 0, ""), true},
        {RtpPacket(1, 0, 7, 0, std::string(4096, 'x')), true},
        {RtpPacket(1, 0, 7, 0, std::string(4097, 'x')), false},
        {RtpPacket(1, 0, 7, 0, std::string(65507 - 12, 'x')), false},
        {RtpPacket(1, 0, 7, 0, UlawTone(0), 0x40), false},
        {csrcPastEnd, false},
    };
    // clang-format on
    LManualClock clock;
    for (auto &row : rows) {
        FixedSdpSettings media;
        LRtpReceivePacketStack stack{media, clock};
        ASSERT_TRUE(sender.SendTo(ntohs(own.sin_port), row.datagram));
        pollfd p{socket.GetHandle(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        EXPECT_TRUE(stack.ReceivePacket(socket.GetHandle()));
        EXPECT_EQ(stack.GetWaiting(), row.stored ? 1 : 0) << row.datagram.size();
    }
}

TEST(RtpSendSequencer, RandomStartsNumberOnAndPaceAcrossTheTickWrap)
{
    LManualClock clock(0xFFFFFFC0u);
    // Two streams started in the same millisecond (RFC 3550 8.1).
    LRTPSendSequencer sequencer(clock), twin(clock);
    EXPECT_NE(sequencer.GetSSRC(), twin.GetSSRC());
    LRtpHeader packet;
    sequencer.Stamp(packet, 160);
    uint16_t firstSequence = packet.ReadSequence();
    uint32_t firstTimeStamp = packet.ReadTimeStamp();
    for (uint32_t i = 1; i < 100; i++) {
        sequencer.Stamp(packet, 160);
        EXPECT_EQ(packet.ReadSequence(), (uint16_t)(firstSequence + i));
        EXPECT_EQ(packet.ReadTimeStamp(), firstTimeStamp + 160 * i);
    }
    // 2 s numbered; the tick too wraps while they play.
    EXPECT_EQ(sequencer.GetTimeAhead(), 2000);
    sequencer.SyncWriteDelay(); // far ahead: one frame's sleep, on the clock
    EXPECT_EQ(sequencer.GetTimeAhead(), 1980);
    clock.Advance(1970);
    EXPECT_EQ(sequencer.GetTimeAhead(), 10);
    clock.Advance(100);
    sequencer.SyncWriteDelay(); // behind: the lead is forgotten
    EXPECT_EQ(sequencer.GetTimeAhead(), 0);
}
} // namespace
