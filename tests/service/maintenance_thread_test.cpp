// The maintenance pass, driven directly: which log folder entries go, how
// often, and the install-on-demand request being answered and cleared.
#include "config/pbx_global_settings.h"
#include "logs/log_root.h"
#include "service/maintenance_thread.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace
{
std::vector<std::string> gErrors;
void CaptureErrors(int level, const char *text)
{
    if (level == LLogError)
        gErrors.push_back(text);
}

struct MaintenancePass : LogRootTest {
    time_t now = time(nullptr);
    void SetUp() override
    {
        LogRootTest::SetUp();
        gErrors.clear();
        LLog::SetSink(CaptureErrors);
    }
    void TearDown() override
    {
        LLog::SetSink(nullptr);
        LogRootTest::TearDown();
    }
    std::string Aged(const std::string &path, int days)
    {
        WriteFile(path, "x");
        utimbuf times{now - days * 86400, now - days * 86400};
        EXPECT_EQ(utime(path.c_str(), &times), 0);
        return path;
    }
};
} // namespace

TEST_F(MaintenancePass, DeletesOldLogFilesOnlyAndAtMostOncePer80000Seconds)
{
    std::string old = Aged(logs + "/old.txt", 31);
    std::string young = Aged(logs + "/young.txt", 29);
    std::string outside = Aged(root + "/outside.txt", 40);
    ASSERT_EQ(symlink(outside.c_str(), (logs + "/link.txt").c_str()), 0);
    ASSERT_EQ(mkdir((logs + "/folder").c_str(), 0700), 0);
    std::string nested = Aged(logs + "/folder/nested.txt", 40);

    VLMaintenanceThread maintenance;
    maintenance.RunPass(now);
    EXPECT_FALSE(Exists(old));
    EXPECT_TRUE(Exists(young));
    EXPECT_TRUE(Exists(outside)) << "a link was followed";
    struct stat info {
    };
    EXPECT_EQ(lstat((logs + "/link.txt").c_str(), &info), 0);
    EXPECT_TRUE(Exists(nested)) << "the clean-up went into a subfolder";

    Aged(old, 31);
    maintenance.RunPass(now + 79999);
    EXPECT_TRUE(Exists(old)) << "cleaned again within 80000 s";
    maintenance.RunPass(now + 80000);
    EXPECT_FALSE(Exists(old));
}

TEST_F(MaintenancePass, InstallRequestIsClearedWithItsFailureLine)
{
    LPBXSetInstallPending("Tally", true);
    VLMaintenanceThread maintenance;
    maintenance.RunPass(now);
    EXPECT_FALSE(LPBXGetInstallPending("Tally"));
    ASSERT_EQ(gErrors.size(), 1u);
    EXPECT_EQ(gErrors[0].rfind("Automatic download of the install-on-demand the component \"Tally "
                               "Call Recorder\" failed.",
                               0),
              0u);
    maintenance.RunPass(now + 60);
    EXPECT_EQ(gErrors.size(), 1u) << "reported again without a new request";
}
