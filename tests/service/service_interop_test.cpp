// The real executable: start-up roles, readiness, clean stops by signal, the
// program log on disk and the permissions of what the service creates.
#include "platform/version.h"
#include "support/process.h"
#include "support/vela_instance.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace vtest;

namespace
{
constexpr int kStopBudgetMs = 3000;

// Message parts of the log's lines, after checking that each line is whole
// (ends in CR LF) and starts with its time.
std::vector<std::string> LogMessages(const std::string &path)
{
    static const std::regex shape("([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] (.*)");
    const std::string text = ReadFile(path);
    std::vector<std::string> messages;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::smatch m;
        std::string line = text.substr(at, end - at);
        EXPECT_TRUE(std::regex_match(line, m, shape)) << line;
        messages.push_back(m.size() > 2 ? m[2].str() : line);
    }
    EXPECT_EQ(at, text.size()) << "text after the last line end";
    return messages;
}

pid_t ServicePidFromLog(const std::string &path)
{
    std::string log;
    if (!WaitForFileText(path, kVelaReadyText, 10000, &log))
        return -1;
    return static_cast<pid_t>(
        std::stol(log.substr(log.find(kVelaReadyText) + std::strlen(kVelaReadyText))));
}
} // namespace

// Stopped by either signal, the service runs its whole stop sequence within
// the budget, leaves it in the day's log, and created nothing open to
// others even when started from a shell with an open umask. A second start
// on the same folder changes nothing of this.
TEST(ServiceInterop, ForegroundStopsCleanlyOnSignal)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        mode_t old = umask(0);
        VelaInstance vela;
        bool started = vela.Start();
        umask(old);
        ASSERT_TRUE(started) << vela.Process().Output();
        if (sig == SIGTERM) {
            // Started again on the same folder, it ends at once and leaves
            // the running service its control channel.
            ChildProcess again;
            ASSERT_TRUE(again.Start({VELA_BINARY, "-foreground"}, {"VELA_ROOT=" + vela.Root()}));
            int status = -1;
            ASSERT_TRUE(again.WaitExit(5000, &status)) << again.Output();
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
            EXPECT_NE(again.Output().find("Another service already runs"), std::string::npos)
                << again.Output();
            EXPECT_TRUE(std::filesystem::exists(vela.SharedDataFolder() + "/.spipe.velad"));
        }
        int64_t asked = MonotonicMs();
        int status = -1;
        ASSERT_TRUE(vela.Stop(sig, kStopBudgetMs, &status)) << "still running after 3 s";
        EXPECT_LT(MonotonicMs() - asked, kStopBudgetMs);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);

        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(vela.LogFolder()))
            names.push_back(entry.path().filename().string());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(std::regex_match(names[0],
                                     std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9] Vela Log\\.txt")))
            << names[0];
        const std::vector<std::string> expected = {
            "Starting telephony engine...",
            "Starting web server...",
            "Service started, process " + std::to_string(vela.Process().Pid()),
            std::string("Received ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") +
                ", stopping service",
            "Stop web server",
            "Stop telephony engine",
            "Service stopped"};
        // Subsystems add lines of their own in between; the sequence must hold.
        size_t next = 0;
        for (const std::string &message : LogMessages(vela.LogFolder() + "/" + names[0]))
            next += next < expected.size() && message == expected[next];
        EXPECT_EQ(next, expected.size())
            << "missing or out of order: " << (next < expected.size() ? expected[next] : "");
        // The same lines were echoed to the terminal in -foreground mode.
        for (const std::string &message : expected)
            EXPECT_NE(vela.Process().Output().find(message), std::string::npos) << message;

        for (const auto &entry :
             std::filesystem::recursive_directory_iterator(vela.Root() + "/vela")) {
            struct stat st;
            ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 027, 0u) << entry.path();
        }
    }
}

TEST(ServiceInterop, ServiceArgumentDetachesFromTheStarter)
{
    for (bool relativeRoot : {false, true}) {
        SCOPED_TRACE(relativeRoot ? "relative VELA_ROOT" : "absolute VELA_ROOT");
        TempDir root("vela-root");
        std::string parent = root.Path().substr(0, root.Path().rfind('/'));
        std::string rootArg = relativeRoot ? root.Path().substr(parent.size() + 1) : root.Path();
        ChildProcess starter;
        ASSERT_TRUE(
            starter.Start({VELA_BINARY, "-service"}, {"VELA_ROOT=" + rootArg, "DISPLAY"}, parent));
        int status = -1;
        ASSERT_TRUE(starter.WaitExit(35000, &status));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << starter.Output();

        std::string log = root.Path() + "/vela/etc/Logs/" + TodayLogFileName();
        pid_t service = ServicePidFromLog(log);
        ASSERT_GT(service, 0);
        EXPECT_NE(service, starter.Pid());
        EXPECT_TRUE(ProcessAlive(service)) << "the service did not outlive its starter";
        EXPECT_EQ(getsid(service), service) << "the service kept the starter's session";

        ASSERT_EQ(kill(service, SIGTERM), 0);
        EXPECT_TRUE(WaitForProcessGone(service, kStopBudgetMs));
        EXPECT_TRUE(WaitForFileText(log, "Service stopped", kStopBudgetMs));
    }
}

TEST(ServiceInterop, OtherRolesEndWithAClearStatus)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int status;
        const char *output;
    };
    // Where GTK is installed the window is built beside vela and takes over.
    std::string binary = VELA_BINARY;
    bool window =
        access((binary.substr(0, binary.rfind('/') + 1) + "vela-window").c_str(), X_OK) == 0;
    // clang-format off
    const Case cases[] = {
        {{}, {"DISPLAY=:99"}, 1, window ? "Unable to open the display" : "desktop window is not available"},
        {{"-bogus"}, {"DISPLAY"}, 1, "Usage: vela"},
        {{"-install"}, {"DISPLAY"}, 0, "installed in"},
        {{"-uninstall"}, {"DISPLAY"}, 0, "uninstalled"},
        {{"-version"}, {"DISPLAY"}, 0, "Vela " VELA_VERSION "\n"},
        {{"-help"}, {"DISPLAY=:99"}, 0, "VELA_ROOT"},
    };
    // clang-format on
    for (const Case &c : cases) {
        TempDir root("vela-root");
        std::vector<std::string> argv = {VELA_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::vector<std::string> env = c.env;
        env.push_back("VELA_ROOT=" + root.Path());
        ChildProcess vela;
        ASSERT_TRUE(vela.Start(argv, env));
        int status = -1;
        ASSERT_TRUE(vela.WaitExit(5000, &status)) << c.output;
        ASSERT_TRUE(WIFEXITED(status)) << c.output;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.output;
        EXPECT_NE(vela.Output().find(c.output), std::string::npos) << vela.Output();
        if (c.args == std::vector<std::string>{"-install"}) {
            EXPECT_TRUE(std::filesystem::is_directory(root.Path() + "/vela/etc/Logs"));
            // An extension made later names plan "Default": it must exist.
            EXPECT_TRUE(
                std::filesystem::exists(root.Path() + "/vela/etc/lines_/outboundrules_/default_"));
        }
    }
}
