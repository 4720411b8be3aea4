#include "logs/log_line_clock.h"
#include "logs/program_log.h"
#include "support/process.h"
#include "support/vela_instance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <regex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
std::string Line(const char *timeText, const std::string &text, size_t size = kLogLineMax + 1)
{
    std::vector<char> out(size);
    size_t n = LLogFormatLine(out.data(), out.size(), timeText, text.c_str());
    EXPECT_EQ(n, std::strlen(out.data()));
    return out.data();
}
} // namespace

TEST(ProgramLogFormat, TimeAndFileNameArePaddedFromLocalTime)
{
    char text[64];
    LLogFormatTime(text, sizeof text, tm{9, 8, 7, 5, 2, 124, 0, 0, 0, 0, nullptr});
    EXPECT_STREQ(text, "07:08:09");
    LLogFileName(text, sizeof text, tm{0, 0, 0, 30, 10, -913, 0, 0, 0, 0, nullptr});
    EXPECT_STREQ(text, "0987-11-30 Vela Log.txt");
}

TEST(ProgramLogFormat, LinesEndInCrLfAndAreCutAtTheLineLimit)
{
    EXPECT_EQ(Line("10:11:12", "Starting web server..."), "10:11:12 Starting web server...\r\n");
    EXPECT_EQ(Line("10:11:12", ""), "10:11:12 \r\n");

    std::string huge(20000, 'x');
    std::string cut = Line("10:11:12", huge);
    EXPECT_EQ(cut.size(), kLogLineMax);
    EXPECT_EQ(cut.substr(cut.size() - 2), "\r\n");
    EXPECT_EQ(cut.find('x'), 9u);

    // A short buffer keeps the line end too; one too small for it stays empty.
    EXPECT_EQ(Line("10:11:12", "abcdef", 15), "10:11:12 abc\r\n");
    EXPECT_EQ(Line("10:11:12", "abcdef", 11), "");
}

struct ProgramLogFile : ::testing::Test {
    vtest::TempDir dir{"vela-log"};
    std::string root;
    static std::vector<std::string> heard;
    static void Listen(int level, const char *timeText, const char *text)
    {
        heard.push_back(std::to_string(level) + "|" + timeText + "|" + text);
    }
    void SetUp() override
    {
        root = dir.Path();
        ASSERT_FALSE(root.empty());
        heard.clear();
    }
    void TearDown() override
    {
        LLog::SetSink(nullptr);
        LLog::SetListener(nullptr);
    }
    std::string TodayFile() const
    {
        return std::string(LLog::GetLogFolder()) + "/" + vtest::TodayLogFileName();
    }
    std::vector<std::string> FileLines() const
    {
        std::vector<std::string> lines;
        std::string text = vtest::ReadFile(TodayFile());
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }
};
std::vector<std::string> ProgramLogFile::heard;

TEST_F(ProgramLogFile, MacrosReachTheDailyFileAndTheListener)
{
    ASSERT_TRUE(LLog::SetLogFolder((root + "/vela/etc/Logs").c_str()));
    LLog::InstallFileSink();
    LLog::SetListener(Listen);
    LOG("Starting telephony engine...");
    LOGERRORF("bind %d failed", 5060);

    std::vector<std::string> lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::regex shape("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] (.*)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, shape)) << lines[0];
    EXPECT_EQ(m[1], "Starting telephony engine...");
    ASSERT_TRUE(std::regex_match(lines[1], m, shape)) << lines[1];
    EXPECT_EQ(m[1], "bind 5060 failed");

    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].substr(0, 2), "0|");
    EXPECT_EQ(heard[1].substr(0, 2), "1|");
    EXPECT_EQ(heard[1].substr(2, 8), lines[1].substr(0, 8));
}

TEST_F(ProgramLogFile, LinesFromManyThreadsNeverInterleave)
{
    ASSERT_TRUE(LLog::SetLogFolder(root.c_str()));
    LLog::InstallFileSink();
    constexpr int kThreads = 4, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            std::string body(300, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                LOGF("%d %s", t, body.c_str());
        });
    for (std::thread &th : threads)
        th.join();

    std::vector<std::string> lines = FileLines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const std::string &line : lines) {
        ASSERT_EQ(line.size(), 8u + 1 + 2 + 300) << line;
        int t = line[9] - '0';
        EXPECT_EQ(line.substr(11), std::string(300, static_cast<char>('a' + t)));
    }
}

TEST_F(ProgramLogFile, NewFilesHonourTheProcessUmask)
{
    mode_t old = umask(027);
    ASSERT_TRUE(LLog::SetLogFolder((root + "/Logs").c_str()));
    LLog::Log("x", LLogPlain);
    EXPECT_TRUE(LLogWrite("2024-03 Phone Log.csv", "line\r\n"));
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(LLog::GetLogFolder(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
    ASSERT_EQ(stat(TodayFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProgramLogFile, WithoutAFolderNothingIsWrittenButTheListenerHears)
{
    LLog::SetLogFolder("");
    LLog::SetListener(Listen);
    LLog::Log("lost?", LLogWarning);
    EXPECT_FALSE(LLogWrite("a.csv", "x"));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0].find("2|"), std::string::npos);
}

namespace
{
int gRival = -1;
int gSleeps = 0;
// Another writer holds the day file's lock for two back-off steps and
// appends its own line before it lets go.
void RivalSleeper(int)
{
    if (++gSleeps == 2) {
        EXPECT_EQ(write(gRival, "rival\r\n", 7), 7);
        flock(gRival, LOCK_UN);
    }
}
} // namespace

TEST_F(ProgramLogFile, TheOpenDayFileIsStillLockedPerLine)
{
    ASSERT_TRUE(LLog::SetLogFolder(root.c_str()));
    LLog::Log("first", LLogPlain);
    gRival = open(TodayFile().c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(gRival, 0);
    ASSERT_EQ(flock(gRival, LOCK_EX), 0);
    gSleeps = 0;
    LLog::SetLockSleeper(RivalSleeper);
    LLog::Log("second", LLogPlain);
    LLog::SetLockSleeper(nullptr);
    close(gRival);
    std::vector<std::string> lines = FileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(9), "first");
    EXPECT_EQ(lines[1], "rival");
    EXPECT_EQ(lines[2].substr(9), "second");
    EXPECT_EQ(gSleeps, 2);

    // Another folder (as another day) gets a file of its own.
    ASSERT_TRUE(LLog::SetLogFolder((root + "/next").c_str()));
    LLog::Log("third", LLogPlain);
    ASSERT_EQ(FileLines().size(), 1u);
}

// The cached texts must follow every new second, and the file name must
// change exactly at the local date change.
TEST(ProgramLogFormat, TheLineClockFollowsSecondsAndDays)
{
    tm day{};
    day.tm_year = 124, day.tm_mon = 2, day.tm_mday = 5, day.tm_isdst = -1;
    time_t midnight = mktime(&day);
    LLogLineClock clock;
    // clang-format off
    struct { time_t at; bool changed; } steps[] = {
        {midnight - 2, true}, {midnight - 2, false}, {midnight - 1, false}, {midnight, true}, {midnight + 61, false},
    };
    // clang-format on
    for (const auto &step : steps) {
        SCOPED_TRACE(step.at - midnight);
        EXPECT_EQ(clock.Update(step.at), step.changed);
        tm local{};
        localtime_r(&step.at, &local);
        char text[64];
        LLogFormatTime(text, sizeof text, local);
        EXPECT_STREQ(clock.TimeText(), text);
        LLogFileName(text, sizeof text, local);
        EXPECT_STREQ(clock.FileName(), text);
    }
    clock.Reset();
    EXPECT_TRUE(clock.Update(midnight + 61));
}
