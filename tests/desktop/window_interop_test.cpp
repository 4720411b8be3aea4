// The desktop window on a virtual display (Xvfb) next to the real service:
// it shows a line the service logged, its stop and start buttons silence and
// revive SIP, a second start hands over to it, and its screenshot is kept as window.png in the
// build folder.
#include "../sip/sip_engine_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace vtest;

TEST(DesktopWindow, ShowsServiceLogAndSwitchesTheSipEngine)
{
    int display = 1000 + getpid() % 1000;
    ChildProcess xvfb;
    ASSERT_TRUE(xvfb.Start({"/usr/bin/Xvfb", ":" + std::to_string(display), "-screen", "0",
                            "800x600x24", "-nolisten", "tcp"}));
    std::string xsocket = "/tmp/.X11-unix/X" + std::to_string(display);
    for (int64_t end = MonotonicMs() + 10000; access(xsocket.c_str(), F_OK) != 0;)
        ASSERT_LT(MonotonicMs(), end) << xvfb.Output();

    VelaInstance vela;
    UdpPeer peer;
    int sipPort = FreeUdpPort();
    ASSERT_EQ(system(("mkdir -p '" + vela.SharedDataFolder() + "'").c_str()), 0);
    std::ofstream(vela.SharedDataFolder() + "/webserver") << "port=" << FreeTcpPort() << "\r\n";
    ASSERT_TRUE(StartVelaOnPort(vela, sipPort)) << vela.Process().Output();
    // Sent again every 500 ms, as SIP over UDP does (RFC 3261 timer A).
    auto answered = [&](const std::string &callId, int ms) {
        std::string answer;
        for (int64_t end = MonotonicMs() + ms; MonotonicMs() < end;) {
            EXPECT_TRUE(peer.SendTo(sipPort, SipRequest("OPTIONS", callId, peer.Port())));
            while (peer.Receive(answer, 500))
                if (answer.find("Call-ID: " + callId + "\r\n") != std::string::npos)
                    return true;
        }
        return false;
    };

    std::string script = vela.Root() + "/window-script";
    std::ofstream(script).close();
    auto press = [&](const std::string &line) {
        std::ofstream(script, std::ios::app) << line << "\n";
    };
    ChildProcess window;
    ASSERT_TRUE(window.Start({VELA_WINDOW_BINARY},
                             {"DISPLAY=:" + std::to_string(display), "VELA_ROOT=" + vela.Root(),
                              "HOME=" + vela.Root(), "VELA_WINDOW_SCRIPT=" + script}));
    ASSERT_TRUE(window.WaitForOutput("Control window connected to background service", 10000))
        << window.Output();

    ASSERT_TRUE(answered("before", 3000));
    press("press stop");
    ASSERT_TRUE(window.WaitForOutput("status: SIP engine stopped", 10000)) << window.Output();
    EXPECT_FALSE(answered("stopped", 1000));
    press("press start");
    ASSERT_TRUE(window.WaitForOutput("status: SIP engine started", 10000)) << window.Output();
    EXPECT_TRUE(answered("started", 3000));

    // A second start hands its arguments to the first and leaves.
    ChildProcess second;
    ASSERT_TRUE(second.Start({VELA_WINDOW_BINARY, "-x", "hello"},
                             {"DISPLAY=:" + std::to_string(display), "VELA_ROOT=" + vela.Root(),
                              "HOME=" + vela.Root()}));
    int secondStatus = -1;
    ASSERT_TRUE(second.WaitExit(10000, &secondStatus));
    EXPECT_EQ(secondStatus, 0);
    EXPECT_TRUE(window.WaitForOutput("status: Started again with arguments: -x hello", 5000))
        << window.Output();

    // So does the exchange's own executable started on the display.
    ChildProcess vela2;
    ASSERT_TRUE(vela2.Start({VELA_BINARY}, {"DISPLAY=:" + std::to_string(display),
                                            "VELA_ROOT=" + vela.Root(), "HOME=" + vela.Root()}));
    ASSERT_TRUE(vela2.WaitExit(10000, &secondStatus));
    EXPECT_EQ(secondStatus, 0);
    EXPECT_TRUE(window.WaitForOutput("arguments: \n", 5000)) << window.Output();

    std::string shot = std::string(VELA_ARTEFACT_DIR) + "/window.png";
    unlink(shot.c_str());
    press("shot " + shot);
    EXPECT_TRUE(window.WaitForOutput("shot saved", 5000)) << window.Output();
    press("quit");
    int status = -1;
    EXPECT_TRUE(window.WaitExit(5000, &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(vela.Stop(SIGTERM, 5000));
    xvfb.Stop(SIGTERM, 5000);
}
