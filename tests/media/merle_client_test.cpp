// The network on-hold client against a server speaking its byte protocol
// (request 0xB1 0x00, a 4-byte reply starting 0xFF, then length-prefixed
// mu-law frames), played through the stream player as a caller hears it.
#include "media/codecs/sampleformats.h"
#include "media/merleclient.h"
#include "media/streamplayer.h"
#include "support/process.h"
#include "support/tone.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
// What the caller would hear, written by the player's thread.
struct MemorySink : LSoundSinkBase {
    MemorySink() : LSoundSinkBase(8000, 1) {}
    void Write(const int *samples, int frames) override
    {
        std::lock_guard<std::mutex> hold(lock);
        all.insert(all.end(), samples, samples + frames);
    }
    std::vector<int> Samples()
    {
        std::lock_guard<std::mutex> hold(lock);
        return all;
    }
    std::mutex lock;
    std::vector<int> all;
};

struct ServerCase {
    const char *name;
    bool listening;
    unsigned char reply;
    int frames;        // 40 ms frames of a 1000 Hz tone
    bool overlongLast; // then a frame header announcing 1025 bytes
    bool hearsTone;
    bool ends;
};

// One connection: checks the request, replies, streams, then holds the
// connection open until the test ends.
class HoldServer
{
  public:
    explicit HoldServer(const ServerCase &c) : plan(c)
    {
        listener = vtest::BoundLoopbackSocket(SOCK_STREAM, port);
        if (c.listening) {
            listen(listener, 1);
            worker = std::thread([this] { Serve(); });
        }
    }
    ~HoldServer()
    {
        done = true;
        if (worker.joinable())
            worker.join();
        close(listener);
    }
    int port = 0;
    std::atomic<bool> requestSeen{false};

  private:
    void Serve()
    {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1)
            return;
        int c = accept(listener, nullptr, nullptr);
        unsigned char request[2];
        requestSeen = recv(c, request, 2, MSG_WAITALL) == 2 && request[0] == 0xB1 && !request[1];
        unsigned char reply[4] = {plan.reply, 0, 0, 0};
        send(c, reply, 4, MSG_NOSIGNAL);
        std::vector<unsigned char> tone(1025);
        for (int i = 0; i < 1025; i++)
            tone[i] = LG711::LinearToUlaw(int(8000 * 16 * sin(2 * M_PI * 1000 * i / 11025.0)));
        // 40 ms frames (a whole number of 1000 Hz periods), then perhaps one
        // of 1025 bytes: a client that took it would go on playing.
        for (int f = 0; f < plan.frames + plan.overlongLast; f++) {
            int length = f < plan.frames ? 441 : 1025;
            unsigned char header[3] = {0x55, (unsigned char)(length & 0xFF),
                                       (unsigned char)(length >> 8)};
            send(c, header, 3, MSG_NOSIGNAL);
            send(c, tone.data(), length, MSG_NOSIGNAL);
        }
        while (!done)
            usleep(20000);
        close(c);
    }
    ServerCase plan;
    int listener;
    std::thread worker;
    std::atomic<bool> done{false};
};

// clang-format off
const ServerCase kCases[] = {
    {"StreamsATone",      true,  0xFF, 25, false, true,  false},
    {"OverlongFrameStops", true, 0xFF, 10, true,  true,  true},
    {"RefusedReply",      true,  0x00, 25, false, false, true},
    {"Unreachable",       false, 0xFF,  0, false, false, true},
};
// clang-format on

TEST(MerleClient, CallerHearsTheServersStreamOrSilence)
{
    for (const ServerCase &c : kCases) {
        SCOPED_TRACE(c.name);
        HoldServer server(c);
        std::string name = "127.0.0.1:" + std::to_string(server.port);
        LSoundSource source = LMerleClientSource::OpenSource(name.c_str());
        ASSERT_TRUE(source); // a client exists even when its server does not
        auto *sink = new MemorySink;
        LStreamPlayer player;
        ASSERT_TRUE(player.Start(source, LSoundSink(sink)));
        vtest::WaitUntil(
            [&] { return c.ends ? player.HasEnded() : sink->Samples().size() >= 7000; }, 10000);
        std::vector<int> heard = sink->Samples();
        EXPECT_EQ(player.HasEnded(), c.ends);
        EXPECT_EQ(source.IsStreaming(), !c.ends);
        EXPECT_EQ(server.requestSeen, c.listening);
        // The first 93 ms are the silence the client primes its buffer with.
        std::vector<int> tone(heard.begin() + std::min<size_t>(heard.size(), 900), heard.end());
        if (c.hearsTone) {
            ASSERT_GT(tone.size(), 2000u);
            EXPECT_GT(vtest::ToneShare(tone.data(), (int)tone.size(), 1000), 0.8);
        } else {
            EXPECT_EQ(tone.size(), 0u);
        }
        if (c.ends) {
            int after[160];
            EXPECT_EQ(source.Read(after, 160), 0);
            EXPECT_EQ(after[159], 0);
        }
        player.Stop();
    }
}
} // namespace
