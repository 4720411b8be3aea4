// Calls through the real exchange become rows of a PostgreSQL table through
// the odbc-postgresql driver, in a private server (as user "postgres" when
// run as root) stopped by PID. A missing table is odbc_database_test's.
#include "call_log_fixture.h"
#include "support/wait.h"

#include <pwd.h>
#include <signal.h>
#include <sstream>

namespace
{
const char kPgBin[] = "/usr/lib/postgresql/15/bin";
const char kPgDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";

// Runs argv (as user "postgres" when we are root) and answers its output,
// or "" with ok false when it failed.
std::string RunAsPostgres(std::vector<std::string> argv, bool &ok, int timeoutMs = 60000)
{
    if (geteuid() == 0)
        argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    vtest::ChildProcess child;
    int status = -1;
    ok = child.Start(argv, {"LC_ALL=C"}, "/") && child.WaitExit(timeoutMs, &status) &&
         WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return child.Output();
}

class PostgresServer
{
  public:
    // Empty answer: running; otherwise why it could not start.
    std::string Start()
    {
        if (access((std::string(kPgBin) + "/initdb").c_str(), X_OK) != 0)
            return "PostgreSQL (package postgresql) not installed";
        if (access(kPgDriver, R_OK) != 0)
            return "PostgreSQL ODBC driver (package odbc-postgresql) not installed";
        if (geteuid() == 0) {
            // The server refuses to run as root: the folder goes to "postgres".
            const passwd *user = getpwnam("postgres");
            if (!user || chown(mFolder.Path().c_str(), user->pw_uid, user->pw_gid) != 0)
                return "no user \"postgres\" to run the server as";
        }
        data = mFolder.Path() + "/data";
        port = vtest::FreeTcpPort();
        bool ok = false;
        std::string out = RunAsPostgres(
            {std::string(kPgBin) + "/initdb", "-D", data, "-A", "trust", "-U", "postgres"}, ok);
        if (!ok)
            return "initdb failed: " + out;
        out = RunAsPostgres(
            {std::string(kPgBin) + "/pg_ctl", "start", "-w", "-t", "30", "-D", data, "-l",
             mFolder.Path() + "/server.log", "-o",
             "-p " + std::to_string(port) + " -k " + mFolder.Path() + " -c listen_addresses=''"},
            ok);
        // The server detaches; its PID is the first line of postmaster.pid.
        pid = atoi(vtest::ReadFile(data + "/postmaster.pid").c_str());
        if (!ok || pid <= 0)
            return "pg_ctl start failed: " + out + vtest::ReadFile(mFolder.Path() + "/server.log");
        return "";
    }
    ~PostgresServer()
    {
        // SIGINT is the server's fast shutdown.
        if (pid > 0 && kill(pid, SIGINT) == 0)
            vtest::WaitForProcessGone(pid, 30000);
    }
    std::string Psql(const std::string &sql, bool &ok)
    {
        return RunAsPostgres({"/usr/bin/psql", "-X", "-A", "-t", "-F", "|", "-h", SocketFolder(),
                              "-p", std::to_string(port), "-U", "postgres", "-d", "postgres", "-c",
                              sql},
                             ok);
    }
    const std::string &SocketFolder() const { return mFolder.Path(); }

    std::string data;
    int port = 0;
    pid_t pid = -1;

  private:
    vtest::TempDir mFolder{"vela-pg"};
};

class PostgresCallLogTest : public vtest::CallLogTest
{
  protected:
    // A running server with an empty call table, and the exchange's database
    // log pointed at it; the reason when the server cannot run.
    std::string StartWithCallTable(PostgresServer &server)
    {
        std::string why = server.Start();
        if (!why.empty())
            return why;
        bool ok = false;
        std::string out =
            server.Psql("CREATE TABLE CallTable (\"Date\" date, \"Time\" time, "
                        "\"From\" text, \"To\" text, \"Duration\" int, \"Total\" int);",
                        ok);
        EXPECT_TRUE(ok) << out;
        WriteDsn(kPgDriver, "Servername=" + server.SocketFolder() +
                                "\nPort=" + std::to_string(server.port) + "\nDatabase=postgres\n");
        EnableDatabaseLog("postgres");
        return "";
    }
};

TEST_F(PostgresCallLogTest, RowPerCallWithItsDurations)
{
    PostgresServer server;
    std::string why = StartWithCallTable(server);
    if (!why.empty())
        GTEST_SKIP() << "PostgreSQL cannot run here: " << why;
    bool ok = false;
    StartVelaWithOdbc();
    auto phone = StartAnsweringPhone(1500, 2);
    ASSERT_TRUE(phone);
    auto caller = StartTimedCalls(2500, 2); // the two overlap: rows written 0.1 s apart
    ASSERT_TRUE(Succeeded(*caller, 60000)) << caller->Output();

    // Rings 1.5 s and talks 2.5 s: talk and total differ by whole seconds, so
    // that a swap or a count from the wrong moment shows. Start and answer are
    // whole seconds: each duration may gain one. (The call-log line is built
    // from the same entry; call_log_test has its format.)
    std::string rows;
    vtest::WaitUntil(
        [&] {
            rows = server.Psql("SELECT \"From\",\"To\",\"Duration\",\"Total\","
                               "\"Date\" = CURRENT_DATE FROM CallTable;",
                               ok);
            return std::count(rows.begin(), rows.end(), '\n') >= 2;
        },
        10000);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2) << rows << vela.Process().Output();
    std::istringstream in(rows);
    for (std::string row; std::getline(in, row);) {
        long talk = -1, total = -1;
        char from[16] = {}, to[32] = {}, today = 0;
        ASSERT_EQ(
            sscanf(row.c_str(), "%15[^|]|%31[^|]|%ld|%ld|%c", from, to, &talk, &total, &today), 5)
            << row;
        EXPECT_STREQ(from, "101");
        // The called party as the caller's request gave it.
        EXPECT_TRUE(std::string(to) == "102" || std::string(to) == "sip:102@127.0.0.1") << to;
        EXPECT_TRUE(talk >= 2 && talk <= 3) << row;
        EXPECT_TRUE(total >= 4 && total <= 5 && total > talk) << row;
        EXPECT_EQ(today, 't') << row;
    }
}
} // namespace
