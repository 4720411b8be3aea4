#include "platform/log.h"
#include "platform/log_limiter.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::pair<int, std::string>> gLines;
void Capture(int level, const char *text)
{
    gLines.emplace_back(level, text);
}

struct LogCapture : ::testing::Test {
    void SetUp() override
    {
        gLines.clear();
        LLog::SetSink(Capture);
    }
    void TearDown() override { LLog::SetSink(nullptr); }
};
} // namespace

TEST_F(LogCapture, MacrosCarryTheirLevelAndAppendedValue)
{
    LOG("plain");
    LOGERRORNUM("code ", -7);
    LOGWARNTEXT("file ", "x.txt");
    LOGINFOF("%d calls", 3);
    ASSERT_EQ(gLines.size(), 4u);
    EXPECT_EQ(gLines[0], (std::pair<int, std::string>{LLogPlain, "plain"}));
    EXPECT_EQ(gLines[1], (std::pair<int, std::string>{LLogError, "code -7"}));
    EXPECT_EQ(gLines[2], (std::pair<int, std::string>{LLogWarning, "file x.txt"}));
    EXPECT_EQ(gLines[3], (std::pair<int, std::string>{LLogInfo, "3 calls"}));
}

TEST_F(LogCapture, FormattedLinesAreCutAt511Characters)
{
    std::string longText(2000, 'a');
    LOGF("%s", longText.c_str());
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0].second.size(), 511u);
}

// Control bytes from outside are written as visible escapes, so a name
// cannot break a log line or send commands to the terminal showing it.
TEST_F(LogCapture, ControlBytesAreEscaped)
{
    LOGWARNF("Unknown ID \"%s\"", "a\x1b[2J\r\nb\tc\x7f\x1f\x20\xc3\xa9");
    LOG("plain text stays");
    ASSERT_EQ(gLines.size(), 2u);
    EXPECT_EQ(gLines[0].second, "Unknown ID \"a\\x1b[2J\\x0d\\x0ab\\x09c\\x7f\\x1f \xc3\xa9\"");
    EXPECT_EQ(gLines[1].second, "plain text stays");
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
