#include "logs/file_append.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace
{
// Records the back-off and, after a chosen number of sleeps, lets the rival
// holder go, as another process finishing its append would.
std::vector<int> gSleeps;
int gReleaseAfter = -1;
int gRivalFd = -1;

void RecordSleep(int ms)
{
    gSleeps.push_back(ms);
    if (static_cast<int>(gSleeps.size()) == gReleaseAfter)
        flock(gRivalFd, LOCK_UN);
}

struct FileLock : ::testing::Test {
    vtest::TempDir dir{"vela-lock"};
    std::string path = dir.Path() + "/file";
    void SetUp() override
    {
        gSleeps.clear();
        gReleaseAfter = -1;
        // A second open file description conflicts with ours under flock even
        // within one process, so it stands in for another writer.
        gRivalFd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_GE(gRivalFd, 0);
    }
    void TearDown() override { close(gRivalFd); }
};
} // namespace

TEST_F(FileLock, BackOffDoublesUntilTheBudgetWouldBeReached)
{
    struct Case {
        int releaseAfter; // -1: the rival never lets go; 0: never held
        bool locked;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {0, true, {}},
        {1, true, {16}},
        {3, true, {16, 32, 64}},
        {5, true, {16, 32, 64, 128, 256}},
        {-1, false, {16, 32, 64, 128, 256}},
    };
    for (const Case &c : cases) {
        gSleeps.clear();
        gReleaseAfter = c.releaseAfter;
        if (c.releaseAfter != 0) {
            ASSERT_EQ(flock(gRivalFd, LOCK_EX), 0);
        }
        int fd = open(path.c_str(), O_RDWR);
        EXPECT_EQ(LLockFileExclusive(fd, RecordSleep), c.locked) << c.releaseAfter;
        EXPECT_EQ(gSleeps, c.sleeps) << c.releaseAfter;
        close(fd);
        flock(gRivalFd, LOCK_UN);
    }
}

TEST_F(FileLock, AppendWritesEvenWhenTheLockStaysBusyButNotIntoAMissingFolder)
{
    ASSERT_TRUE(LAppendToFile(path.c_str(), "one\r\n", 5, RecordSleep));
    ASSERT_EQ(flock(gRivalFd, LOCK_EX), 0);
    ASSERT_TRUE(LAppendToFile(path.c_str(), "two\r\n", 5, RecordSleep));
    EXPECT_EQ(gSleeps.size(), 5u);
    EXPECT_EQ(vtest::ReadFile(path), "one\r\ntwo\r\n");
    gSleeps.clear();
    EXPECT_FALSE(LAppendToFile("/nonexistent-vela/x.txt", "x", 1, RecordSleep));
    EXPECT_TRUE(gSleeps.empty()) << "a missing folder fails at once";
}
