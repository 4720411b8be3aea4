// A running `vela -foreground` bound to a SIP port chosen for the test, and
// the requests the wire tests send to it.
#pragma once

#include "support/process.h"
#include "support/udp_peer.h"
#include "support/vela_instance.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace vtest
{
// Starts vela with "SIP"/"Port" set to port (and the further "SIP" lines
// of more) and waits until it logs that it bound it.
inline bool StartVelaOnPort(VelaInstance &vela, int port, const std::string &more = "")
{
    std::string folder = vela.SharedDataFolder();
    if (system(("mkdir -p '" + folder + "'").c_str()) != 0)
        return false;
    std::ofstream(folder + "/sip") << "port=" << port << "\n" << more;
    return vela.Start() && vela.Process().WaitForOutput(
                               "SIP Private IP is: 127.0.0.1:" + std::to_string(port), 10000);
}

inline std::string SipRequest(const std::string &method, const std::string &callId, int peerPort,
                              const std::string &extra = "")
{
    std::string port = std::to_string(peerPort);
    return method + " sip:100@127.0.0.1 SIP/2.0\r\n" + "Via: SIP/2.0/UDP 127.0.0.1:" + port +
           ";branch=z9hG4bK-" + callId + "\r\n" +
           "Max-Forwards: 70\r\n"
           "To: <sip:100@127.0.0.1>\r\n"
           "From: <sip:200@127.0.0.1:" +
           port + ">;tag=t" + callId + "\r\n" + "Call-ID: " + callId + "\r\n" + "CSeq: 7 " +
           method + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

class SipEngineWire : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.IsOpen());
        sipPort = FreeUdpPort();
        ASSERT_TRUE(StartVelaOnPort(vela, sipPort)) << vela.Process().Output();
    }
    void TearDown() override
    {
        if (vela.Process().Running())
            vela.Stop(SIGTERM, 5000);
    }
    std::string Ask(const std::string &request)
    {
        std::string answer;
        EXPECT_TRUE(peer.SendTo(sipPort, request));
        EXPECT_TRUE(peer.Receive(answer, 3000)) << request;
        return answer;
    }

    VelaInstance vela;
    UdpPeer peer;
    int sipPort = 0;
};
} // namespace vtest
