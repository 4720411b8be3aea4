// STUN binding responses as they come off the wire: whole, cut short, padded,
// of another family or another transaction, and with attribute lengths that
// lie about the packet.
#include "sip/stun.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{
constexpr uint32_t kWord = 0xA1B2C3D4;

std::vector<uint8_t> Attribute(uint16_t type, std::vector<uint8_t> value, int claimed = -1)
{
    uint16_t length = claimed < 0 ? (uint16_t)value.size() : (uint16_t)claimed;
    std::vector<uint8_t> out{(uint8_t)(type >> 8), (uint8_t)type, (uint8_t)(length >> 8),
                             (uint8_t)length};
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

std::vector<uint8_t> Mapped(uint8_t family)
{
    // 198.51.100.9 port 40002
    return Attribute(0x0001, {0, family, 0x9C, 0x42, 198, 51, 100, 9});
}

std::vector<uint8_t> Response(uint32_t word, std::vector<std::vector<uint8_t>> attributes,
                              int claimedLength = -1, uint16_t type = 0x0101)
{
    std::vector<uint8_t> body;
    for (auto &a : attributes)
        body.insert(body.end(), a.begin(), a.end());
    // The header starts as an attribute does: type and length, then 16 bytes
    // of cookie and transaction, whose first word is word.
    std::vector<uint8_t> out = Attribute(type, std::vector<uint8_t>(16),
                                         claimedLength < 0 ? (int)body.size() : claimedLength);
    for (int i = 0; i < 4; i++)
        out[8 + i] = (uint8_t)(word >> (8 * i));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

struct Case {
    const char *name;
    std::vector<uint8_t> packet;
    size_t cut; // bytes dropped from the end (a datagram cut short)
    bool match;
};
} // namespace

TEST(StunCheckMappedAddress, AcceptsOnlyTheAwaitedIPv4Answer)
{
    auto good = Mapped(0x01);
    auto other = Attribute(0x8022, {'s', 'r', 'v', 0});
    // clang-format off
    std::vector<Case> cases = {
        {"plain answer",                Response(kWord, {good}),                       0,  true},
        {"after another attribute",     Response(kWord, {other, good}),                0,  true},
        {"IPv6 family skipped",         Response(kWord, {Mapped(0x02)}),               0,  false},
        {"IPv6 then IPv4",              Response(kWord, {Mapped(0x02), good}),         0,  true},
        {"other transaction",           Response(kWord + 1, {good}),                   0,  false},
        {"binding request, not answer", Response(kWord, {good}, -1, 0x0001),           0,  false},
        {"error response",              Response(kWord, {good}, -1, 0x0111),           0,  false},
        {"header only",                 Response(kWord, {}),                           0,  false},
        {"shorter than a header",       Response(kWord, {}),                           1,  false},
        {"address cut short",           Response(kWord, {good}),                       3,  false},
        {"length claims 4 bytes",       Response(kWord, {Attribute(1, {0, 1, 0, 9})}), 0,  false},
        {"message length too long",     Response(kWord, {good}, 4000),                 0,  true},
        {"message length hides it",     Response(kWord, {good}, 4),                    0,  false},
        {"attribute length past end",   Response(kWord, {Attribute(0x8022, {1, 2}, 60000), good}), 0, false},
        {"oversized trailing junk",     Response(kWord, {good, std::vector<uint8_t>(1500, 0xEE)}), 0, true},
    };
    // clang-format on
    for (const auto &c : cases) {
        LIPAddressWithPort address;
        bool match =
            LStunCheckMappedAddress(c.packet.data(), c.packet.size() - c.cut, kWord, address);
        EXPECT_EQ(match, c.match) << c.name;
        if (match && c.match) {
            char text[32];
            address.ToHostString(text);
            EXPECT_STREQ(text, "198.51.100.9") << c.name;
            EXPECT_EQ(address.GetPort(), 40002) << c.name;
        }
    }
}

TEST(StunState, CounterStartsAtRandom)
{
    LStunState a, b;
    // Two fresh states share a start only by a 1 in 2^32 chance.
    EXPECT_NE(a.counter.load(), b.counter.load());
    uint32_t first = a.NextTransaction();
    EXPECT_EQ(a.NextTransaction(), first + 1);
}
