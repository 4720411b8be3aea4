// A running exchange with extensions 101 (the caller) and 102, 103 (phones
// played by SIPp or raw UDP peers), and the SIPp runs the call tests need.
#pragma once

#include "config/pbx_extension.h"
#include "config/pbx_group.h"
#include "config/settings.h"
#include "support/process.h"
#include "support/udp_peer.h"
#include "support/vela_instance.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtest
{
inline const char *kCallerPassword = "pw101";

inline std::vector<std::string> SippArgs(const std::string &scenario, int localPort,
                                         const std::string &remote = "")
{
    std::vector<std::string> argv = {"/usr/bin/sipp"};
    if (!remote.empty())
        argv.push_back(remote);
    // clang-format off
    argv.insert(argv.end(), {"-sf", std::string(VELA_TEST_GENERATED) + "/sipp/" + scenario, "-i", "127.0.0.1",
                             "-p", std::to_string(localPort), "-m", "1", "-nostdin", "-timeout", "30s", "-timeout_error"});
    // clang-format on
    return argv;
}

// A raw phone's answer to request: its transaction headers, To tagged but
// on a 100; with rtpPort a Contact at contactPort and an SDP offering PCMU.
inline std::string PhoneResponse(const std::string &request, const std::string &statusLine,
                                 int contactPort = 0, int rtpPort = 0)
{
    std::string text = "SIP/2.0 " + statusLine + "\r\n";
    for (const char *name : {"Via", "From", "To", "Call-ID", "CSeq"})
        text += HeaderLine(request, name) +
                (std::string(name) == "To" && statusLine.rfind("100", 0) ? ";tag=ph" : "") + "\r\n";
    if (!rtpPort)
        return text + "Content-Length: 0\r\n\r\n";
    std::string sdp =
        "v=0\r\no=phone 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
        "m=audio " +
        std::to_string(rtpPort) + " RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";
    return text + "Contact: <sip:102@127.0.0.1:" + std::to_string(contactPort) +
           ">\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
           "\r\n\r\n" + sdp;
}

// A request as a raw UDP peer at port sends it: from user "from", its
// transaction and dialog named by callId, extra being complete header lines.
inline std::string RawRequest(const std::string &method, const std::string &uri, int port,
                              const std::string &from, const std::string &to,
                              const std::string &callId, const std::string &extra = "")
{
    std::string p = std::to_string(port);
    return method + " " + uri + " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + p + ";branch=z9hG4bK" +
           callId + "\r\nFrom: <sip:" + from + "@127.0.0.1>;tag=" + callId + "\r\nTo: <" + to +
           ">\r\nCall-ID: " + callId + "\r\nCSeq: 1 " + method + "\r\nContact: <sip:" + from +
           "@127.0.0.1:" + p + ">\r\nMax-Forwards: 70\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

// The status of a response, or 0.
inline int Status(const std::string &response)
{
    return response.rfind("SIP/2.0 ", 0) == 0 ? atoi(response.c_str() + 8) : 0;
}

// The next request of method at phone whose Call-ID is not skipCallId
// (retransmissions and another call's requests pass by); "" after timeoutMs.
inline std::string NextRequest(UdpPeer &phone, const std::string &method,
                               const std::string &skipCallId = "", int timeoutMs = 15000)
{
    std::string message;
    for (int64_t end = MonotonicMs() + timeoutMs; MonotonicMs() < end;)
        if (phone.Receive(message, 100) && message.rfind(method + " ", 0) == 0 &&
            HeaderLine(message, "Call-ID") != skipCallId)
            return message;
    return "";
}

class CallTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        sipPort = FreeUdpPort();
        std::string folder = vela.SharedDataFolder();
        ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
        std::ofstream(folder + "/sip") << "port=" << sipPort << "\n";
        setenv("VELA_ROOT", vela.Root().c_str(), 1);
        AddExtension("101", kCallerPassword);
        AddExtension("102", "pw102");
        AddExtension("103", "pw103");
    }
    void TearDown() override
    {
        if (vela.Process().Running())
            vela.Stop(SIGTERM, 10000);
        unsetenv("VELA_ROOT");
    }

    static void AddExtension(const char *name, const char *password)
    {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().CreateNewRecord(ext, name));
        ext.SetPassword(password);
        ext.SetVoiceMailExtension("");
    }
    // A contact of extension name, registered for an hour.
    static void AddContact(const char *name, const std::string &uri)
    {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().Open(ext, name));
        ASSERT_TRUE(ext.AddContact(uri.c_str(), time(nullptr) + 3600, "0.5"));
    }
    // hold "" is ringing only: the caller's own ringback, no player.
    static void AddGroup(const char *name, std::vector<std::pair<const char *, int>> members,
                         const char *hold = "", const char *prompt = "")
    {
        LPBXGroup group;
        ASSERT_TRUE(LPBXGroupList().CreateNewRecord(group, name));
        group.SetWaitHold(hold);
        group.SetStartPrompt(prompt);
        for (auto &m : members)
            ASSERT_TRUE(group.GetExtensionList().AddMember(m.first, m.second));
    }

    void StartVela(const std::vector<std::string> &env = {})
    {
        ASSERT_TRUE(vela.Start(env)) << vela.Process().Output();
        ASSERT_TRUE(vela.Process().WaitForOutput(
            "SIP Private IP is: 127.0.0.1:" + std::to_string(sipPort), 10000))
            << vela.Process().Output();
    }
    std::string Remote() const { return "127.0.0.1:" + std::to_string(sipPort); }
    std::string Uri(const std::string &user) const { return "sip:" + user + "@" + Remote(); }

    // Registers user's contact at port (SIPp with digest authentication)
    // with the exchange, or with another registrar.
    bool Register(const std::string &user, const std::string &password, int port,
                  const std::string &registrar = "")
    {
        ChildProcess sipp;
        std::vector<std::string> argv = SippArgs("../../callcontrol/sipp/register.xml", port,
                                                 registrar.empty() ? Remote() : registrar);
        argv.insert(argv.end(), {"-s", user, "-au", user, "-ap", password});
        bool registered = sipp.Start(argv) && Succeeded(sipp, 15000);
        if (!registered)
            ADD_FAILURE() << "register " << user << ": " << sipp.Output();
        return registered;
    }
    // A phone answering with scenario on port (SIPp as server).
    std::unique_ptr<ChildProcess> StartPhone(const std::string &scenario, int port,
                                             const std::vector<std::string> &more = {})
    {
        auto sipp = std::make_unique<ChildProcess>();
        std::vector<std::string> argv = SippArgs(scenario, port);
        argv.insert(argv.end(), more.begin(), more.end());
        EXPECT_TRUE(sipp->Start(argv));
        return sipp;
    }
    // Extension 101 dialling target with scenario (and more SIPp arguments).
    std::unique_ptr<ChildProcess> StartCaller(const std::string &scenario,
                                              const std::string &target,
                                              const std::vector<std::string> &more = {})
    {
        auto sipp = std::make_unique<ChildProcess>();
        std::vector<std::string> argv = SippArgs(scenario, FreeUdpPort(), Remote());
        argv.insert(argv.end(), {"-s", target, "-au", "101", "-ap", kCallerPassword});
        argv.insert(argv.end(), more.begin(), more.end());
        EXPECT_TRUE(sipp->Start(argv));
        return sipp;
    }
    // A free port from which user (password "pw" + user) registered; 0 when
    // the registration failed.
    int RegisteredPort(const std::string &user)
    {
        int port = FreeUdpPort();
        return Register(user, "pw" + user, port) ? port : 0;
    }
    // A raw UDP phone where user registered; null when that failed.
    std::unique_ptr<UdpPeer> RawPhone(const std::string &user)
    {
        int port = RegisteredPort(user);
        auto peer = std::make_unique<UdpPeer>(port);
        return port && peer->IsOpen() ? std::move(peer) : nullptr;
    }
    static bool Succeeded(ChildProcess &sipp, int timeoutMs = 30000)
    {
        int status = -1;
        return sipp.WaitExit(timeoutMs, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    // Each SIPp run ended by its scenario; a failure shows that run's output.
    template <typename... Runs> static void ExpectSucceeded(const Runs &...runs)
    {
        auto check = [](ChildProcess &run) { EXPECT_TRUE(Succeeded(run)) << run.Output(); };
        (check(*runs), ...);
    }

    VelaInstance vela;
    int sipPort = 0;
};
} // namespace vtest
