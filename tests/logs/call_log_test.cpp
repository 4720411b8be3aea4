#include "logs/call_log.h"

#include "log_root.h"
#include "support/file_size_limit.h"
#include "support/log_catcher.h"
#include "support/text.h"
#include "support/vela_instance.h"

#include <cstring>
#include <thread>
#include <vector>

namespace
{
time_t LocalTime(int year, int month, int day, int hour, int min, int sec)
{
    tm t{sec, min, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return mktime(&t);
}

std::string Line(const LCallLogEntry &entry, time_t end)
{
    char out[kCallLogLineMax + 1];
    size_t n = LCallLogFormatLine(out, sizeof out, entry, end);
    EXPECT_EQ(n, std::strlen(out));
    return out;
}

LCallLogEntry Entry(time_t start, time_t answer, const char *from, const char *to)
{
    LCallLogEntry entry;
    LCallLogEntrySet(entry, start, answer, from, to);
    return entry;
}
} // namespace

TEST(CallLogLine, FieldsAndDurations)
{
    const time_t start = LocalTime(2024, 3, 5, 7, 8, 9);
    struct Case {
        long answerAfter; // -1: never answered
        long length;
        const char *from, *to, *expected;
    } cases[] = {
        {-1, 75, "40", "41", "2024-03-05,07:08:09,01:15,00:00,\"40\",\"41\"\r\n"},
        {10, 6000, "40", "41", "2024-03-05,07:08:09,100:00,99:50,\"40\",\"41\"\r\n"},
        {0, 0, "", "", "2024-03-05,07:08:09,00:00,00:00,\"\",\"\"\r\n"},
        // RFC 4180: quotes inside a cell are doubled, so a crafted name cannot
        // close its cell and open new ones.
        {5, 65, "\"Bob\" <sip:40@pbx>", "a\",\"=1+2",
         "2024-03-05,07:08:09,01:05,01:00,\"\"\"Bob\"\" <sip:40@pbx>\",\"a\"\",\"\"=1+2\"\r\n"},
        // Cells a spreadsheet would run as formulas are shown as text.
        {-1, 1, "=HYPERLINK(\"x\")", "+1",
         "2024-03-05,07:08:09,00:01,00:00,\"'=HYPERLINK(\"\"x\"\")\",\"'+1\"\r\n"},
        {-1, 1, "-2", "@SUM(A1)", "2024-03-05,07:08:09,00:01,00:00,\"'-2\",\"'@SUM(A1)\"\r\n"},
        // A clock set back: no negative durations; answered after the end.
        {-1, -30, "a", "b", "2024-03-05,07:08:09,00:00,00:00,\"a\",\"b\"\r\n"},
        {90, 60, "a", "b", "2024-03-05,07:08:09,01:00,00:00,\"a\",\"b\"\r\n"},
        // Control characters cannot start a forged line.
        {-1, 1, "x\r\n2024-01-01,00:00:00", "y\t",
         "2024-03-05,07:08:09,00:01,00:00,\"x2024-01-01,00:00:00\",\"y\"\r\n"},
    };
    for (const Case &c : cases) {
        time_t answer = c.answerAfter < 0 ? 0 : start + c.answerAfter;
        EXPECT_EQ(Line(Entry(start, answer, c.from, c.to), start + c.length), c.expected) << c.from;
    }
}

TEST(CallLogLine, LongPartiesAreShortenedAndTheLineEndStays)
{
    const time_t start = LocalTime(2024, 3, 5, 7, 8, 9);
    std::string big(259, 'f'), mid(150, 't'), small(20, 's');
    // clang-format off
    struct Case { std::string from, to; size_t fromKept, toKept; } cases[] = {
        {big, big, 110, 110},  // both halved
        {small, big, 20, 200}, // the short one keeps all
        {big, small, 200, 20},
        {mid, mid, 110, 110},
        {std::string(109, 'a'), std::string(111, 'b'), 109, 111}, // exactly fits
        {std::string(109, 'a'), std::string(112, 'b'), 109, 111},
    };
    // clang-format on
    std::string line;
    for (const Case &c : cases) {
        line = Line(Entry(start, 0, c.from.c_str(), c.to.c_str()), start + 1);
        EXPECT_EQ(line.size(), c.fromKept + c.toKept + 39);
        EXPECT_LE(line.size(), kCallLogLineMax);
        EXPECT_EQ(line.substr(line.size() - 3), "\"\r\n");
        size_t firstQuote = line.find('"');
        EXPECT_EQ(line.find('"', firstQuote + 1) - firstQuote - 1, c.fromKept);
    }
    // Doubled quotes count against the line: the texts give way, and a
    // quote is never left without its double.
    std::string quotes(200, '"');
    line = Line(Entry(start, 0, quotes.c_str(), big.c_str()), start + 1);
    EXPECT_LE(line.size(), kCallLogLineMax);
    EXPECT_EQ(line.substr(line.size() - 3), "\"\r\n");
    size_t open = line.find('"') + 1, close = line.find("\",\"", open);
    EXPECT_EQ((close - open) % 2, 0u);
    EXPECT_EQ(line.substr(open, close - open), std::string(close - open, '"'));
    // A cut never splits a UTF-8 character (2-byte "é" repeated).
    std::string accents;
    for (int i = 0; i < 120; i++)
        accents += "\xc3\xa9";
    line = Line(Entry(start, 0, accents.c_str(), accents.c_str()), start + 1);
    open = line.find('"') + 1;
    std::string from = line.substr(open, line.find('"', open) - open);
    EXPECT_EQ(from.size() % 2, 0u);
    EXPECT_EQ(from.size(), 110u);
}

using CallLogWriteTest = LogRootTest;

TEST_F(CallLogWriteTest, CallOverMidnightOfAMonthGoesToTheStartMonth)
{
    time_t start = LocalTime(2023, 12, 31, 23, 59, 0);
    LCallLogEntry entry = Entry(start, start + 30, "40", "41");
    entry.end = start + 120;
    ASSERT_TRUE(LCallLogWrite(entry));
    EXPECT_EQ(ReadFile(logs + "/2023-12 Phone Log.csv"),
              "2023-12-31,23:59:00,02:00,01:30,\"40\",\"41\"\r\n");
    // The program log names the ended call.
    LLog::InstallFileSink();
    ASSERT_TRUE(LCallLogWrite(entry));
    LLog::SetSink(nullptr);
    EXPECT_TRUE(vtest::Has(ReadFile(logs + "/" + vtest::TodayLogFileName()),
                           "Call 40 -> 41 disconnected\r\n"));
}

// A disk that fills up takes part of a record and refuses the rest: the torn
// part must not stay to run into the next record, and the lost record must
// reach the error log.
TEST_F(CallLogWriteTest, AFullDiskLeavesNoTornRecordAndLogsTheLostOne)
{
    time_t start = LocalTime(2024, 3, 1, 9, 0, 0);
    LCallLogEntry first = Entry(start, start + 5, "101", "102"), lost = first, next = first;
    LCallLogEntrySet(lost, start, start + 5, "103", "104");
    LCallLogEntrySet(next, start, start + 5, "105", "106");
    first.end = lost.end = next.end = start + 65;
    ASSERT_TRUE(LCallLogWrite(first));
    std::string path = logs + "/2024-03 Phone Log.csv", before = ReadFile(path);
    vtest::LogCatcher errors;
    bool written;
    {
        vtest::FileSizeLimit full(before.size() + 10);
        written = LCallLogWrite(lost);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(errors.Has("Call record not written to \"2024-03 Phone Log.csv\" (File too "
                           "large): 2024-03-01,09:00:00,01:05,01:00,\"103\",\"104\""));
    ASSERT_TRUE(LCallLogWrite(next));
    EXPECT_EQ(ReadFile(path), before + "2024-03-01,09:00:00,01:05,01:00,\"105\",\"106\"\r\n");
}

TEST_F(CallLogWriteTest, ConcurrentCallsLeaveWholeLines)
{
    const int kThreads = 8, kCalls = 200;
    time_t start = LocalTime(2024, 6, 15, 12, 0, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([=] {
            for (int i = 0; i < kCalls; i++) {
                std::string from = std::to_string(t) + std::string(100, 'f');
                LCallLogEntry entry = Entry(start, 0, from.c_str(), std::to_string(i).c_str());
                entry.end = start + 1;
                LCallLogWrite(entry);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    std::stringstream in(ReadFile(logs + "/2024-06 Phone Log.csv"));
    std::string line;
    int lines = 0;
    std::vector<int> perThread(kThreads);
    while (std::getline(in, line)) {
        ASSERT_EQ(line.back(), '\r');
        ASSERT_EQ(line.compare(0, 33, "2024-06-15,12:00:00,00:01,00:00,\""), 0) << line;
        perThread[line[33] - '0']++;
        lines++;
    }
    EXPECT_EQ(lines, kThreads * kCalls);
    for (int n : perThread)
        EXPECT_EQ(n, kCalls);
}
