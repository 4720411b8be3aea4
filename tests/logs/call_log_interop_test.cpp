// Calls placed by SIPp through the real exchange end up in the monthly call
// log with their durations, with the database log on (SQLite through
// unixODBC) and when its table is missing.
#include "call_log_fixture.h"

#include <fstream>
#include <signal.h>

namespace
{
const char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
const char kCreateTable[] = "CREATE TABLE CallTable (\"Date\" TEXT, \"Time\" TEXT, \"From\" TEXT, "
                            "\"To\" TEXT, \"Duration\" TEXT, \"Total\" TEXT);";

// Rings 1.5 s and talks 2.5 s: talk and total differ by whole seconds, so
// that a swap or a count from the wrong moment shows.
constexpr int kRingMs = 1500, kTalkMs = 2500, kCalls = 3;

void ExpectDurations(long total, long talk)
{
    // Start and answer are whole seconds: each duration may gain one.
    EXPECT_GE(talk, 2);
    EXPECT_LE(talk, 3);
    EXPECT_GE(total, 4);
    EXPECT_LE(total, 5);
    EXPECT_GE(total - talk, 1);
}

class SqliteCallLogTest : public vtest::CallLogTest
{
  protected:
    void SetUp() override
    {
        vtest::CallLogTest::SetUp();
        if (access(kSqliteDriver, R_OK) != 0)
            GTEST_SKIP() << "SQLite ODBC driver (libsqliteodbc) not installed";
        database = odbc->Path() + "/calls.db";
        WriteDsn(kSqliteDriver, "Database=" + database + "\n");
        std::ofstream(odbc->Path() + "/create.sql") << kCreateTable;
        ASSERT_EQ(
            system(("sqlite3 '" + database + "' < '" + odbc->Path() + "/create.sql'").c_str()), 0);
    }
    std::string database;
};

TEST_F(SqliteCallLogTest, EveryCallIsOneLineWithItsDurations)
{
    EnableDatabaseLog("");
    StartVelaWithOdbc();
    auto phone = StartAnsweringPhone(kRingMs, kCalls);
    ASSERT_TRUE(phone);
    auto caller = StartTimedCalls(kTalkMs, kCalls, {"-l", "1"});
    ASSERT_TRUE(Succeeded(*caller, 60000)) << caller->Output();

    std::string text = WaitForCallLogLines(kCalls, 10000);
    std::vector<vtest::CallLogLine> lines;
    std::string bad;
    ASSERT_TRUE(vtest::ParseCallLog(text, lines, bad)) << "torn line: " << bad;
    ASSERT_EQ(lines.size(), static_cast<size_t>(kCalls)) << text;
    for (const auto &line : lines) {
        EXPECT_EQ(line.from, "101");
        // The called party as the caller's request gave it.
        EXPECT_TRUE(line.to == "102" || line.to == "sip:102@127.0.0.1") << line.to;
        ExpectDurations(line.total, line.talk);
    }
    // The rows themselves are checked against PostgreSQL's typed columns.
    EXPECT_TRUE(vela.Process().WaitForOutput("Executing SQL command: ", 5000));
    EXPECT_FALSE(vtest::ReadFile(vela.TodayLogPath()).find("SQL Command FAILED") !=
                 std::string::npos);
}

TEST_F(SqliteCallLogTest, AMissingTableLeavesTheCallAndItsLine)
{
    EnableDatabaseLog("");
    ASSERT_EQ(system(("sqlite3 '" + database + "' 'DROP TABLE CallTable;'").c_str()), 0);
    StartVelaWithOdbc();
    auto phone = StartAnsweringPhone(0, 1);
    ASSERT_TRUE(phone);
    auto caller = StartTimedCalls(0, 1);
    ASSERT_TRUE(Succeeded(*caller)) << caller->Output();
    std::string text = WaitForCallLogLines(1, 10000);
    std::vector<vtest::CallLogLine> lines;
    std::string bad;
    ASSERT_TRUE(vtest::ParseCallLog(text, lines, bad)) << bad;
    EXPECT_EQ(lines.size(), 1u) << text;
    EXPECT_TRUE(vtest::WaitForFileText(vela.TodayLogPath(), "SQL Command FAILED", 10000));
}
} // namespace
