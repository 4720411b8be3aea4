// Durability of the call log: SIPp keeps calls running while the service is
// killed with SIGKILL. What the file holds afterwards must be whole lines
// only, one per call that SIPp saw completed.
#include "call_log_fixture.h"

#include <regex>
#include <signal.h>
#include <sstream>

namespace
{
constexpr int kCalls = 60, kKillAfterLines = 12, kParallel = 2;

// A whole line of a call from 101 to 102 (as the caller's request named it):
// date, time, total, talk, "from", "to", CR before the LF.
const std::regex kCallLine(
    R"re(\d{4}-\d{2}-\d{2},\d{2}:\d{2}:\d{2},\d{2,}:\d{2},\d{2,}:\d{2},"101","[^"]*102[^"]*"\r)re");

// The count of successful calls in the last row of SIPp's statistics file.
long SuccessfulCalls(const std::string &csv)
{
    std::istringstream in(csv);
    std::string header, row, last;
    std::getline(in, header);
    while (std::getline(in, row))
        if (!row.empty())
            last = row;
    std::istringstream names(header), values(last);
    for (std::string name, value;
         std::getline(names, name, ';') && std::getline(values, value, ';');)
        if (name == "SuccessfulCall(C)")
            return std::stol(value);
    return -1;
}

using CallLogKillTest = vtest::CallLogTest;

TEST_F(CallLogKillTest, KilledServiceLeavesOneWholeLinePerCompletedCall)
{
    StartVelaWithOdbc();
    auto phone = StartAnsweringPhone(0, kCalls);
    ASSERT_TRUE(phone);
    std::string stats = odbc->Path() + "/stats.csv";
    // Calls overlap (at most kParallel at once), and those cut by the kill
    // give up after 2 s instead of retransmitting for long.
    auto caller = StartTimedCalls(100, kCalls,
                                  {"-r", "20", "-l", std::to_string(kParallel), "-recv_timeout",
                                   "2000", "-trace_stat", "-stf", stats, "-fd", "1"});
    std::string before = WaitForCallLogLines(kKillAfterLines, 30000);
    ASSERT_GE(std::count(before.begin(), before.end(), '\n'), kKillAfterLines) << before;
    int status = 0;
    ASSERT_TRUE(vela.Stop(SIGKILL, 5000, &status));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // SIPp's soft quit: no new calls, those in flight end by their receive
    // time-out, and the statistics are written at the exit.
    kill(caller->Pid(), SIGUSR1);
    ASSERT_TRUE(caller->WaitExit(30000)) << caller->Output();

    std::string text = vtest::ReadFile(CallLogPath());
    ASSERT_TRUE(text.empty() || text.back() == '\n') << "torn last line:\n" << text;
    std::istringstream in(text);
    long lines = 0;
    for (std::string line; std::getline(in, line); lines++)
        ASSERT_TRUE(std::regex_match(line, kCallLine)) << "torn line: \"" << line << "\"";
    long completed = SuccessfulCalls(vtest::ReadFile(stats));
    ASSERT_GE(completed, kKillAfterLines) << vtest::ReadFile(stats);
    RecordProperty("completed_calls", static_cast<int>(completed));
    RecordProperty("call_log_lines", static_cast<int>(lines));
    EXPECT_LT(completed, kCalls) << "the kill came after the run";
    // A line is written after the caller's BYE is answered, so no line may
    // exist without a completed call; a call whose BYE was answered just
    // before the kill may still miss its line (at most the calls in flight).
    EXPECT_LE(lines, completed) << text;
    EXPECT_GE(lines, completed - kParallel) << text;
}
} // namespace
