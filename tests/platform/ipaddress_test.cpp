#include "platform/ipaddress.h"

#include <gtest/gtest.h>

TEST(IPAddress, ClassificationTable)
{
    // clang-format off
    const struct { const char *address; bool isPrivate, special; } cases[] = {
        {"10.0.0.1", true, false},     {"10.255.255.255", true, false}, {"11.0.0.1", false, false},
        {"172.15.255.255", false, false}, {"172.16.0.0", true, false},  {"172.31.255.255", true, false},
        {"172.32.0.0", false, false},  {"192.168.1.1", true, false},    {"192.169.0.1", false, false},
        {"169.254.10.1", true, false}, {"169.253.0.1", false, false},   {"127.0.0.1", true, true},
        {"127.0.255.1", true, true},   {"127.1.0.1", false, true},      {"0.0.0.0", false, true},
        {"0.1.2.3", false, true},      {"8.8.8.8", false, false},       {"255.255.255.255", false, false},
    };
    // clang-format on
    for (const auto &c : cases) {
        uint32_t a = 0;
        ASSERT_TRUE(LIPParseDotted(c.address, a)) << c.address;
        EXPECT_EQ(c.isPrivate, IsIPPrivate(a)) << c.address;
        EXPECT_EQ(c.special, IsIPSpecial(a)) << c.address;
        EXPECT_EQ(c.isPrivate, LIPIsPrivate(c.address)) << c.address;
        EXPECT_EQ(!c.isPrivate, LIPIsPublic(c.address)) << c.address;
        EXPECT_EQ(c.isPrivate, LIPAddressWithPort(a, 1).IsPrivate()) << c.address;
    }
    for (const char *bad : {"", "1.2.3", "1.2.3.256", "a.b.c.d", "1.2.3.4 "}) {
        uint32_t a;
        EXPECT_FALSE(LIPParseDotted(bad, a)) << bad;
        EXPECT_TRUE(LIPIsPublic(bad)) << bad;
    }
}

TEST(IPAddress, TextFormsAndParsing)
{
    // clang-format off
    const struct { const char *text; bool ok; const char *shown; } cases[] = {
        {"192.168.0.10", true, "192.168.0.10:5060"}, {"192.168.0.10:5070", true, "192.168.0.10:5070"},
        {"10.1.2.3:0", true, "10.1.2.3:0"},          {"localhost:99", true, "127.0.0.1:99"},
        {"10.1.2.3:65536", false, ""}, {"10.1.2.3:", false, ""}, {"10.1.2.3:12x", false, ""},
        {":5060", false, ""}, {"", false, ""}, {"no-such-host.invalid", false, ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        LIPAddressWithPort address(0x01020304, 7);
        EXPECT_EQ(c.ok, address.SetFromText(c.text, 5060)) << c.text;
        char shown[32];
        address.ToString(shown);
        EXPECT_STREQ(c.ok ? c.shown : "1.2.3.4:7", shown) << c.text; // unchanged on failure
    }
    LIPAddressWithPort a(0xC0A80001, 5060), b(0xC0A80001, 5062);
    EXPECT_TRUE(a.HasSameHostAs(b));
    EXPECT_FALSE(a.IsSameAs(b));
    b.SetPort(5060);
    EXPECT_TRUE(a.IsSameAs(b));
    EXPECT_EQ(htons(5060), a.GetSockAddrIn().sin_port); // the system's layout
    EXPECT_EQ(AF_INET, a.GetSockAddrIn().sin_family);
    char host[16];
    a.ToHostString(host);
    EXPECT_STREQ("192.168.0.1", host);
    EXPECT_TRUE(a.IsValid());
    EXPECT_FALSE(LIPAddressWithPort().IsValid());
    EXPECT_FALSE(LIPAddressWithPort(0xFFFFFFFF, 1).IsValid());
}

TEST(IPAddress, MultiHomedHoldsAtMostFourAndLocalAddress)
{
    LIPAddressMultiHomed hosts;
    ASSERT_TRUE(hosts.SetFromText("127.0.0.1:5080", 5060));
    EXPECT_EQ(1, hosts.GetCount());
    EXPECT_EQ(5080, hosts.Get(0).GetPort());
    for (uint32_t i = 2; i <= 5; i++)
        hosts.Add(LIPAddressWithPort(0x7F000000 + i, 5060));
    EXPECT_EQ(4, hosts.GetCount());
    EXPECT_TRUE(hosts.HasHost(LIPAddressWithPort(0x7F000004, 1)));
    EXPECT_FALSE(hosts.HasHost(LIPAddressWithPort(0x7F000005, 1)));
    EXPECT_FALSE(hosts.SetFromText("no-such-host.invalid", 5060));
    EXPECT_EQ(0, hosts.GetCount());
    // The local address as text agrees with the number.
    char text[16];
    uint32_t address = 0, parsed = 0;
    bool found = GetLocalHostIP(address);
    EXPECT_EQ(found, LIPGetLocalHostIPPublic(text, sizeof text));
    EXPECT_EQ(found, LIPParseDotted(text, parsed) && parsed == address) << text;
}
