#include "web_client.h"

#include "process.h"

#include <algorithm>
#include <cstring>

namespace vtest
{
namespace
{
// Reads the output while waiting for the exit (a pipe left unread would
// stall a long answer); helpers the program leaves behind may hold the pipe
// open, so the exit, not the end of output, ends the wait.
bool RunToEnd(ChildProcess &child, int timeoutMs, int *status)
{
    const std::string never = "\x01end-of-output\x02";
    int64_t deadline = MonotonicMs() + timeoutMs;
    for (;;) {
        int64_t before = MonotonicMs();
        bool open = child.WaitForOutput(never, 50) || MonotonicMs() - before >= 50;
        int64_t left = deadline - MonotonicMs();
        if (child.WaitExit(open ? 0 : (int)std::max<int64_t>(left, 0), status)) {
            child.Output();
            return true;
        }
        if (left <= 0)
            return false;
    }
}
} // namespace

std::string Curl(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-i", "--max-time", "20"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess curl;
    if (!curl.Start(argv) || !RunToEnd(curl, 30000, nullptr))
        return "";
    return curl.Output();
}

std::string HttpHeader(const std::string &answer, const char *name)
{
    size_t at = answer.find(std::string("\r\n") + name + ": ");
    if (at == std::string::npos)
        return "";
    at += strlen(name) + 4;
    return answer.substr(at, answer.find("\r\n", at) - at);
}

std::string WebLogOn(const std::string &base, const char *fields)
{
    std::string cookie = HttpHeader(Curl({"-d", fields, base + "/logon"}), "Set-Cookie");
    if (cookie.compare(0, 5, "sess=") != 0)
        return "";
    return cookie.substr(0, cookie.find(';'));
}

std::string WebFormToken(const std::string &page)
{
    const std::string field = "name=csrf value=\"";
    size_t at = page.find(field);
    if (at == std::string::npos)
        return "";
    at += field.size();
    return page.substr(at, page.find('"', at) - at);
}

bool Playwright(const std::string &script, const std::vector<std::string> &args,
                std::string *output)
{
    std::string modules = VELA_SOURCE_DIR "/tests/support/browser/node_modules";
    std::vector<std::string> argv = {"/usr/bin/node", script};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess node;
    int status = -1;
    if (!node.Start(argv, {"NODE_PATH=" + modules}) || !RunToEnd(node, 120000, &status))
        return false;
    *output = node.Output();
    return status == 0;
}

} // namespace vtest
