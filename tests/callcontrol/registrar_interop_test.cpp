// Phones registering with the real exchange: SIPp with its own digest code
// and baresip, against `vela -foreground` on a free port.
#include "support/process.h"
#include "support/vela_instance.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace
{
using namespace vtest;

// One REGISTER that must be challenged, then the answer to the challenge;
// expect is the final status and, for 200, a text the reply must contain.
std::string Scenario(const std::string &contact, const std::string &expires, int status,
                     const std::string &mustContain)
{
    std::string reg = "REGISTER sip:[remote_ip]:[remote_port] SIP/2.0\n"
                      "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
                      "From: <sip:[field0]@[remote_ip]>;tag=[call_number]\n"
                      "To: <sip:[field0]@[remote_ip]>\n"
                      "Call-ID: [call_id]\n"
                      "Contact: <sip:[field0]@" +
                      contact + ">\nExpires: " + expires + "\nMax-Forwards: 70\n";
    std::string check;
    if (!mustContain.empty())
        check = "<action><ereg regexp=\"" + mustContain +
                "\" search_in=\"msg\" check_it=\"true\" assign_to=\"m\"/></action>";
    std::string first = "<recv response=\"401\" auth=\"true\"/>"
                        "<send retrans=\"500\"><![CDATA[\n" +
                        reg +
                        "CSeq: 2 REGISTER\n"
                        "[authentication username=[field0] "
                        "password=[field1]]\nContent-Length: 0\n\n]]></send>"
                        "<recv response=\"" +
                        std::to_string(status) + "\">" + check + "</recv>" +
                        (check.empty() ? "" : "<Reference variables=\"m\"/>");
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<scenario name=\"reg\">"
           "<send retrans=\"500\"><![CDATA[\n" +
           reg + "CSeq: 1 REGISTER\nContent-Length: 0\n\n]]></send>" + first + "</scenario>\n";
}

class RegistrarWire : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string shared = vela.SharedDataFolder();
        ASSERT_EQ(system(("mkdir -p '" + shared + "/lines_/extensions_'").c_str()), 0);
        std::ofstream(shared + "/lines_/extensions_/101") << "password=secret\r\n";
        sipPort = FreeUdpPort();
        std::ofstream(shared + "/sip") << "port=" << sipPort << "\r\n";
        ASSERT_TRUE(vela.Start()) << vela.Process().Output();
        ASSERT_TRUE(vela.Process().WaitForOutput(
            "SIP Private IP is: 127.0.0.1:" + std::to_string(sipPort), 10000));
    }
    void TearDown() override
    {
        if (vela.Process().Running())
            vela.Stop(SIGTERM, 5000);
    }
    // Runs SIPp once with the scenario as user/password from address ip.
    bool RunSipp(const std::string &scenario, const std::string &user, const std::string &password,
                 const std::string &ip = "127.0.0.1")
    {
        std::string xml = work.Path() + "/s.xml", csv = work.Path() + "/u.csv";
        // This SIPp does not expand fields inside [authentication]: the
        // credentials are written into the scenario itself.
        std::string text = scenario;
        const std::string fields = "[authentication username=[field0] password=[field1]]";
        size_t at = text.find(fields);
        if (at != std::string::npos)
            text.replace(at, fields.size(),
                         "[authentication username=" + user + " password=" + password + "]");
        std::ofstream(xml) << text;
        std::ofstream(csv) << "SEQUENTIAL\n" << user << ";" << password << ";\n";
        ChildProcess sipp;
        std::vector<std::string> argv = {"/usr/bin/sipp",
                                         "127.0.0.1:" + std::to_string(sipPort),
                                         "-sf",
                                         xml,
                                         "-inf",
                                         csv,
                                         "-m",
                                         "1",
                                         "-i",
                                         ip,
                                         "-p",
                                         std::to_string(FreeUdpPort()),
                                         "-nostdin",
                                         "-timeout",
                                         "10s",
                                         "-timeout_error"};
        int status = -1;
        EXPECT_TRUE(sipp.Start(argv, {}, work.Path()));
        EXPECT_TRUE(sipp.WaitExit(15000, &status)) << sipp.Output();
        bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        EXPECT_TRUE(ok) << sipp.Output() << ReadFile(xml);
        return ok;
    }
    std::string Contact1() const
    {
        return vela.SharedDataFolder() + "/lines_/extensions_/101_/contactlist_/1";
    }

    VelaInstance vela;
    TempDir work{"vela-sipp"};
    int sipPort = 0;
};
} // namespace

TEST_F(RegistrarWire, SippRegistersWithDigestAndExpiryIsClamped)
{
    ASSERT_TRUE(RunSipp(Scenario("[local_ip]:[local_port]", "7200", 200, "expires=3600;q=0.5"),
                        "101", "secret"));
    std::string record;
    ASSERT_TRUE(WaitForFileText(Contact1(), "q=0.5", 3000, &record));
    EXPECT_NE(record.find("contact=sip:101@127.0.0.1:"), std::string::npos) << record;
    EXPECT_NE(record.find("expires="), std::string::npos) << record;
    EXPECT_NE(vela.Process().Output().find("Extension 101 is at: sip:101@127.0.0.1:"),
              std::string::npos);
}

// An unknown name is challenged like a known one, so answers do not tell
// which extensions exist; only the log says.
TEST_F(RegistrarWire, WrongPasswordAndUnknownUserAreChallengedAgain)
{
    EXPECT_TRUE(
        RunSipp(Scenario("[local_ip]:[local_port]", "3600", 401, "stale=FALSE"), "101", "wrong"));
    struct stat st;
    EXPECT_NE(stat(Contact1().c_str(), &st), 0);
    EXPECT_TRUE(
        RunSipp(Scenario("[local_ip]:[local_port]", "3600", 401, "stale=FALSE"), "555", "x"));
    EXPECT_TRUE(vela.Process().WaitForOutput("Unknown ID \"555\" attempted to register!", 3000));
    EXPECT_TRUE(
        vela.Process().WaitForOutput("Add a new extension with that ID if required.", 3000));
    EXPECT_TRUE(
        WaitForFileText(vela.TodayLogPath(), "Unknown ID \"555\" attempted to register!", 3000));
}

TEST_F(RegistrarWire, PhoneBehindNatIsToldSixtySecondsAndMapped)
{
    // 127.1.0.1 is routed over loopback but is not a private address.
    ASSERT_TRUE(RunSipp(Scenario("192.168.1.20:5060", "3600", 200, "expires=60;q=0.5"), "101",
                        "secret", "127.1.0.1"));
    std::string record, mapping;
    ASSERT_TRUE(WaitForFileText(Contact1(), "contact=sip:101@127.1.0.1:", 3000, &record));
    ASSERT_TRUE(WaitForFileText(vela.SharedDataFolder() + "/registrymapping",
                                "from1=192.168.1.20:5060", 3000, &mapping));
    EXPECT_NE(mapping.find("to1=127.1.0.1:"), std::string::npos) << mapping;
    EXPECT_NE(mapping.find("count=1"), std::string::npos) << mapping;
}

TEST_F(RegistrarWire, BaresipRegistersAsExtension)
{
    TempDir home{"vela-baresip"};
    int port = FreeUdpPort();
    std::ofstream(home.Path() + "/config")
        << "module_path /usr/lib/baresip/modules\n"
        << "sip_listen 127.0.0.1:" << port << "\n"
        << "audio_player aufile,/dev/null\naudio_source aufile,/dev/null\n"
        << "module g711.so\nmodule aufile.so\nmodule_app account.so\n";
    std::ofstream(home.Path() + "/accounts")
        << "<sip:101@127.0.0.1:" << sipPort << ";transport=udp>;auth_pass=secret;regint=600\n";
    ChildProcess baresip;
    ASSERT_TRUE(baresip.Start({"/usr/bin/baresip", "-f", home.Path()}));
    std::string record;
    EXPECT_TRUE(WaitForFileText(Contact1(), "q=", 10000, &record)) << baresip.Output();
    // baresip adds its own suffix to the user part.
    EXPECT_NE(record.find("contact=sip:101-"), std::string::npos) << record;
    EXPECT_NE(record.find("@127.0.0.1:" + std::to_string(port)), std::string::npos) << record;
    EXPECT_TRUE(baresip.WaitForOutput("200 OK", 5000)) << baresip.Output();
    baresip.Stop(SIGTERM, 5000);
}
