#include "platform/version.h"
#include "sip/sipidentifiers.h"
#include "sip/siplayouts.h"
#include "sip/sipmessage.h"
#include "support/sip_parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
using vtest::ParseSip;

const std::string kInvite = "INVITE sip:200@pbx SIP/2.0\r\n"
                            "v: SIP/2.0/UDP 10.0.0.2;branch=z9hG4bK1\r\n"
                            "Record-Route: <sip:p1;lr>\r\n"
                            "Via: SIP/2.0/UDP 10.0.0.3;branch=z9hG4bK2\r\n"
                            "Record-Route: <sip:p2;lr>\r\n"
                            "f: <sip:100@pbx>;tag=a\r\n"
                            "t: <sip:200@pbx>\r\n"
                            "i: c1\r\n"
                            "CSeq: 7 INVITE\r\n\r\n";
} // namespace

TEST(SipLayouts, ResponseCopiesTheRequestFields)
{
    struct {
        std::string request;
        const char *toTag, *contact, *type, *content;
        bool allow;
        const char *extra;
        std::string expected;
    } cases[] = {
        {kInvite, "77", nullptr, nullptr, nullptr, false, nullptr,
         "SIP/2.0 486 Busy Here\r\nVia: SIP/2.0/UDP 10.0.0.2;branch=z9hG4bK1\r\n"
         "Via: SIP/2.0/UDP 10.0.0.3;branch=z9hG4bK2\r\nRecord-Route: <sip:p1;lr>\r\n"
         "Record-Route: <sip:p2;lr>\r\nTo: <sip:200@pbx>;tag=77\r\nFrom: <sip:100@pbx>;tag=a\r\n"
         "Call-ID: c1\r\nCSeq: 7 INVITE\r\nUser-Agent: ORV Tessary Vela " VELA_VERSION "\r\n"
         "Content-Length: 0\r\n\r\n"},
        {"BYE sip:1@h SIP/2.0\r\nTo: <sip:1@h>;tag=x\r\n\r\n", "77", "<sip:9@h>", "application/sdp",
         "v=0\r\n", true, "X-A: 1\r\n",
         "SIP/2.0 486 Busy Here\r\nTo: <sip:1@h>;tag=x\r\nFrom: \r\nCall-ID: \r\nCSeq: \r\n"
         "User-Agent: ORV Tessary Vela " VELA_VERSION "\r\nContact: <sip:9@h>\r\nX-A: 1\r\n"
         "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY\r\n"
         "Accept: application/sdp\r\nSupported: replaces\r\n"
         "Content-Type: application/sdp\r\nContent-Length: 5\r\n\r\nv=0\r\n"},
        {"BYE sip:1@h SIP/2.0\r\nTo: <sip:1@h>\r\n\r\n", nullptr, nullptr, "application/sdp",
         nullptr, false, nullptr,
         "SIP/2.0 486 Busy Here\r\nTo: <sip:1@h>\r\nFrom: \r\nCall-ID: \r\nCSeq: \r\n"
         "User-Agent: ORV Tessary Vela " VELA_VERSION "\r\nContent-Length: 0\r\n\r\n"},
    };
    for (const auto &c : cases) {
        std::string out;
        LSipComposeResponse(out, *ParseSip(c.request), 486, "Busy Here", c.toTag, c.contact, c.type,
                            c.content, c.allow, c.extra);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(SipLayouts, DialogRequestAndRegister)
{
    std::string out;
    LSipRequestComposer composer(out, {"REFER", "sip:200@10.0.0.9", "10.0.0.1", 5060, "z9hG4bK5",
                                       "<sip:200@10.0.0.9>;tag=r", "<sip:100@pbx>;tag=l", "c9", 3});
    composer.AddRoute("<sip:p1;lr>");
    composer.AddContact("100", "10.0.0.1", 5060);
    composer.AddAuthorization("Digest x", true);
    composer.AddReferTo("<sip:300@pbx>");
    composer.AddEventRefer();
    composer.Finish(nullptr, nullptr);
    EXPECT_EQ(out, "REFER sip:200@10.0.0.9 SIP/2.0\r\n"
                   "Via: SIP/2.0/UDP 10.0.0.1:5060;rport;branch=z9hG4bK5\r\n"
                   "To: <sip:200@10.0.0.9>;tag=r\r\nFrom: <sip:100@pbx>;tag=l\r\nCall-ID: c9\r\n"
                   "CSeq: 3 REFER\r\nMax-Forwards: 20\r\nUser-Agent: ORV Tessary Vela " VELA_VERSION
                   "\r\n"
                   "Route: <sip:p1;lr>\r\nContact: <sip:100@10.0.0.1:5060>\r\n"
                   "Proxy-Authorization: Digest x\r\nRefer-To: <sip:300@pbx>\r\n"
                   "Event: refer\r\nSubscription-State: active;expires=60\r\n"
                   "Content-Length: 0\r\n\r\n");
    std::string reg;
    LSipComposeRegister(reg, {"prov.example", "10.0.0.1", 5062, "z9hG4bK6", "sip:u@prov.example",
                              "sip:u@prov.example", "t1", "c2", 4, "u", "1.2.3.4", 5062, 3600, 5,
                              "Digest y"});
    EXPECT_EQ(reg, "REGISTER sip:prov.example SIP/2.0\r\n"
                   "Via: SIP/2.0/UDP 10.0.0.1:5062;rport;branch=z9hG4bK6\r\nMax-Forwards: 20\r\n"
                   "To: <sip:u@prov.example>\r\nFrom: <sip:u@prov.example>;tag=t1\r\n"
                   "Call-ID: c2\r\nCSeq: 4 REGISTER\r\n"
                   "Contact: <sip:u@1.2.3.4:5062>;expires=3600;q=0.05\r\n"
                   "Authorization: Digest y\r\n"
                   "User-Agent: ORV Tessary Vela " VELA_VERSION "\r\nContent-Length: 0\r\n\r\n");
}

TEST(SipIdentifiers, DistinctAndUnpredictableStarts)
{
    LSipIdentifierMaker first(4321, "my host"), second(4321, "my host");
    char a[260], b[260];
    first.CreateNewBranchID(a, sizeof(a));
    first.CreateNewBranchID(b, sizeof(b));
    EXPECT_EQ(std::string(a).rfind("z9hG4bK", 0), 0u); // RFC 3261 8.1.1.7
    EXPECT_STRNE(a, b);
    first.CreateNewLocalTag(a, sizeof(a));
    second.CreateNewLocalTag(b, sizeof(b));
    std::string tagA = a, tagB = b;
    first.CreateNewCallId(a, sizeof(a), "1.2.3.4");
    second.CreateNewCallId(b, sizeof(b), "1.2.3.4");
    EXPECT_NE(strstr(a, "-my%20host@1.2.3.4"), nullptr) << a; // the host name is escaped
    // Two makers started together must not hand out the same identifiers
    // (counters from the clock would); a clash of both is 1 in 2^62.
    EXPECT_FALSE(tagA == tagB && std::string(a) == std::string(b));
}
