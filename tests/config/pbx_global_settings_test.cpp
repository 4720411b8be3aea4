// The global section keys: each reads its documented default on an empty tree
// and is written to its own section file under its own key.
#include "config/pbx_global_settings.h"
#include "pbx_fixture.h"

#include <vector>

namespace
{
using PBXGlobals = PBXTest;
namespace S = LPBXSettings;

struct Expected {
    const char *section;
    const char *key;
    const char *def; // as text
};

template <class Setting> void ExpectNamed(const Setting &s, const Expected &e)
{
    EXPECT_STREQ(s.section, e.section);
    EXPECT_STREQ(s.key, e.key);
}
} // namespace

TEST_F(PBXGlobals, IntDefaultsAndStorage)
{
    const std::vector<std::pair<LPBXIntSetting, Expected>> table = {
        {S::SipPort, {"SIP", "Port", "5060"}},
        {S::SipRtpPortBase, {"SIP", "RTPPortBase", "8000"}},
        {S::SipStaticSipPort, {"SIP", "STATICSIPPort", "5060"}},
        {S::SipStaticRtpPortBase, {"SIP", "STATICRTPPortBase", "8000"}},
        {S::SipQuality, {"SIP", "Quality", "50"}},
        {S::DtmfDetectSensitivity, {"Settings", "DTMFDetectSensitivity", "50"}},
        {S::MissedExtension, {"Settings", "MissedExtension", "0"}},
        {S::InstallDate, {"Settings", "InstallDate", "0"}},
        {S::LogsAutoDeleteDays, {"Logs", "AutoDeleteDays", "30"}},
        {S::LogsAutoDeleteDaysShown, {"Logs", "AutoDeleteDays", "25"}},
        {S::WebAccessExtensionsCount, {"WebAccess", "ExtensionsCount", "10"}},
        {S::WebServerPort, {"WebServer", "Port", "0"}},
        {S::WebServerPreviousPort, {"WebServer", "PreviousServerPort", "0"}},
        {S::RegistryMappingCount, {"RegistryMapping", "Count", "0"}},
        {S::ErrorsException, {"Errors", "Exception", "0"}},
    };
    // Defaults first: the two readers of "AutoDeleteDays" share one key.
    for (const auto &[s, e] : table) {
        ExpectNamed(s, e);
        EXPECT_EQ(s.Get(), atoi(e.def)) << e.key;
    }
    int value = 7000;
    for (const auto &[s, e] : table) {
        SCOPED_TRACE(e.key);
        s.Set(++value);
        EXPECT_EQ(s.Get(), value);
        EXPECT_TRUE(FileHasLine(shared + "/" + Lower(e.section), e.key, std::to_string(value)));
    }
}

TEST_F(PBXGlobals, BoolDefaultsAndStorage)
{
    const std::vector<std::pair<LPBXBoolSetting, Expected>> table = {
        {S::SipStatic, {"SIP", "STATIC", "0"}},
        {S::SipStun, {"SIP", "STUN", "1"}},
        {S::SipUpnp, {"SIP", "UPNP", "0"}},
        {S::SipActive, {"SIP", "Active", "0"}},
        {S::SipWizRun, {"SIP", "WizRun", "0"}},
        {S::SipTraceOn, {"Settings", "SipTraceOn", "0"}},
        {S::SipTraceAudioOn, {"Settings", "SipTraceAudioOn", "0"}},
        {S::Installed, {"Settings", "Installed", "0"}},
        {S::InstallWizRun, {"Settings", "InstallWizRun", "0"}},
        {S::EmergencyEnabled, {"Emergency", "Enabled", "0"}},
        {S::DbLogEnabled, {"DBLog", "Enabled", "0"}},
        {S::ServiceEnabled, {"Service", "Enabled", "0"}},
    };
    for (const auto &[s, e] : table) {
        SCOPED_TRACE(e.key);
        ExpectNamed(s, e);
        bool def = e.def[0] == '1';
        EXPECT_EQ(s.Get(), def);
        s.Set(!def);
        EXPECT_EQ(s.Get(), !def);
        EXPECT_TRUE(FileHasLine(shared + "/" + Lower(e.section), e.key, def ? "0" : "1"));
    }
}

TEST_F(PBXGlobals, StringDefaultsAndStorage)
{
    const std::vector<std::pair<LPBXStringSetting, Expected>> table = {
        {S::SipStaticPublicIp, {"SIP", "STATICPublicIP", ""}},
        {S::EmergencyNumber, {"Emergency", "Number", "911"}},
        {S::EmergencyDial, {"Emergency", "Dial", "911"}},
        {S::EmergencyLine, {"Emergency", "Line", ""}},
        {S::RecorderTallyHost, {"Recorder", "TallyHost", "localhost:4080"}},
        {S::RecorderTallyAccessCode, {"Recorder", "TallyAccessCode", ""}},
        {S::DbLogDsn, {"DBLog", "DSN", ""}},
        {S::DbLogUserName, {"DBLog", "UserName", ""}},
        {S::DbLogPassword, {"DBLog", "Password", ""}},
        {S::WebAccessUserName, {"WebAccess", "UserName", "Admin"}},
        {S::WebAccessPassword, {"WebAccess", "Password", ""}},
    };
    char out[LPathSize];
    for (const auto &[s, e] : table) {
        SCOPED_TRACE(e.key);
        ExpectNamed(s, e);
        EXPECT_STREQ(s.Get(out), e.def);
        std::string value = std::string("set-") + e.key;
        s.Set(value.c_str());
        EXPECT_EQ(s.Get(out), value);
        EXPECT_TRUE(FileHasLine(shared + "/" + Lower(e.section), e.key, value));
    }
    // No STUN server is contacted until one is configured.
    EXPECT_STREQ(S::SipStunServer1.Get(out), "");
    EXPECT_STREQ(S::SipStunServer2.Get(out), "");
    EXPECT_NE(std::string(S::DbLogSql.Get(out)).find("INSERT INTO CallTable"), std::string::npos);
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

    LPBXSetCompanionPassword("199", "abcdefgh");
    EXPECT_TRUE(FileHasLine(shared + "/settings", "199Pass", "abcdefgh"));
    EXPECT_STREQ(LPBXGetCompanionPassword("199", out), "abcdefgh");

    EXPECT_FALSE(LPBXGetInstallPending("VoiceMail"));
    LPBXSetInstallPending("VoiceMail", true);
    EXPECT_TRUE(LPBXGetInstallPending("voicemail"));
    EXPECT_TRUE(FileHasLine(shared + "/install", "voicemail", "1"));
}
