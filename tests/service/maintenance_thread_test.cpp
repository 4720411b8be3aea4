// The maintenance pass, driven directly: how often log files are cleaned, and the install-on-demand
// request being answered and cleared.
#include "config/pbx_global_settings.h"
#include "logs/log_root.h"
#include "service/maintenance_thread.h"
#include "support/log_catcher.h"

#include <string>
#include <utime.h>

namespace
{
struct MaintenancePass : LogRootTest {
    time_t now = time(nullptr);
    std::string Aged(const std::string &path, int days)
    {
        WriteFile(path, "x");
        utimbuf times{now - days * 86400, now - days * 86400};
        EXPECT_EQ(utime(path.c_str(), &times), 0);
        return path;
    }
};
} // namespace

// Which files go is log_cleanup's (sip_trace_test); here how often.
TEST_F(MaintenancePass, DeletesOldLogFilesAtMostOncePer80000Seconds)
{
    std::string old = Aged(logs + "/old.txt", 31);
    std::string young = Aged(logs + "/young.txt", 29);
    VLMaintenanceThread maintenance;
    maintenance.RunPass(now);
    EXPECT_FALSE(Exists(old));
    EXPECT_TRUE(Exists(young));
    Aged(old, 31);
    maintenance.RunPass(now + 79999);
    EXPECT_TRUE(Exists(old)) << "cleaned again within 80000 s";
    maintenance.RunPass(now + 80000);
    EXPECT_FALSE(Exists(old));
}

TEST_F(MaintenancePass, InstallRequestIsClearedWithItsFailureLine)
{
    vtest::LogCatcher log;
    LPBXSetInstallPending("Tally", true);
    VLMaintenanceThread maintenance;
    maintenance.RunPass(now);
    EXPECT_FALSE(LPBXGetInstallPending("Tally"));
    const std::string failed = "Automatic download of the install-on-demand the component "
                               "\"Tally Call Recorder\" failed.";
    auto reports = [&] {
        int count = 0;
        for (const auto &[level, text] : log.Lines())
            count += level == LLogError && text.rfind(failed, 0) == 0;
        return count;
    };
    EXPECT_EQ(reports(), 1);
    maintenance.RunPass(now + 60);
    EXPECT_EQ(reports(), 1) << "reported again without a new request";
}
