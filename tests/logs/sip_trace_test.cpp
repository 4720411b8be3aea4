#include "logs/sip_trace.h"

#include "config/pbx_global_settings.h"
#include "log_root.h"
#include "logs/log_cleanup.h"
#include "logs/log_files.h"
#include "media/rtp_relay_trace.h"

#include <regex>
#include <sys/stat.h>
#include <utime.h>

namespace
{
class SipTraceTest : public LogRootTest
{
  protected:
    void TearDown() override
    {
        LSipTraceSetOn(false);
        LSipTraceSetRtpOn(false);
        LogRootTest::TearDown();
    }
    std::string Trace()
    {
        char name[64];
        LSipTraceFileName(name, sizeof name, time(nullptr));
        return ReadFile(logs + "/" + name);
    }
};
} // namespace

TEST_F(SipTraceTest, EntriesCarryTheTimePrefixAndPacketFraming)
{
    LSipTraceStart();
    LSipTraceWrite("before on\r\n");
    LSipTraceSetOn(true);
    LSipTraceUdpPacket(true, "10.0.0.2:5060", "OPTIONS sip:x SIP/2.0\r\n\r\n", 25);
    LSipTraceUdpPacket(false, "10.0.0.3:5062", "SIP/2.0 200 OK\r\n\r\n", 18);
    LSipTraceRtp({true, "10.0.0.2:8000", true, 0, 7, 160, 0x1234, 172});
    LSipTraceSetRtpOn(true);
    LSipTraceRtp({false, "10.0.0.2:8000", false, 8, 65535, 4294967295u, 1, 172});
    LSipTraceWrite("Rtp Relay 1.2.3.4:5 >>> 6.7.8.9:10 (172 bytes)\r\n");
    std::string trace = Trace();
    std::string t = "\\d\\d:\\d\\d:\\d\\d ";
    std::regex expected(
        t +
        "UDP Packet Sent to 10\\.0\\.0\\.2:5060 >{33}\r\nOPTIONS sip:x "
        "SIP/2\\.0\r\n\r\n\r\n-{64}\r\n\r\n" +
        t +
        "UDP Packet Received from 10\\.0\\.0\\.3:5062 <{39}\r\nSIP/2\\.0 200 "
        "OK\r\n\r\n\r\n-{64}\r\n\r\n" +
        t + "\\d{1,4}ms Rtp <<< 10\\.0\\.0\\.2:8000      8 seq=65535 ts=-1 ssrc=1 172 bytes\r\n" +
        t + "Rtp Relay 1\\.2\\.3\\.4:5 >>> 6\\.7\\.8\\.9:10 \\(172 bytes\\)\r\n");
    EXPECT_TRUE(std::regex_match(trace, expected)) << trace;
}

TEST_F(SipTraceTest, SwitchingOffAndOnEmptiesTheDaysFile)
{
    LSipTraceSetOn(true);
    LSipTraceWrite("first\r\n");
    EXPECT_NE(Trace().find("first"), std::string::npos);
    LSipTraceSetOn(false);
    LSipTraceWrite("while off\r\n");
    EXPECT_NE(Trace().find("first"), std::string::npos);
    LSipTraceSetOn(true);
    LSipTraceWrite("second\r\n");
    std::string trace = Trace();
    EXPECT_EQ(trace.find("first"), std::string::npos);
    EXPECT_EQ(trace.find("while off"), std::string::npos);
    EXPECT_EQ(trace.substr(9), "second\r\n");
}

TEST_F(SipTraceTest, CleanUpDeletesOnlyOldPlainFiles)
{
    time_t now = time(nullptr);
    // A file last changed ageSeconds ago.
    auto aged = [now](const std::string &path, long ageSeconds) {
        std::ofstream(path) << "x";
        utimbuf times{now - ageSeconds, now - ageSeconds};
        return utime(path.c_str(), &times) == 0;
    };
    struct File {
        const char *name;
        long ageSeconds;
        bool goneAfterOneDay;
    } files[] = {{"old.txt", 2 * 86400, true},
                 {"edge.csv", 86400 + 60, true},
                 {"exact.txt", 86400, false}, // a day old to the second: kept
                 {"young.txt", 86400 - 60, false},
                 {"new.txt", 0, false}};
    for (const File &f : files)
        ASSERT_TRUE(aged(logs + "/" + f.name, f.ageSeconds));
    // Neither a folder, what is in it, nor what a link leads to goes.
    mkdir((logs + "/folder").c_str(), 0700);
    for (std::string path : {root + "/outside.txt", logs + "/folder/nested.txt"})
        ASSERT_TRUE(aged(path, 10 * 86400));
    ASSERT_EQ(symlink((root + "/outside.txt").c_str(), (logs + "/link.txt").c_str()), 0);
    utimbuf old{now - 10 * 86400, now - 10 * 86400};
    utime((logs + "/folder").c_str(), &old);

    EXPECT_EQ(LLogDeleteOlderThan(logs.c_str(), 0, now), 0);
    EXPECT_EQ(LLogDeleteOlderThan(logs.c_str(), -5, now), 0);
    EXPECT_EQ(LLogDeleteOlderThan(logs.c_str(), 3, now), 0);
    EXPECT_EQ(LLogDeleteOlderThan(logs.c_str(), 1, now), 2);
    for (const File &f : files)
        EXPECT_EQ(access((logs + "/" + f.name).c_str(), F_OK) != 0, f.goneAfterOneDay) << f.name;
    for (std::string path :
         {logs + "/folder/nested.txt", root + "/outside.txt", logs + "/link.txt"})
        EXPECT_EQ(access(path.c_str(), F_OK), 0) << path;

    // The configured age: unset is 30 days.
    ASSERT_TRUE(aged(logs + "/month.txt", 31 * 86400));
    LSettingSetInt("Logs", "AutoDeleteDays", 0);
    EXPECT_EQ(LLogCleanUp(), 0);
    LSettingDeleteItem("Logs", "AutoDeleteDays");
    EXPECT_EQ(LLogCleanUp(), 1);
}

TEST_F(SipTraceTest, StartTakesBothSwitchesFromTheSettings)
{
    // clang-format off
    const struct { bool sip, rtp, rtpTraced; } cases[] = {
        {true, false, false}, {false, true, false}, {true, true, true}, {false, false, false},
    };
    // clang-format on
    for (const auto &c : cases) {
        LPBXSettings::SipTraceOn.Set(c.sip);
        LPBXSettings::SipTraceAudioOn.Set(c.rtp);
        LSipTraceStart();
        EXPECT_EQ(LRtpTraceIsEnabled(), c.rtpTraced) << c.sip << c.rtp;
    }
}

TEST_F(SipTraceTest, LogFileNameTooLongForAPathIsRefused)
{
    char out[LPathSize];
    EXPECT_FALSE(LLogFilePath(out, std::string(LPathSize, 'x').c_str()));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(LLogFilePath(out, "2024-03 Phone Log.csv"));
    EXPECT_EQ(std::string(out), logs + "/2024-03 Phone Log.csv");
}
