// "Quality" and "Active" of section "SIP" changed while the exchange runs
// reach the next call: 101 behind a NAT (127.1.0.2) calls public 102
// (127.1.0.1), asks for the exchange's own offer with an in-dialog OPTIONS
// while it rings, and cancels. (The defaults and the reading of the store
// at each offer are the session and dialog services' unit tests' part.)
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

TEST_F(MediaCallTest, QualityAndActiveReachTheNextCall)
{
    StartVela();
    LPBXSettings::SipQuality.Set(20);
    LPBXSettings::SipActive.Set(true);
    const std::string callerLog = folder.Path() + "/caller", phoneLog = folder.Path() + "/phone";
    int phonePort = FreeUdpPort();
    ASSERT_TRUE(RegisterAt("102", "127.1.0.1", phonePort));
    auto phone = Sipp(SippArgs("../../callcontrol/sipp/uas_cancelled.xml", phonePort), "127.1.0.1",
                      {"-trace_msg", "-message_file", phoneLog});
    auto caller =
        Caller("uac_options_ringing.xml", "127.1.0.2", {"-trace_msg", "-message_file", callerLog});
    EXPECT_TRUE(Succeeded(*caller)) << caller->Output();
    EXPECT_TRUE(Succeeded(*phone)) << phone->Output();
    // The exchange's own offer in the OPTIONS answer, and the relayed offer.
    std::string offer = BodyOf(callerLog, "SIP/2.0 200 OK\r\n");
    std::string invite = BodyOf(phoneLog, "INVITE ");
    EXPECT_EQ(LSDPDecoder(offer).GetRemotePayLoadTypes(), "3 96 0 8 13 101") << offer;
    EXPECT_NE(offer.find("a=direction:active"), std::string::npos) << offer;
    ASSERT_NE(invite.find("m=audio "), std::string::npos) << invite;
    EXPECT_NE(invite.find("a=direction:active"), std::string::npos) << invite;
}
} // namespace
} // namespace vtest
