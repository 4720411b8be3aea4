// What the batch read tells beyond the bytes (order and cutting are shown by
// the SIP receive loop's batch): which datagrams were cut, and why a read
// found nothing.
#include "platform/udp_batch.h"
#include "support/udp_peer.h"

#include <gtest/gtest.h>

TEST(UdpDatagramBatch, MarksCutDatagramsAndTellsAFailureFromAnEmptySocket)
{
    vtest::UdpPeer receiver, sender;
    ASSERT_TRUE(receiver.IsOpen() && sender.IsOpen());
    ASSERT_TRUE(sender.SendTo(receiver.Port(), std::string(16, 'x')));
    ASSERT_TRUE(sender.SendTo(receiver.Port(), std::string(17, 'y')));
    LUdpDatagramBatch<2, 16> batch;
    ASSERT_EQ(batch.Receive(receiver.Fd()), 2);
    EXPECT_FALSE(batch.IsTruncated(0));
    EXPECT_TRUE(batch.IsTruncated(1));
    EXPECT_EQ(batch.Length(1), 16u);
    EXPECT_EQ(batch.Receive(receiver.Fd()), 0);
    EXPECT_EQ(batch.GetError(), 0);
    EXPECT_EQ(batch.Receive(-1), 0);
    EXPECT_EQ(batch.GetError(), EBADF);
}
