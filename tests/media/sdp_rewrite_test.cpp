// Rewriting bridged SDP: addresses, ports, codec filtering, own attributes.
#include <gtest/gtest.h>

#include <string>

#include "media/sdp_rewrite.h"

namespace
{
const std::string kHead =
    "v=0\r\no=- 1 1 IN IP4 192.168.1.20\r\ns=-\r\nc=IN IP4 192.168.1.20\r\nt=0 0\r\n";
const std::string kOutHead =
    "v=0\r\no=- 1 1 IN IP4 192.168.1.20\r\ns=-\r\nc=IN IP4 10.9.9.9\r\nt=0 0\r\n";

TEST(SdpRewrite, Table)
{
    // clang-format off
    const struct { const char *name; std::string media; bool filter; std::string out; } cases[] = {
        {"filter keeps recorder codecs and events in order", "m=audio 2222 RTP/AVP 0 18 101 8\r\na=rtpmap:18 G729/8000\r\na=rtpmap:101 telephone-event/8000\r\n", true, "m=audio 8000 RTP/AVP 0 101 8\r\na=rtpmap:18 G729/8000\r\na=rtpmap:101 telephone-event/8000\r\n"},
        {"nothing allowed leaves one blank", "m=audio 2222 RTP/AVP 18 99 junk\r\n", true, "m=audio 8000 RTP/AVP \r\n"},
        {"no filter keeps the list; SAVP becomes AVP; video keeps its port", "m=audio 2222 RTP/SAVP 18 0\r\nm=video 5002 RTP/AVP 34\r\nc=IN IP4 192.168.1.21\r\n", false, "m=audio 8000 RTP/AVP 18 0\r\nm=video 5002 RTP/AVP 34\r\nc=IN IP4 10.9.9.9\r\n"},
        {"old own attributes are replaced", "m=audio 2222 RTP/AVP 0\r\na=direction:active\r\na=local:1.1.1.1 5\r\na=domain:2.2.2.2\r\na=sendrecv\r\n", false, "m=audio 8000 RTP/AVP 0\r\na=sendrecv\r\n"},
        {"G.726 on 2 and CN by rtpmap pass the filter", "m=audio 2222 RTP/AVP 2 97 5\r\na=rtpmap:97 CN/8000\r\n", true, "m=audio 8000 RTP/AVP 2 97\r\na=rtpmap:97 CN/8000\r\n"},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LSDPRewriteText(kHead + c.media, "10.9.9.9", 8000, false, "", 0, "", c.filter),
                  kOutHead + c.out);
    }
}

TEST(SdpRewrite, OwnAttributesAppendedInOrder)
{
    const std::string in = kHead + "m=audio 2222 RTP/AVP 0\r\n";
    const std::string out =
        LSDPRewriteText(in, "203.0.113.5", 8000, true, "192.168.1.20", 2222, "203.0.113.5", false);
    EXPECT_NE(out.find("m=audio 8000 RTP/AVP 0\r\na=direction:active\r\na=domain:203.0.113.5\r\n"
                       "a=local:192.168.1.20 2222\r\n"),
              std::string::npos);
    // Without a private port the domain alone is told.
    const std::string noPort =
        LSDPRewriteText(in, "203.0.113.5", 8000, false, "192.168.1.20", 0, "203.0.113.5", false);
    EXPECT_NE(noPort.find("a=domain:203.0.113.5\r\n"), std::string::npos);
    EXPECT_EQ(noPort.find("a=local:"), std::string::npos);
}
} // namespace
