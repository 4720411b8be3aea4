#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/settings_change_cache.h"

#include <sys/wait.h>

using SettingsChangeTest = SettingsTest;

namespace
{
std::string Value(const std::string &path)
{
    char out[LPathSize];
    return LSettingsFile(path.c_str()).GetString("k", "none", out);
}
} // namespace

// Another process edits the file in every way a tool or an administrator
// might; the next access (a new object, as the next call builds) sees it.
TEST_F(SettingsChangeTest, EditsByAnotherProcessAreSeenAtTheNextAccess)
{
    struct Case {
        const char *initial; // null: no file at first
        const char *command; // $F is the file, $D its folder
        const char *expected;
    };
    // clang-format off
    const Case cases[] = {
        {"k=aaaa\r\n", "printf 'k=bbbb\\r\\n' > \"$F\"",                                 "bbbb"},
        {"k=aaaa\r\n", "printf 'k=dddd' | dd of=\"$F\" conv=notrunc status=none",        "dddd"},
        {"k=aaaa\r\n", "printf 'k=new\\r\\n' > \"$F.t\" && mv \"$F.t\" \"$F\"",          "new"},
        {"k=aaaa\r\n", "rm \"$F\"",                                                      "none"},
        {nullptr,      "printf 'k=born\\r\\n' > \"$F\"",                                 "born"},
        {"k=aaaa\r\n", "rm -r \"$D\" && mkdir \"$D\" && printf 'k=again' > \"$F\"",       "again"},
        {"k=aaaa\r\n", "mv \"$D\" \"$D.old\" && mkdir \"$D\" && printf 'k=moved' > \"$F\"", "moved"},
    };
    // clang-format on
    int row = 0;
    for (const Case &c : cases) {
        std::string folder = shared + "/row" + std::to_string(row++);
        std::string file = folder + "/rec";
        ASSERT_TRUE(LCreateFolder(folder.c_str()));
        if (c.initial)
            WriteFile(file, c.initial);
        EXPECT_EQ(Value(file), c.initial ? "aaaa" : "none") << c.command;
        std::string shell = "F='" + file + "' D='" + folder + "'; " + c.command;
        ASSERT_EQ(std::system(shell.c_str()), 0) << shell;
        EXPECT_EQ(Value(file), c.expected) << c.command;
    }
}

TEST_F(SettingsChangeTest, AnUnchangedFileIsNotReadAgain)
{
    LSettingsChangeCache cache;
    std::string file = shared + "/rec";
    WriteFile(file, "k=1\r\n");
    std::shared_ptr<const LSettingsEntries> first, second;
    ASSERT_EQ(cache.Get(file.c_str(), first), LSettingsChangeCache::Result::Loaded);
    ASSERT_EQ(cache.Get(file.c_str(), second), LSettingsChangeCache::Result::Loaded);
    EXPECT_EQ(first.get(), second.get());
    // A folder that does not exist cannot be watched; such files are read
    // the old way until it does.
    std::string later = shared + "/later/rec";
    EXPECT_EQ(cache.Get(later.c_str(), first), LSettingsChangeCache::Result::Untracked);
    ASSERT_TRUE(LCreateFolder((shared + "/later").c_str()));
    EXPECT_EQ(cache.Get(later.c_str(), first), LSettingsChangeCache::Result::Missing);
}

namespace
{
std::string gForkFile;

// Changes the file and reads it back in the child; with the parent's
// inotify queue shared it would take the parent's event with it.
int ChangeAndRead(int)
{
    std::ofstream(gForkFile, std::ios::binary) << "k=child\r\n";
    return Value(gForkFile) == "child" ? 0 : 1;
}
} // namespace

TEST_F(SettingsChangeTest, AForkedChildDoesNotTakeTheParentsEvents)
{
    gForkFile = shared + "/rec";
    WriteFile(gForkFile, "k=parent\r\n");
    ASSERT_EQ(Value(gForkFile), "parent");
    int pipe = -1, result = -1, status = 0;
    pid_t child = ForkReporting(&pipe, ChangeAndRead, 0);
    ASSERT_GT(child, 0);
    ASSERT_EQ((ssize_t)sizeof result, read(pipe, &result, sizeof result));
    close(pipe);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Value(gForkFile), "child");
}
