// Timers of a connected call: the glare back-off ranges and the "SIP"
// settings that shorten polling and the attended-transfer wait, with the
// values an administrator (or a hostile settings file) may write there.
#include "callcontrol/pbx_sip_line_incall.h"
#include "config/settings_fixture.h"

#include <climits>
#include <cstdint>

namespace
{
TEST(GlareWait, StaysInItsRangeForEveryTick)
{
    const uint32_t ticks[] = {0, 1, 249, 250, 251, 499, 12345, UINT32_MAX - 1, UINT32_MAX};
    for (uint32_t tick : ticks) {
        SCOPED_TRACE(tick);
        uint32_t farEnd = LPBXGlareWaitMs(true, tick);
        uint32_t exchange = LPBXGlareWaitMs(false, tick);
        EXPECT_GE(farEnd, 550u);
        EXPECT_LE(farEnd, 799u);
        EXPECT_GE(exchange, 50u);
        EXPECT_LE(exchange, 299u);
        // The same random part in both, so the dialog's owner always waits
        // 500 ms longer.
        EXPECT_EQ(farEnd - exchange, 500u);
    }
    EXPECT_NE(LPBXGlareWaitMs(true, 0), LPBXGlareWaitMs(true, 100));
}

using InCallSettings = SettingsTest;

TEST_F(InCallSettings, ReadsMillisecondsWithAFloor)
{
    struct Case {
        const char *stored; // nullptr: no such line
        uint32_t poll;
        uint32_t giveUp;
    } cases[] = {
        {nullptr, 60000, 30000}, {"2500", 2500, 2500}, {"1000", 1000, 1000},
        {"999", 1000, 1000},     {"0", 1000, 1000},    {"-5000", 1000, 1000},
        {"junk", 1000, 1000},    {"", 60000, 30000},   {"99999999999999", INT_MAX, INT_MAX},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(absent)");
        std::string text;
        if (c.stored)
            text = std::string("activitypollinterval=") + c.stored +
                   "\r\nattendedtransfergiveup=" + c.stored + "\r\n";
        WriteFile(shared + "/sip", text);
        // The cached section follows the file only when the root moves.
        setenv("VELA_ROOT", "/nonexistent-root", 1);
        EXPECT_EQ(LPBXActivityPollInterval(), 60000u);
        setenv("VELA_ROOT", root.c_str(), 1);
        EXPECT_EQ(LPBXActivityPollInterval(), c.poll);
        EXPECT_EQ(LPBXAttendedTransferGiveUp(), c.giveUp);
    }
}
} // namespace
