#include "kamailio_instance.h"

#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vtest
{
namespace
{
constexpr const char *kKamailio = "/usr/sbin/kamailio";
constexpr const char *kKamcmd = "/usr/sbin/kamcmd";
constexpr const char *kModules = "/usr/lib/x86_64-linux-gnu/kamailio/modules/";

// Requests are logged whole ($mb) so that tests can read the exact layout.
// The exchange is challenged as by a provider that prefers SHA-256 (RFC
// 8760): that challenge first, MD5 after it. SIPp answers only the first
// challenge, so its phones get MD5 alone. Challenges offer qop=auth, as
// most providers' do, and the exchange's re-INVITEs and BYEs are challenged
// too, as some providers do.
constexpr const char *kRoutes = R"cfg(
route {
    if (!mf_process_maxfwd_header("10")) { sl_send_reply("483", "Too Many Hops"); exit; }
    xlog("L_NOTICE", "<<<REQUEST\n$mb\nREQUEST>>>\n");
    if (has_totag()) {
        if (is_method("INVITE|BYE") && $ua =~ "Vela") {
            route(PASSWORD);
            if (!pv_auth_check("$fd", "$var(pw)", "0", "1")) { auth_challenge("$fd", "1"); exit; }
            consume_credentials();
        }
        if (loose_route() || is_method("ACK|BYE|CANCEL|INVITE|UPDATE")) { t_relay(); }
        exit;
    }
    if (is_method("CANCEL")) { if (t_check_trans()) t_relay(); exit; }
    route(PASSWORD);
    if (is_method("REGISTER")) {
        if (!pv_auth_check("$td", "$var(pw)", "0", "1")) {
            if ($ua =~ "Vela") append_to_reply("WWW-Authenticate: Digest realm=\"$td\", nonce=\"sha$Ts\", algorithm=SHA-256\r\n");
            auth_challenge("$td", "1");
            exit;
        }
        if (!save("location")) sl_reply_error();
        exit;
    }
    if (is_method("INVITE") && $var(pw) != "") {
        if (!pv_auth_check("$fd", "$var(pw)", "0", "1")) {
            if ($ua =~ "Vela") append_to_reply("Proxy-Authenticate: Digest realm=\"$fd\", nonce=\"sha$Ts\", algorithm=SHA-256\r\n");
            auth_challenge("$fd", "1");
            exit;
        }
        consume_credentials();
    }
    record_route();
    if (!lookup("location")) { sl_send_reply("404", "Not Found"); exit; }
    t_relay();
}
)cfg";
} // namespace

KamailioInstance::KamailioInstance(std::map<std::string, std::string> accounts, int maxExpires,
                                   std::string netns, std::string ip)
    : mAccounts(std::move(accounts)), mMaxExpires(maxExpires), mNetns(std::move(netns)),
      mIp(std::move(ip)), mPort(mNetns.empty() ? FreeUdpPort() : 5060)
{
}

KamailioInstance::~KamailioInstance()
{
    if (mProcess.Running())
        mProcess.Stop(SIGTERM, 5000);
}

std::string KamailioInstance::Config() const
{
    std::string text = "#!KAMAILIO\ndebug=2\nlog_stderror=yes\nchildren=1\n";
    text += "listen=udp:" + Address() + "\nmpath=\"" + kModules + "\"\n";
    for (const char *module : {"tm", "sl", "rr", "pv", "maxfwd", "textops", "siputils", "usrloc",
                               "registrar", "auth", "ctl", "kex", "corex", "xlog"})
        text += std::string("loadmodule \"") + module + ".so\"\n";
    text += "modparam(\"ctl\", \"binrpc\", \"unix:" + mFolder.Path() + "/ctl.sock\")\n";
    text += "modparam(\"registrar\", \"max_expires\", " + std::to_string(mMaxExpires) + ")\n";
    text += "modparam(\"registrar\", \"min_expires\", 5)\n";
    text += "modparam(\"auth\", \"secret\", \"vela-test\")\n";
    text += kRoutes;
    text += "route[PASSWORD] {\n    $var(user) = $fU;\n"
            "    if (is_method(\"REGISTER\")) $var(user) = $tU;\n    $var(pw) = \"\";\n";
    for (const auto &[user, password] : mAccounts)
        text += "    if ($var(user) == \"" + user + "\") $var(pw) = \"" + password + "\";\n";
    return text + "}\n";
}

bool KamailioInstance::Start(std::string &why)
{
    if (access(kKamailio, X_OK) != 0 || access(kKamcmd, X_OK) != 0) {
        why = "kamailio is not installed (Debian package kamailio)";
        return false;
    }
    std::string config = mFolder.Path() + "/kamailio.cfg";
    std::ofstream(config) << Config();
    std::vector<std::string> argv = {kKamailio, "-f", config, "-DD", "-E", "-Y", mFolder.Path()};
    if (!mNetns.empty())
        argv.insert(argv.begin(), {"/usr/sbin/ip", "netns", "exec", mNetns});
    if (!mProcess.Start(argv)) {
        why = "kamailio did not start";
        return false;
    }
    // Ready once its control socket answers.
    for (int64_t end = MonotonicMs() + 10000; MonotonicMs() < end && mProcess.Running();) {
        ChildProcess probe;
        int status = -1;
        if (probe.Start({kKamcmd, "-s", "unix:" + mFolder.Path() + "/ctl.sock", "core.version"}) &&
            probe.WaitExit(2000, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return true;
        usleep(100000); // polling the socket: its answer is the awaited event
    }
    why = "kamailio did not come up: " + mProcess.Output();
    return false;
}

std::string KamailioInstance::DumpLocations()
{
    ChildProcess kamcmd;
    if (!kamcmd.Start({kKamcmd, "-s", "unix:" + mFolder.Path() + "/ctl.sock", "ul.dump"}) ||
        !kamcmd.WaitExit(5000))
        return "";
    return kamcmd.Output();
}
} // namespace vtest
