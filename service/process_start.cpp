#include "service/process_start.h"

#include "config/folders.h"
#include "config/pbx_install.h"
#include "platform/version.h"
#include "service/detach.h"
#include "service/network_test_cli.h"
#include "service/stop_signals.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::atomic<bool> gRunningAsService{false};

bool HasDisplay()
{
    const char *display = getenv("DISPLAY");
    return display && *display;
}

// The console installer prepares the folder tree the service writes to and
// the default records (plan "default", line "Default", the application
// extensions): without the plan, every extension created later names a plan
// that does not exist. Running it again changes nothing.
int ConsoleInstall()
{
    const LFolder folders[] = {LFolder::SharedData, LFolder::Logs};
    char path[LPathSize];
    for (LFolder folder : folders) {
        if (!LCreateFolder(LGetFolder(folder, path))) {
            std::fprintf(stderr, "Unable to create the folder %s\n", path);
            return 1;
        }
    }
    if (!PreInstallExtensionsAndExternalLines()) {
        std::fprintf(stderr, "Unable to write the default extensions, plan and line\n");
        return 1;
    }
    std::printf("Vela is installed in %s\n", LGetFolder(LFolder::Program, path));
    return 0;
}

// Settings, call logs and recordings are the owner's data: the uninstaller
// leaves them in place and says where they are.
int ConsoleUninstall()
{
    char path[LPathSize];
    std::printf("Vela is uninstalled. Settings and logs are kept in %s\n",
                LGetFolder(LFolder::Application, path));
    return 0;
}

void PrintHelp(std::FILE *to)
{
    std::fprintf(
        to,
        "Usage: vela [-service | -foreground | -install | -uninstall | -network-test | -version |\n"
        "             -help]\n"
        "  (none)       without a display: start the background service\n"
        "  -service     start the background service (detaches from the terminal)\n"
        "  -foreground  run the service in this terminal, log lines also on stderr;\n"
        "               SIGTERM or SIGINT stops it with exit status 0\n"
        "  -install     create the folders the service writes to\n"
        "  -uninstall   uninstall; settings and logs are kept\n"
        "  -network-test  find the public address (static mapping, STUN, UPnP) and\n"
        "               print each step\n"
        "  -version     print the version\n"
        "  -help        print this text\n"
        "Environment:\n"
        "  VELA_ROOT    the program folder: settings, logs and the control panel's\n"
        "               files (default /opt/orv)\n");
}

int Usage(const char *argument)
{
    std::fprintf(stderr, "Unknown argument \"%s\".\n", argument);
    PrintHelp(stderr);
    return 1;
}

int DesktopUnavailable()
{
    std::fprintf(stderr, "The desktop window is not available in this build.\n"
                         "Start the background service with \"vela -service\", or run it in this "
                         "terminal with \"vela -foreground\".\n");
    return 1;
}
// The window is its own executable beside this one, built where GTK is
// installed; it replaces this process.
int StartDesktopWindow(char **argv)
{
    char self[LPathSize];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        if (char *slash = std::strrchr(self, '/')) {
            std::string window = std::string(self, slash + 1) + "vela-window";
            // The mask blocked for the service would outlive the exec.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execv(window.c_str(), argv);
        }
    }
    return DesktopUnavailable();
}
} // namespace

bool VLIsRunningAsService()
{
    return gRunningAsService.load();
}

void VLSetRunningAsService()
{
    gRunningAsService.store(true);
}

int VLMain(int argc, char **argv)
{
    // Before any thread exists, so every later thread inherits the mask.
    LBlockAllSignals();
    // Nothing the service writes (settings, logs, sessions) is for others.
    umask(027);

    const char *argument = argc > 1 ? argv[1] : "";
    if (std::strcmp(argument, "-foreground") == 0) {
        VLSetRunningAsService();
        return VLRunService(-1, true);
    }
    if (std::strcmp(argument, "-service") == 0 || (!*argument && !HasDisplay()))
        return VLStartServiceDetached();
    if (std::strcmp(argument, "-install") == 0)
        return ConsoleInstall();
    if (std::strcmp(argument, "-uninstall") == 0)
        return ConsoleUninstall();
    if (std::strcmp(argument, "-network-test") == 0)
        return VLRunNetworkTest();
    if (std::strcmp(argument, "-version") == 0) {
        std::printf("Vela %s\n", kVelaVersion);
        return 0;
    }
    if (std::strcmp(argument, "-help") == 0) {
        PrintHelp(stdout);
        return 0;
    }
    if (*argument)
        return Usage(argument);
    return StartDesktopWindow(argv);
}
