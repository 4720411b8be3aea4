#include "settings_fixture.h"
#include "settings_fork.h"

#include <sys/wait.h>
#include <unistd.h>

using ProcessTest = SettingsTest;

namespace
{

int WriteSameSize(int value)
{
    return LSettingsRecord("lines", "seen").SetInt("port", value) ? 0 : 1;
}

} // namespace

TEST_F(ProcessTest, OtherProcessChangeOfSameSizeIsSeenAtOnce)
{
    LSettingsRecord rec("lines", "seen");
    ASSERT_TRUE(rec.SetInt("port", 5060));
    for (int value : {5070, 5080, 5090}) {
        EXPECT_EQ(value - 10, rec.GetInt("port", 0));
        int fd = -1, result = -1, status = 0;
        pid_t pid = ForkReporting(&fd, WriteSameSize, value);
        ASSERT_GT(pid, 0);
        ASSERT_EQ((ssize_t)sizeof result, read(fd, &result, sizeof result));
        close(fd);
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_EQ(0, result);
        EXPECT_EQ(value, rec.GetInt("port", 0));
    }
}
