// The engine learns its public address from the STUN server named in its
// settings once its socket is bound, asking from the SIP socket itself.
#include "fake_stun_server.h"
#include "platform/clock.h"
#include "sip/sip_engine.h"
#include "sip/sip_graveyard.h"
#include "support/process.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
std::string gStunServer;
int gPort;

const char *SettingString(const char *, const char *key, const char *def, char *out)
{
    snprintf(out, 260, "%s", strcmp(key, "STUNServer1") == 0 ? gStunServer.c_str() : def);
    return out;
}
int SettingInt(const char *, const char *key, int def)
{
    return strcmp(key, "Port") == 0 ? gPort : def;
}
} // namespace

TEST(SipEngineNat, PublicAddressComesFromStunAfterBinding)
{
    vtest::FakeStunServer server({"198.51.100.4", 31000});
    gStunServer = server.Name();
    gPort = vtest::FreeUdpPort(); // the engine moves on if it is taken meanwhile
    LSystemClock clock;
    LSipGraveyard graveyard(clock);
    LSipEngine engine(graveyard, clock);
    LSipEngineSettings settings;
    settings.getString = SettingString;
    settings.getInt = SettingInt;
    engine.SetSettings(settings);
    engine.Start();
    ASSERT_TRUE(engine.GetReadySignal().WaitSignal(5000));
    char ip[64] = "";
    EXPECT_TRUE(vtest::WaitUntil([&] {
        engine.GetPublicIP(ip, sizeof ip);
        return strcmp(ip, "198.51.100.4") == 0;
    })) << ip;
    EXPECT_EQ(engine.GetPublicSipPort(), 31000);
    EXPECT_GE(server.Requests(), 1);
    engine.Stop();
}
