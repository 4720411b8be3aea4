#include "platform/log.h"

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
