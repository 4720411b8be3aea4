#include "platform/signal.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

TEST(Signal, StaysSignalledUntilResetWhateverTheCount)
{
    LSignalObject signal;
    ASSERT_TRUE(signal.IsValid());
    EXPECT_FALSE(signal.WaitSignal(10));
    // Far more signals than a pipe holds must neither block nor be lost.
    for (int i = 0; i < 100000; i++)
        signal.Signal();
    EXPECT_TRUE(signal.WaitSignal(0));
    EXPECT_TRUE(signal.IsSignaled()); // a wait does not consume it
    EXPECT_TRUE(signal.Reset());
    EXPECT_FALSE(signal.IsSignaled());
    EXPECT_FALSE(signal.Reset());
}

TEST(Signal, DualAndTripleWaitsIncludeSockets)
{
    int pair[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    LSignalObject a, b;
    LSignalObjectRef socketRef(pair[0]);
    EXPECT_EQ(-1, a.WaitSignalTriple(b, socketRef, 10));
    ASSERT_EQ(1, write(pair[1], "x", 1));
    EXPECT_EQ(2, a.WaitSignalTriple(b, socketRef, 1000));
    EXPECT_EQ(1, a.WaitSignalDual(socketRef, 1000));
    b.Signal();
    EXPECT_EQ(1, a.WaitSignalTriple(b, socketRef, 1000)); // the first signalled
    a.Signal();
    EXPECT_EQ(0, a.WaitSignalDual(b, 1000));
    close(pair[0]);
    close(pair[1]);
}

TEST(Signal, GroupHoldsAtMost255)
{
    LSignalObject objects[256];
    LSignalObjectGroup group;
    for (int i = 0; i < 255; i++)
        ASSERT_TRUE(group.Add(objects[i]));
    EXPECT_FALSE(group.Add(objects[255]));
    EXPECT_EQ(-1, group.Wait(10));
    objects[200].Signal();
    EXPECT_EQ(200, group.Wait(1000));
    LSignalObject stop;
    EXPECT_EQ(201, group.WaitWith(stop, 1000));
    stop.Signal();
    EXPECT_EQ(0, group.WaitWith(stop, 1000));
    EXPECT_TRUE(group.Remove(objects[0]));
    EXPECT_EQ(199, group.Wait(1000)); // later entries moved up
    EXPECT_FALSE(group.Remove(objects[0]));
    EXPECT_FALSE(group.Add(LSignalObjectRef())); // invalid handle
}
