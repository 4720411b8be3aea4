// The running exchange of the call tests, with phone 102 answering timed
// calls from extension 101, an ODBC configuration of its own handed to the
// service through its environment, and readers for the monthly call log.
#pragma once

#include <string>

// The phones' shared scenarios (register.xml) live with the call tests; the
// timed ones of this folder are named relative to them.
inline const std::string kLogsTestGenerated = VELA_TEST_GENERATED;
#undef VELA_TEST_GENERATED
#define VELA_TEST_GENERATED (kLogsTestGenerated + "/../callcontrol")

#include "callcontrol/call_fixture.h"
#include "config/pbx_global_settings.h"
#include "logs/call_log.h"
#include "support/wait.h"

#include <algorithm>
#include <ctime>

namespace vtest
{
inline const char kTimedCall[] = "../../logs/sipp/uac_timed_call.xml";
inline const char kTimedAnswer[] = "../../logs/sipp/uas_timed_answer.xml";

class CallLogTest : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        odbc = std::make_unique<TempDir>("vela-odbc");
    }

    // Writes the driver and the DSN "velacalls" with the given keys.
    void WriteDsn(const std::string &driver, const std::string &keys)
    {
        std::ofstream(odbc->Path() + "/odbcinst.ini")
            << "[VelaDriver]\nDescription=test driver\nDriver=" << driver << "\n";
        std::ofstream(odbc->Path() + "/odbc.ini") << "[velacalls]\nDriver=VelaDriver\n" << keys;
    }
    static void EnableDatabaseLog(const char *user)
    {
        LPBXSettings::DbLogEnabled.Set(true);
        LPBXSettings::DbLogDsn.Set("velacalls");
        LPBXSettings::DbLogUserName.Set(user);
        // The default statement also records the total, to check both durations.
        LPBXSettings::DbLogSql.Set("INSERT INTO CallTable (\"Date\",\"Time\",\"From\",\"To\","
                                   "\"Duration\",\"Total\") values ('%date%','%time%','%from%',"
                                   "'%to%','%duration%','%durationtotal%')");
    }

    void StartVelaWithOdbc()
    {
        StartVela({"ODBCSYSINI=" + odbc->Path(), "ODBCINI=" + odbc->Path() + "/odbc.ini"});
    }

    // Phone 102 registered and answering `calls` calls after ringMs.
    std::unique_ptr<ChildProcess> StartAnsweringPhone(int ringMs, int calls)
    {
        int port = RegisteredPort("102");
        if (!port)
            return nullptr;
        auto phone = std::make_unique<ChildProcess>();
        std::vector<std::string> argv = SippArgs(kTimedAnswer, port);
        argv.insert(argv.end(), {"-d", std::to_string(ringMs), "-m", std::to_string(calls)});
        EXPECT_TRUE(phone->Start(argv));
        return phone;
    }
    // Extension 101 calling 102 `calls` times, talking talkMs each.
    std::unique_ptr<ChildProcess> StartTimedCalls(int talkMs, int calls,
                                                  std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"-d", std::to_string(talkMs), "-m", std::to_string(calls)});
        return StartCaller(kTimedCall, "102", extra);
    }

    std::string CallLogPath() const
    {
        char name[64];
        LCallLogFileName(name, sizeof name, time(nullptr));
        return vela.LogFolder() + "/" + name;
    }
    // Waits until the call log holds at least count lines.
    std::string WaitForCallLogLines(size_t count, int timeoutMs)
    {
        std::string text;
        WaitUntil(
            [&] {
                text = ReadFile(CallLogPath());
                return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= count;
            },
            timeoutMs);
        return text;
    }

    std::unique_ptr<TempDir> odbc;
};
} // namespace vtest
