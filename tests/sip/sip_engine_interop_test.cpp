// The SIP engine of a real `vela -foreground` on the wire, with raw UDP:
// exact answers to stray requests, the answered cache, the datagram limit.
#include "sip_engine_fixture.h"

#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace vtest
{
namespace
{
std::string FirstLine(const std::string &message)
{
    return message.substr(0, message.find("\r\n"));
}

TEST_F(SipEngineWire, StrayRequestsGetTheDispatchTableAnswersAndRepeatsTheCachedOne)
{
    // clang-format off
    const struct Case { const char *method; const char *extra; const char *firstLine; } cases[] = {
        {"BYE", "", "SIP/2.0 200 OK"}, {"CANCEL", "", "SIP/2.0 200 OK"},
        {"INFO", "", "SIP/2.0 481 Call/Transaction Does Not Exist"},
        {"REFER", "Refer-To: <sip:300@127.0.0.1>\r\n", "SIP/2.0 481 Call/Transaction Does Not Exist"},
        {"PUBLISH", "", "SIP/2.0 501 Not Implemented"},
        // Methods are case-sensitive: this is no OPTIONS, no BYE.
        {"options", "", "SIP/2.0 501 Not Implemented"}, {"bye", "", "SIP/2.0 501 Not Implemented"},
        {"INVITE", "Replaces: nobody@example;to-tag=1;from-tag=2\r\n", "SIP/2.0 481 Call/Transaction Does Not Exist"},
        {"INVITE", "Replaces:    gone-call-id\r\n", "SIP/2.0 481 Call/Transaction Does Not Exist"},
        // New INVITE and REGISTER naming no account are challenged like
        // accounts, so that answers do not tell names apart.
        {"INVITE", "", "SIP/2.0 407 Proxy Authentication Required"},
        {"REGISTER", "", "SIP/2.0 401 Unauthorized"},
        // The stateless proxy finds no extension to forward to.
        {"SUBSCRIBE", "Event: presence\r\n", "SIP/2.0 404 Not Found"},
        {"NOTIFY", "Event: message-summary\r\n", "SIP/2.0 404 Not Found"},
    };
    // clang-format on
    // An ACK gets no answer: the next datagram is the answer to the first case.
    ASSERT_TRUE(peer.SendTo(sipPort, SipRequest("ACK", "ack-1", peer.Port())));
    int n = 0;
    for (const auto &c : cases) {
        std::string callId = "stray-" + std::to_string(n++);
        std::string answer = Ask(SipRequest(c.method, callId, peer.Port(), c.extra));
        EXPECT_EQ(FirstLine(answer), c.firstLine) << c.method << " " << c.extra;
        EXPECT_NE(answer.find("Call-ID: " + callId + "\r\n"), std::string::npos) << answer;
        EXPECT_NE(answer.find(std::string("CSeq: 7 ") + c.method + "\r\n"), std::string::npos);
    }
    // A repeated request is answered from the cache with the identical
    // text, 16 times at most.
    std::string request = SipRequest("INVITE", "retrans", peer.Port());
    std::string first = Ask(request);
    ASSERT_EQ(FirstLine(first), "SIP/2.0 407 Proxy Authentication Required");
    for (int i = 0; i < 20; i++)
        ASSERT_TRUE(peer.SendTo(sipPort, request));
    std::string marker = SipRequest("OPTIONS", "marker", peer.Port());
    ASSERT_TRUE(peer.SendTo(sipPort, marker));
    int repeats = 0;
    std::string answer;
    while (peer.Receive(answer, 3000) && answer.find("Call-ID: marker") == std::string::npos) {
        EXPECT_EQ(answer, first);
        repeats++;
    }
    EXPECT_EQ(repeats, 16);
    EXPECT_NE(answer.find("Call-ID: marker"), std::string::npos);
}

// Datagrams longer than 4095 bytes are cut: what lies beyond is not seen,
// what lies before is answered as usual. Junk is dropped and the request
// behind it is served.
TEST_F(SipEngineWire, LongDatagramIsCutAndJunkIsDropped)
{
    for (bool callIdBeyondCut : {false, true}) {
        std::string callId = callIdBeyondCut ? "long-behind" : "long-front";
        std::string request = SipRequest("OPTIONS", callId, peer.Port());
        std::string callIdLine = "Call-ID: " + callId + "\r\n";
        request.erase(request.find(callIdLine), callIdLine.size());
        std::string pad = "X-Pad: " + std::string(4000, 'p') + "\r\n";
        request.insert(request.find("Content-Length"),
                       callIdBeyondCut ? pad + callIdLine : callIdLine + pad);
        request.append(5000 - request.size(), ' ');
        ASSERT_EQ(request.find(callIdLine) > 4095, callIdBeyondCut);
        std::string answer = Ask(request);
        EXPECT_EQ(FirstLine(answer), "SIP/2.0 501 Not Implemented");
        EXPECT_EQ(answer.find(callIdLine) != std::string::npos, !callIdBeyondCut) << answer;
        EXPECT_NE(answer.find("CSeq: 7 OPTIONS"), std::string::npos);
    }
    const std::string junk[] = {"",
                                "\r\n\r\n",
                                "GARBAGE",
                                std::string(4095, '\0'),
                                "SIP/2.0 200 OK\r\nCSeq: 1 BYE\r\n\r\n",
                                "INVITE sip:x SIP/3.0\r\n\r\n",
                                std::string(9000, 'A')};
    for (const std::string &bytes : junk)
        ASSERT_TRUE(peer.SendTo(sipPort, bytes) || bytes.empty());
    // The lenient parser may still answer some of them; what counts is that
    // the request behind them is served.
    ASSERT_TRUE(peer.SendTo(sipPort, SipRequest("OPTIONS", "still-alive", peer.Port())));
    std::string answer;
    bool served = false;
    for (int i = 0; i < 8 && !served && peer.Receive(answer, 3000); i++)
        served = answer.find("Call-ID: still-alive\r\n") != std::string::npos;
    EXPECT_TRUE(served);
}

// While the exchange looks for its public address at start, requests keep
// coming. A STUN server that stays silent is asked for 1.4 s on the SIP
// socket itself: what is read meanwhile used to be dropped, and is handed on
// now. A router named by the UPnP setting that has gone quiet (replaced,
// UPnP switched off) is searched for ten seconds: the search used to read
// the SIP traffic as the router's answers and drop it, and as each datagram
// started its wait anew, it lasted as long as phones kept sending. It goes
// out from a socket of its own now, and the requests wait until it ends.
TEST(SipEngineNat, RequestsDuringTheSearchForAPublicAddressAreAllAnswered)
{
    UdpPeer silentStun;
    const std::string rows[] = {
        "upnp=0\nstun=1\nstunserver1=127.0.0.1:" + std::to_string(silentStun.Port()) + "\n",
        "upnp=1\nstun=0\n"};
    for (const std::string &row : rows) {
        VelaInstance vela;
        UdpPeer peer;
        int sipPort = FreeUdpPort();
        ASSERT_TRUE(StartVelaOnPort(vela, sipPort, row)) << vela.Process().Output();
        std::set<std::string> waiting;
        for (int i = 0; i < 8; i++) {
            std::string id = "nat" + std::to_string(i);
            ASSERT_TRUE(peer.SendTo(sipPort, SipRequest("OPTIONS", id, peer.Port())));
            waiting.insert("Call-ID: " + id + "\r\n");
            usleep(150000);
        }
        std::string answer;
        for (int64_t end = MonotonicMs() + 15000; !waiting.empty() && MonotonicMs() < end;)
            if (peer.Receive(answer, 500))
                for (auto it = waiting.begin(); it != waiting.end(); ++it)
                    if (answer.find(*it) != std::string::npos) {
                        waiting.erase(it);
                        break;
                    }
        EXPECT_TRUE(waiting.empty()) << row << waiting.size() << " requests were never answered\n"
                                     << vela.Process().Output();
        EXPECT_TRUE(vela.Process().WaitForOutput("Unable to auto-detect public IP", 15000));
    }
}
} // namespace
} // namespace vtest
