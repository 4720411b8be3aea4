#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/settingslock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
std::string gPath;

int WriteTwo(int) // another process's writer, with its own cache
{
    return LSettingsFile(gPath.c_str()).SetString("a", "2") ? 0 : 1;
}
} // namespace

class FileTest : public SettingsTest
{
  protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        path = shared + "/file";
        file.ChangeFilePath(path.c_str());
    }

    std::string Get(const char *key, const char *def = "def")
    {
        char out[LPathSize];
        return file.GetString(key, def, out);
    }

    // The folder's writer lock, held as another process holds it: flock
    // locks belong to the open file, so this one excludes our own writer.
    int HoldLock()
    {
        int fd = open((shared + "/" + LSettingsLockFileName).c_str(), O_RDWR);
        EXPECT_EQ(0, flock(fd, LOCK_EX));
        return fd;
    }

    std::string path;
    LSettingsFile file;
};

// Conversions are settings_text_test's; here: what a lookup finds.
TEST_F(FileTest, ReadsDefaultsAndStoredValues)
{
    EXPECT_EQ("def", Get("missing"));
    WriteFile(path, "empty=\r\nnum=12x\r\nUpper=1\r\n");
    EXPECT_EQ(7, file.GetInt("empty", 7));
    EXPECT_EQ(12, file.GetInt("num", 7));
    // Hand-written upper-case keys: not found by lookups, found by the
    // case-blind existence test.
    EXPECT_EQ("def", Get("Upper"));
    EXPECT_TRUE(file.TestFieldExists("UPPER"));
    EXPECT_FALSE(file.TestFieldExists("absent"));
    std::string longDefault(300, 'd');
    EXPECT_EQ(std::string(259, 'd'), Get("k", longDefault.c_str()));
}

TEST_F(FileTest, SetKeepsOrderAndFirstDuplicate)
{
    WriteFile(path, "a=1\r\nb=2\r\na=3\r\n");
    ASSERT_TRUE(file.SetString("A", "9"));
    ASSERT_TRUE(file.SetString("c", "=x"));
    EXPECT_EQ("a=9\r\nb=2\r\na=3\r\nc==x\r\n", ReadFile(path));
    // A value (a password, say) may begin with "=".
    EXPECT_EQ("=x", Get("c"));
    ASSERT_TRUE(file.DeleteField("a"));
    EXPECT_EQ("3", Get("a"));
}

// While the lock is held elsewhere, a write that would change nothing
// succeeds without it and leaves the file alone (an old time stamp: any
// rewrite, however quick, would replace it); a change gives up when its
// budget runs out and keeps file and cache.
TEST_F(FileTest, OnlyAWriteThatChangesNothingSkipsTheBusyLock)
{
    ASSERT_TRUE(file.SetString("a", "1"));
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), old, 0));
    EXPECT_EQ("1", Get("a")); // a read takes in the new time stamp
    struct stat before, after;
    ASSERT_EQ(0, stat(path.c_str(), &before));
    int held = HoldLock();
    LSettingsSetWriteBudget(150);
    EXPECT_TRUE(file.SetString("a", "1"));
    EXPECT_TRUE(file.DeleteField("nothing"));
    EXPECT_FALSE(file.SetString("a", "2"));
    EXPECT_EQ("1", Get("a"));
    ASSERT_EQ(0, stat(path.c_str(), &after));
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(1000000000, after.st_mtim.tv_sec);
    EXPECT_EQ(0, after.st_mtim.tv_nsec);
    close(held);
    // Another process changes the value this object last wrote: writing it
    // again is a change, so it needs the lock and reaches the file.
    gPath = path;
    ASSERT_EQ(0, RunForked(WriteTwo, 0));
    held = HoldLock();
    EXPECT_FALSE(file.SetString("a", "1"));
    close(held);
    LSettingsSetWriteBudget(10000);
    EXPECT_TRUE(file.SetString("a", "1"));
    EXPECT_EQ("a=1\r\n", ReadFile(path));
}

// A long key is cut, a line break in a value cannot add a line, and keys
// that could not be read back are refused.
TEST_F(FileTest, HostileKeysAndValues)
{
    std::string key(300, 'k');
    ASSERT_TRUE(file.SetString(key.c_str(), "v"));
    EXPECT_EQ("v", Get(key.substr(0, 259).c_str()));
    ASSERT_TRUE(file.SetString("name", "x\r\npassword=stolen"));
    EXPECT_EQ("def", Get("password"));
    for (const char *bad : {"", "a=b", "a\rb", "a\nb", " a", "\ta"})
        EXPECT_FALSE(file.SetString(bad, "v")) << bad;
    EXPECT_EQ(std::string(259, 'k') + "=v\r\nname=x  password=stolen\r\n", ReadFile(path));
    EXPECT_FALSE(LSettingsFile().SetString("a", "1"));
}

TEST_F(FileTest, FailedWriteKeepsFileAndCache)
{
    ASSERT_TRUE(file.SetString("a", "1"));
    // The temporary file's name is taken by a folder: the write cannot happen.
    ASSERT_EQ(0, mkdir((path + "..new").c_str(), 0750));
    EXPECT_FALSE(file.SetString("a", "2"));
    EXPECT_EQ("1", Get("a"));
    EXPECT_EQ("a=1\r\n", ReadFile(path));
    rmdir((path + "..new").c_str());
    EXPECT_TRUE(file.SetString("a", "2"));
    EXPECT_EQ("a=2\r\n", ReadFile(path));
}

TEST_F(FileTest, DeletedFileReadsAsDefaults)
{
    ASSERT_TRUE(file.SetString("a", "1"));
    unlink(path.c_str());
    EXPECT_EQ("def", Get("a"));
    ASSERT_TRUE(file.SetString("b", "2"));
    EXPECT_EQ("b=2\r\n", ReadFile(path));
}

TEST_F(FileTest, CopiesAndPathChangesStartWithEmptyCache)
{
    ASSERT_TRUE(file.SetString("a", "1"));
    LSettingsFile copy(file);
    EXPECT_STREQ(path.c_str(), copy.GetPath());
    char out[LPathSize];
    EXPECT_STREQ("1", copy.GetString("a", "", out));
    copy.ChangeFilePath((shared + "/other").c_str());
    EXPECT_STREQ("", copy.GetString("a", "", out));
    copy.Invalidate();
    EXPECT_FALSE(copy.IsValid());
}

TEST_F(FileTest, FilesAndFoldersAreNotWorldReadable)
{
    LSettingsFile deep((shared + "/x_/y_/z").c_str());
    ASSERT_TRUE(deep.SetString("a", "1"));
    struct stat st;
    ASSERT_EQ(0, stat(deep.GetPath(), &st));
    EXPECT_EQ(0640u, st.st_mode & 0777);
    ASSERT_EQ(0, stat((shared + "/x_/y_").c_str(), &st));
    EXPECT_EQ(0750u, st.st_mode & 0777);
}

// A call reads its records once; a change made meanwhile (by the panel, here
// another object) is the next call's.
TEST_F(FileTest, SnapshotReadsOnceAndTheNextCallSeesAChange)
{
    WriteFile(path, "a=1\r\nb=2\r\n");
    LSettingsFile panel(path.c_str());
    LSettingsFile call1(path.c_str());
    call1.KeepSnapshot();
    char out[LPathSize];
    EXPECT_STREQ("1", call1.GetString("a", "", out));
    ASSERT_TRUE(panel.SetString("a", "5"));
    EXPECT_STREQ("1", call1.GetString("a", "", out));
    LSettingsFile handedOn(call1);
    EXPECT_STREQ("1", handedOn.GetString("a", "", out));
    EXPECT_FALSE(handedOn.TestFieldExists("c"));

    LSettingsFile call2(path.c_str());
    call2.KeepSnapshot();
    EXPECT_STREQ("5", call2.GetString("a", "", out));
    // A write through a snapshot reloads under the lock and keeps the
    // panel's change.
    ASSERT_TRUE(call1.SetString("b", "9"));
    EXPECT_EQ("a=5\r\nb=9\r\n", ReadFile(path));
    EXPECT_STREQ("5", call1.GetString("a", "", out));
}

// The first check of a file is its load; a later one compares the stamp.
TEST_F(FileTest, CheckTellsMissingLoadedAndUnreadable)
{
    ASSERT_EQ(0, mkdir((shared + "/folder").c_str(), 0750));
    LSettingsFile folder((shared + "/folder").c_str());
    EXPECT_TRUE(folder.CheckExists());
    EXPECT_FALSE(folder.IsLoaded()); // not a settings file
    EXPECT_FALSE(file.CheckExists());
    WriteFile(path, "a=1\r\n");
    EXPECT_TRUE(file.CheckExists()); // created after a check that found none
    EXPECT_TRUE(file.IsLoaded());
    EXPECT_EQ("1", Get("a"));
    unlink(path.c_str());
    EXPECT_FALSE(file.CheckExists());
    EXPECT_EQ("def", Get("a"));
}
