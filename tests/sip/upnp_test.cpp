// The UPnP client against a small IGD on loopback: the SOAP request on the
// wire, and bad answers each failing the mapping cleanly.
#include "platform/tick.h"
#include "sip/upnp.h"
#include "support/process.h"
#include "support/udp_peer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace
{
std::string Description(const std::string &service)
{
    return "<root><device><serviceList><service><serviceType>urn:schemas-upnp-org:service:" +
           service +
           "</serviceType><controlURL>/Ctl/IP</controlURL></service></serviceList>"
           "</device></root>";
}

// Serves GET with the description and each SOAP action with its reply; a
// connection gets one answer, then the server closes it.
class FakeIgd
{
  public:
    FakeIgd()
    {
        mListen = vtest::BoundLoopbackSocket(SOCK_STREAM, mPort);
        listen(mListen, 8);
        mThread = std::thread([this] { Serve(); });
    }
    ~FakeIgd()
    {
        mStop = true;
        mThread.join();
        close(mListen);
    }
    std::string Location() const
    {
        return "http://127.0.0.1:" + std::to_string(mPort) + "/Desc.xml";
    }
    std::string description;
    std::map<std::string, std::string> replies; // action -> body
    std::string mappings;                       // AddPortMapping requests seen

  private:
    void Serve()
    {
        while (!mStop) {
            pollfd waiter{mListen, POLLIN, 0};
            if (poll(&waiter, 1, 50) != 1)
                continue;
            int fd = accept(mListen, nullptr, nullptr);
            std::string request;
            char buffer[4096];
            for (pollfd in{fd, POLLIN, 0}; poll(&in, 1, 200) == 1;) {
                ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
                if (got <= 0)
                    break;
                request.append(buffer, (size_t)got);
                size_t head = request.find("\r\n\r\n");
                size_t length = request.find("CONTENT-LENGTH: ");
                if (head != std::string::npos &&
                    (length == std::string::npos ||
                     request.size() >= head + 4 + std::stoul(request.substr(length + 16))))
                    break;
            }
            std::string body = description;
            if (request.rfind("POST", 0) == 0) {
                size_t hash = request.find('#');
                std::string action = request.substr(hash + 1, request.find('"', hash) - hash - 1);
                body = replies[action];
                if (action == "AddPortMapping")
                    mappings += request.substr(request.find("\r\n\r\n") + 4);
            }
            std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + body;
            send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            close(fd);
        }
    }
    int mListen = -1;
    int mPort = 0;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

// Answers each SSDP search with answer (the device's "multicast" group is a
// loopback peer here) and counts the searches.
class FakeSsdp
{
  public:
    explicit FakeSsdp(std::string answer)
        : mThread([this, answer] {
              std::string search;
              int from = 0;
              while (!mStop)
                  if (mPeer.Receive(search, 50, &from) && search.rfind("M-SEARCH", 0) == 0) {
                      mPeer.SendTo(from, answer);
                      searches++;
                  }
          })
    {
    }
    ~FakeSsdp()
    {
        mStop = true;
        mThread.join();
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(mPeer.Port()); }
    std::atomic<int> searches{0};

  private:
    vtest::UdpPeer mPeer;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

const char *kExternal = "<NewExternalIPAddress>203.0.113.40</NewExternalIPAddress>";
} // namespace

TEST(Upnp, LocationInAnyCaseKeepsTheUrlCase)
{
    // clang-format off
    const struct { const char *answer; const char *url; } cases[] = {
        {"HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1:1900/IGD.xml\r\n\r\n", "http://10.0.0.1:1900/IGD.xml"},
        {"HTTP/1.1 200 OK\r\nLocation:http://10.0.0.1/RootDesc.xml \r\nST: x\r\n", "http://10.0.0.1/RootDesc.xml"},
        {"HTTP/1.1 200 OK\r\nST: urn:x\r\n\r\n",                                 nullptr},
        {"HTTP/1.1 200 OK\r\nlocation: \r\n\r\n",                                nullptr},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string url;
        EXPECT_EQ(LUpnpFindLocation(c.answer, url), c.url != nullptr) << c.answer;
        if (c.url) {
            EXPECT_EQ(url, c.url);
        }
    }
}

TEST(Upnp, MapsOnWanPppWhenWanIpIsMissingAndFailsCleanlyOnBadInput)
{
    std::string pad(9000, ' ');
    // clang-format off
    const struct { const char *name; bool location; std::string description; const char *externalReply, *addReply; LProcessResult result; bool refused; } cases[] = {
        {"WANPPPConnection",           true,  Description("WANPPPConnection:1"),       kExternal,                  "<ok/>",                          LProcessSuccess, false},
        {"refused mapping",            true,  Description("WANIPConnection:1"),        kExternal,                  "<faultstring>UPnPError</faultstring>", LProcessFailed, true},
        {"SSDP without LOCATION",      false, Description("WANIPConnection:1"),        kExternal,                  "<ok/>",                          LProcessFailed,  false},
        {"description past 8191",      true,  pad + Description("WANIPConnection:1"),  kExternal,                  "<ok/>",                          LProcessFailed,  false},
        {"SOAP without closing tag",   true,  Description("WANIPConnection:1"),        "<NewExternalIPAddress>203.0.113.40", "<ok/>",               LProcessFailed,  false},
    };
    // clang-format on
    for (const auto &c : cases) {
        FakeIgd igd;
        igd.description = c.description;
        igd.replies["GetExternalIPAddress"] = c.externalReply;
        igd.replies["AddPortMapping"] = c.addReply;
        FakeSsdp ssdp(c.location ? "HTTP/1.1 200 OK\r\nLocation: " + igd.Location() + "\r\n\r\n"
                                 : std::string("HTTP/1.1 200 OK\r\n\r\n"));
        char external[64] = "unset";
        bool refused = false;
        LUpnpMapRequest request{"192.168.1.23", 5060, 5083, true};
        // A failing mapping searches ten times: a second search shows the
        // answer was given up, and ends the run (a refusal does so itself).
        // The deadline only bounds a client that hangs.
        struct Limited {
            const bool &refused;
            const std::atomic<int> *searches;
            uint64_t end = LMonotonicMs() + 10000;
            bool IsToStop() const { return refused || (searches && *searches >= 2) || Late(); }
            bool Late() const { return LMonotonicMs() > end; }
        } limited{refused, c.result == LProcessSuccess ? nullptr : &ssdp.searches};
        LProcessResult result =
            LUpnpSteps::MapPort(LStopTestOf<Limited>, &limited, request, external, sizeof(external),
                                refused, ssdp.Address().c_str());
        if (c.result == LProcessSuccess) {
            EXPECT_EQ(result, LProcessSuccess) << c.name;
            EXPECT_STREQ(external, "203.0.113.40") << c.name;
            EXPECT_NE(
                igd.mappings.find(
                    "<NewExternalPort>5083</NewExternalPort><NewProtocol>UDP</NewProtocol>"
                    "<NewInternalPort>5060</NewInternalPort><NewInternalClient>192.168.1.23<"),
                std::string::npos)
                << igd.mappings;
        } else {
            EXPECT_NE(result, LProcessSuccess) << c.name;
            EXPECT_TRUE(c.refused || ssdp.searches >= 2) << c.name; // not stuck on the answer
        }
        EXPECT_EQ(refused, c.refused) << c.name;
    }
}
