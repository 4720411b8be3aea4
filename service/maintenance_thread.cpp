#include "service/maintenance_thread.h"

#include "config/folders.h"
#include "config/pbx_global_settings.h"
#include "logs/log_cleanup.h"
#include "platform/log.h"

#include <sys/stat.h>

namespace
{
constexpr uint32_t kPassMs = 60000;
constexpr time_t kCleanUpEvery = 80000;
// Where users fetch the recorder themselves (the distribution replaces the
// host with its own); the automatic download is off.
constexpr const char *kTallyManualUrl = "http://www.example.com/components/linux/tallysetup";

bool ComponentPresent(const char *componentName)
{
    char folder[LPathSize];
    char path[LPathSize];
    LGetFolder(LFolder::Components, folder);
    struct stat info {
    };
    return LFilePathCat(path, folder, componentName) && stat(path, &info) == 0 &&
           S_ISDIR(info.st_mode);
}
} // namespace

bool VLInstallComponent(const char *displayName, const char *componentName, const char *manualUrl,
                        const char *settingKey)
{
    if (!LPBXGetInstallPending(settingKey))
        return false;
    bool present = ComponentPresent(componentName);
    // Fetching and running an installer as root from a plain HTTP address
    // would hand the machine to whoever answers it, so no download is tried.
    if (!present)
        LOGERRORF("Automatic download of the install-on-demand the component \"%s\" failed. Your "
                  "firewall might have blocked automatic connections. You can download it "
                  "manually from %s.",
                  displayName, manualUrl);
    LPBXSetInstallPending(settingKey, false);
    return present;
}

void VLMaintenanceThread::RunPass(time_t now)
{
    if (!m_cleanedOnce || now - m_lastCleanUp >= kCleanUpEvery) {
        LLogCleanUp();
        m_lastCleanUp = now;
        m_cleanedOnce = true;
    }
    VLInstallComponent("Tally Call Recorder", "tallysetup", kTallyManualUrl, "Tally");
}

void VLMaintenanceThread::ThreadFunction()
{
    for (;;) {
        m_wake.Reset();
        RunPass(time(nullptr));
        if (ProcessWaitSignal(m_wake, kPassMs) == LProcessStopped)
            break;
    }
}
