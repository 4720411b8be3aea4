// The desktop window on a virtual display (Xvfb) next to the real service,
// driven over GTK's accessibility bus (AT-SPI) as a screen reader would.
#include "../sip/sip_engine_fixture.h"
#include "config/settingssections.h"
#include "support/sip_retransmit.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace vtest;

namespace
{
class WindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/dbus-daemon", X_OK) != 0 ||
            system("/usr/bin/python3 -c 'import gi; gi.require_version(\"Atspi\", \"2.0\")' "
                   "2>/dev/null") != 0)
            GTEST_SKIP() << "needs xvfb, dbus-daemon, python3-gi and gir1.2-atspi-2.0";
        std::string display = ":" + std::to_string(1000 + getpid() % 1000);
        ASSERT_TRUE(xvfb.Start(
            {"/usr/bin/Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp"}));
        std::string xsocket = "/tmp/.X11-unix/X" + display.substr(1);
        for (int64_t end = MonotonicMs() + 10000; access(xsocket.c_str(), F_OK) != 0;)
            ASSERT_LT(MonotonicMs(), end) << xvfb.Output();
        // A session bus of our own; the accessibility bus starts on demand.
        ASSERT_TRUE(
            bus.Start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address"}));
        ASSERT_TRUE(bus.WaitForOutput("unix:", 5000)) << bus.Output();
        ASSERT_TRUE(bus.WaitForOutput("\n", 5000));
        size_t at = bus.Output().find("unix:");
        env = {"DISPLAY=" + display, "VELA_ROOT=" + vela.Root(), "HOME=" + vela.Root(),
               "DBUS_SESSION_BUS_ADDRESS=" +
                   bus.Output().substr(at, bus.Output().find('\n', at) - at)};
    }
    void TearDown() override
    {
        for (ChildProcess *p : {&window, &bus, &xvfb})
            if (p->Running())
                p->Stop(SIGTERM, 5000);
        if (vela.Process().Running())
            vela.Stop(SIGTERM, 5000);
    }
    bool Driver(const std::vector<std::string> &args, std::string *out = nullptr)
    {
        ChildProcess driver;
        std::vector<std::string> argv = {"/usr/bin/python3", VELA_TEST_DATA "/atspi_driver.py"};
        argv.insert(argv.end(), args.begin(), args.end());
        int status = -1;
        bool ok = driver.Start(argv, env) && driver.WaitExit(20000, &status) && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0;
        if (out)
            *out = driver.Output();
        return ok;
    }
    // Waits until the window shows text in any of its widgets.
    bool Shows(const std::string &text, int ms = 10000)
    {
        std::string shown;
        for (int64_t end = MonotonicMs() + ms; MonotonicMs() < end;)
            if (Driver({"show"}, &shown) && shown.find(text) != std::string::npos)
                return true;
        ADD_FAILURE() << "not shown: " << text << "\n" << shown;
        return false;
    }
    bool Answered(const std::string &callId, int ms)
    {
        return AnsweredWithin(peer, sipPort, SipRequest("OPTIONS", callId, peer.Port()), callId,
                              ms);
    }

    ChildProcess xvfb, bus, window;
    std::vector<std::string> env;
    VelaInstance vela;
    UdpPeer peer;
    int sipPort = FreeUdpPort();
};
} // namespace

TEST_F(WindowTest, ShowsServiceLogSwitchesSipAndRunsTheNetworkTest)
{
    ASSERT_TRUE(StartVelaOnPort(vela, sipPort)) << vela.Process().Output();
    ASSERT_TRUE(window.Start({VELA_WINDOW_BINARY}, env));
    ASSERT_TRUE(Shows("Control window connected to background service")) << window.Output();

    ASSERT_TRUE(Answered("before", 3000));
    ASSERT_TRUE(Driver({"press", "Stop SIP engine"}));
    ASSERT_TRUE(Shows("SIP engine stopped"));
    EXPECT_FALSE(Answered("stopped", 1000));
    ASSERT_TRUE(Driver({"press", "Start SIP engine"}));
    ASSERT_TRUE(Shows("SIP engine started"));
    EXPECT_TRUE(Answered("started", 3000));

    // With a static mapping set up by hand the test refuses to run, before
    // it sends anything to the network.
    setenv("VELA_ROOT", vela.Root().c_str(), 1);
    ASSERT_TRUE(LSettingSetBool("SIP", "STATIC", true));
    unsetenv("VELA_ROOT");
    ASSERT_TRUE(Driver({"press", "Network test"}));
    EXPECT_TRUE(Shows("Running SIP Network Tool"));
    EXPECT_TRUE(Shows("This wizard does not work if you have manually setup a STATIC IP"));
    ASSERT_TRUE(Driver({"press", "OK"}));
    EXPECT_TRUE(Shows("Test failed"));
    EXPECT_TRUE(Driver({"press", "Close"}));

    // A second start hands its arguments to the first and leaves; so does
    // the exchange's own executable started on the display.
    for (std::vector<std::string> argv :
         {std::vector<std::string>{VELA_WINDOW_BINARY, "-x", "hello"},
          std::vector<std::string>{VELA_BINARY}}) {
        ChildProcess second;
        int status = -1;
        ASSERT_TRUE(second.Start(argv, env) && second.WaitExit(10000, &status));
        EXPECT_EQ(status, 0) << second.Output();
    }
    EXPECT_TRUE(Shows("Started again with arguments: -x hello"));
    EXPECT_TRUE(Shows("Started again with arguments: \n"));
}

// No service and no service manager to start one (as in a container): the
// window says why and runs the engine itself, which answers SIP.
TEST_F(WindowTest, WithoutAServiceManagerRunsTheEngineItself)
{
    if (access("/run/systemd/system", F_OK) == 0 || access("/etc/init.d/velad", F_OK) == 0)
        GTEST_SKIP() << "a service manager runs here; the window would start the real service";
    vela.SetPort("sip", sipPort);
    vela.SetPort("webserver", FreeTcpPort());
    ASSERT_TRUE(window.Start({VELA_WINDOW_BINARY}, env));
    EXPECT_TRUE(
        window.WaitForOutput("Cannot start the background service: systemd is not running", 10000))
        << window.Output();
    EXPECT_TRUE(window.WaitForOutput(
        "Unable to start the background service! Will attempt to run in foreground.", 10000));
    EXPECT_TRUE(Shows("Running the engine in this window"));
    EXPECT_TRUE(Answered("foreground", 5000)) << window.Output();
}
