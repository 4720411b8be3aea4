#include "sip/sipmessage.h"
#include "sip/sipmultipart.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Invite(const std::string &headers, const std::string &body)
{
    return "INVITE sip:200@10.0.0.9 SIP/2.0\r\nCall-ID: b1\r\n" + headers + "\r\n" + body;
}

const char *kSdp = "v=0\r\no=- 1 1 IN IP4 10.0.0.2\r\ns=-\r\nc=IN IP4 10.0.0.2\r\nt=0 0\r\n"
                   "m=audio 8000 RTP/AVP 0\r\n";
} // namespace

TEST(SipBody, ContentLengthNeverReadsPastTheDatagram)
{
    std::string sdp = kSdp;
    // expected: "" = no content part
    // clang-format off
    const struct Case { std::string headers; std::string body; std::string expected; } cases[] = {
        {"Content-Type: application/sdp\r\nContent-Length: 10\r\n", sdp, sdp.substr(0, 10)},
        {"c: application/sdp\r\nl: " + std::to_string(sdp.size()) + "\r\n", sdp, sdp},
        {"Content-Type: application/sdp\r\nContent-Length: 0\r\n", sdp, ""},
        {"Content-Length: 20\r\n", sdp, ""}, {"Content-Type: application/sdp\r\n", sdp, ""},
        {"Content-Type: application/sdp\r\nContent-Length: -5\r\n", sdp, ""},
        {"Content-Type: application/sdp\r\nContent-Length: abc\r\n", sdp, ""},
        {"Content-Type: application/sdp\r\nContent-Length: 5000\r\n", sdp, sdp},
        {"Content-Type: application/sdp\r\nContent-Length: 4294967296\r\n", sdp, sdp},
        {"Content-Type: application/sdp\r\nContent-Length: 18446744073709551617\r\n", sdp, sdp},
        {"Content-Type: application/sdp\r\nContent-Length: 99999\r\n", "", ""},
        {"Content-Type: application/sdp; charset=x\r\nContent-Length: 3\r\n", "abcdef", "abc"},
        {"Content-Type: ;application/sdp\r\nContent-Length: 3\r\n", "abcdef", ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string text = Invite(c.headers, c.body);
        // Bytes after the datagram must never be read: cut a larger buffer.
        std::string buffer = text + "GARBAGE-AFTER-THE-DATAGRAM";
        LSipMessage message;
        size_t position = 0;
        ASSERT_TRUE(message.LoadPacket(buffer.data(), text.size(), position)) << c.headers;
        EXPECT_LE(position, text.size());
        if (c.expected.empty()) {
            EXPECT_EQ(message.GetContentCount(), 0u) << c.headers;
            continue;
        }
        ASSERT_EQ(message.GetContentCount(), 1u) << c.headers;
        EXPECT_STREQ(message.GetContentAt(0).contentType, "application/sdp");
        EXPECT_EQ(message.GetContentAt(0).body, c.expected) << c.headers;
        EXPECT_EQ(std::string(message.GetContent("APPLICATION/SDP")), c.expected);
    }
}

// The body goes out with its own length; none gets "Content-Length: 0".
TEST(SipBody, ReconstructWritesTheBodyAndItsLength)
{
    std::string sdp = kSdp, length = std::to_string(sdp.size());
    // clang-format off
    const struct { std::string in, out; } cases[] = {
        {Invite("Content-Type: application/sdp\r\nContent-Length: " + length + "\r\n", sdp), "INVITE sip:200@10.0.0.9 SIP/2.0\r\nCall-ID: b1\r\nContent-Type: application/sdp\r\nContent-Length: " + length + "\r\n\r\n" + sdp + "\r\n"},
        {"BYE sip:1@h SIP/2.0\r\nCSeq: 2 BYE\r\n\r\n", "BYE sip:1@h SIP/2.0\r\nCSeq: 2 BYE\r\nContent-Length: 0\r\n\r\n"},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipMessage message;
        size_t position = 0;
        ASSERT_TRUE(message.LoadPacket(c.in.data(), c.in.size(), position));
        std::string out;
        message.Reconstruct(out);
        EXPECT_EQ(out, c.out);
    }
}

TEST(SipMultipart, BoundaryParameter)
{
    // boundary: nullptr = none
    // clang-format off
    const struct Case { const char *type; const char *boundary; } cases[] = {
        {"multipart/mixed;boundary=abc", "abc"}, {"multipart/mixed; Boundary=\"abc\"", "abc"},
        {"multipart/mixed;x=1&boundary=\"a\"b\"", "a\"b"}, {"multipart/mixed; boundary=\"", "\""},
        {"multipart/mixed; boundary=\"\"", nullptr}, {"multipart/mixed; boundary=", nullptr},
        {"multipart/mixed; charset=x", nullptr}, {"boundary=abc", nullptr},
    };
    // clang-format on
    for (const auto &c : cases) {
        char out[260];
        EXPECT_EQ(LSipFindBoundary(c.type, out, sizeof(out)), c.boundary != nullptr) << c.type;
        if (c.boundary) {
            EXPECT_STREQ(out, c.boundary) << c.type;
        }
    }
}

TEST(SipMultipart, SplitsTypedPartsWithinTheBody)
{
    std::string sdp = kSdp;
    // clang-format off
    const struct Case { std::string type; std::string body; std::vector<std::pair<std::string, std::string>> parts; } cases[] = {
        {"multipart/mixed;boundary=\"B1\"", "preamble\r\n--B1\r\nContent-Type: application/sdp\r\n\r\n" + sdp + "\r\n--B1\r\nc: application/isup ; version=itu\r\n\r\nISUP\r\n--B1--\r\n", {{"application/sdp", sdp}, {"application/isup", "ISUP"}}},
        // The first delimiter may open the body without a CR LF.
        {"multipart/mixed;boundary=B1", "--B1\r\nContent-Type: application/sdp\r\n\r\n" + sdp + "\r\n--B1--", {{"application/sdp", sdp}}},
        {"multipart/mixed;boundary=B1", "\r\n--B1\r\nX: untyped\r\n\r\nnone\r\n--B1\r\nContent-Type: text/plain\r\n\r\nhi", {{"text/plain", "hi"}}},
        {"multipart/mixed;boundary=B1", "\r\n--B1--\r\n--B1\r\nc: text/plain\r\n\r\nx", {}},
        {"multipart/mixed", "\r\n--B1\r\nc: text/plain\r\n\r\nx", {}},
        {"multipart/mixed;boundary=B1", "\r\n--B1", {}},
        // Cut short inside the part's header lines: an empty part, nothing more.
        {"multipart/mixed;boundary=B1", "\r\n--B1\r\nContent-Type: text/plain", {{"text/plain", ""}}},
        {"multipart/mixed;boundary=B1", "\r\n--B1\r\nContent-Type: text/plain\r\n", {{"text/plain", ""}}},
        {"multipart/mixed;boundary=B1", "\r\n--B1\r\nContent-Type: text/plain\r\n\r\n", {{"text/plain", ""}}},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string text = Invite("Content-Type: " + c.type + "\r\nContent-Length: " +
                                      std::to_string(c.body.size()) + "\r\n",
                                  c.body);
        std::string buffer = text + "\r\n--B1\r\nContent-Type: text/evil\r\n\r\nafter the end";
        LSipMessage message;
        size_t position = 0;
        ASSERT_TRUE(message.LoadPacket(buffer.data(), text.size(), position));
        ASSERT_EQ(message.GetContentCount(), c.parts.size()) << c.body;
        for (size_t i = 0; i < c.parts.size(); i++) {
            EXPECT_EQ(message.GetContentAt(i).contentType, c.parts[i].first) << c.body;
            EXPECT_EQ(message.GetContentAt(i).body, c.parts[i].second) << c.body;
        }
    }
}
