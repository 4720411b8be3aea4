#include "sip/sip_network_test.h"

#include "platform/ipaddress.h"
#include "platform/log.h"
#include "platform/signal.h"
#include "platform/sip_setting_keys.h"
#include "platform/socket.h"
#include "platform/tick.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/socket.h>

namespace
{
constexpr int kRtpPortsTested = 10;
constexpr int kLastPort = 65534;
constexpr int kFallbackPort = LSipKeys::Port.def;
constexpr int kFirewallServers = 4;
constexpr int kChangedAttempts = 4;
constexpr uint32_t kChangedWaitMs = 450;

// Binds port on every address; EADDRINUSE tells a port another program holds
// apart from other failures.
bool BindPort(LUdpSocket &socket, int port, bool &inUse)
{
    inUse = false;
    if (socket.Bind(port))
        return true;
    inUse = errno == EADDRINUSE;
    socket.Close();
    return false;
}

template <class P> P *Self(void *p)
{
    return static_cast<P *>(p);
}

bool StopTest(void *process)
{
    return Self<LSipTestProcess>(process)->IsToStop();
}
} // namespace

std::vector<std::string> LSipParseServerList(const std::string &text)
{
    std::vector<std::string> out;
    std::string current;
    for (char c : text + "\n") {
        if (c == ',' || c == '\n' || c == '\r' || c == ' ' || c == '\t') {
            if (!current.empty())
                out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return out;
}

LSipNetworkTest::LSipNetworkTest(LSipTestProcess &process, LSipTester &tester)
    : m_Process(process), m_Tester(tester),
      m_Servers(LSipParseServerList(tester.GetString(kSipTestStunListKey)))
{
}

void LSipNetworkTest::Log(const char *text)
{
    SIPLOG(text);
    m_Process.SetStatus(2, text);
}

LProcessResult LSipNetworkTest::Process()
{
    Log("Running SIP Network Tool");
    m_Process.SetStatus(1, "Testing Networking for SIP");
    if (m_Tester.GetBool(LSipKeys::Static.key, LSipKeys::Static.def)) {
        m_Process.ShowError("This wizard does not work if you have manually setup a STATIC IP or "
                            "port mapping. Turn Static IP mapping off and run this again.");
        return LProcessFailed;
    }
    Log("Checking Internet is Connected...");
    m_Process.SetStatus(2, "Checking Internet is Connected");
    Log("Internet is Connected");
    m_Process.SetProgress(0.05);
    bool restart = m_Tester.IsEngineRunning();
    if (restart) {
        Log("Stopping SIP Engine");
        m_Tester.StopEngine();
    }
    m_Process.SetProgress(0.1);
    bool stopped = false;
    if (OpenFirewallPorts(stopped); stopped)
        return LProcessStopped;
    int port = 0;
    LUdpSocket sip;
    sip.Attach(BindSipPort(port));
    if (ProcessSipTestFirewall(port, sip.GetHandle()) == LProcessStopped)
        return LProcessStopped;
    char line[128];
    snprintf(line, sizeof(line), "Sip Port %d (UDP) opened OK", port);
    Log(line);
    m_Tester.SetInt(LSipKeys::Port.key, port);
    m_Process.SetProgress(0.3);
    std::string localIP = m_Tester.GetLocalIP();
    SIPLOGF("Local network IP is: %s", localIP.c_str());
    m_Process.SetStatus(2, ("Local network IP is: " + localIP).c_str());
    if (LIPIsPublic(localIP.c_str())) {
        Log("This computer connects to Internet directly");
        Log(("External IP is: " + localIP).c_str());
        m_Tester.SetBool(LSipKeys::Upnp.key, false);
        m_Tester.SetBool(LSipKeys::Stun.key, false);
        m_Tester.SetBool(LSipKeys::Active.key, false);
    } else {
        TestBehindNat(sip.GetHandle(), localIP);
    }
    Log("SIP Network Tool finished");
    if (restart) {
        Log("Restarting SIP Engine");
        m_Tester.StartEngine();
    }
    return LProcessSuccess;
}

void LSipNetworkTest::TestBehindNat(int socket, const std::string &localIP)
{
    Log("This computer is connected to Internet over a network using a NAT, router or Internet "
        "Connection Sharing");
    if (ProcessSipTestSTUN(socket) != LProcessFailed)
        return;
    m_Process.SetProgress(0.6);
    if (ProcessSipTestUpnp(localIP) != LProcessFailed)
        return;
    Log("Because NAT or router is 'symmetric' networking will be slow unless you setup NAT "
        "manually");
    m_Tester.SetBool(LSipKeys::Active.key, true);
    m_Process.Confirm("Manual Router Setup Required",
                      "Your router could not be set up automatically. Redirect the RTP ports "
                      "(UDP) and the SIP port (UDP) on the router to this computer by hand.");
}

bool LSipNetworkTest::OpenFirewallPorts(bool &stopped)
{
    Log("Opening Internet Ports");
    m_Process.ShowInfo("Vela Auto-Configuration of Firewall",
                       "The SIP port and the RTP audio ports (UDP) will now be opened and tested.");
    int base = m_Tester.GetInt(LSipKeys::RtpPortBase.key, LSipKeys::RtpPortBase.def);
    for (int port = base; port < base + kRtpPortsTested; port++) {
        LProcessResult result = ProcessSipTestFirewall(port, -1);
        stopped = result == LProcessStopped;
        if (result != LProcessSuccess)
            return false;
    }
    return true;
}

// The descriptor of a socket bound to "Port" or the next free one.
int LSipNetworkTest::BindSipPort(int &port)
{
    port = m_Tester.GetInt(LSipKeys::Port.key, kFallbackPort);
    LUdpSocket socket;
    bool inUse = false;
    while (!BindPort(socket, port, inUse) && inUse) {
        char line[128];
        snprintf(line, sizeof(line),
                 "Port %d (UDP) is being used by another program - trying another port", port);
        Log(line);
        if (++port > kLastPort) {
            port = kFallbackPort;
            break;
        }
    }
    return socket.Detach();
}

LProcessResult LSipNetworkTest::ProcessSipTestFirewall(int port, int socket)
{
    LUdpSocket own;
    if (socket < 0) {
        bool inUse = false;
        if (!BindPort(own, port, inUse))
            return inUse ? LProcessSuccess : LProcessFailed;
        socket = own.GetHandle();
    }
    if (m_Servers.empty())
        return LProcessFailed; // nothing to test against
    for (;;) {
        int asked = std::min<int>(kFirewallServers, (int)m_Servers.size());
        for (int i = 0; i < asked; i++) {
            char ip[kSipNatText];
            int mappedPort = 0;
            LProcessResult result = LStunSteps::GetAddress(
                StopTest, &m_Process, m_Clock, m_Tester.GetStunState(),
                m_Servers[(size_t)i].c_str(), socket, ip, sizeof(ip), mappedPort);
            if (result != LProcessFailed)
                return result;
        }
        char text[256];
        snprintf(text, sizeof(text),
                 "Your computer firewall seems to be blocking UDP port %d (or internet "
                 "connection is down). Try again?",
                 port);
        LSipTestProcess::Answer answer = m_Process.AskYesNoCancel("Firewall Blocking Ports", text);
        if (answer == LSipTestProcess::Answer::No)
            return LProcessFailed;
        if (answer == LSipTestProcess::Answer::Cancel)
            return LProcessStopped;
    }
}

LProcessResult LSipNetworkTest::ProcessSipTestSTUN(int socket)
{
    Log("Checking with STUN");
    if (m_Servers.empty()) {
        Log("No STUN server configured for the network test");
        m_Tester.SetBool(LSipKeys::Stun.key, false);
        return LProcessFailed;
    }
    int fastest = -1, second = -1;
    uint64_t fastestMs = 0, secondMs = 0;
    for (size_t i = 0; i < m_Servers.size(); i++) {
        char ip[kSipNatText];
        int port = 0;
        uint64_t start = LMonotonicMs();
        LProcessResult result =
            LStunSteps::GetAddress(StopTest, &m_Process, m_Clock, m_Tester.GetStunState(),
                                   m_Servers[i].c_str(), socket, ip, sizeof(ip), port);
        if (result == LProcessStopped)
            return result;
        if (result != LProcessSuccess)
            continue;
        uint64_t took = LMonotonicMs() - start;
        if (fastest < 0 || took <= fastestMs) {
            second = fastest;
            secondMs = fastestMs;
            fastest = (int)i;
            fastestMs = took;
        } else if (second < 0 || took < secondMs) {
            second = (int)i;
            secondMs = took;
        }
    }
    if (fastest < 0) {
        Log("No STUN replies - possibly network is down");
        m_Tester.SetBool(LSipKeys::Stun.key, false);
        return LProcessFailed;
    }
    LProcessResult result = ProcessSTUNTestWithChangedAddress(socket, m_Servers[(size_t)fastest]);
    if (result == LProcessFailed && second >= 0)
        result = ProcessSTUNTestWithChangedAddress(socket, m_Servers[(size_t)second]);
    if (result == LProcessStopped)
        return result;
    if (result == LProcessFailed) {
        Log("NAT is symmetric so STUN will not work.");
        m_Tester.SetBool(LSipKeys::Stun.key, false);
        return LProcessFailed;
    }
    m_Tester.SetBool(LSipKeys::Stun.key, true);
    m_Tester.SetBool(LSipKeys::Active.key, false);
    m_Tester.SetString(LSipKeys::StunServer1.key, m_Servers[(size_t)fastest].c_str());
    m_Tester.SetString(LSipKeys::StunServer2.key,
                       second >= 0 ? m_Servers[(size_t)second].c_str() : "");
    return LProcessSuccess;
}

// An answer from the server's other address means the router lets in what
// the port did not send to: a cone NAT, where a STUN mapping is usable.
LProcessResult LSipNetworkTest::ProcessSTUNTestWithChangedAddress(int socket,
                                                                  const std::string &server)
{
    LIPAddressWithPort to;
    if (!to.SetFromText(server.c_str(), kStunDefaultPort) || !to.IsValid())
        return LProcessFailed;
    uint8_t request[kStunChangeRequestLength];
    uint32_t word = m_Tester.GetStunState().NextTransaction();
    size_t length = LStunMakeBindingRequest(request, word, true);
    for (int attempt = 0; attempt < kChangedAttempts; attempt++) {
        sendto(socket, request, length, 0, to.GetSockAddr(),
               LIPAddressWithPort::GetSockAddrLength());
        uint64_t end = LMonotonicMs() + kChangedWaitMs;
        for (uint64_t now = LMonotonicMs(); now < end; now = LMonotonicMs()) {
            if (m_Process.IsToStop())
                return LProcessStopped;
            uint32_t slice = (uint32_t)std::min<uint64_t>(end - now, LProcessPollMs);
            if (LWaitReadable(&socket, 1, slice) != 0)
                continue;
            uint8_t answer[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof(from);
            ssize_t got = recvfrom(socket, answer, sizeof(answer), MSG_DONTWAIT, (sockaddr *)&from,
                                   &fromLength);
            LIPAddressWithPort mapped;
            if (got < 0 || !LStunCheckMappedAddress(answer, (size_t)got, word, mapped))
                continue;
            return LIPAddressWithPort(from).HasSameHostAs(to) ? LProcessFailed : LProcessSuccess;
        }
    }
    return LProcessFailed;
}

LProcessResult LSipNetworkTest::ProcessSipTestUpnp(const std::string &localIP)
{
    Log("Checking for a uPNP NAT");
    int port = m_Tester.GetInt(LSipKeys::Port.key, kFallbackPort);
    uint32_t address = 0;
    int octet = LIPParseDotted(localIP.c_str(), address) ? (int)(address & 0xFF) : 0;
    int external = port + octet;
    char externalIP[kSipNatText] = {0};
    bool refused = false;
    LProcessResult result = LProcessFailed;
    LSipNatPortMapper *mapper = m_Tester.GetPortMapper();
    if (mapper != nullptr && external <= 65535)
        result = mapper->MapPort(localIP.c_str(), port, externalIP, sizeof(externalIP), external,
                                 refused);
    if (result == LProcessStopped)
        return result;
    if (result != LProcessSuccess) {
        Log(refused ? "uPNP configuration of the firewall is disabled on the server. It should "
                      "be enabled. See Help for how to do this."
                    : "No uPNP NAT or router found");
        m_Tester.SetBool(LSipKeys::Upnp.key, false);
        return LProcessFailed;
    }
    Log("uPNP NAT or router found");
    Log((std::string("External IP is: ") + externalIP).c_str());
    m_Tester.SetBool(LSipKeys::Upnp.key, true);
    m_Tester.SetBool(LSipKeys::Stun.key, false);
    m_Tester.SetBool(LSipKeys::Active.key, false);
    return LProcessSuccess;
}
