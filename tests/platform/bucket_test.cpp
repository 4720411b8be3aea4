#include "platform/bucket.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(Bucket, HoldsExactlyItsCapacity)
{
    LBucketThreadUnsafe bucket(8);
    ASSERT_TRUE(bucket.IsValid());
    EXPECT_TRUE(bucket.IsEmpty());
    EXPECT_EQ(8, bucket.GetFree());
    EXPECT_EQ(5, bucket.Write("hello", 5));
    EXPECT_EQ(3, bucket.Write("world", 5)); // over-long: only the free space
    EXPECT_TRUE(bucket.IsFull());
    EXPECT_EQ(0, bucket.Write("x", 1));
    char out[16] = {};
    EXPECT_EQ(8, bucket.Read(out, sizeof out));
    EXPECT_STREQ("hellowor", out);
    EXPECT_TRUE(bucket.IsEmpty());
    EXPECT_EQ(0, bucket.Read(out, sizeof out));
    EXPECT_EQ(0, bucket.Write("abc", -1));
    EXPECT_EQ(0, bucket.Write(nullptr, 3));
}

TEST(Bucket, WrapsAroundWithoutLosingOrder)
{
    // Writes and reads of uneven sizes walk the ring position through every
    // offset, so each split of a copy at the end of the buffer is taken.
    LBucketThreadUnsafe bucket(7);
    std::string sent, received;
    int counter = 0;
    for (int round = 0; round < 200; round++) {
        char chunk[9];
        int want = 1 + round % 9;
        for (int i = 0; i < want; i++)
            chunk[i] = (char)('a' + counter++ % 26);
        int accepted = bucket.Write(chunk, want);
        EXPECT_LE(accepted, want);
        sent.append(chunk, accepted);
        counter -= want - accepted; // the refused tail is offered again
        EXPECT_LE(bucket.GetUsed(), 7);
        char out[9];
        char peeked[9];
        int peek = bucket.Peek(peeked, 1 + round % 5);
        int got = bucket.Read(out, 1 + round % 5);
        EXPECT_EQ(peek, got);
        EXPECT_EQ(std::string(peeked, peek), std::string(out, got));
        received.append(out, got);
    }
    char rest[8];
    received.append(rest, bucket.Read(rest, sizeof rest));
    EXPECT_EQ(sent, received);
    EXPECT_GT(sent.size(), 200u);
}

TEST(Bucket, SignalsWakeAReaderOnAnotherThread)
{
    LBucket bucket(1024);
    std::string got;
    std::thread reader([&] {
        char buffer[64];
        while (got.size() < 300) {
            if (!bucket.GetWrittenSignal().WaitSignal(2000))
                return;
            bucket.GetWrittenSignal().Reset();
            int n;
            while ((n = bucket.Read(buffer, sizeof buffer)) > 0)
                got.append(buffer, n);
        }
    });
    std::string sent;
    for (int i = 0; i < 100; i++) {
        sent += "abc";
        while (bucket.Write("abc", 3) != 3)
            bucket.GetReadSignal().WaitSignal(100);
    }
    reader.join();
    EXPECT_EQ(sent, got);
    EXPECT_TRUE(bucket.GetReadSignal().IsSignaled());
}
