#include "service/network_test_cli.h"

#include "config/folders.h"
#include "config/settings.h"
#include "logs/program_log.h"
#include "platform/ipaddress.h"
#include "platform/log.h"
#include "platform/sip_setting_keys.h"
#include "sip/sip_network_test.h"
#include "sip/upnp.h"

#include <cstdio>

namespace
{
// Nobody is there to answer: a box is printed, a question answered "No".
class ConsoleProcess : public LSipTestProcess
{
  public:
    bool IsToStop() override { return false; }
    void SetStatus(int, const char *text) override { Print(text); }
    void SetProgress(double) override {}
    void ShowInfo(const char *title, const char *) override { Print(title); }
    void ShowError(const char *text) override { Print(text); }
    void Confirm(const char *title, const char *text) override
    {
        Print(title);
        Print(text);
    }
    Answer AskYesNoCancel(const char *, const char *text) override
    {
        Print(text);
        return Answer::No;
    }

  private:
    static void Print(const char *text)
    {
        std::printf("%s\n", text);
        std::fflush(stdout);
    }
};

// The service's own engine runs in another process (and has the SIP port
// bound); this process has no engine to stop or restart.
class SettingsTester : public LSipTester
{
  public:
    bool IsEngineRunning() override { return false; }
    void StopEngine() override {}
    void StartEngine() override {}
    bool GetBool(const char *key, bool def) override
    {
        return LSettingGetBool(LSipKeys::kSection, key, def);
    }
    int GetInt(const char *key, int def) override
    {
        return LSettingGetInt(LSipKeys::kSection, key, def);
    }
    std::string GetString(const char *key) override
    {
        char out[LPathSize] = {0};
        LSettingGetString(LSipKeys::kSection, key, "", out);
        return out;
    }
    void SetBool(const char *key, bool value) override
    {
        LSettingSetBool(LSipKeys::kSection, key, value);
    }
    void SetInt(const char *key, int value) override
    {
        LSettingSetInt(LSipKeys::kSection, key, value);
    }
    void SetString(const char *key, const char *value) override
    {
        LSettingSetString(LSipKeys::kSection, key, value);
    }
    std::string GetLocalIP() override
    {
        uint32_t address = 0;
        char text[LPathSize] = {0};
        if (GetLocalHostPrivateIP(address))
            LIPAddressWithPort(address, 0).ToHostString(text);
        else
            LIPGetLocalHostIPPublic(text, sizeof(text));
        return text;
    }
    LStunState &GetStunState() override { return m_Stun; }
    LSipNatPortMapper *GetPortMapper() override { return &m_Upnp; }

  private:
    LStunState m_Stun;
    LProcessInterfaceVoid m_Process;
    LUpnpPortMapper m_Upnp{LStopTestOf<LProcessInterfaceVoid>, &m_Process};
};
} // namespace

int VLRunNetworkTest()
{
    char folder[LPathSize];
    LGetFolder(LFolder::Logs, folder);
    LLog::SetLogFolder(folder);
    LLog::InstallFileSink();
    ConsoleProcess process;
    SettingsTester tester;
    LProcessResult result = LSipNetworkTest(process, tester).Process();
    return result == LProcessSuccess ? 0 : 1;
}
