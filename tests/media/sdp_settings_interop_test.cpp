// "Quality" and "Active" of section "SIP" on the wire of the running
// exchange: a change in the settings store reaches the next call without a
// restart. Extension 101, behind a NAT router (it sends from 127.1.0.2, which
// looks public, while its SDP names a LAN address), calls 102, a phone that
// looks public (127.1.0.1): the audio must be relayed and the INVITE reaching
// 102 names the relay's public side. While it rings, the caller asks for the
// exchange's own offer with an in-dialog OPTIONS, then cancels.
#include "../callcontrol/call_fixture.h"
#include "config/pbx_global_settings.h"
#include "media/sdp_decoder.h"

namespace vtest
{
namespace
{
constexpr const char *kPhoneIp = "127.1.0.1";
constexpr const char *kCallerIp = "127.1.0.2";

// The SDP body of the first message in SIPp's message log whose start line
// begins with startLine.
std::string BodyOf(const std::string &path, const std::string &startLine)
{
    std::ifstream in(path);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = log.find("\n" + startLine);
    if (at == std::string::npos)
        return "";
    size_t body = log.find("\n\n", at);
    size_t crlf = log.find("\r\n\r\n", at);
    body = std::min(body == std::string::npos ? log.size() : body + 2,
                    crlf == std::string::npos ? log.size() : crlf + 4);
    size_t end = log.find("\n\n----", body);
    return body < log.size() ? log.substr(body, end == std::string::npos ? end : end - body) : "";
}

class SdpSettingsTest : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        ASSERT_TRUE(LSettingSetInt("SIP", "RTPPortBase", 20000 + (FreeUdpPort() % 20000) * 2));
    }

    std::unique_ptr<ChildProcess> Sipp(std::vector<std::string> argv, const char *ip,
                                       const std::string &log)
    {
        for (size_t i = 0; i + 1 < argv.size(); i++)
            if (argv[i] == "-i")
                argv[i + 1] = ip;
        argv.insert(argv.end(), {"-trace_msg", "-message_file", log});
        auto sipp = std::make_unique<ChildProcess>();
        EXPECT_TRUE(sipp->Start(argv, {}, logs.Path()));
        return sipp;
    }

    // One call; the offer the caller got in the OPTIONS answer and the SDP
    // of the INVITE that reached the phone.
    void RunCall(int n, std::string &ownOffer, std::string &phoneInvite)
    {
        const std::string callerLog = logs.Path() + "/caller" + std::to_string(n);
        const std::string phoneLog = logs.Path() + "/phone" + std::to_string(n);
        int phonePort = FreeUdpPort();
        std::vector<std::string> reg =
            SippArgs("../../callcontrol/sipp/register.xml", phonePort, Remote());
        reg.insert(reg.end(), {"-s", "102", "-au", "102", "-ap", "pw102"});
        auto registration = Sipp(reg, kPhoneIp, logs.Path() + "/register");
        ASSERT_TRUE(Succeeded(*registration, 15000)) << registration->Output();
        auto phone = Sipp(SippArgs("../../callcontrol/sipp/uas_cancelled.xml", phonePort), kPhoneIp,
                          phoneLog);
        std::vector<std::string> argv =
            SippArgs("uac_options_ringing.xml", FreeUdpPort(), Remote());
        argv.insert(argv.end(), {"-s", "102", "-au", "101", "-ap", kCallerPassword});
        auto caller = Sipp(argv, kCallerIp, callerLog);
        EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
        EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
        ownOffer = BodyOf(callerLog, "SIP/2.0 200 OK\r\n");
        phoneInvite = BodyOf(phoneLog, "INVITE ");
    }

    TempDir logs{"sdp-settings"};
};

TEST_F(SdpSettingsTest, QualityAndActiveReachTheNextCall)
{
    StartVela();
    std::string offer, invite;
    RunCall(1, offer, invite);
    EXPECT_EQ(LSDPDecoder(offer).GetRemotePayLoadTypes(), "0 8 96 3 13 101") << offer;
    EXPECT_EQ(offer.find("a=direction:active"), std::string::npos) << offer;
    ASSERT_NE(invite.find("m=audio "), std::string::npos) << invite;
    EXPECT_EQ(invite.find("a=direction:active"), std::string::npos) << invite;

    LPBXSettings::SipQuality.Set(20);
    LPBXSettings::SipActive.Set(true);
    RunCall(2, offer, invite);
    EXPECT_EQ(LSDPDecoder(offer).GetRemotePayLoadTypes(), "3 96 0 8 13 101") << offer;
    EXPECT_NE(offer.find("a=direction:active"), std::string::npos) << offer;
    EXPECT_NE(invite.find("a=direction:active"), std::string::npos) << invite;
}
} // namespace
} // namespace vtest
