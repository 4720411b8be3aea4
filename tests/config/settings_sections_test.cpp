#include "settings_fixture.h"
#include "settings_fork.h"

#include "config/settingslock.h"
#include "config/settingspath.h"

#include <thread>
#include <vector>

using SectionsTest = SettingsTest;

TEST_F(SectionsTest, FoldersFollowTheProgramFolder)
{
    char out[LPathSize];
    // clang-format off
    struct Case { LFolder which; std::string path; } cases[] = {
        {LFolder::SharedData, root + "/vela/etc"},
        {LFolder::Logs, root + "/vela/etc/Logs"},
        {LFolder::UserData, root + "/home/.orv/vela"},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(c.path, LGetFolder(c.which, out));
    unsetenv("VELA_ROOT");
    EXPECT_STREQ("/opt/orv/vela/etc", LSettingsGetSharedFolder(out));
    unsetenv("HOME");
    EXPECT_STREQ("/opt/.orv/vela", LSettingsGetUserFolder(out));
}

TEST_F(SectionsTest, FilePathCatJoinsAndCuts)
{
    char out[LPathSize];
    struct Case {
        const char *left, *right, *joined;
    } cases[] = {{"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"a\\", "b", "a\\b"}, {"", "b", "b"}};
    for (const Case &c : cases) {
        EXPECT_TRUE(LFilePathCat(out, c.left, c.right));
        EXPECT_STREQ(c.joined, out);
    }
    std::string longName(300, 'x');
    EXPECT_FALSE(LFilePathCat(out, "a", longName.c_str()));
    EXPECT_EQ(259u, strlen(out));
}

TEST(SettingsPath, FolderOfIsCutToTheBuffer)
{
    // clang-format off
    const struct { size_t slashAt; size_t length; } cases[] = {
        {0, 0}, {10, 10}, {LPathSize - 1, LPathSize - 1}, {LPathSize, LPathSize - 1}, {LPathSize + 40, LPathSize - 1},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string path = std::string(c.slashAt, 'p') + "/name";
        char out[LPathSize + 8];
        memset(out, 'C', sizeof out);
        LSettingsFolderOf(out, path.c_str());
        EXPECT_EQ(strlen(out), c.length) << c.slashAt;
        EXPECT_EQ(out[LPathSize], 'C') << c.slashAt; // nothing past the buffer
    }
}

// Paths of sections and sub-records: joined, lower-cased, refused (out
// empty) from 260 bytes on.
TEST(SettingsPath, SectionAndSubRecordPathsJoinAndRefuseAtTheLimit)
{
    const std::string fits(LPathSize - 1 - 4, 'f'); // + "_/ab" is 259 bytes
    // clang-format off
    const struct { int kind; std::string path, key; const char *joined; } cases[] = {
        {0, "etc", "SIP", "etc/sip"}, {0, "etc/", "Sip", "etc/sip"}, {0, "", "X", "x"},
        {1, "a/b", "", "a/b_"}, {2, "a/b", "ContactList", "a/b_/contactlist"},
        {2, fits, "aB", nullptr}, {2, fits + "g", "ab", ""}, {1, fits + "gggg", "", ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        char out[LPathSize];
        bool made = c.kind == 0   ? LSettingSectionFile(out, c.path.c_str(), c.key.c_str())
                    : c.kind == 1 ? LSettingGetSubListPath(out, c.path.c_str())
                                  : LSettingSubListSection(out, c.path.c_str(), c.key.c_str());
        std::string expected = c.joined ? c.joined : fits + "_/ab";
        EXPECT_EQ(made, !expected.empty()) << c.path.size();
        EXPECT_EQ(out, expected) << c.path.size();
    }
}

TEST_F(SectionsTest, SectionIsOneLowerCaseFile)
{
    char out[LPathSize];
    EXPECT_STREQ("5060", LSettingGetString("SIP", "Port", "5060", out));
    EXPECT_FALSE(Exists(shared + "/sip"));
    ASSERT_TRUE(LSettingSetInt("SIP", "Port", 5070));
    ASSERT_TRUE(LSettingSetBool("sip", "UseStun", true));
    ASSERT_TRUE(LSettingSetString("Sip", "Domain", "pbx.example"));
    EXPECT_EQ("port=5070\r\nusestun=1\r\ndomain=pbx.example\r\n", ReadFile(shared + "/sip"));
    EXPECT_EQ(5070, LSettingGetInt("sip", "PORT", 1));
    EXPECT_TRUE(LSettingGetBool("SIP", "usestun", false));
    ASSERT_TRUE(LSettingSetPassword("Settings", "Password", "s3cret"));
    EXPECT_STREQ("s3cret", LSettingGetPassword("settings", "password", "", out));
}

int WriteSameSize(int value)
{
    return LSettingSetInt("SIP", "Port", value) ? 0 : 1;
}

// Another writer's change of the same size within the same second: in place
// (same file) or by another process (which replaces the file).
TEST_F(SectionsTest, ChangeByAnotherWriterIsSeenAtNextGet)
{
    ASSERT_TRUE(LSettingSetInt("SIP", "Port", 5070));
    EXPECT_EQ(5070, LSettingGetInt("SIP", "Port", 0));
    WriteFile(shared + "/sip", "port=5080\r\n");
    // Several keys read with one check see the change as well.
    const LSettingsIntKey keys[] = {{"Port", 0}, {"Absent", 7}};
    int values[2];
    LSettingGetInts("SIP", keys, values, 2);
    EXPECT_EQ(5080, values[0]);
    EXPECT_EQ(7, values[1]);
    EXPECT_EQ(5080, LSettingGetInt("SIP", "Port", 0));
    for (int value : {5090, 5060}) {
        ASSERT_EQ(0, RunForked(WriteSameSize, value));
        EXPECT_EQ(value, LSettingGetInt("SIP", "Port", 0));
    }
}

TEST_F(SectionsTest, DeleteItemOnlyForUsedSections)
{
    WriteFile(shared + "/logs", "autodeletedays=9\r\n");
    EXPECT_FALSE(LSettingDeleteItem("Logs", "AutoDeleteDays"));
    EXPECT_EQ("autodeletedays=9\r\n", ReadFile(shared + "/logs"));
    EXPECT_EQ(9, LSettingGetInt("Logs", "AutoDeleteDays", 30));
    EXPECT_TRUE(LSettingDeleteItem("Logs", "AutoDeleteDays"));
    EXPECT_EQ(30, LSettingGetInt("Logs", "AutoDeleteDays", 30));
    EXPECT_EQ("", ReadFile(shared + "/logs"));
}

TEST_F(SectionsTest, RefusedSectionNamesTouchNoFile)
{
    char out[LPathSize];
    for (const char *bad : {"../escape", "a/b", "..", "x_", ""}) {
        EXPECT_FALSE(LSettingSetString(bad, "k", "v")) << bad;
        EXPECT_STREQ("d", LSettingGetString(bad, "k", "d", out));
    }
    EXPECT_FALSE(Exists(root + "/vela/escape"));
}

TEST_F(SectionsTest, UserSettingsLiveInTheUserFolder)
{
    ASSERT_TRUE(LUserSettingSetInt("Window", "Width", 640));
    EXPECT_EQ("width=640\r\n", ReadFile(root + "/home/.orv/vela/window"));
    EXPECT_EQ(640, LUserSettingGetInt("window", "width", 0));
    EXPECT_EQ(0, LSettingGetInt("window", "width", 0));
}

TEST_F(SectionsTest, ThreadsSharingTheCacheKeepEveryKey)
{
    // The folder lock is polled: a thread writing in a tight loop takes it
    // again at once, and on a loaded machine with slow syncs the others may
    // wait longer than a real writer's budget. Lost keys are the point here.
    LSettingsSetWriteBudget(120000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                char key[32];
                snprintf(key, sizeof key, "t%dk%d", t, i);
                LSettingSetInt("Threads", key, i);
            }
        });
    for (std::thread &t : threads)
        t.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 50; ++i) {
            char key[32];
            snprintf(key, sizeof key, "t%dk%d", t, i);
            EXPECT_EQ(i, LSettingGetInt("Threads", key, -1)) << key;
        }
    LSettingsSetWriteBudget(10000);
}
