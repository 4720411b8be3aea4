// Datagrams as an attacker or a broken peer may send them: every one must
// parse or be rejected without reading past the received bytes (ASan checks
// that: each datagram is copied into a buffer of exactly its size).
#include "sip/sipmessage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{
bool LoadExact(LSipMessage &message, const std::string &text, size_t &position)
{
    std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
    memcpy(exact.get(), text.data(), text.size());
    position = 0;
    return message.LoadPacket(exact.get(), text.size(), position);
}

const std::string kInvite = "INVITE sip:200@10.0.0.9 SIP/2.0\r\n"
                            "Via: SIP/2.0/UDP 10.0.0.2:5060;branch=z9hG4bK77\r\n"
                            "From: \"Al\" <sip:100@10.0.0.2>;tag=9\r\n"
                            "To: <sip:200@10.0.0.9>\r\n"
                            "Call-ID: 12345@10.0.0.2\r\n"
                            "CSeq: 1 INVITE\r\n"
                            "Content-Type: application/sdp\r\n"
                            "Content-Length: 20\r\n\r\n"
                            "v=0\r\no=- 1 1 IN IP4 ";
} // namespace

TEST(SipHostile, EveryTruncationParsesSafely)
{
    const size_t versionSeen = kInvite.find("SIP/2.0") + 4;
    const size_t lineLength = kInvite.find("\r\n");
    const size_t bodyStart = kInvite.find("\r\n\r\n") + 4;
    for (size_t cut = 0; cut <= kInvite.size(); cut++) {
        LSipMessage message;
        size_t position;
        bool ok = LoadExact(message, kInvite.substr(0, cut), position);
        EXPECT_LE(position, cut);
        // The request line counts once "SIP/" of the version has arrived.
        EXPECT_EQ(ok, cut >= versionSeen) << cut;
        if (ok) {
            std::string out;
            message.Reconstruct(out);
            EXPECT_EQ(out.compare(0, lineLength, kInvite, 0, lineLength), 0);
        }
        // A body cut short by the datagram's end yields what did arrive.
        if (cut > bodyStart) {
            ASSERT_EQ(message.GetContentCount(), 1u) << cut;
            EXPECT_EQ(message.GetContentAt(0).body, kInvite.substr(bodyStart, cut - bodyStart));
        } else {
            EXPECT_EQ(message.GetContentCount(), 0u) << cut;
        }
    }
}

TEST(SipHostile, OddBytesAndHugeTokens)
{
    // clang-format off
    const struct Case { std::string text; bool ok; } cases[] = {
        {std::string("\0\0\0", 3) + "OPTIONS sip:a@b SIP/2.0\r\n\r\n", true},
        {std::string("OPTIONS\0sip:a@b SIP/2.0\r\n\r\n", 27), false},
        {std::string("OPTIONS sip:a@b SIP/2.0\r\nX\0Y: z\r\nA: b\r\n\r\n", 40), true},
        {"\x80\xff\xfeOPTIONS sip:a@b SIP/2.0\r\n\r\n", true},
        {"OPTIONS sip:\xc3\xa9@b SIP/2.0\r\n\r\n", false},
        {"OPTIONS sip:a@b SIP/2.0\r\nSubject: caf\xc3\xa9\r\n\r\n", true},
        {std::string(5000, 'A') + " sip:a@b SIP/2.0\r\n\r\n", true},
        {"OPTIONS " + std::string(5000, 'u') + " SIP/2.0\r\n\r\n", true},
        {"OPTIONS sip:a@b SIP/2.0" + std::string(5000, 'x') + "\r\n\r\n", true},
        {"OPTIONS sip:a@b SIP/2.0\r\n" + std::string(5000, 'N') + ": v\r\n\r\n", true},
        {"OPTIONS sip:a@b SIP/2.0\r\nN: " + std::string(5000, 'v') + "\r\n\r\n", true},
        {"OPTIONS sip:a@b SIP/2.0\r\nN: v\r\n" + std::string(3000, ' ') + "\r\n\r\n", true},
        {"OPTIONS sip:a@b SIP/2.0\n\rN: v\n\r\n\r", true},
        {"OPTIONS sip:a@b SIP/2.0\rN: v\r\r", true}, {std::string(4095, ' '), false},
        {std::string(4095, '\n'), false}, {std::string(4095, '\0'), false},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipMessage message;
        size_t position;
        EXPECT_EQ(LoadExact(message, c.text, position), c.ok) << c.text.substr(0, 60);
        EXPECT_LE(position, c.text.size());
        EXPECT_LT(strlen(message.GetRequest()), 32u);
        EXPECT_LT(strlen(message.GetRequestURI()), 128u);
        for (size_t i = 0; i < message.GetFieldCount(); i++) {
            EXPECT_LT(strlen(message.GetFieldAt(i).GetFieldName()), 32u);
            EXPECT_LT(strlen(message.GetFieldAt(i).GetFieldData()), 260u);
        }
    }
}

TEST(SipHostile, FullSizeDatagramWithManyHeadersRoundTrips)
{
    std::string text = "NOTIFY sip:a@b SIP/2.0\r\n";
    int count = 0;
    while (text.size() < 4095 - 40)
        text += "X-H" + std::to_string(count++) + ": " + std::string(20, 'v') + "\r\n";
    text += "\r\n";
    text += std::string(4095 - text.size(), 'z');
    ASSERT_EQ(text.size(), 4095u);
    LSipMessage message;
    size_t position;
    ASSERT_TRUE(LoadExact(message, text, position));
    EXPECT_EQ(message.GetFieldCount(), (size_t)count);
    std::string out;
    message.Reconstruct(out);
    LSipMessage again;
    ASSERT_TRUE(LoadExact(again, out, position));
    ASSERT_EQ(again.GetFieldCount(), (size_t)count + 1); // + Content-Length: 0
    for (int i = 0; i < count; i++) {
        EXPECT_STREQ(again.GetFieldAt(i).GetFieldName(), message.GetFieldAt(i).GetFieldName());
        EXPECT_STREQ(again.GetFieldAt(i).GetFieldData(), message.GetFieldAt(i).GetFieldData());
    }
}

TEST(SipHostile, SecondMessageInTheSameBufferStartsAtPosition)
{
    std::string two = "OPTIONS sip:a@b SIP/2.0\r\nl: 3\r\nc: text/plain\r\n\r\nabc"
                      "BYE sip:c@d SIP/2.0\r\n\r\n";
    LSipMessage first, second;
    size_t position = 0;
    ASSERT_TRUE(first.LoadPacket(two.data(), two.size(), position));
    EXPECT_EQ(std::string(first.GetContent("text/plain")), "abc");
    ASSERT_TRUE(second.LoadPacket(two.data(), two.size(), position));
    EXPECT_STREQ(second.GetRequest(), "BYE");
    EXPECT_EQ(position, two.size());
    EXPECT_FALSE(second.LoadPacket(two.data(), two.size(), position));
}
