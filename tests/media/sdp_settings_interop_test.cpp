// "Quality" and "Active" of section "SIP" reach the next call without a
// restart: 101 behind a NAT (127.1.0.2) calls public 102 (127.1.0.1), asks
// for the exchange's own offer with an in-dialog OPTIONS while it rings, and
// cancels.
#include "config/pbx_global_settings.h"
#include "media/sdp_decoder.h"
#include "media_call_fixture.h"

namespace vtest
{
namespace
{
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

class SdpSettingsTest : public MediaCallTest
{
  protected:
    // One call; the offer the caller got in the OPTIONS answer and the SDP
    // of the INVITE that reached the phone.
    void RunCall(int n, std::string &ownOffer, std::string &phoneInvite)
    {
        const std::string callerLog = folder.Path() + "/caller" + std::to_string(n);
        const std::string phoneLog = folder.Path() + "/phone" + std::to_string(n);
        int phonePort = FreeUdpPort();
        ASSERT_TRUE(Register102At("127.1.0.1", phonePort));
        auto phone = Sipp(SippArgs("../../callcontrol/sipp/uas_cancelled.xml", phonePort),
                          "127.1.0.1", {"-trace_msg", "-message_file", phoneLog});
        auto caller = Caller("uac_options_ringing.xml", "127.1.0.2",
                             {"-trace_msg", "-message_file", callerLog});
        EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
        EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
        ownOffer = BodyOf(callerLog, "SIP/2.0 200 OK\r\n");
        phoneInvite = BodyOf(phoneLog, "INVITE ");
    }
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
