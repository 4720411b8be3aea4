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
    bool Register102At(const char *ip, int port)
    {
        auto reg = Sipp(SippArgs("../../callcontrol/sipp/register.xml", port, Remote()), ip,
                        {"-s", "102", "-au", "102", "-ap", "pw102"});
        bool ok = Succeeded(*reg, 15000);
        EXPECT_TRUE(ok) << reg->Output();
        return ok;
    }
    // 101 at ip dials 102 with scenario.
    std::unique_ptr<ChildProcess> Caller(const char *scenario, const char *ip,
                                         std::vector<std::string> more)
    {
        more.insert(more.begin(), {"-s", "102", "-au", "101", "-ap", kCallerPassword});
        return Sipp(SippArgs(scenario, FreeUdpPort(), Remote()), ip, more);
    }

    TempDir folder{"media-call"};
    int rtpBase = 0;
};
} // namespace vtest
