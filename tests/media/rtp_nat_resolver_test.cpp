// A relay port's public address: a real STUN exchange from the port's own
// socket (the odd port is reported as it is; the relay moves the port) or
// the static RTP mapping from the settings.
#include "media/rtp_nat_resolver.h"
#include "rtp_test_support.h"
#include "sip/stun.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace
{
// Maps the first port that asks to an odd public port, later ports to
// themselves (as a NAT that keeps ports when it can).
class OddFirstStunServer
{
  public:
    OddFirstStunServer() : mThread([this] { Serve(); }) {}
    ~OddFirstStunServer()
    {
        mStop = true;
        mThread.join();
        close(mFd);
    }
    int Port() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof(address);
        getsockname(mFd, (sockaddr *)&address, &length);
        return ntohs(address.sin_port);
    }

  private:
    static int Open()
    {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, (sockaddr *)&address, sizeof(address));
        return fd;
    }
    void Serve()
    {
        int first = 0;
        while (!mStop) {
            pollfd waiter{mFd, POLLIN, 0};
            if (poll(&waiter, 1, 50) != 1)
                continue;
            uint8_t request[64];
            sockaddr_in from{};
            socklen_t length = sizeof(from);
            if (recvfrom(mFd, request, sizeof(request), 0, (sockaddr *)&from, &length) < 20)
                continue;
            int port = ntohs(from.sin_port);
            first = first ? first : port;
            int mapped = port == first ? port + 1 : port;
            uint8_t answer[32] = {1, 1, 0, 12};
            memcpy(answer + 4, request + 4, 16);
            const uint8_t attribute[12] = {
                0, 1, 0, 8, 0, 1, (uint8_t)(mapped >> 8), (uint8_t)mapped, 198, 51, 100, 9};
            memcpy(answer + 20, attribute, sizeof(attribute));
            sendto(mFd, answer, sizeof(answer), 0, (sockaddr *)&from, length);
        }
    }
    int mFd = Open();
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

int BoundLoopback(uint16_t &port)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, (sockaddr *)&address, length);
    getsockname(fd, (sockaddr *)&address, &length);
    port = ntohs(address.sin_port);
    return fd;
}
} // namespace

TEST(RtpNatResolver, StunFromTheRelaySocketOrTheStaticRtpMapping)
{
    TempSettingsRoot root;
    OddFirstStunServer server;
    LSettingSetString("SIP", "STUNServer1", ("127.0.0.1:" + std::to_string(server.Port())).c_str());
    uint16_t localPort = 0;
    int fd = BoundLoopback(localPort);
    LSettingSetInt("SIP", "RTPPortBase", localPort - 4);
    LSettingSetInt("SIP", "STATICRTPPortBase", 9000);
    LStunState state;
    struct Case {
        bool isStatic;
        const char *ip;
        int port;
        bool keepAlive;
    };
    // clang-format off
    const Case cases[] = {
        {false, "198.51.100.9", localPort + 1, true},  // a STUN mapping closes when silent
        {true,  "203.0.113.1",  9004,          false},
    };
    // clang-format on
    for (const Case &c : cases) {
        LSettingSetBool("SIP", "STATIC", c.isStatic);
        LSettingSetString("SIP", "STATICPublicIP", "203.0.113.1");
        std::string privateIP = "192.168.1.23", publicIP;
        uint16_t publicPort = 0;
        bool keepAlive = !c.keepAlive;
        LRtpPublicAddressQuery query{privateIP, localPort, fd,         (uint16_t)(localPort - 4),
                                     9000,      publicIP,  publicPort, keepAlive};
        LRtpNatResolve(state, query);
        EXPECT_EQ(publicIP, c.ip);
        EXPECT_EQ(publicPort, c.port);
        EXPECT_EQ(keepAlive, c.keepAlive);
    }
    close(fd);
}
