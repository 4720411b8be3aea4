#include "web/web_control.h"

#include "web/web_access_page.h"
#include "web/web_logon.h"
#include "web/web_settings.h"

const LWebletScriptItem kWebLogonScripts[] = {
    {"", VWLogon},
    {"logon", VWLogon},
    {"logoff", VWLogoff},
    {"webaccess", VWWebAccess},
};
const int kWebLogonScriptCount = 4;

LWebletServer &LWebControl::GetServer()
{
    static LWebletServer server;
    return server;
}

bool LWebControl::StartServer(const LWebletScriptItem *table, int count, int port,
                              const LWebPageContext *context)
{
    std::string root = WebSharedDataFolder() + "/WebControl";
    if (port <= 0)
        port = LWebletServer::GetWebletServerPort();
    return GetServer().StartServer(table, count, root.c_str(), port, context);
}

bool LWebControl::StartServer(const LWebletScriptItem *table, int count)
{
    return StartServer(table, count, 0);
}

bool LWebControl::StartServer()
{
    return StartServer(kWebLogonScripts, kWebLogonScriptCount, 0);
}

void LWebControl::StopServer()
{
    GetServer().Stop();
}
