// The exchange-wide options kept in the global section files: one descriptor
// per key with its section and default, so that every reader of a key uses the
// same default.
#pragma once

#include "platform/sip_setting_keys.h"

#include <cstddef>

struct LPBXBoolSetting {
    const char *section;
    const char *key;
    bool def;
    bool Get() const;
    void Set(bool value) const;
};

struct LPBXIntSetting {
    const char *section;
    const char *key;
    int def;
    int Get() const;
    void Set(int value) const;
};

struct LPBXStringSetting {
    const char *section;
    const char *key;
    const char *def;
    // out holds at least 260 bytes; returns out.
    const char *Get(char *out) const;
    void Set(const char *value) const;
};

namespace LPBXSettings
{
inline constexpr LPBXIntSetting SipPort{LSipKeys::kSection, LSipKeys::Port.key, LSipKeys::Port.def};
inline constexpr LPBXIntSetting SipRtpPortBase{LSipKeys::kSection, LSipKeys::RtpPortBase.key,
                                               LSipKeys::RtpPortBase.def};
inline constexpr LPBXBoolSetting SipStatic{LSipKeys::kSection, LSipKeys::Static.key,
                                           LSipKeys::Static.def};
inline constexpr LPBXStringSetting SipStaticPublicIp{
    LSipKeys::kSection, LSipKeys::StaticPublicIp.key, LSipKeys::StaticPublicIp.def};
inline constexpr LPBXIntSetting SipStaticSipPort{LSipKeys::kSection, LSipKeys::StaticSipPort.key,
                                                 LSipKeys::StaticSipPort.def};
inline constexpr LPBXIntSetting SipStaticRtpPortBase{
    LSipKeys::kSection, LSipKeys::StaticRtpPortBase.key, LSipKeys::StaticRtpPortBase.def};
inline constexpr LPBXBoolSetting SipStun{LSipKeys::kSection, LSipKeys::Stun.key,
                                         LSipKeys::Stun.def};
inline constexpr LPBXStringSetting SipStunServer1{LSipKeys::kSection, LSipKeys::StunServer1.key,
                                                  LSipKeys::StunServer1.def};
inline constexpr LPBXStringSetting SipStunServer2{LSipKeys::kSection, LSipKeys::StunServer2.key,
                                                  LSipKeys::StunServer2.def};
inline constexpr LPBXBoolSetting SipUpnp{LSipKeys::kSection, LSipKeys::Upnp.key,
                                         LSipKeys::Upnp.def};
inline constexpr LPBXBoolSetting SipActive{LSipKeys::kSection, LSipKeys::Active.key,
                                           LSipKeys::Active.def};
inline constexpr LPBXBoolSetting SipWizRun{LSipKeys::kSection, LSipKeys::WizRun.key,
                                           LSipKeys::WizRun.def};
inline constexpr LPBXIntSetting SipQuality{LSipKeys::kSection, LSipKeys::Quality.key,
                                           LSipKeys::Quality.def};
inline constexpr LPBXIntSetting SipMaxCalls{LSipKeys::kSection, LSipKeys::MaxCalls.key,
                                            LSipKeys::MaxCalls.def};
inline constexpr LPBXIntSetting SipMaxCallsPerSource{
    LSipKeys::kSection, LSipKeys::MaxCallsPerSource.key, LSipKeys::MaxCallsPerSource.def};

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
