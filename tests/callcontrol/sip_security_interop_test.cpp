// Hostile SIP traffic against the real exchange, from raw UDP peers and SIPp
// on loopback: spoofed INVITEs to line IDs, call floods and REGISTER floods.
#include "call_fixture.h"
#include "config/pbx_external_line.h"
#include "sip/sip_request.h"

#include "support/udp_peer.h"
#include "support/wait.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vtest
{
namespace
{
std::string Param(const std::string &message, const std::string &name)
{
    std::smatch m;
    std::regex re(name + "=\"?([^\",\r]*)");
    return std::regex_search(message, m, re) ? m[1].str() : "";
}

class SipSecurityWire : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        // The provider lives at 127.0.0.9; nobody answers its registration.
        AddLine("provider", "5551000", "127.0.0.9:5099");
        AddLine("door", "300", "");
    }
    static void AddLine(const char *name, const char *id, const char *server)
    {
        LPBXExternalLine line;
        ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, name));
        line.SetLineID(id);
        line.SetServer(server);
        line.SetRingOnLine("102");
    }
    // The first final response (or 100 when asked) to what peer sends.
    std::string Ask(UdpPeer &peer, const std::string &request, bool provisional = false)
    {
        peer.SendTo(sipPort, request);
        std::string in;
        while (peer.Receive(in, 3000))
            if (Status(in) >= 200 || (provisional && Status(in) == 100))
                return in;
        return "";
    }
    // Credentials answering challenge (without qop) for user/password.
    static std::string Answer(const std::string &challenge, const char *field, const char *user,
                              const char *password, const char *method, const std::string &uri)
    {
        std::string realm = Param(challenge, "realm"), nonce = Param(challenge, "nonce");
        char response[33];
        LSipCreateAuthenticationResponse(user, realm.c_str(), password, method, uri.c_str(),
                                         nonce.c_str(), response);
        return std::string(field) + ": Digest username=\"" + user + "\",realm=\"" + realm +
               "\",nonce=\"" + nonce + "\",uri=\"" + uri + "\",response=\"" + response +
               "\",algorithm=MD5\r\n";
    }
    std::string Reg() const { return "sip:127.0.0.1:" + std::to_string(sipPort); }
};
} // namespace

// One spoofed INVITE to a line ID whose provider is elsewhere: everything the
// exchange sends to the claimed address, over longer than a call would
// repeat a final response, against the bytes of the INVITE. (A busy phone
// behind the line made the call end at once, and its 486 was repeated for
// 8 s: 24 datagrams, about 21 times the INVITE.)
TEST_F(SipSecurityWire, SpoofedInviteToLineIdIsNotAmplified)
{
    int phonePort = FreeUdpPort();
    AddContact("102", "sip:102@127.0.0.1:" + std::to_string(phonePort));
    auto phone = StartPhone("uas_busy.xml", phonePort);
    StartVela();
    UdpPeer victim;
    std::string invite =
        RawRequest("INVITE", Uri("5551000"), victim.Port(), "anonymous", Uri("5551000"), "amp1");
    ASSERT_TRUE(victim.SendTo(sipPort, invite));
    size_t received = 0, datagrams = 0;
    std::string packet;
    int64_t deadline = MonotonicMs() + 10000;
    for (int64_t left = 10000; left > 0; left = deadline - MonotonicMs())
        if (victim.Receive(packet, (int)left)) {
            received += packet.size();
            datagrams++;
        }
    double factor = (double)received / (double)invite.size();
    printf("amplification: %zu datagrams, %zu bytes for %zu bytes (%.2fx)\n", datagrams, received,
           invite.size(), factor);
    EXPECT_GE(datagrams, 1u);
    EXPECT_LE(factor, 3.0);
}

// 300 INVITEs to a line ID from one stranger take at most 16 calls; an
// extension still places its call (before, they filled the 256-call limit
// and the extension got 503).
TEST_F(SipSecurityWire, StrangerCannotFillTheCallLimit)
{
    UdpPeer silentPhone, stranger, caller;
    AddContact("102", "sip:102@127.0.0.1:" + std::to_string(silentPhone.Port()));
    StartVela();
    int trying = 0, refused = 0;
    for (int i = 0; i < 300; i++)
        stranger.SendTo(sipPort, RawRequest("INVITE", Uri("300"), stranger.Port(), "x", Uri("300"),
                                            "flood" + std::to_string(i)));
    // Every INVITE gets one answer; a slow exchange may pause between them,
    // and anything beyond the 300 must come soon after.
    std::string in;
    while (stranger.Receive(in, trying + refused < 300 ? 10000 : 500)) {
        trying += Status(in) == 100;
        refused += Status(in) == 503;
    }
    EXPECT_EQ(trying, 16);
    EXPECT_EQ(refused, 300 - 16);
    std::string challenge =
        Ask(caller, RawRequest("INVITE", Uri("102"), caller.Port(), "101", Uri("102"), "ext1"));
    std::string auth =
        Answer(challenge, "Proxy-Authorization", "101", kCallerPassword, "INVITE", Uri("102"));
    std::string answer =
        Ask(caller,
            RawRequest("INVITE", Uri("102"), caller.Port(), "101", Uri("102"), "ext2", auth), true);
    EXPECT_EQ(Status(answer), 100) << answer;
}

// 10,000 REGISTERs of unknown names from one source: each is answered, but
// the log keeps a few lines and a summary.
TEST_F(SipSecurityWire, RegisterFloodDoesNotFloodTheLog)
{
    StartVela();
    struct stat st {
    };
    ASSERT_EQ(stat(vela.TodayLogPath().c_str(), &st), 0);
    off_t before = st.st_size;
    UdpPeer peer;
    std::string reg = Reg();
    int answered = 0;
    std::string in;
    for (int i = 0; i < 10000; i++) {
        std::string user = "u" + std::to_string(i);
        peer.SendTo(sipPort, RawRequest("REGISTER", reg, peer.Port(), user, Uri(user), "f" + user));
        if (i % 50 == 49) // paced so that the socket buffers keep up
            while (peer.Receive(in, 5))
                answered++;
    }
    while (peer.Receive(in, 1000))
        answered++;
    EXPECT_GT(answered, 9000);
    std::string log = ReadFile(vela.TodayLogPath());
    printf("log grew by %ld bytes for %d answered REGISTERs\n", (long)(log.size() - before),
           answered);
    EXPECT_LT(log.size() - before, 100000u);
}

// One transaction as a phone runs it (RFC 3261 section 17.1.2): the request
// is repeated on Timer E (500 ms doubling to 4 s) until a response to its
// CSeq comes, or Timer F (32 s) gives up; late repeats of earlier answers
// are ignored. The status, or 0.
int Transaction(UdpPeer &peer, int sipPort, const std::string &request, const std::string &cseq,
                std::string &response)
{
    int64_t start = MonotonicMs(), next = start;
    for (int interval = 500; MonotonicMs() - start < 32000;) {
        if (MonotonicMs() >= next) {
            peer.SendTo(sipPort, request);
            next = MonotonicMs() + interval;
            interval = std::min(interval * 2, 4000);
        }
        if (peer.Receive(response, (int)std::max<int64_t>(1, next - MonotonicMs())) &&
            HeaderLine(response, "CSeq") == "CSeq: " + cseq && Status(response) >= 200)
            return Status(response);
    }
    return 0;
}

// A registered phone keeps registering while another address floods the
// same account with wrong passwords at 10,000 REGISTERs a second.
TEST_F(SipSecurityWire, PhoneRegistersThroughAFloodOfBadPasswords)
{
    StartVela();
    std::string reg = Reg();
    std::atomic<bool> flooding{true};
    std::atomic<int> attempts{0}, succeeded{0};
    std::thread phone([&] {
        UdpPeer peer;
        std::string response;
        for (int n = 0; flooding || n < 5; n++) {
            std::string id = "legit" + std::to_string(n);
            attempts++;
            if (Transaction(peer, sipPort,
                            RawRequest("REGISTER", reg, peer.Port(), "101", Uri("101"), id),
                            "1 REGISTER", response) != 401)
                continue;
            std::string auth =
                Answer(response, "Authorization", "101", kCallerPassword, "REGISTER", reg);
            std::string second =
                RawRequest("REGISTER", reg, peer.Port(), "101", Uri("101"), id, auth);
            second.replace(second.find("CSeq: 1"), 7, "CSeq: 2");
            if (Transaction(peer, sipPort, second, "2 REGISTER", response) == 200)
                succeeded++;
            usleep(20000);
        }
    });
    EXPECT_TRUE(WaitUntil([&] { return succeeded > 0; }, 5000)); // the phone is registered first
    UdpPeer flood(0, "127.0.0.2");                               // another address than the phone
    std::string bad = "Authorization: Digest username=\"101\",realm=\"x\",nonce=\"0\",uri=\"" +
                      reg + "\",response=\"00000000000000000000000000000000\"\r\n";
    int64_t start = MonotonicMs();
    int sent = 0;
    for (; MonotonicMs() - start < 10000; sent++) {
        flood.SendTo(sipPort, RawRequest("REGISTER", reg, 5060, "101", Uri("101"),
                                         "b" + std::to_string(sent), bad));
        if (sent % 100 == 99) // 10,000 a second
            usleep(std::max<int64_t>(0, (sent + 1) / 10 - (MonotonicMs() - start)) * 1000);
    }
    flooding = false;
    phone.join();
    printf("flood of %d REGISTERs in 10 s: %d of %d registrations succeeded\n", sent,
           succeeded.load(), attempts.load());
    // Lost requests cost the phone its repeat timers, not its registration.
    ASSERT_GE(attempts, 5);
    EXPECT_GE(succeeded * 100, attempts * 99);
}
} // namespace vtest
