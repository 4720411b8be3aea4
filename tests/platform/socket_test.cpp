#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/tick.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{
// What a waiting thread may lose to scheduling on top of its slice: the
// sanitizers slow every thread several times, and a loaded machine (two
// cores running tests side by side) hands even a plain build's thread the
// processor a few hundred milliseconds late. Still far below the 10 s waits
// a missed stop request would cost.
constexpr uint64_t kSchedulingSlackMs = 500;

// A process object whose stop request comes from the test.
struct Stopper {
    std::atomic<bool> stop{false};
    bool IsToStop() const { return stop.load(); }
};

// True when the thread sleeps in the kernel ("S" in its stat line): inside a
// wait, not on its way to one.
bool Asleep(pid_t tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = line.rfind(')');
    return tid != 0 && end != std::string::npos && line.compare(end + 2, 1, "S") == 0;
}

// A listener on a free loopback port.
struct Listener {
    LTcpSocket socket;
    LIPAddressWithPort address;
    Listener()
    {
        EXPECT_TRUE(socket.Listen(0, 0x7F000001));
        socket.GetLocalAddress(address);
        address.SetAddress(0x7F000001);
    }
};

// A port that was listened on and closed at once: nothing listens there.
LIPAddressWithPort ClosedPort()
{
    return Listener().address;
}
} // namespace

TEST(Socket, StopRequestEndsAWaitWithin200ms)
{
    LUdpSocket udp;
    ASSERT_TRUE(udp.Bind(0, 0x7F000001));
    Listener listener;
    LTcpSocket client;
    Stopper stopper;
    ASSERT_EQ(LProcessSuccess, ProcessConnect(stopper, client, listener.address, 2000));
    LTcpSocket server;
    ASSERT_EQ(LProcessSuccess, ProcessRecvReady(stopper, listener.socket, 2000));
    ASSERT_TRUE(listener.socket.Accept(server));

    char buffer[4];
    using Step = std::function<LProcessResult()>;
    Step steps[] = {
        [&] { return ProcessWaitForPacket(stopper, udp, 10000); },
        [&] { return ProcessRecvReady(stopper, server, 10000); },
        [&] { return ProcessRecvAll(stopper, server, buffer, 4, 10000); },
    };
    for (Step &step : steps) {
        stopper.stop = false;
        std::atomic<uint64_t> stoppedAt{0};
        std::atomic<bool> waited{false};
        // The stop comes once this thread is inside the wait; a wait that spins
        // instead is a fault of its own.
        std::thread trigger([&, self = gettid()] {
            waited = vtest::WaitUntil([&] { return Asleep(self); });
            stoppedAt = LMonotonicMs();
            stopper.stop = true;
        });
        EXPECT_EQ(LProcessStopped, step());
        uint64_t late = LMonotonicMs() - stoppedAt.load();
        trigger.join();
        EXPECT_TRUE(waited);
        EXPECT_LE(late, LProcessPollMs + kSchedulingSlackMs); // one slice
    }
    // Stop comes first: an already stopped process does not even wait.
    EXPECT_EQ(LProcessStopped, ProcessWaitForPacket(stopper, udp, 10000));
    stopper.stop = false;
    EXPECT_EQ(LProcessFailed, ProcessWaitForPacket(stopper, udp, 50));
}

TEST(Socket, ReceiveAllAcrossManySegmentsAndDisconnect)
{
    Listener listener;
    std::string big(300000, 0);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)('a' + i % 23);
    std::thread peer([&] {
        LProcessInterfaceVoid never;
        LTcpSocket server;
        ASSERT_EQ(LProcessSuccess, ProcessRecvReady(never, listener.socket, 2000));
        ASSERT_TRUE(listener.socket.Accept(server));
        EXPECT_EQ(LProcessSuccess, ProcessSend(never, server, big.data(), (int)big.size(), 5000));
        char hello[6] = {};
        EXPECT_EQ(LProcessSuccess, ProcessRecvAll(never, server, hello, 5, 2000));
        EXPECT_STREQ("hello", hello);
        EXPECT_EQ(LProcessSuccess, ProcessDisconnect(never, server, 2000));
    });
    LProcessInterfaceVoid never;
    LTcpSocket client;
    ASSERT_EQ(LProcessSuccess, ProcessConnect(never, client, listener.address, 2000));
    std::string got(big.size(), 0);
    EXPECT_EQ(LProcessSuccess, ProcessRecvAll(never, client, got.data(), (int)got.size(), 5000));
    EXPECT_EQ(big, got);
    EXPECT_EQ(LProcessSuccess, ProcessSendString(never, client, "hello", 2000));
    // The peer closes: one more byte can never come.
    char extra;
    EXPECT_EQ(LProcessFailed, ProcessRecvAll(never, client, &extra, 1, 2000));
    client.Close(); // lets the peer's disconnect see our end
    peer.join();
}

TEST(Socket, HTTPGetReadsTheWholeReply)
{
    Listener listener;
    char url[64];
    snprintf(url, sizeof url, "http://127.0.0.1:%d/desc.xml", listener.address.GetPort());
    std::string request;
    std::thread server([&] {
        LProcessInterfaceVoid never;
        LTcpSocket connection;
        ASSERT_EQ(LProcessSuccess, ProcessRecvReady(never, listener.socket, 2000));
        ASSERT_TRUE(listener.socket.Accept(connection));
        char buffer[256] = {};
        while (request.find("\r\n\r\n") == std::string::npos) {
            int n = (int)recv(connection.GetHandle(), buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, n);
        }
        ProcessSendString(never, connection, "HTTP/1.0 200 OK\r\nX: y\r\n\r\n<root/>", 2000);
    });
    LProcessInterfaceVoid never;
    LStringLong reply;
    EXPECT_EQ(LProcessSuccess, ProcessHTTPGet(never, url, reply));
    server.join();
    char host[32];
    snprintf(host, sizeof host, "127.0.0.1:%d", listener.address.GetPort());
    EXPECT_EQ(std::string("GET /desc.xml HTTP/1.0\r\nHost: ") + host + "\r\n\r\n", request);
    const char *body = nullptr;
    EXPECT_EQ(200, LHTTPReplyStatus(reply.GetString(), &body));
    EXPECT_STREQ("<root/>", body);
    EXPECT_EQ(0, LHTTPReplyStatus("garbage"));

    LStringLong none;
    EXPECT_EQ(LProcessFailed, ProcessHTTPGet(never, "ftp://x/y", none));
    char closed[64];
    snprintf(closed, sizeof closed, "http://127.0.0.1:%d/", ClosedPort().GetPort());
    uint64_t start = LMonotonicMs();
    EXPECT_EQ(LProcessFailed, ProcessHTTPGet(never, closed, none));
    EXPECT_LT(LMonotonicMs() - start, 1000u); // refused: no wait for the 3 s limit
}

TEST(Socket, ThreadIsAProcessObject)
{
    // The thread first proves it waits (a packet ends that wait), then waits
    // again until stopped; the second wait must have lasted until the stop,
    // not have returned at once because the stop was seen on the way in.
    struct Waiter : LThread {
        LUdpSocket socket;
        std::atomic<int> first{-1}, second{-1};
        std::atomic<pid_t> tid{0};
        std::atomic<uint64_t> returnedAt{0};
        ~Waiter() override { StopThreadNow(); }
        void ThreadFunction() override
        {
            first = ProcessWaitForPacket(*this, socket, 10000);
            char drop[8];
            LIPAddressWithPort from;
            socket.RecvFrom(drop, sizeof drop, from);
            tid = gettid();
            second = ProcessWaitForPacket(*this, socket, 10000);
            returnedAt = LMonotonicMs();
        }
    } waiter;
    ASSERT_TRUE(waiter.socket.Bind(0, 0x7F000001));
    LIPAddressWithPort to;
    waiter.socket.GetLocalAddress(to);
    ASSERT_TRUE(waiter.Start());
    LUdpSocket sender;
    ASSERT_TRUE(sender.Bind(0, 0x7F000001));
    ASSERT_EQ(1, sender.SendTo("x", 1, to));
    // The stop must find the thread inside its second wait: asleep in the
    // kernel ("S" in its stat line) after it took the first packet.
    ASSERT_TRUE(vtest::WaitUntil([&] { return Asleep(waiter.tid.load()); }));
    EXPECT_EQ(LProcessSuccess, waiter.first.load());
    uint64_t stopAt = LMonotonicMs();
    waiter.StopThreadNow();
    EXPECT_LT(LMonotonicMs() - stopAt, 300u + kSchedulingSlackMs);
    EXPECT_EQ(LProcessStopped, waiter.second.load());
    EXPECT_GE(waiter.returnedAt.load(), stopAt);
}
