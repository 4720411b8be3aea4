// The receive loop's batch read: what waits comes in arrival order, at most
// a batch at a time, each datagram cut as a single read would cut it, and a
// short batch means the socket is empty.
#include "sip/sip_udp_batch.h"
#include "support/udp_peer.h"

#include <gtest/gtest.h>
#include <string>

TEST(SipDatagramBatch, ReadsWhatWaitsInOrderAndCutsLongDatagrams)
{
    vtest::UdpPeer receiver, sender;
    ASSERT_TRUE(receiver.IsOpen() && sender.IsOpen());
    const int kSent = LSipDatagramBatch::kCount + 2;
    for (int i = 0; i < kSent; i++) {
        size_t size = i == kSent - 1 ? 5000 : 100 * i + 1;
        ASSERT_TRUE(sender.SendTo(receiver.Port(), std::string(size, (char)('a' + i))));
    }
    LSipDatagramBatch batch;
    int next = 0;
    for (int expected : {LSipDatagramBatch::kCount, kSent - LSipDatagramBatch::kCount, 0}) {
        ASSERT_EQ(batch.Receive(receiver.Fd()), expected);
        for (int i = 0; i < expected; i++, next++) {
            size_t size = next == kSent - 1 ? LSipDatagramBatch::kCapacity - 1 : 100 * next + 1;
            EXPECT_EQ(std::string(batch.Bytes(i), batch.Length(i)),
                      std::string(size, (char)('a' + next)));
            EXPECT_EQ(batch.From(i).GetPort(), sender.Port());
        }
    }
    EXPECT_EQ(batch.Receive(-1), 0);
}
