// The exchange-wide options kept in the global section files: one descriptor
// per key with its section and default, so that every reader of a key uses the
// same default.
#pragma once

#include "platform/sip_setting_keys.h"

#include <cstddef>

struct LPBXBoolSetting {
    constexpr LPBXBoolSetting(const char *s, const char *k, bool d) : section(s), key(k), def(d) {}
    // A key of the "SIP" section, with the default every reader shares.
    constexpr LPBXBoolSetting(LSipBoolKey k) : section(LSipKeys::kSection), key(k.key), def(k.def)
    {
    }
    const char *section;
    const char *key;
    bool def;
    bool Get() const;
    void Set(bool value) const;
};

struct LPBXIntSetting {
    constexpr LPBXIntSetting(const char *s, const char *k, int d) : section(s), key(k), def(d) {}
    // A key of the "SIP" section, with the default every reader shares.
    constexpr LPBXIntSetting(LSipIntKey k) : section(LSipKeys::kSection), key(k.key), def(k.def) {}
    const char *section;
    const char *key;
    int def;
    int Get() const;
    void Set(int value) const;
};

struct LPBXStringSetting {
    constexpr LPBXStringSetting(const char *s, const char *k, const char *d)
        : section(s), key(k), def(d)
    {
    }
    // A key of the "SIP" section, with the default every reader shares.
    constexpr LPBXStringSetting(LSipStringKey k)
        : section(LSipKeys::kSection), key(k.key), def(k.def)
    {
    }
    const char *section;
    const char *key;
    const char *def;
    // out holds at least 260 bytes; returns out.
    const char *Get(char *out) const;
    void Set(const char *value) const;
};

namespace LPBXSettings
{
inline constexpr LPBXIntSetting SipPort{LSipKeys::Port};
inline constexpr LPBXIntSetting SipRtpPortBase{LSipKeys::RtpPortBase};
inline constexpr LPBXBoolSetting SipStatic{LSipKeys::Static};
inline constexpr LPBXStringSetting SipStaticPublicIp{LSipKeys::StaticPublicIp};
inline constexpr LPBXIntSetting SipStaticSipPort{LSipKeys::StaticSipPort};
inline constexpr LPBXIntSetting SipStaticRtpPortBase{LSipKeys::StaticRtpPortBase};
inline constexpr LPBXBoolSetting SipStun{LSipKeys::Stun};
inline constexpr LPBXStringSetting SipStunServer1{LSipKeys::StunServer1};
inline constexpr LPBXStringSetting SipStunServer2{LSipKeys::StunServer2};
inline constexpr LPBXBoolSetting SipUpnp{LSipKeys::Upnp};
inline constexpr LPBXBoolSetting SipActive{LSipKeys::Active};
inline constexpr LPBXBoolSetting SipWizRun{LSipKeys::WizRun};
inline constexpr LPBXIntSetting SipQuality{LSipKeys::Quality};
inline constexpr LPBXIntSetting SipMaxCalls{LSipKeys::MaxCalls};
inline constexpr LPBXIntSetting SipMaxCallsPerSource{LSipKeys::MaxCallsPerSource};

inline constexpr LPBXBoolSetting SipTraceOn{"Settings", "SipTraceOn", false};
inline constexpr LPBXBoolSetting SipTraceAudioOn{"Settings", "SipTraceAudioOn", false};
inline constexpr LPBXIntSetting DtmfDetectSensitivity{"Settings", "DTMFDetectSensitivity", 50};
inline constexpr LPBXIntSetting MissedExtension{"Settings", "MissedExtension", 0};
inline constexpr LPBXBoolSetting Installed{"Settings", "Installed", false};
inline constexpr LPBXBoolSetting InstallWizRun{"Settings", "InstallWizRun", false};
inline constexpr LPBXIntSetting InstallDate{"Settings", "InstallDate", 0};

inline constexpr LPBXBoolSetting EmergencyEnabled{"Emergency", "Enabled", false};
inline constexpr LPBXStringSetting EmergencyNumber{"Emergency", "Number", "911"};
inline constexpr LPBXStringSetting EmergencyDial{"Emergency", "Dial", "911"};
inline constexpr LPBXStringSetting EmergencyLine{"Emergency", "Line", ""};

inline constexpr LPBXStringSetting RecorderTallyHost{"Recorder", "TallyHost", "localhost:4080"};
inline constexpr LPBXStringSetting RecorderTallyAccessCode{"Recorder", "TallyAccessCode", ""};

inline constexpr LPBXBoolSetting DbLogEnabled{"DBLog", "Enabled", false};
inline constexpr LPBXStringSetting DbLogDsn{"DBLog", "DSN", ""};
inline constexpr LPBXStringSetting DbLogUserName{"DBLog", "UserName", ""};
inline constexpr LPBXStringSetting DbLogPassword{"DBLog", "Password", ""};
inline constexpr LPBXStringSetting DbLogSql{
    "DBLog", "SQL",
    "INSERT INTO CallTable (\"Date\",\"Time\",\"From\",\"To\",\"Duration\") values "
    "('%date%','%time%','%from%','%to%','%duration%')"};

// The clean-up deletes after 30 days when unset; the control panel shows 25
// for an unset value. Both readers keep their own default.
inline constexpr LPBXIntSetting LogsAutoDeleteDays{"Logs", "AutoDeleteDays", 30};
inline constexpr LPBXIntSetting LogsAutoDeleteDaysShown{"Logs", "AutoDeleteDays", 25};

inline constexpr LPBXStringSetting WebAccessUserName{"WebAccess", "UserName", "Admin"};
inline constexpr LPBXStringSetting WebAccessPassword{"WebAccess", "Password", ""};
inline constexpr LPBXIntSetting WebAccessExtensionsCount{"WebAccess", "ExtensionsCount", 10};

inline constexpr LPBXIntSetting WebServerPort{"WebServer", "Port", 0};
inline constexpr LPBXIntSetting WebServerPreviousPort{"WebServer", "PreviousServerPort", 0};

inline constexpr LPBXIntSetting RegistryMappingCount{"RegistryMapping", "Count", 0};

inline constexpr LPBXBoolSetting ServiceEnabled{"Service", "Enabled", false};

inline constexpr LPBXIntSetting ErrorsException{"Errors", "Exception", 0};
} // namespace LPBXSettings

// "Settings" / name + "Pass": the password of an application extension or of
// a line a companion program uses. out holds at least 260 bytes.
const char *LPBXGetCompanionPassword(const char *name, char *out);
void LPBXSetCompanionPassword(const char *name, const char *password);

// "RegistryMapping" / "From%d" and "To%d" (n counts from 1). out holds at
// least 260 bytes.
const char *LPBXGetRegistryMappingFrom(int n, char *out);
const char *LPBXGetRegistryMappingTo(int n, char *out);
void LPBXSetRegistryMapping(int n, const char *from, const char *to);

// "Install" / component: a component waits to be installed.
bool LPBXGetInstallPending(const char *component);
void LPBXSetInstallPending(const char *component, bool pending);
