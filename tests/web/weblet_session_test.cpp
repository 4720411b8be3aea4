#include "web/weblet_session.h"
#include "web_fixture.h"

#include <regex>
#include <sys/stat.h>
#include <utime.h>

namespace
{
void Touch(const std::string &path, long age_seconds)
{
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("user=x", f);
    fclose(f);
    utimbuf times;
    times.actime = times.modtime = time(nullptr) - age_seconds;
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}
} // namespace

using WebletSession = WebRootTest;

TEST_F(WebletSession, IdentifiersAreRandomPrefixedAndCounted)
{
    std::regex ordinary("s[a-z]{22}[0-9]+"), remembered("l[a-z]{22}[0-9]+");
    std::string a = WebletMakeSessionID(false), b = WebletMakeSessionID(false);
    EXPECT_TRUE(std::regex_match(a, ordinary)) << a;
    EXPECT_TRUE(std::regex_match(WebletMakeSessionID(true), remembered));
    EXPECT_NE(a.substr(1, 22), b.substr(1, 22));
    EXPECT_EQ(atoi(b.c_str() + 23), atoi(a.c_str() + 23) + 1);
}

TEST_F(WebletSession, CreatedPrivateStoredAndLoaded)
{
    std::string id;
    {
        LWebletSessionData session(sessions);
        ASSERT_TRUE(session.CreateNewSession(false));
        session.SetParm("user", "Admin & co");
        session.SetInt("n", 5);
        id = session.GetID();
        EXPECT_TRUE(session.IsOpen());
    } // destruction flushes
    struct stat st;
    ASSERT_EQ(stat(sessions.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string file = sessions + "/" + id + ".sess";
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    LWebletSessionData loaded(sessions);
    loaded.LoadSession(id.c_str());
    ASSERT_TRUE(loaded.IsOpen());
    EXPECT_STREQ(loaded.GetParm("user"), "Admin & co");
    EXPECT_EQ(loaded.GetInt("n", 0), 5);

    loaded.DeleteSession();
    EXPECT_FALSE(loaded.IsOpen());
    EXPECT_FALSE(Exists(file));
}

TEST_F(WebletSession, UnknownOrHostileIdentifiersOpenNothing)
{
    ASSERT_TRUE(LCreateFolder(sessions.c_str()));
    Touch(shared + "/x.sess", 0);
    for (const char *id : {"", "snothere1", "../x", "..\\x", "/etc/passwd"}) {
        LWebletSessionData session(sessions);
        session.LoadSession(id);
        EXPECT_FALSE(session.IsOpen()) << id;
        EXPECT_TRUE(session.IsEmpty()) << id;
    }
}

TEST_F(WebletSession, HousekeepingKeepsRememberedSessionsLonger)
{
    ASSERT_TRUE(LCreateFolder(sessions.c_str()));
    const long day = 86400;
    // clang-format off
    struct Case { const char *name; long age; bool kept; } cases[] = {
        {"sfresh1.sess", 6 * day, true},  {"sold2.sess", 8 * day, false},
        {"lmonth3.sess", 30 * day, true}, {"lyear4.sess", 200 * day, false},
        {"sold5.other", 400 * day, true}, // not a session file
    };
    // clang-format on
    for (const Case &c : cases)
        Touch(sessions + "/" + c.name, c.age);
    LWebletSessionData session(sessions);
    session.LoadSession("");
    for (const Case &c : cases)
        EXPECT_EQ(Exists(sessions + "/" + c.name), c.kept) << c.name;
}

TEST_F(WebletSession, OrdinarySessionsEndAfterTheIdleTime)
{
    // clang-format off
    struct Case { const char *id; long idle_limit; long age; bool open; } cases[] = {
        {"sabc1", 1800, 1700, true},
        {"sabc2", 1800, 1900, false},
        {"sabc3", 0, 86400, true},
        {"labc4", 1800, 86400, true},
    };
    // clang-format on
    for (const Case &c : cases) {
        ASSERT_TRUE(LCreateFolder(sessions.c_str()));
        Touch(sessions + "/" + c.id + ".sess", c.age);
        LWebletSessionData session(sessions);
        session.SetIdleLimit(c.idle_limit);
        session.LoadSession(c.id);
        EXPECT_EQ(session.IsOpen(), c.open) << c.id;
        EXPECT_EQ(Exists(sessions + "/" + c.id + ".sess"), c.open) << c.id;
    }
    // A session in use is marked used, so it lives on.
    LWebletSessionData again(sessions);
    again.SetIdleLimit(1800);
    again.LoadSession("sabc1");
    again.LoadSession("sabc1");
    struct stat st;
    ASSERT_EQ(stat((sessions + "/sabc1.sess").c_str(), &st), 0);
    EXPECT_LE(time(nullptr) - st.st_mtime, 5);
}
