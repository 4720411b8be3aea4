// Calls through the running exchange between SIPp phones on chosen loopback
// addresses (127.1.x.x looks public to the exchange), with an RTP port base
// of their own, so parallel test runs do not meet on 8000.
#pragma once

#include "../callcontrol/call_fixture.h"

namespace vtest
{
class MediaCallTest : public CallTest
{
  protected:
    void SetUp() override
    {
        CallTest::SetUp();
        rtpBase = 20000 + (FreeUdpPort() % 20000) * 2;
        ASSERT_TRUE(LSettingSetInt("SIP", "RTPPortBase", rtpBase));
    }
    // SIPp bound at ip, run in the test's folder, with more options.
    std::unique_ptr<ChildProcess> Sipp(std::vector<std::string> argv, const char *ip,
                                       const std::vector<std::string> &more)
    {
        for (size_t i = 0; i + 1 < argv.size(); i++)
            if (argv[i] == "-i")
                argv[i + 1] = ip;
        argv.insert(argv.end(), more.begin(), more.end());
        auto sipp = std::make_unique<ChildProcess>();
        EXPECT_TRUE(sipp->Start(argv, {}, folder.Path()));
        return sipp;
    }
    // user (password "pw" + user) registers from ip at port.
    bool RegisterAt(const std::string &user, const char *ip, int port)
    {
        auto reg = Sipp(SippArgs("../../callcontrol/sipp/register.xml", port, Remote()), ip,
                        {"-s", user, "-au", user, "-ap", "pw" + user});
        bool ok = Succeeded(*reg, 15000);
        EXPECT_TRUE(ok) << reg->Output();
        return ok;
    }
    // 101 at ip dials target with scenario.
    std::unique_ptr<ChildProcess> Caller(const char *scenario, const char *ip,
                                         std::vector<std::string> more,
                                         const std::string &target = "102")
    {
        more.insert(more.begin(), {"-s", target, "-au", "101", "-ap", kCallerPassword});
        return Sipp(SippArgs(scenario, FreeUdpPort(), Remote()), ip, more);
    }

    TempDir folder{"media-call"};
    int rtpBase = 0;
};
} // namespace vtest
