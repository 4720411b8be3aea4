// The program as it is installed (the package, which cpack builds with the
// same install rules as `cmake --install`), run with the source and build
// folders hidden by tmpfs mounts so that nothing reaches the files through
// the tree it was built from.
#include "support/process.h"
#include "support/text.h"
#include "support/vela_instance.h"
#include "support/web_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace vtest;
namespace fs = std::filesystem;

namespace
{
const std::string kBuild = fs::path(VELA_BINARY).parent_path();
const std::string kSource = fs::canonical(VELA_TEST_DATA "/../..");

struct ToolRun {
    bool exited = false;
    int status = -1;
    std::string output;
    bool Ok() const { return exited && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

ToolRun RunTool(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                int timeoutMs = 120000)
{
    ChildProcess child;
    ToolRun run;
    run.exited = child.Start(argv, env) && child.WaitExit(timeoutMs, &run.status);
    run.output = child.Output();
    return run;
}

// A starter that runs binary in a private mount namespace in which the source
// and build folders are empty tmpfs mounts.
std::string HiddenTreeStarter(const std::string &folder, const std::string &binary)
{
    std::string mounts = "mount -t tmpfs none '" + kSource + "' || exit 1; ";
    if (kBuild.rfind(kSource + "/", 0) != 0)
        mounts += "mount -t tmpfs none '" + kBuild + "' || exit 1; ";
    mounts += "cd / && ";
    std::string starter = folder + "/start-hidden";
    std::ofstream(starter) << "#!/bin/sh\nexec unshare -m /bin/sh -c \"" << mounts << "exec '"
                           << binary << "' \\\"\\$@\\\"\" vela \"$@\"\n";
    fs::permissions(starter, fs::perms::owner_all);
    return starter;
}

TEST(InstallInterop, PackageInstallsIntoAThrowAwayRoot)
{
    TempDir work("vela-package");
    ToolRun cpack = RunTool({"/usr/bin/cpack", "-G", "DEB", "--config",
                             kBuild + "/CPackConfig.cmake", "-B", work.Path() + "/out"});
    ASSERT_TRUE(cpack.Ok()) << cpack.output;
    std::string deb;
    for (const auto &entry : fs::directory_iterator(work.Path() + "/out"))
        if (entry.path().extension() == ".deb")
            deb = entry.path();
    ASSERT_NE(deb, "") << cpack.output;

    const std::string root = work.Path() + "/root", control = work.Path() + "/control";
    ASSERT_TRUE(RunTool({"/usr/bin/dpkg-deb", "-x", deb, root}).Ok());
    ASSERT_TRUE(RunTool({"/usr/bin/dpkg-deb", "-e", deb, control}).Ok());
    fs::create_directories(root + "/etc");
    std::ofstream(root + "/etc/passwd") << "root:x:0:0:root:/root:/bin/sh\n";
    std::ofstream(root + "/etc/group") << "root:x:0:\n";
    std::ofstream(root + "/etc/shadow") << "root:*:19000:0:99999:7:::\n";
    std::ofstream(root + "/etc/gshadow") << "root:*::\n";
    // An upgrade runs the script again: the user is not duplicated.
    for (int run = 0; run < 2; ++run) {
        ToolRun postinst =
            RunTool({"/bin/sh", control + "/postinst", "configure"}, {"DPKG_ROOT=" + root});
        ASSERT_TRUE(postinst.Ok()) << postinst.output;
    }
    // One system user (below 1000) with the data folder as home and no shell.
    const std::string passwd = ReadFile(root + "/etc/passwd");
    std::smatch vela;
    ASSERT_TRUE(std::regex_search(
        passwd, vela,
        std::regex("\nvela:[^:]*:(\\d{1,3}):(\\d+):[^:\n]*:/opt/orv:/usr/sbin/nologin\n")))
        << passwd;
    EXPECT_EQ(passwd.find("\nvela:"), passwd.rfind("\nvela:"));
    const uid_t velaUid = std::stoi(vela[1]);
    const gid_t velaGid = std::stoi(vela[2]);

    // clang-format off
    struct Expect { const char *path; bool service; mode_t mode; } expected[] = {
        {"/usr/bin/vela",                          false, 0755},
        {"/usr/share/vela/WebControl/s.css",       false, 0644},
        {"/usr/share/vela/help/index.html",        false, 0644},
        {"/usr/lib/systemd/system/vela.service",   false, 0644},
        {"/opt/orv",                               true,  0750},
    };
    // clang-format on
    for (const Expect &e : expected) {
        struct stat st {
        };
        ASSERT_EQ(stat((root + e.path).c_str(), &st), 0) << e.path;
        EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
        EXPECT_EQ(st.st_uid, e.service ? velaUid : 0) << e.path;
        EXPECT_EQ(st.st_gid, e.service ? velaGid : 0) << e.path;
    }

    // verify checks that ExecStart's program exists: the package's /usr/bin
    // is laid over the system's in a private mount namespace. Unknown keys
    // are only warned about, so the output must be empty as well.
    ToolRun verify =
        RunTool({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                 "mount -t overlay overlay -o lowerdir=\"$0/usr/bin:/usr/bin\" /usr/bin && "
                 "exec systemd-analyze verify \"$0/usr/lib/systemd/system/vela.service\"",
                 root});
    EXPECT_TRUE(verify.Ok() && verify.output.empty()) << verify.output;

    // Started with the source tree hidden, it serves the log-on page and the
    // installed style sheet.
    const std::string installedCss = ReadFile(root + "/usr/share/vela/WebControl/s.css");
    VelaInstance server(HiddenTreeStarter(work.Path(), root + "/usr/bin/vela"));
    ASSERT_TRUE(server.Start()) << server.Process().Output();
    const std::string base = server.WebBase();
    EXPECT_NE(server.PanelCookie(), "") << server.Process().Output();
    std::string logon = Curl({base + "/logon"});
    EXPECT_TRUE(Has(logon, "User Name:")) << logon;
    std::string css = Curl({base + "/s.css"});
    EXPECT_EQ(HttpHeader(css, "Content-Type"), "text/css") << css.substr(0, 200);
    EXPECT_TRUE(css.size() > installedCss.size() &&
                css.compare(css.size() - installedCss.size(), std::string::npos, installedCss) ==
                    0);
    std::string log = ReadFile(server.TodayLogPath());
    EXPECT_FALSE(Has(log, "Web files:")) << log;
    EXPECT_TRUE(server.Stop(SIGTERM, 5000));
}

// The old false green: a build folder configured without the tests ran
// nothing and passed. The count check of scripts/test now fails it, and
// passes the folder this test runs from.
TEST(InstallInterop, ABuildWithoutTestsCannotPassTheTestRun)
{
    TempDir build("vela-notests");
    ASSERT_TRUE(RunTool({"/usr/bin/cmake", "-S", kSource, "-B", build.Path(), "-DVELA_TESTS=OFF",
                         "-DVELA_BENCH=OFF"})
                    .Ok());
    const std::string check =
        "source '" + kSource + "/scripts/lib.sh' && check_test_count \"$0\" unit";
    ToolRun empty = RunTool({"/bin/bash", "-c", check, build.Path()});
    EXPECT_TRUE(empty.exited && !empty.Ok()) << empty.output;
    EXPECT_TRUE(Has(empty.output, "ctest found 0")) << empty.output;
    ToolRun ctest = RunTool({"/usr/bin/ctest", "--test-dir", build.Path(), "--no-tests=error"});
    EXPECT_TRUE(ctest.exited && !ctest.Ok()) << ctest.output;

    ToolRun full = RunTool({"/bin/bash", "-c", check, kBuild});
    EXPECT_TRUE(full.Ok()) << full.output;
}
} // namespace
