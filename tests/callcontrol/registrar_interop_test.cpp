// A phone behind a NAT router registering with the real exchange: the
// socket's source address, not the private Contact, decides (SIPp with its
// own digest code against `vela -foreground`).
#include "support/process.h"
#include "support/vela_instance.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace
{
using namespace vtest;

// A REGISTER of 101 with a private Contact.
std::string NatRegister(int cseq, const char *auth)
{
    return std::string("<send retrans=\"500\"><![CDATA[\n"
                       "REGISTER sip:[remote_ip]:[remote_port] SIP/2.0\n"
                       "Via: SIP/2.0/UDP [local_ip]:[local_port];branch=[branch]\n"
                       "From: <sip:101@[remote_ip]>;tag=[call_number]\n"
                       "To: <sip:101@[remote_ip]>\nCall-ID: [call_id]\n"
                       "Contact: <sip:101@192.168.1.20:5060>\nMax-Forwards: 70\nCSeq: ") +
           std::to_string(cseq) + " REGISTER\n" + auth + "Content-Length: 0\n\n]]></send>";
}

TEST(RegistrarWire, PhoneBehindNatIsToldSixtySecondsAndMapped)
{
    VelaInstance vela;
    TempDir work{"vela-sipp"};
    std::string shared = vela.SharedDataFolder();
    ASSERT_EQ(system(("mkdir -p '" + shared + "/lines_/extensions_'").c_str()), 0);
    std::ofstream(shared + "/lines_/extensions_/101") << "password=secret\r\n";
    int sipPort = FreeUdpPort();
    std::ofstream(shared + "/sip") << "port=" << sipPort << "\r\n";
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    ASSERT_TRUE(vela.Process().WaitForOutput(
        "SIP Private IP is: 127.0.0.1:" + std::to_string(sipPort), 10000));
    std::ofstream(work.Path() + "/nat.xml")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<scenario name=\"nat\">"
        << NatRegister(1, "") << "<recv response=\"401\" auth=\"true\"/>"
        << NatRegister(2, "[authentication username=101 password=secret]\n")
        << "<recv response=\"200\"><action><ereg regexp=\"expires=60;q=0.5\" search_in=\"msg\" "
           "check_it=\"true\" assign_to=\"m\"/></action></recv><Reference variables=\"m\"/>"
           "</scenario>\n";
    // Challenged, answered with the digest of 101/secret; the 200 must tell
    // the phone to come back within 60 s. 127.1.0.1 is routed over loopback
    // but is not a private address.
    ChildProcess sipp;
    ASSERT_TRUE(sipp.Start({"/usr/bin/sipp", "127.0.0.1:" + std::to_string(sipPort), "-sf",
                            work.Path() + "/nat.xml", "-m", "1", "-i", "127.1.0.1", "-p",
                            std::to_string(FreeUdpPort()), "-nostdin", "-timeout", "10s",
                            "-timeout_error"}));
    int status = -1;
    ASSERT_TRUE(sipp.WaitExit(15000, &status)) << sipp.Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sipp.Output();
    std::string mapping;
    EXPECT_TRUE(WaitForFileText(shared + "/lines_/extensions_/101_/contactlist_/1",
                                "contact=sip:101@127.1.0.1:", 3000));
    ASSERT_TRUE(
        WaitForFileText(shared + "/registrymapping", "from1=192.168.1.20:5060", 3000, &mapping));
    EXPECT_NE(mapping.find("to1=127.1.0.1:"), std::string::npos) << mapping;
    EXPECT_NE(mapping.find("count=1"), std::string::npos) << mapping;
    vela.Stop(SIGTERM, 5000);
}
} // namespace
