// The global settings descriptors: each kind reads its own default until set
// and then the value stored in its section file under its key.
#include "config/pbx_global_settings.h"
#include "pbx_fixture.h"

namespace
{
using PBXGlobals = PBXTest;
namespace S = LPBXSettings;
} // namespace

TEST_F(PBXGlobals, DescriptorsReadTheirDefaultUntilSetThenTheirOwnKey)
{
    char out[LPathSize];
    EXPECT_EQ(S::SipPort.Get(), S::SipPort.def);
    S::SipPort.Set(5070);
    EXPECT_EQ(S::SipPort.Get(), 5070);
    EXPECT_TRUE(FileHasLine(shared + "/sip", "port", "5070"));
    EXPECT_EQ(S::SipRtpPortBase.Get(), S::SipRtpPortBase.def); // a neighbour is untouched
    S::SipStun.Set(!S::SipStun.def);
    EXPECT_EQ(S::SipStun.Get(), !S::SipStun.def);
    EXPECT_STREQ(S::EmergencyNumber.Get(out), S::EmergencyNumber.def);
    S::EmergencyNumber.Set("112");
    EXPECT_STREQ(S::EmergencyNumber.Get(out), "112");
    EXPECT_STREQ(S::EmergencyDial.Get(out), S::EmergencyDial.def);
    // Two readers of one key keep their own defaults but share a stored value.
    EXPECT_NE(S::LogsAutoDeleteDays.Get(), S::LogsAutoDeleteDaysShown.Get());
    S::LogsAutoDeleteDaysShown.Set(12);
    EXPECT_EQ(S::LogsAutoDeleteDays.Get(), 12);
}

TEST_F(PBXGlobals, NumberedAndNamedKeys)
{
    char out[LPathSize];
    LPBXSetRegistryMapping(2, "192.168.1.20:5060", "203.0.113.9:40000");
    EXPECT_STREQ(LPBXGetRegistryMappingFrom(2, out), "192.168.1.20:5060");
    EXPECT_STREQ(LPBXGetRegistryMappingTo(2, out), "203.0.113.9:40000");
    EXPECT_STREQ(LPBXGetRegistryMappingFrom(1, out), "");
    EXPECT_TRUE(FileHasLine(shared + "/registrymapping", "From2", "192.168.1.20:5060"));
    EXPECT_TRUE(FileHasLine(shared + "/registrymapping", "To2", "203.0.113.9:40000"));

    EXPECT_FALSE(LPBXGetInstallPending("VoiceMail"));
    LPBXSetInstallPending("VoiceMail", true);
    EXPECT_TRUE(LPBXGetInstallPending("voicemail"));
    EXPECT_TRUE(FileHasLine(shared + "/install", "voicemail", "1"));
}
