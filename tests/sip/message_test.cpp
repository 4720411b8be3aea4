// Parsing a received message: the first line, header lookup and folding,
// the body within the datagram and its multipart parts; and writing it back.
#include "sip/sipmessage.h"
#include "sip/sipmultipart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
bool Load(LSipMessage &message, const std::string &text)
{
    size_t position = 0;
    return message.LoadPacket(text.data(), text.size(), position);
}

const char *kOptions = "OPTIONS sip:100@10.0.0.1 SIP/2.0\r\n"
                       "Via: SIP/2.0/UDP 10.0.0.2:5060;branch=z9hG4bK1\r\n"
                       "Call-ID: abc@10.0.0.2\r\n"
                       "CSeq: 1 OPTIONS\r\n"
                       "Content-Length: 0\r\n\r\n";

std::string Invite(const std::string &headers, const std::string &body)
{
    return "INVITE sip:200@10.0.0.9 SIP/2.0\r\nCall-ID: b1\r\n" + headers + "\r\n" + body;
}

const char *kSdp = "v=0\r\no=- 1 1 IN IP4 10.0.0.2\r\ns=-\r\nc=IN IP4 10.0.0.2\r\nt=0 0\r\n"
                   "m=audio 8000 RTP/AVP 0\r\n";
} // namespace

TEST(SipFirstLine, RecognisesRequestsAndResponses)
{
    // clang-format off
    const struct Case { std::string text; bool ok; const char *method; const char *uri; int status; const char *reason; } cases[] = {
        {std::string("\r\n\r\n") + kOptions, true, "OPTIONS", "sip:100@10.0.0.1", 65535, ""},
        {"\r\n\r\n\r\n", false, "", "", 65535, ""}, {"", false, "", "", 65535, ""},
        {"SIP/2.0 180 Ringing\r\n\r\n", true, "", "", 180, "Ringing"},
        {"sip/2.0 200 OK\r\n\r\n", true, "", "", 200, "OK"},
        {"SIP/2.0 486 Busy Here\r\n\r\n", true, "", "", 486, "Busy Here"},
        {"INVITE sip:1@h HTTP/1.1\r\n\r\n", false, "", "", 65535, ""},
        {"INVITE\r\n\r\n", false, "", "", 65535, ""},
        {"INVITE sip:1@h\r\n\r\n", false, "", "", 65535, ""},
        {"BYE sip:1@h sip/3.0\r\n\r\n", true, "BYE", "sip:1@h", 65535, ""},
        // Status codes outside 100..699 are dropped, never taken as requests.
        {"SIP/2.0 99 Low\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 700 High\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 abc Text\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 -200 Neg\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 65735 Wrap\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 99999999999999999999200 Wrap\r\n\r\n", false, "", "", 65535, ""},
        {"SIP/2.0 100 Trying\r\n\r\n", true, "", "", 100, "Trying"},
        {"SIP/2.0 699 Top\r\n\r\n", true, "", "", 699, "Top"},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipMessage message;
        EXPECT_EQ(Load(message, c.text), c.ok) << c.text;
        EXPECT_STREQ(message.GetRequest(), c.method) << c.text;
        EXPECT_STREQ(message.GetRequestURI(), c.uri) << c.text;
        EXPECT_EQ(message.GetResponseStatusCode(), c.status) << c.text;
        EXPECT_STREQ(message.GetResponseReasonPhrase(), c.reason) << c.text;
        EXPECT_EQ(message.IsRequest(), c.ok && c.status == 65535) << c.text;
        EXPECT_EQ(message.IsResponse(), c.ok && c.status != 65535) << c.text;
    }
}

TEST(SipHeaders, LookupKeepsReceivedNamesAndOrder)
{
    LSipMessage message;
    ASSERT_TRUE(Load(message, "SIP/2.0 200 OK\r\nv: SIP/2.0/UDP a\r\nVIA: SIP/2.0/UDP b\r\n"
                              "i: id1\r\nf: <sip:a@b>;tag=1\r\nX-Odd : spaced\r\nNoColonLine\r\n"
                              "l: 0\r\n\r\n"));
    EXPECT_STREQ(message.FindField("Via", "v", ""), "SIP/2.0/UDP a");
    EXPECT_STREQ(message.FindField(LSipFields::CallID, ""), "id1");
    EXPECT_STREQ(message.FindField("call-id", "I", ""), "id1");
    EXPECT_STREQ(message.FindField("Call-ID", "-"), "-"); // full name only
    EXPECT_STREQ(message.FindField("X-Odd", ""), "spaced");
    EXPECT_STREQ(message.FindField("NoColonLine", "missing"), "");
    ASSERT_EQ(message.GetFieldCount(), 7u);
    EXPECT_STREQ(message.GetFieldAt(1).GetFieldName(), "VIA");
    std::string out;
    message.Reconstruct(out);
    EXPECT_NE(out.find("\r\nv: SIP/2.0/UDP a\r\nVIA: SIP/2.0/UDP b\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\nl: 0\r\n"), std::string::npos);
    EXPECT_EQ(out.find("Content-Length"), std::string::npos);
}

TEST(SipHeaders, ContinuationsJoinAndStayWithinCapacity)
{
    // value: as received, may fold
    // clang-format off
    const struct Case { std::string value; std::string expected; } cases[] = {
        {"first\r\n second", "first second"},
        {"first\r\n\tsecond\r\n   third", "first second third"}, {"\r\n folded", "folded"},
        {std::string(250, 'a') + "\r\n tail", std::string(244, 'a') + " tail"},
        {std::string(200, 'a') + "\r\n " + std::string(200, 'b'), std::string(200, 'a') + " " + std::string(58, 'b')},
        {std::string(259, 'a') + "\r\n " + std::string(300, 'b'), std::string(244, 'a') + " " + std::string(14, 'b')},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipMessage message;
        ASSERT_TRUE(Load(message, "MESSAGE sip:a@b SIP/2.0\r\nSubject: " + c.value +
                                      "\r\nCSeq: 1 MESSAGE\r\n\r\n"));
        EXPECT_EQ(std::string(message.FindField("Subject", "")), c.expected);
        EXPECT_STREQ(message.FindField("CSeq", ""), "1 MESSAGE");
    }
}

TEST(SipHeaders, LinesEndAtTheFirstCrOrLfOfAnyKind)
{
    // Lengths around the line scanner's 128-byte window; values over 259 are cut.
    for (const char *end : {"\r\n", "\n", "\r", "\n\r"}) {
        for (size_t length : {0, 1, 119, 127, 128, 129, 255, 300}) {
            std::string value(length, 'a');
            std::string text = std::string("MESSAGE sip:a@b SIP/2.0") + end + "Subject: " + value +
                               end + "CSeq: 1 MESSAGE" + end + end;
            LSipMessage message;
            ASSERT_TRUE(Load(message, text)) << length;
            EXPECT_EQ(std::string(message.FindField("Subject", "-")), value.substr(0, 259))
                << length << " " << (int)end[0];
            EXPECT_STREQ(message.FindField("CSeq", ""), "1 MESSAGE") << length;
        }
    }
}

TEST(SipHeaders, FieldOperations)
{
    LSipMessage message;
    ASSERT_TRUE(Load(message, kOptions));
    message.ModifyField(LSipFields::CallID, "new");
    message.ModifyField(LSipFields::Contact, "<sip:x@y>");
    message.AddFieldTop(LSipFields::Via, "SIP/2.0/UDP top");
    EXPECT_STREQ(message.GetFieldAt(0).GetFieldName(), "Via");
    EXPECT_STREQ(message.FindField(LSipFields::Via, ""), "SIP/2.0/UDP top");
    EXPECT_STREQ(message.FindField(LSipFields::CallID, ""), "new");
    EXPECT_STREQ(message.GetFieldAt(message.GetFieldCount() - 1).GetFieldName(), "Contact");
    EXPECT_TRUE(message.RemoveFieldTop(LSipFields::Via));
    EXPECT_STREQ(message.FindField(LSipFields::Via, ""),
                 "SIP/2.0/UDP 10.0.0.2:5060;branch=z9hG4bK1");
    EXPECT_TRUE(message.RemoveFieldTop(LSipFields::Via));
    EXPECT_FALSE(message.RemoveFieldTop(LSipFields::Via));
    EXPECT_STREQ(message.FindField(LSipFields::Via, "none"), "none");
    std::string value(300, 'v');
    message.ModifyField(LSipFields::CSeq, value.c_str());
    EXPECT_EQ(std::string(message.FindField("CSeq", "")), value.substr(0, 259));
}

// Past the inline table and text block: order, values, values set from the
// message's own fields, and texts handed out before the table grew.
TEST(SipHeaders, ManyAndLongFieldsKeepOrderAndValues)
{
    // clang-format off
    const struct Case { int count; size_t length; } cases[] = {
        {3, 10}, {23, 10}, {24, 10}, {25, 200}, {60, 259}, {60, 400},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string text = "MESSAGE sip:a@b SIP/2.0\r\n";
        for (int i = 0; i < c.count; i++)
            text += "X-" + std::to_string(i) + ": " + std::string(c.length, 'a' + i % 26) + "\r\n";
        LSipMessage message;
        ASSERT_TRUE(Load(message, text + "\r\n"));
        ASSERT_EQ(message.GetFieldCount(), (size_t)c.count);
        auto expected = [&](int i) {
            return std::string(std::min<size_t>(c.length, 259), 'a' + i % 26);
        };
        const char *kept = message.FindField("X-1", "");
        std::string longName(40, 'N'), longValue(300, 'v');
        message.AddFieldTop(LSipFields::Via, message.FindField("X-1", ""));
        message.ModifyField(LSipFields::CallID, message.FindField("X-2", ""));
        message.AddFieldBottom(longName.c_str(), longValue.c_str());
        message.ModifyField(LSipHeaderField{"X-0"},
                            message.FindField(longName.substr(0, 31).c_str(), ""));
        ASSERT_EQ(message.GetFieldCount(), (size_t)c.count + 3) << c.count;
        EXPECT_EQ(message.FindField(LSipFields::Via, ""), expected(1)) << c.count;
        EXPECT_EQ(message.FindField("X-0", ""), longValue.substr(0, 259)) << c.count;
        EXPECT_EQ(message.FindField("Call-ID", ""), expected(2)) << c.count;
        EXPECT_EQ(kept, expected(1)) << c.count;
        for (int i = 1; i < c.count; i++)
            EXPECT_EQ(message.GetFieldAt(i + 1).GetFieldData(), expected(i)) << c.count << " " << i;
        EXPECT_TRUE(message.RemoveFieldTop(LSipFields::Via));
        EXPECT_STREQ(message.GetFieldAt(0).GetFieldName(), "X-0");
    }
}

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
        ASSERT_TRUE(Load(message, c.in));
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
