// The control channel's service side with a hand-written window on the
// other end: a window that never reads, a user outside the service's group,
// and log-line texts that lie about their lengths.
#include "config/settingssections.h"
#include "control_client.h"
#include "service/control_channel.h"
#include "service/main_engine_proxy.h"
#include "service/service_engine_proxy.h"
#include "support/process.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <grp.h>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vtest;

namespace
{
struct CountingEngine : LBackgroundEngine {
    std::atomic<int> calls{0};
    void Control(int, const void *, int) override { calls++; }
    int ControlWithResult(int, const void *, int) override { return ++calls; }
};

// Stands for the service's main thread: carries out requests when woken.
struct ChannelFixture : ::testing::Test, LControlWaker {
    TempDir folder{"vela-control"};
    std::string path = folder.Path() + "/.spipe.velad";
    CountingEngine engine;
    LControlChannel channel{*this, 4096};
    std::mutex lock;
    std::condition_variable woken;
    bool wake = false, done = false;
    std::thread mainThread;

    void SetUp() override
    {
        ASSERT_EQ(channel.Open(path.c_str()), LControlChannel::OpenResult::Opened);
        mainThread = std::thread([this] {
            std::unique_lock<std::mutex> hold(lock);
            while (!done) {
                woken.wait(hold, [this] { return wake || done; });
                wake = false;
                hold.unlock();
                channel.HandlePending(engine);
                hold.lock();
            }
        });
    }
    void TearDown() override
    {
        channel.Close();
        {
            std::lock_guard<std::mutex> hold(lock);
            done = true;
        }
        woken.notify_all();
        mainThread.join();
    }
    void ControlRequestPending() override
    {
        std::lock_guard<std::mutex> hold(lock);
        wake = true;
        woken.notify_all();
    }
    void ControlWindowConnected() override {}
    bool WaitForConnections(int count)
    {
        return WaitUntil([&] { return channel.GetConnectionCount() == count; });
    }
};
} // namespace

// The window never reads: broadcasts keep returning at once, the window is
// closed when its queue overflows, and the next window is served as before.
// A second service started on the same folder must not take the running
// one's channel (it would leave it unreachable once it ends); a file that
// no one answers on any more, left by a crash, is taken over.
TEST_F(ChannelFixture, ASecondServiceLeavesALiveChannelAndTakesAStaleOne)
{
    auto address = [](const std::string &at) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", at.c_str());
        return a;
    };
    auto answers = [&](const std::string &at) {
        sockaddr_un a = address(at);
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        close(fd);
        return ok;
    };
    {
        LControlChannel second{*this};
        EXPECT_EQ(second.Open(path.c_str()), LControlChannel::OpenResult::Taken);
    }
    EXPECT_TRUE(answers(path)) << "the running service lost its channel";

    std::string crashed = folder.Path() + "/.spipe.crashed";
    sockaddr_un left = address(crashed);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&left), sizeof left), 0);
    close(fd);
    LControlChannel next{*this};
    EXPECT_EQ(next.Open(crashed.c_str()), LControlChannel::OpenResult::Opened);
    EXPECT_TRUE(answers(crashed));
}

TEST_F(ChannelFixture, WindowThatDoesNotReadIsClosedWithoutStallingBroadcasts)
{
    ControlClient stuck;
    ASSERT_TRUE(stuck.Connect(path));
    ASSERT_TRUE(WaitForConnections(1));
    std::string text(200, 'x');
    for (int i = 0; i < 20000; i++)
        channel.LogLine(LLogPlain, "12:00:00", text.c_str());
    EXPECT_TRUE(stuck.WaitClosed(3000));
    ASSERT_TRUE(WaitForConnections(0));

    ControlClient next;
    ASSERT_TRUE(next.Connect(path));
    ASSERT_TRUE(WaitForConnections(1));
    channel.LogLine(LLogError, "12:00:01", "after");
    LControl::Header header;
    std::string payload;
    ASSERT_TRUE(next.Read(header, payload, 3000));
    EXPECT_EQ(header.type, LControl::TypeLogLine);
    EXPECT_EQ(header.code, static_cast<uint32_t>(LLogError));
    EXPECT_EQ(payload, std::string("12:00:01\0after\0", 15));
}

TEST_F(ChannelFixture, UserOutsideTheServiceGroupIsRefused)
{
    // Opened up on purpose so that only the credential check stands between
    // the user and the service.
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_FALSE(LControlChannel::IsPeerAllowed(65534, 65534)) << "nobody in the group";
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        ControlClient window;
        if (!window.Connect(path))
            _exit(3);
        window.Send(LControl::TypeControlWithResult, 1, 1);
        _exit(window.WaitClosed(3000) ? 0 : 4);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no user change, 3: no connect, 4: not closed";
    EXPECT_EQ(engine.calls.load(), 0);
}

TEST(ControlProtocol, LogLineTextsStayInsideThePayload)
{
    struct Case {
        const char *bytes;
        uint32_t size, first;
        const char *text1, *text2;
    };
    // clang-format off
    const Case cases[] = {
        {"12:00\0hello\0", 12, 6, "12:00", "hello"},
        {"12:00\0hello\0", 12, 0, "", ""},            // length below 2: empty
        {"12:00\0hello\0", 12, 1, "", ""},
        {"12:00\0hello\0", 12, 12, "", ""},           // first text fills all
        {"12:00\0hello\0", 12, 4000, "", ""},         // beyond the payload
        {"12:00hellohi", 12, 6, "12:00", "ellohi"}, // unterminated: cut at each part's end
        {"abcdefgh", 8, 3, "ab", "defgh"},
    };
    // clang-format on
    for (const Case &c : cases) {
        // A copy of exactly size bytes, so reading past it is caught by ASan.
        std::vector<char> payload(c.bytes, c.bytes + c.size);
        LControl::LogLine line = LControl::DecodeLogLine(payload.data(), c.size, c.first);
        EXPECT_EQ(line.text1, c.text1) << c.first;
        EXPECT_EQ(line.text2, c.text2) << c.first;
    }
}

namespace
{
struct WindowSink : LControlWindowSink {
    std::mutex lock;
    std::vector<std::string> lines;
    void Note(const std::string &line)
    {
        std::lock_guard<std::mutex> hold(lock);
        lines.push_back(line);
    }
    void ShowLogLine(int, const std::string &time, const std::string &text) override
    {
        Note(time + " " + text);
    }
    void EngineNotify(int code, const std::string &data) override
    {
        Note(std::to_string(code) + ":" + data);
    }
    void ShowError(const std::string &text) override { Note("error:" + text); }
    bool WaitFor(const std::string &line)
    {
        return WaitUntil([&] {
            std::lock_guard<std::mutex> hold(lock);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }
};

// The window's own engine when no service answers.
struct LocalEngine : CountingEngine {
    void Start() {}
    void Stop() {}
};
} // namespace

TEST_F(ChannelFixture, WindowProxyGetsResultsAndPushesAndReconnects)
{
    WindowSink sink;
    LServiceEngineProxy<LocalEngine> proxy(path, sink);
    ASSERT_TRUE(proxy.Start());
    ASSERT_TRUE(WaitForConnections(1));
    EXPECT_EQ(proxy.ControlWithResult(0x1000001), 1);
    channel.LogLine(LLogInfo, "12:00:00", "hello");
    channel.Notify(17, "data", 4);
    EXPECT_TRUE(sink.WaitFor("12:00:00 hello"));
    EXPECT_TRUE(sink.WaitFor("17:data"));

    channel.Close(); // the service restarts
    ASSERT_EQ(channel.Open(path.c_str()), LControlChannel::OpenResult::Opened);
    ASSERT_TRUE(WaitForConnections(1)) << "the window did not reconnect";
    // The service sees the new connection before the window's link has
    // taken it over; a request sent in between fails with 0 and reaches no one.
    int result = 0;
    EXPECT_TRUE(WaitUntil([&] { return (result = proxy.ControlWithResult(0x1000002)) != 0; }));
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(proxy.IsForeground());
}

TEST(WindowProxy, RunsTheEngineItselfWithoutAService)
{
    WindowSink sink;
    LServiceEngineProxy<LocalEngine> proxy("/nonexistent/.spipe.velad", sink);
    EXPECT_FALSE(proxy.Start());
    EXPECT_TRUE(proxy.IsForeground());
    EXPECT_TRUE(proxy.IsServiceStarted());
    EXPECT_EQ(proxy.ControlWithResult(0x1000001), 1);
    proxy.Stop();
    EXPECT_FALSE(proxy.IsServiceStarted());
}

namespace
{
// The service manager as the window sees it: "start" brings the service's
// socket up when it works, "stop" takes it down.
struct ServiceManager : LServiceScript {
    LControlChannel &channel;
    std::string path;
    bool startWorks = true;
    std::vector<std::string> runs;
    ServiceManager(LControlChannel &c, std::string p) : channel(c), path(std::move(p)) {}
    bool Run(const char *action) override
    {
        runs.push_back(action);
        if (runs.back() == "stop")
            channel.Close();
        return runs.back() == "start" && startWorks &&
               channel.Open(path.c_str()) == LControlChannel::OpenResult::Opened;
    }
};
} // namespace

TEST_F(ChannelFixture, WindowProxyStartsTheServiceAndRestartsItForAChangedAccount)
{
    channel.Close();
    WindowSink sink;
    ServiceManager manager(channel, path);
    LServiceEngineProxy<LocalEngine> proxy(path, sink, &manager);
    ASSERT_TRUE(proxy.Start());
    EXPECT_FALSE(proxy.IsForeground());
    EXPECT_EQ(proxy.ControlWithResult(0x1000001), 1);
    proxy.ApplyAnySettingsChanged(); // nothing marked: nothing happens
    EXPECT_EQ(manager.runs, std::vector<std::string>{"start"});

    // The new account cannot start the service: the user is told, and the
    // window runs the engine itself.
    manager.startWorks = false;
    proxy.MarkServiceAccountChanged();
    proxy.ApplyAnySettingsChanged();
    EXPECT_EQ(manager.runs, (std::vector<std::string>{"start", "stop", "start", "start"}));
    EXPECT_TRUE(sink.WaitFor("error:Attempt to restart service failed. It is possible the service "
                             "account details are wrong."));
    EXPECT_TRUE(proxy.IsForeground());
}

TEST_F(ChannelFixture, MainEngineProxyNotesTheWebPortOnStartAndRestart)
{
    setenv("VELA_ROOT", folder.Path().c_str(), 1);
    ASSERT_TRUE(LSettingSetInt("WebServer", "Port", 8123));
    WindowSink sink;
    MainEngineProxy proxy(path, sink);
    ASSERT_TRUE(proxy.Start());
    EXPECT_EQ(LSettingGetInt("WebServer", "PreviousServerPort", 0), 8123);
    ASSERT_TRUE(LSettingSetInt("WebServer", "Port", 8124));
    proxy.CtlRestartWeb();
    EXPECT_EQ(LSettingGetInt("WebServer", "PreviousServerPort", 0), 8124);
    EXPECT_TRUE(WaitUntil([&] { return engine.calls == 1; }))
        << "the restart did not reach the service";
    unsetenv("VELA_ROOT");
}
