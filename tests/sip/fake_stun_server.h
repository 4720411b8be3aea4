// A STUN server on 127.0.0.1 for the NAT tests: answers each Binding
// Request to its source with a fixed mapped address, or stays silent (and
// then moves the asker's manual clock past its attempt, so the wait runs out
// in virtual time); can have a forger answer first from another port, and
// can answer change requests from 127.0.0.2 (its "other address"). And a
// UPnP port mapper.
#pragma once

#include "platform/clock.h"
#include "sip/sip_nat.h"
#include "support/udp_peer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>

#include "support/wait.h"

namespace vtest
{
class FakeStunServer
{
  public:
    struct Options {
        std::string mappedIP; // empty: never answers
        int mappedPort = 0;
        bool forge = false;           // another port answers first with 192.0.2.66
        bool changeFromOther = false; // change requests answered from 127.0.0.2
        LManualClock *silentClock = nullptr;
    };
    explicit FakeStunServer(Options options) : mOptions(options), mThread([this] { Serve(); }) {}
    ~FakeStunServer()
    {
        mStop = true;
        mThread.join();
    }
    std::string Name() const { return "127.0.0.1:" + std::to_string(mMain.Port()); }
    // Requests sent before the call may still sit in the socket: counted
    // once the server has taken every one.
    int Requests() const
    {
        WaitUntil([&] {
            int queued = 0;
            return ioctl(mMain.Fd(), FIONREAD, &queued) == 0 && queued == 0 && !mBusy.load();
        });
        return mRequests.load();
    }

  private:
    static constexpr uint32_t kPastAnAttemptMs = 1000;
    static void Answer(int fd, const uint8_t *request, const std::string &ip, int port,
                       const sockaddr_in &to)
    {
        uint8_t answer[32] = {1, 1, 0, 12};
        memcpy(answer + 4, request + 4, 16);
        uint8_t attribute[12] = {0, 1, 0, 8, 0, 1, (uint8_t)(port >> 8), (uint8_t)port};
        inet_pton(AF_INET, ip.c_str(), attribute + 8);
        memcpy(answer + 20, attribute, sizeof(attribute));
        sendto(fd, answer, sizeof(answer), 0, (const sockaddr *)&to, sizeof(to));
    }
    void Serve()
    {
        while (!mStop) {
            mBusy = false;
            pollfd waiter{mMain.Fd(), POLLIN, 0};
            if (poll(&waiter, 1, 50) != 1)
                continue;
            mBusy = true;
            uint8_t request[64];
            sockaddr_in from{};
            socklen_t length = sizeof(from);
            ssize_t got =
                recvfrom(mMain.Fd(), request, sizeof(request), 0, (sockaddr *)&from, &length);
            if (got < 20)
                continue;
            mRequests++;
            if (mOptions.forge)
                Answer(mForger.Fd(), request, "192.0.2.66", 6666, from);
            int out = got == 28 && mOptions.changeFromOther ? mOther.Fd() : mMain.Fd();
            if (!mOptions.mappedIP.empty())
                Answer(out, request, mOptions.mappedIP, mOptions.mappedPort, from);
            else if (mOptions.silentClock)
                mOptions.silentClock->Advance(kPastAnAttemptMs);
        }
    }
    Options mOptions;
    UdpPeer mMain, mOther{0, "127.0.0.2"}, mForger;
    std::atomic<bool> mStop{false};
    std::atomic<int> mRequests{0};
    std::atomic<bool> mBusy{false}; // between taking a request and counting it
    std::thread mThread;
};

// Grants each mapping on 203.0.113.50 and keeps the external port it was
// asked for.
class FakePortMapper : public LSipNatPortMapper
{
  public:
    LProcessResult MapPort(const char *, int, char *externalIP, size_t capacity, int externalPort,
                           bool &refused) override
    {
        asked = externalPort;
        refused = false;
        snprintf(externalIP, capacity, "203.0.113.50");
        return LProcessSuccess;
    }
    int asked = 0;
};
} // namespace vtest
