// One connection of the web server: requests are read and answered in turn
// until the connection is not kept alive.
#include "web/weblet_file.h"
#include "web/weblet_form.h"
#include "web/weblet_guard.h"
#include "web/weblet_io.h"
#include "web/weblet_request.h"
#include "web/weblet_server.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace
{
constexpr int kLingerMs = 20000;
constexpr int kRequestWaitMs = 30000;

std::string LocalAddressText(int fd)
{
    sockaddr_in addr = {};
    socklen_t len = sizeof addr;
    char text[INET_ADDRSTRLEN] = "127.0.0.1";
    if (getsockname(fd, (sockaddr *)&addr, &len) == 0)
        inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return text;
}

const LWebletScriptItem *FindScript(const LWebletScriptItem *table, int count,
                                    const std::string &script)
{
    for (int i = 0; i < count; i++)
        if (script == table[i].name)
            return &table[i];
    return nullptr;
}

// Closes our sending side first so the client sees the end of the answer,
// then waits briefly for its close so the answer is not cut by a reset.
void Linger(int fd, LWebletReader &reader)
{
    shutdown(fd, SHUT_WR);
    std::string rest;
    reader.ReadBytes(rest, 23, kLingerMs);
}
} // namespace

void LWebletServer::ServeStatic(LWebletForm &form)
{
    std::string script = form.GetRequestScript();
    std::string path = script.compare(0, 5, "help/") == 0 ? help_folder + "/" + script.substr(5)
                                                          : root + "/" + script;
    form.ServeFile(path.c_str());
}

void LWebletServer::ServeConnection(int id, int fd, uint32_t peer)
{
    LWebletReader reader(fd, gate.StopFlag());
    std::string host = LocalAddressText(fd);
    for (;;) {
        LWebletRequest request;
        SetState(id, State::Waiting);
        if (reader.WaitData(kRequestWaitMs) != LWebletRead::Ok)
            return;
        SetState(id, State::Partial);
        LWebletParse parsed = WebletReadRequest(reader, request, host.c_str());
        SetState(id, State::Busy);
        if (parsed == LWebletParse::Close)
            return;
        if (parsed != LWebletParse::Ok) {
            const char *answer = WebletParseAnswer(parsed);
            WebletSendAll(fd, answer, strlen(answer), kLingerMs, gate.StopFlag());
            break;
        }
        bool keep_alive = request.keep_alive;
        {
            LWebletForm form(fd, gate.StopFlag(), session_folder);
            form.SetPageContext(context);
            form.form_data = request.form;
            form.cookie_data = request.cookies;
            form.headers = request.headers;
            form.SetRequestScript(request.script);
            form.SetClientAddress(peer);
            form.session.SetIdleLimit(WebletSessionIdleSeconds());
            form.session.LoadSession(form.cookie_data.GetParm("sess", ""));
            const LWebletScriptItem *item = FindScript(table, table_count, request.script);
            // Log-on is the one script used without a session, so without a token.
            bool needs_token = request.script != "" && request.script != "logon";
            LWebletGuard guard =
                item ? WebletGuardScript(form, request.method, own_names, needs_token)
                : WebletHostAllowed(form.GetRequestHost(), own_names) ? LWebletGuard::Pass
                                                                      : LWebletGuard::ForeignHost;
            if (guard != LWebletGuard::Pass) {
                keep_alive = false;
                WebletSendGuardRefusal(form, guard);
            } else if (item) {
                keep_alive = false;
                form.SetLogonThrottle(&throttle);
                item->handler(form);
            } else {
                ServeStatic(form);
            }
        }
        if (!keep_alive || gate.IsStopRequested())
            break;
    }
    SetState(id, State::Waiting);
    Linger(fd, reader);
}
