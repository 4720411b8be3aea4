#include "vela_instance.h"
#include "web_client.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <utility>

namespace vtest
{
VelaInstance::VelaInstance(std::string binary) : mBinary(std::move(binary)) {}

std::string TodayLogFileName()
{
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char name[64];
    strftime(name, sizeof name, "%Y-%m-%d Vela Log.txt", &local);
    return name;
}

void VelaInstance::SetPort(const char *section, int port) const
{
    namespace fs = std::filesystem;
    const fs::perms folderMode =
        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    std::string folder = SharedDataFolder(), path = folder + "/" + section;
    // Modes as the exchange itself creates them (umask 027): the tests check
    // that nothing under the root is open to others.
    fs::create_directories(folder);
    fs::permissions(fs::path(folder).parent_path(), folderMode);
    fs::permissions(folder, folderMode);
    std::ofstream(path) << "port=" << port << "\r\n";
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

bool VelaInstance::Start(const std::vector<std::string> &env, int timeoutMs,
                         const std::string &argument)
{
    // Instances never fight over the well-known ports.
    if (!std::filesystem::exists(SharedDataFolder() + "/sip"))
        SetPort("sip", FreeUdpPort());
    if (!std::filesystem::exists(SharedDataFolder() + "/webserver"))
        SetPort("webserver", FreeTcpPort());
    std::vector<std::string> all = env;
    all.push_back("VELA_ROOT=" + Root());
    if (!mProcess.Start({mBinary, argument}, all))
        return false;
    return mProcess.WaitForOutput(kVelaReadyText, timeoutMs);
}

std::string VelaInstance::WebBase() const
{
    std::string text = ReadFile(SharedDataFolder() + "/webserver");
    size_t at = text.find("port=");
    return "http://127.0.0.1:" +
           (at == std::string::npos ? "1081" : std::to_string(atoi(text.c_str() + at + 5)));
}

std::string VelaInstance::PanelCookie(int timeoutMs) const
{
    std::string cookie;
    for (int64_t end = MonotonicMs() + timeoutMs; MonotonicMs() < end; usleep(20000)) {
        cookie = WebLogOn(WebBase(), "101=admin&102=&submitdef=++OK++");
        if (!cookie.empty())
            break;
    }
    return cookie;
}

bool VelaInstance::Stop(int sig, int timeoutMs, int *status)
{
    return mProcess.Stop(sig, timeoutMs, status);
}
} // namespace vtest
