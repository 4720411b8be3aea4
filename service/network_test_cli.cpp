#include "service/network_test_cli.h"

#include "config/folders.h"
#include "config/settings.h"
#include "logs/program_log.h"
#include "platform/ipaddress.h"
#include "platform/log.h"
#include "service/network_test_tester.h"

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

} // namespace

int VLRunNetworkTest()
{
    char folder[LPathSize];
    LGetFolder(LFolder::Logs, folder);
    LLog::SetLogFolder(folder);
    LLog::InstallFileSink();
    ConsoleProcess process;
    LSettingsSipTester tester;
    LProcessResult result = LSipNetworkTest(process, tester).Process();
    return result == LProcessSuccess ? 0 : 1;
}
