// The call-log table against a real database: unixODBC's driver manager with
// the SQLite ODBC driver, configured through a DSN this test writes.
#include "logs/odbc_database.h"

#include "config/pbx_global_settings.h"
#include "log_root.h"
#include "logs/call_log.h"
#include "support/log_catcher.h"

#include <dlfcn.h>
#include <fstream>
#include <unistd.h>

// The SQLite driver leaves SQLite's own one-time allocations behind when the
// driver manager unloads it; they are outside this code.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libsqlite3odbc.so\n";
}
// Full malloc stacks, so that the frames inside the driver are seen.
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace
{
const char kDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// One ODBC configuration per process: the driver manager caches its ini
// files, so the files must not move between tests.
class OdbcEnvironment
{
  public:
    static OdbcEnvironment &Get()
    {
        static OdbcEnvironment env;
        return env;
    }
    std::string folder, database;

  private:
    OdbcEnvironment()
    {
        char pattern[] = "/tmp/vela-odbc-XXXXXX";
        folder = mkdtemp(pattern);
        database = folder + "/calls.db";
        // The driver manager unloads the driver with the last connection:
        // DontDLClose and the pin below keep it mapped, so that its one-time
        // allocations stay reachable for leak checking.
        std::ofstream(folder + "/odbcinst.ini")
            << "[SQLite3]\nDescription=SQLite3\nDriver=" << kDriver << "\nDontDLClose=1\n";
        std::ofstream(folder + "/odbc.ini")
            << "[velacalls]\nDriver=SQLite3\nDatabase=" << database << "\n";
        dlopen(kDriver, RTLD_NOW | RTLD_NODELETE);
        setenv("ODBCSYSINI", folder.c_str(), 1);
        setenv("ODBCINI", (folder + "/odbc.ini").c_str(), 1);
    }
};

class OdbcTest : public LogRootTest
{
  protected:
    void SetUp() override
    {
        LogRootTest::SetUp();
        if (access(kDriver, R_OK) != 0)
            GTEST_SKIP() << "SQLite ODBC driver (libsqliteodbc) not installed";
        env = &OdbcEnvironment::Get();
        Sql("DROP TABLE IF EXISTS CallTable; CREATE TABLE CallTable (\"Date\" TEXT, \"Time\" "
            "TEXT, \"From\" TEXT, \"To\" TEXT, \"Duration\" TEXT, Total TEXT);");
    }
    std::string Sql(const std::string &statement)
    {
        vtest::ChildProcess sqlite;
        EXPECT_TRUE(
            sqlite.Start({"/usr/bin/sqlite3", "-separator", "|", env->database, statement}));
        EXPECT_TRUE(sqlite.WaitExit(10000));
        return sqlite.Output();
    }

    OdbcEnvironment *env = nullptr;
};
} // namespace

TEST_F(OdbcTest, RowReachesTheTableAndErrorsAreKept)
{
    LODBCDatabase db("velacalls", "", "");
    ASSERT_TRUE(db.IsOpen()) << db.GetError();
    EXPECT_TRUE(db.SQLCommand("INSERT INTO CallTable (\"From\",\"To\") values ('40','41')"));
    EXPECT_EQ(Sql("SELECT \"From\", \"To\" FROM CallTable;"), "40|41\n");

    EXPECT_FALSE(db.SQLCommand("INSERT INTO NoSuchTable values (1)"));
    EXPECT_NE(std::string(db.GetError()).find("NoSuchTable"), std::string::npos) << db.GetError();
    EXPECT_TRUE(db.SQLCommand("SELECT 1"));

    LODBCDatabase missing("no-such-dsn", "user", "pw");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_STRNE(missing.GetError(), "");
    EXPECT_FALSE(missing.SQLCommand("SELECT 1"));
}

TEST_F(OdbcTest, FinishedCallsBecomeRowsThroughTheTemplate)
{
    LPBXSettings::DbLogEnabled.Set(true);
    LPBXSettings::DbLogDsn.Set("velacalls");
    LSettingSetString("DBLog", "SQL",
                      "INSERT INTO CallTable (\"Date\",\"Time\",\"From\",\"To\",\"Duration\","
                      "Total) values ('%date%','%time%','%from%','%to%','%duration%','%"
                      "durationtotal%')");
    vtest::LogCatcher log;
    // clang-format off
    struct Call { const char *from, *to; long answerAfter, length; } calls[] = {
        {"40", "41", 10, 75},
        {"it's", "101", -1, 75},
        {"x'); DROP TABLE CallTable; --", "42", 0, 5},
        {"line\r\nbreak", "43", 1, 2},
        {"back\\'); DROP TABLE CallTable; --", "\"=1+2\"", 0, 1},
    };
    // clang-format on
    time_t start = 1700000000; // 2023-11-14 local date varies by zone
    for (const Call &c : calls) {
        LCallLogEntry entry;
        LCallLogEntrySet(entry, start, c.answerAfter < 0 ? 0 : start + c.answerAfter, c.from, c.to);
        entry.end = start + c.length;
        EXPECT_TRUE(LCallLogWrite(entry));
    }
    EXPECT_EQ(Sql("SELECT \"From\", \"To\", Duration, Total FROM CallTable;"),
              "40|41|65|75\n"
              "it's|101|0|75\n"
              "x'); DROP TABLE CallTable; --|42|5|5\n"
              "linebreak|43|1|2\n"
              "back\\'); DROP TABLE CallTable; --|\"=1+2\"|1|1\n");
    tm local{};
    localtime_r(&start, &local);
    char date[32];
    strftime(date, sizeof date, "%Y-%m-%d|%H:%M:%S", &local);
    EXPECT_EQ(Sql("SELECT DISTINCT \"Date\", \"Time\" FROM CallTable;"), std::string(date) + "\n");
    EXPECT_TRUE(log.Heard("Executing SQL command: INSERT INTO CallTable "
                          "(\"Date\",\"Time\",\"From\",\"To\",\"Duration\",Total) values "
                          "(?,?,?,?,?,?)"));
}

TEST_F(OdbcTest, DatabaseFailuresAreLoggedAndTheLineStillWritten)
{
    LPBXSettings::DbLogEnabled.Set(true);
    LPBXSettings::DbLogDsn.Set("no-such-dsn");
    LPBXSettings::DbLogUserName.Set("carol");
    vtest::LogCatcher log;
    LCallLogEntry entry;
    LCallLogEntrySet(entry, 1700000000, 0, "40", "41");
    entry.end = entry.start + 3;
    EXPECT_TRUE(LCallLogWrite(entry));
    EXPECT_TRUE(log.Heard("Unable to open database no-such-dsn (username carol)"));

    LPBXSettings::DbLogDsn.Set("velacalls");
    LSettingSetString("DBLog", "SQL", "INSERT INTO Missing values ('%from%')");
    EXPECT_TRUE(LCallLogWrite(entry));
    EXPECT_TRUE(log.Heard("SQL Command FAILED"));
    char name[64];
    LCallLogFileName(name, sizeof name, entry.start);
    std::string csv = ReadFile(logs + "/" + name);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
}

TEST(OdbcLibrary, LoadOrderAndMissingLibrary)
{
    const char *const missing[] = {"libvela-no-odbc.so", "libvela-no-odbc.so.2", nullptr};
    LODBCLibrary none(missing);
    EXPECT_FALSE(none.IsLoaded());
    EXPECT_STREQ(none.GetLoadedName(), "");
    LODBCDatabase db(none, "velacalls", "", "");
    EXPECT_FALSE(db.IsOpen());
    EXPECT_FALSE(db.SQLCommand("SELECT 1"));

    // The versioned name serves where the unversioned link is absent.
    const char *const versioned[] = {"libvela-no-odbc.so", "libodbc.so.2", nullptr};
    LODBCLibrary second(versioned);
    EXPECT_TRUE(second.IsLoaded());
    EXPECT_STREQ(second.GetLoadedName(), "libodbc.so.2");

    // A library without the ODBC functions is refused.
    const char *const wrong[] = {"libm.so.6", nullptr};
    LODBCLibrary notOdbc(wrong);
    EXPECT_FALSE(notOdbc.IsLoaded());
}
