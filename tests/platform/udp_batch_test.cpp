// One read takes what waits, in arrival order, at most a batch; a short
// batch means the socket is empty; a datagram too long is cut and marked; a
// failed read is told from an empty socket.
#include "platform/udp_batch.h"
#include "support/udp_peer.h"

#include <gtest/gtest.h>
#include <string>

TEST(UdpDatagramBatch, ReadsWhatWaitsInOrderAndMarksCutDatagrams)
{
    vtest::UdpPeer receiver, sender;
    const std::string sent[] = {"a", std::string(16, 'b'), std::string(17, 'c')};
    for (const std::string &bytes : sent)
        ASSERT_TRUE(sender.SendTo(receiver.Port(), bytes));
    LUdpDatagramBatch<2, 16> batch;
    int next = 0;
    for (int expected : {2, 1, 0}) {
        ASSERT_EQ(batch.Receive(receiver.Fd()), expected);
        for (int i = 0; i < expected; i++, next++) {
            EXPECT_EQ(std::string(batch.Bytes(i), batch.Length(i)), sent[next].substr(0, 16));
            EXPECT_EQ(batch.IsTruncated(i), next == 2);
            EXPECT_EQ(batch.From(i).GetPort(), sender.Port());
        }
    }
    EXPECT_EQ(batch.GetError(), 0);
    EXPECT_TRUE(batch.Receive(-1) == 0 && batch.GetError() == EBADF);
}
