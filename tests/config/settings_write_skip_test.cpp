// A write that would change nothing skips the writer lock; a numbered record
// is filled through the descriptor that created it.
#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/settingslock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
std::string gPath;

int WriteTwo(int) // another process's writer, with its own cache
{
    return LSettingsFile(gPath.c_str()).SetString("a", "2") ? 0 : 1;
}
} // namespace

// While the folder's writer lock is held elsewhere, a write that needs it
// fails.
TEST_F(SettingsTest, OnlyAWriteThatChangesNothingSkipsTheLock)
{
    gPath = shared + "/file";
    std::string lockPath = shared + "/" + LSettingsLockFileName;
    LSettingsFile file(gPath.c_str());
    ASSERT_TRUE(file.SetString("a", "1"));
    LSettingsSetWriteBudget(100);
    int held = open(lockPath.c_str(), O_RDWR);
    ASSERT_EQ(0, flock(held, LOCK_EX));
    EXPECT_TRUE(file.SetString("a", "1"));
    EXPECT_TRUE(file.DeleteField("absent"));
    EXPECT_FALSE(file.SetString("b", "1"));
    close(held);
    // Another process changes the value this object last wrote: writing it
    // again is a change, so it needs the lock and reaches the file.
    int fd = -1, result = -1, status = 0;
    pid_t pid = ForkReporting(&fd, WriteTwo, 0);
    ASSERT_EQ((ssize_t)sizeof result, read(fd, &result, sizeof result));
    close(fd);
    waitpid(pid, &status, 0);
    ASSERT_EQ(0, result);
    held = open(lockPath.c_str(), O_RDWR);
    ASSERT_EQ(0, flock(held, LOCK_EX));
    EXPECT_FALSE(file.SetString("a", "1"));
    close(held);
    LSettingsSetWriteBudget(10000);
    EXPECT_TRUE(file.SetString("a", "1"));
    EXPECT_EQ("a=1\r\n", ReadFile(gPath));
}

// A number whose sub-record folder remains is passed over.
TEST_F(SettingsTest, NumberedRecordIsWrittenThroughItsDescriptor)
{
    LSettingsRecord list("lines", "ext");
    for (const char *expected : {"1", "3"}) {
        LSettingsRecord rec;
        int fd = -1;
        ASSERT_TRUE(LSettingsCreateNumbered(list, rec, &fd));
        ASSERT_EQ(4, write(fd, "x=1\n", 4));
        close(fd);
        char key[LPathSize];
        EXPECT_STREQ(expected, rec.GetPrimaryKey(key));
        EXPECT_STREQ("1", rec.GetString("x", "", key));
        ASSERT_TRUE(LCreateFolder((shared + "/lines_/ext_/2_").c_str()));
    }
}
