#include "platform/log.h"
#include "service/main_engine.h"
#include "service/process_start.h"
#include "service/service_engine.h"

#include "support/log_catcher.h"
#include "support/process.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
// The engine's own start, stop and restart lines; the subsystems it starts
// log lines of their own in between, which these tests do not pin.
bool IsEngineLine(const std::string &line)
{
    static const char *const engineLines[] = {
        "Starting telephony engine...", "Starting web server...",   "Stop web server",
        "Stop telephony engine",        "Restart telephony engine", "Restarting web server"};
    for (const char *known : engineLines)
        if (line == known)
            return true;
    return false;
}

// The engine really starts its subsystems here, so it runs in a private
// program folder on free ports.
struct Logged : ::testing::Test {
    vtest::TempDir root{"vela-engine"};
    int sipPort = vtest::FreeUdpPort();
    void SetUp() override
    {
        setenv("VELA_ROOT", root.Path().c_str(), 1);
        std::string etc = root.Path() + "/vela/etc";
        std::filesystem::create_directories(etc);
        std::ofstream(etc + "/sip") << "port=" << sipPort << "\r\n";
        std::ofstream(etc + "/webserver") << "port=" << vtest::FreeTcpPort() << "\r\n";
    }
    void TearDown() override { unsetenv("VELA_ROOT"); }
    std::vector<std::string> Take()
    {
        std::vector<std::string> engine;
        for (const std::string &line : log.Take())
            if (IsEngineLine(line))
                engine.push_back(line);
        return engine;
    }
    // Whether a socket is bound to the SIP port, as the kernel lists them
    // (looking, not binding, so that the engine's own bind is never raced).
    bool SipPortBound() const
    {
        char port[16];
        snprintf(port, sizeof port, ":%04X ", sipPort);
        return vtest::ReadFile("/proc/net/udp").find(port) != std::string::npos ||
               vtest::ReadFile("/proc/net/udp6").find(port) != std::string::npos;
    }
    vtest::LogCatcher log;
};

using Lines = std::vector<std::string>;
} // namespace

// The child's report, written while the starter waits, may come in parts.
TEST(StartReport, OnlyTheWholeWordStartedCounts)
{
    // clang-format off
    struct Case { std::vector<const char *> parts; bool closeAfter; int status; } cases[] = {
        {{"started"}, false, 0}, {{"started"}, true, 0}, {{"st", "art", "ed"}, true, 0}, {{}, true, 1},
        {{"sta"}, true, 1},      {{"stopped"}, true, 1}, {{}, false, 1}, // silent child: time-out
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.parts.size() << " parts, closed " << c.closeAfter);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::thread child([&] {
            for (const char *part : c.parts)
                EXPECT_EQ(write(fds[1], part, strlen(part)), (ssize_t)strlen(part));
            if (c.closeAfter)
                close(fds[1]);
        });
        EXPECT_EQ(VLAwaitStartReport(fds[0], c.closeAfter || !c.status ? 5000 : 50), c.status);
        child.join();
        close(fds[0]);
        if (!c.closeAfter)
            close(fds[1]);
    }
}

// Started or stopped twice, the engine does it once.
TEST_F(Logged, MainEngineStartsOnceRestartsByControlCodeAndStopsOnce)
{
    // clang-format off
    struct Case { int code; Lines lines; } cases[] = {
        {1, {"Restart telephony engine", "Restarting web server"}},
        {2, {"Restarting web server"}},
        {3, {}},
        {0, {}},
        {-1, {}},
    };
    // clang-format on
    MainEngine engine;
    engine.Start();
    engine.Start();
    EXPECT_EQ(Take(), (Lines{"Starting telephony engine...", "Starting web server..."}));
    for (const Case &c : cases) {
        engine.Control(c.code, nullptr, 0);
        EXPECT_EQ(Take(), c.lines) << c.code;
    }
    // The window's switch of the SIP engine: its port is let go and taken again.
    auto bound = [this] { return SipPortBound(); };
    EXPECT_TRUE(vtest::WaitUntil(bound));
    engine.ControlWithResult(LBackgroundEngine::kCtlStopSipEngine, nullptr, 0);
    EXPECT_FALSE(SipPortBound());
    engine.ControlWithResult(5, nullptr, 0);
    EXPECT_FALSE(SipPortBound()) << "an unknown code changes nothing";
    engine.ControlWithResult(LBackgroundEngine::kCtlStartSipEngine, nullptr, 0);
    EXPECT_TRUE(vtest::WaitUntil(bound));
    EXPECT_TRUE(engine.IsRunning());

    engine.Stop();
    engine.Stop();
    EXPECT_EQ(Take(), (Lines{"Stop web server", "Stop telephony engine"}));
}

TEST_F(Logged, ServiceLoopServesConnectionsUntilStopped)
{
    LServiceEngine<MainEngine> service;
    service.StartEngine();
    Take();

    std::thread main([&] { service.Wait(); });
    service.SignalNewConnection();
    // The main loop, not the caller, greets the new window.
    const std::string greeting = "Control window connected to background service";
    EXPECT_TRUE(vtest::WaitUntil([&] { return log.Heard(greeting); }));
    Take();

    service.Stop(); // from another thread, as the signal thread does
    main.join();    // Wait returned: the loop saw the stop
    EXPECT_EQ(Take(), (Lines{"Stop web server", "Stop telephony engine"}));
    EXPECT_FALSE(service.GetEngine().IsRunning());
    service.Stop(); // a second signal changes nothing
    EXPECT_TRUE(Take().empty());
}
