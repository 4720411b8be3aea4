#include "vela_instance.h"

#include <ctime>
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

bool VelaInstance::Start(const std::vector<std::string> &env, int timeoutMs,
                         const std::string &argument)
{
    std::vector<std::string> all = env;
    all.push_back("VELA_ROOT=" + Root());
    if (!mProcess.Start({mBinary, argument}, all))
        return false;
    return mProcess.WaitForOutput(kVelaReadyText, timeoutMs);
}

bool VelaInstance::Stop(int sig, int timeoutMs, int *status)
{
    return mProcess.Stop(sig, timeoutMs, status);
}
} // namespace vtest
