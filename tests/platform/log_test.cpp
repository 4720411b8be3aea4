#include "platform/log.h"
#include "platform/log_limiter.h"
#include "support/log_catcher.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Line = vtest::LogCatcher::Line;

TEST(Log, LevelsLengthCapAndEscapedControlBytes)
{
    vtest::LogCatcher log;
    LOGERRORNUM("code ", -7);
    LOGWARNTEXT("file ", "x.txt");
    LOGINFOF("%d calls", 3);
    LOGF("%s", std::string(2000, 'a').c_str());
    // Control bytes from outside are written as visible escapes, so a name
    // cannot break a log line or send commands to the terminal showing it.
    LOGWARNF("Unknown ID \"%s\"", "a\x1b[2J\r\nb\tc\x7f\x1f\x20\xc3\xa9");
    std::vector<Line> lines = log.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], (Line{LLogError, "code -7"}));
    EXPECT_EQ(lines[1], (Line{LLogWarning, "file x.txt"}));
    EXPECT_EQ(lines[2], (Line{LLogInfo, "3 calls"}));
    EXPECT_EQ(lines[3].second.size(), 511u);
    EXPECT_EQ(lines[4].second, "Unknown ID \"a\\x1b[2J\\x0d\\x0ab\\x09c\\x7f\\x1f \xc3\xa9\"");
}

TEST(LogRateLimiter, FewLinesPerSourceThenOneSummaryPerWindow)
{
    LLogRateLimiter limiter(LLogRateLimiter::Limits{3, 5, 10});
    std::vector<std::string> summaries;
    int allowed = 0;
    for (int i = 0; i < 100; i++)
        allowed += limiter.Allow("10.0.0.1", 1000, summaries);
    EXPECT_EQ(allowed, 3);
    // Other sources share the total of 5.
    EXPECT_TRUE(limiter.Allow("10.0.0.2", 1005, summaries));
    EXPECT_TRUE(limiter.Allow("10.0.0.3", 1005, summaries));
    EXPECT_FALSE(limiter.Allow("10.0.0.4", 1009, summaries));
    EXPECT_TRUE(summaries.empty());
    // The next window starts with the summaries of the last one.
    EXPECT_TRUE(limiter.Allow("10.0.0.1", 1010, summaries));
    std::sort(summaries.begin(), summaries.end());
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0], "1 more warnings in 10 s were not logged");
    EXPECT_EQ(summaries[1], "97 more warnings caused by 10.0.0.1 in 10 s were not logged");
}

// The windows of the sources run on their own clocks: when the total window
// rolls over, a source whose window began later keeps its count.
TEST(LogRateLimiter, ASourceWindowOutlivesTheTotalWindowThatStartedEarlier)
{
    LLogRateLimiter limiter(LLogRateLimiter::Limits{2, 100, 10});
    std::vector<std::string> summaries;
    EXPECT_TRUE(limiter.Allow("A", 1000, summaries));
    EXPECT_TRUE(limiter.Allow("B", 1005, summaries));
    EXPECT_TRUE(limiter.Allow("B", 1005, summaries));
    EXPECT_FALSE(limiter.Allow("B", 1005, summaries));
    EXPECT_FALSE(limiter.Allow("B", 1010, summaries)); // B's window ends at 1015
    EXPECT_TRUE(summaries.empty());
    EXPECT_TRUE(limiter.Allow("B", 1015, summaries));
    EXPECT_EQ(summaries,
              std::vector<std::string>{"2 more warnings caused by B in 10 s were not logged"});
}
