// The NAT contact map: which entries apply to which sender, expiry, and the
// "RegistryMapping" section it survives restarts in.
#include "registrar_fixture.h"

#include "config/pbx_global_settings.h"

namespace
{
LIPAddressWithPort Addr(const char *text)
{
    LIPAddressWithPort a;
    a.SetFromText(text, 5060);
    return a;
}

class RegistryMap : public RegistrarTest
{
  protected:
    LPBXContactMapping map;
};
} // namespace

TEST_F(RegistryMap, AppliedOnlyForItsOwnSenderWhileFresh)
{
    // Two sites whose phones share a private address; the first site's
    // router then moves the phone to another port, replacing its own entry.
    map.Set(Addr("192.168.1.20:5060"), Addr("203.0.113.5:40000"), kNow - 5);
    map.Set(Addr("192.168.1.20:5060"), Addr("198.51.100.7:5060"), kNow - 5);
    map.Set(Addr("192.168.1.20:5060"), Addr("203.0.113.5:40002"), kNow);
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 2);

    // clang-format off
    struct Case { const char *uri, *source; int64_t now; bool applied; const char *result; } cases[] = {
        {"sip:101@192.168.1.20;transport=udp", "198.51.100.7:5060", kNow + 10, true, "sip:101@198.51.100.7;transport=udp"},
        // The other site keeps its own mapping.
        {"sip:101@192.168.1.20", "203.0.113.5:40002", kNow + 10, true, "sip:101@203.0.113.5:40002"},
        // The port its router no longer uses.
        {"sip:101@192.168.1.20", "203.0.113.5:40000", kNow + 10, false, "sip:101@192.168.1.20"},
        {"sip:101@192.168.1.21", "198.51.100.7:5060", kNow + 10, false, "sip:101@192.168.1.21"},
        {"sip:101@phone.lan", "198.51.100.7:5060", kNow + 10, false, "sip:101@phone.lan"},
        {"sip:101@192.168.1.20", "198.51.100.7:5060", kNow + 4001, false, "sip:101@192.168.1.20"},
    };
    // clang-format on
    for (const Case &c : cases) {
        char uri[260];
        snprintf(uri, sizeof(uri), "%s", c.uri);
        EXPECT_EQ(map.Apply(uri, sizeof(uri), Addr(c.source), c.now), c.applied) << c.uri;
        EXPECT_STREQ(uri, c.result) << c.uri;
    }
}

TEST_F(RegistryMap, PersistedAndReadBack)
{
    map.Set(Addr("192.168.1.20:5060"), Addr("203.0.113.5:40000"), kNow);
    map.Set(Addr("10.0.0.9:5070"), Addr("203.0.113.6:1024"), kNow + 5);
    char out[260];
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 2);
    EXPECT_STREQ(LPBXGetRegistryMappingFrom(1, out), "10.0.0.9:5070"); // newest first
    EXPECT_STREQ(LPBXGetRegistryMappingTo(2, out), "203.0.113.5:40000");

    // A restart reads them back; a missing port means 5060; loaded entries
    // live 3800 s from the load.
    LPBXSetRegistryMapping(3, "172.16.0.4", "198.51.100.9");
    LPBXSettings::RegistryMappingCount.Set(3);
    map.Reset();
    char uri[260] = "sip:x@172.16.0.4";
    EXPECT_TRUE(map.Apply(uri, sizeof(uri), Addr("198.51.100.9:5060"), kNow));
    EXPECT_STREQ(uri, "sip:x@198.51.100.9");
    // A phone reached directly at that address adds nothing and leaves the
    // entry of the phone behind the router alone (another site).
    map.Set(Addr("172.16.0.4:5060"), Addr("172.16.0.4:5060"), kNow);
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 3);
    char again[260] = "sip:x@172.16.0.4";
    EXPECT_TRUE(map.Apply(again, sizeof(again), Addr("198.51.100.9:5060"), kNow));
    // The same router's later REGISTER from a new port replaces its entry.
    map.Set(Addr("172.16.0.4:5060"), Addr("198.51.100.9:6000"), kNow);
    EXPECT_EQ(LPBXSettings::RegistryMappingCount.Get(), 3);
    EXPECT_STREQ(LPBXGetRegistryMappingTo(1, out), "198.51.100.9:6000");
    char late[260] = "sip:x@10.0.0.9:5070";
    EXPECT_FALSE(map.Apply(late, sizeof(late), Addr("203.0.113.6:1024"), kNow + 3801));
}
