// The control panel of the real service: `vela -foreground` on free ports,
// its log-on page, style sheet and extension list fetched with curl, with a
// SIPp phone registered in between.
#include "support/process.h"
#include "support/vela_instance.h"
#include "support/web_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>

namespace
{
bool Has(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

// A SIPp phone registers as user with digest authentication.
bool RegisterPhone(int sipPort, const char *user, const char *password, int phonePort)
{
    vtest::ChildProcess sipp;
    int status = -1;
    bool ended = sipp.Start({"/usr/bin/sipp",
                             "127.0.0.1:" + std::to_string(sipPort),
                             "-sf",
                             VELA_TEST_GENERATED "/../../callcontrol/sipp/register.xml",
                             "-s",
                             user,
                             "-au",
                             user,
                             "-ap",
                             password,
                             "-m",
                             "1",
                             "-i",
                             "127.0.0.1",
                             "-p",
                             std::to_string(phonePort),
                             "-nostdin",
                             "-timeout",
                             "10s",
                             "-timeout_error"}) &&
                 sipp.WaitExit(15000, &status);
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << sipp.Output();
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A SIPp run of one of the call scenarios: from port, to the exchange when
// sipPort is given, else as the answering phone.
std::vector<std::string> SippCall(const char *scenario, int port, int sipPort = 0)
{
    std::vector<std::string> argv = {"/usr/bin/sipp"};
    if (sipPort)
        argv.push_back("127.0.0.1:" + std::to_string(sipPort));
    for (std::string arg :
         {std::string("-sf"), std::string(VELA_TEST_GENERATED "/../../callcontrol/sipp/") + scenario,
          std::string("-i"), std::string("127.0.0.1"), std::string("-p"), std::to_string(port),
          std::string("-m"), std::string("1"), std::string("-nostdin"), std::string("-timeout"),
          std::string("20s"), std::string("-timeout_error")})
        argv.push_back(arg);
    return argv;
}

bool EndedWell(vtest::ChildProcess &sipp)
{
    int status = -1;
    return sipp.WaitExit(25000, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(VelaWebInterop, ServiceServesLogOnAndExtensionList)
{
    vtest::VelaInstance vela;
    int port = vtest::FreeTcpPort(), sipPort = vtest::FreeUdpPort();
    std::filesystem::create_directories(vela.SharedDataFolder());
    std::ofstream(vela.SharedDataFolder() + "/webserver") << "port=" << port << "\r\n";
    std::ofstream(vela.SharedDataFolder() + "/sip") << "port=" << sipPort << "\r\n";
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    // The listener binds on its own thread: wait for the first answer.
    std::string logon;
    int64_t deadline = vtest::MonotonicMs() + 10000;
    while (!Has(logon, "HTTP/1.1 200 OK") && vtest::MonotonicMs() < deadline)
        logon = vtest::Curl({"--retry-connrefused", "--retry", "3", base + "/logon"});
    EXPECT_TRUE(Has(logon, "User Name:")) << logon;
    EXPECT_TRUE(Has(logon, "Remember me on this computer"));
    std::string css = vtest::Curl({base + "/s.css"});
    EXPECT_EQ(vtest::HttpHeader(css, "Content-Type"), "text/css") << css.substr(0, 200);

    std::string cookie = vtest::WebLogOn(base, "101=admin&102=&submitdef=++OK++");
    ASSERT_NE(cookie, "");
    std::string token = vtest::WebFormToken(vtest::Curl({"-b", cookie, base + "/extensionprop"}));
    std::string saved =
        vtest::Curl({"-b", cookie, "-d", "save=1&name=101&password=pw&displayname=Desk", "-d",
                     "csrf=" + token, base + "/extensionprop"});
    EXPECT_EQ(vtest::HttpHeader(saved, "Location"), "extensionlist") << saved;
    bool stored = false;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(vela.Root()))
        stored = stored || (entry.is_regular_file() &&
                            Has(vtest::ReadFile(entry.path().string()), "=Desk\r\n"));
    EXPECT_TRUE(stored) << "the display name is in a settings file";
    // A phone registered as 101 shows on the list with its contact.
    int phonePort = vtest::FreeUdpPort();
    EXPECT_TRUE(RegisterPhone(sipPort, "101", "pw", phonePort));
    std::string list = vtest::Curl({"-b", cookie, base + "/extensionlist"});
    EXPECT_TRUE(Has(list, "Extension ID")) << list;
    EXPECT_TRUE(Has(list, "extensionprop?id=101"));
    EXPECT_TRUE(Has(list, "Desk"));
    EXPECT_TRUE(Has(list, ("sip:101@127.0.0.1:" + std::to_string(phonePort)).c_str())) << list;
    EXPECT_TRUE(Has(list, "expires at "));
    // Without the cookie: the list sends the browser to log on, a form post
    // is refused and stores nothing.
    EXPECT_EQ(vtest::HttpHeader(vtest::Curl({base + "/extensionlist"}), "Location"), "logon");
    EXPECT_TRUE(Has(vtest::Curl({"-d", "save=1&name=102", base + "/extensionprop"}),
                    "This form has expired"));

    int status = -1;
    ASSERT_TRUE(vela.Stop(SIGTERM, 10000, &status));
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_TRUE(Has(vela.Process().Output(), "Stop web server"));
}

// An extension renamed through the panel while it is a group's member: a
// call to the group rings the phone registered under the new name.
TEST(VelaWebInterop, RenamedMemberStillAnswersForItsGroup)
{
    vtest::VelaInstance vela;
    int port = vtest::FreeTcpPort(), sipPort = vtest::FreeUdpPort();
    std::filesystem::create_directories(vela.SharedDataFolder());
    std::ofstream(vela.SharedDataFolder() + "/webserver") << "port=" << port << "\r\n";
    std::ofstream(vela.SharedDataFolder() + "/sip") << "port=" << sipPort << "\r\n";
    ASSERT_TRUE(vela.Start()) << vela.Process().Output();
    ASSERT_TRUE(vela.Process().WaitForOutput(
        "SIP Private IP is: 127.0.0.1:" + std::to_string(sipPort), 10000));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    std::string cookie, token;
    int64_t deadline = vtest::MonotonicMs() + 10000;
    while (cookie.empty() && vtest::MonotonicMs() < deadline)
        cookie = vtest::WebLogOn(base, "101=admin&102=&submitdef=++OK++");
    ASSERT_NE(cookie, "");
    token = vtest::WebFormToken(vtest::Curl({"-b", cookie, base + "/extensionprop"}));
    auto post = [&](const char *script, const std::string &fields) {
        return vtest::HttpHeader(
            vtest::Curl({"-b", cookie, "-d", fields + "&csrf=" + token, base + "/" + script}),
            "Location");
    };
    EXPECT_EQ(post("extensionprop", "save=1&name=101&password=pw101"), "extensionlist");
    EXPECT_EQ(post("extensionprop", "save=1&name=102&password=pw102"), "extensionlist");
    EXPECT_EQ(post("groupprop", "save=1&name=701&waithold=ringing"), "grouplist");
    EXPECT_EQ(post("groupextensionprop", "id=701&saveext=1&extension=102"), "groupprop?id=701");
    EXPECT_EQ(post("extensionprop", "save=1&id=102&name=112"), "extensionlist");

    int phonePort = vtest::FreeUdpPort(), callerPort = vtest::FreeUdpPort();
    ASSERT_TRUE(RegisterPhone(sipPort, "112", "pw102", phonePort));
    ASSERT_TRUE(RegisterPhone(sipPort, "101", "pw101", callerPort));
    vtest::ChildProcess phone, caller;
    ASSERT_TRUE(phone.Start(SippCall("uas_answer.xml", phonePort)));
    std::vector<std::string> call = SippCall("uac_call.xml", callerPort, sipPort);
    call.insert(call.end(), {"-s", "701", "-au", "101", "-ap", "pw101"});
    ASSERT_TRUE(caller.Start(call));
    EXPECT_TRUE(EndedWell(caller)) << caller.Output() << vela.Process().Output();
    EXPECT_TRUE(EndedWell(phone)) << phone.Output();
}
} // namespace
