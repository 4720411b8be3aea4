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

bool LWebControl::StartServer(LWebletServer &server, const LWebletScriptItem *table, int count,
                              int port, const LWebPageContext *context)
{
    std::string root = WebSharedDataFolder() + "/WebControl";
    if (port <= 0)
        port = LWebletServer::GetWebletServerPort();
    return server.StartServer(table, count, root.c_str(), port, context);
}
