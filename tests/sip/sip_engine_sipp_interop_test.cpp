// The SIP engine against SIPp as the far end: its scenarios fail the run
// unless every expected answer (status, reason, User-Agent) arrives.
#include "sip_engine_fixture.h"

#include <gtest/gtest.h>

namespace vtest
{
namespace
{
// Runs a SIPp client scenario calls times against port; true when SIPp ends
// with status 0 (every call succeeded).
bool RunSipp(const std::string &scenario, int port, int calls, std::string &output)
{
    ChildProcess sipp;
    std::vector<std::string> argv = {"/usr/bin/sipp",
                                     "127.0.0.1:" + std::to_string(port),
                                     "-sf",
                                     std::string(VELA_TEST_GENERATED) + "/sipp/" + scenario,
                                     "-m",
                                     std::to_string(calls),
                                     "-i",
                                     "127.0.0.1",
                                     "-p",
                                     std::to_string(FreeUdpPort()),
                                     "-nostdin",
                                     "-timeout",
                                     "20s",
                                     "-timeout_error"};
    int status = -1;
    bool ended = sipp.Start(argv) && sipp.WaitExit(30000, &status);
    output = sipp.Output();
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SipEngineWire, SippOptionsGetsNotImplementedFromTheExchange)
{
    std::string output;
    EXPECT_TRUE(RunSipp("options_501.xml", sipPort, 20, output)) << output;
}

TEST_F(SipEngineWire, SippStrayDialogRequestsGetTheirFixedAnswers)
{
    std::string output;
    EXPECT_TRUE(RunSipp("stray_requests.xml", sipPort, 5, output)) << output;
}

// A scenario that expects something else must fail, or the checks above
// would prove nothing.
TEST_F(SipEngineWire, SippDetectsAWrongAnswer)
{
    std::string output;
    EXPECT_FALSE(RunSipp("options_expect_200.xml", sipPort, 1, output)) << output;
}
} // namespace
} // namespace vtest
