#include "baresip.h"

#include "support/wait.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace vtest
{
std::unique_ptr<ChildProcess> StartBaresip(const TempDir &home, const std::string &user,
                                           const std::string &password,
                                           const std::string &registrar, bool autoAnswer,
                                           int consolePort, const std::vector<std::string> &extra,
                                           const std::string &netns, const std::string &ip)
{
    // baresip's file source needs a real WAV file, and ends the call when it runs out.
    if (system(("sox -n -r 8000 -b 16 -c 1 '" + home.Path() + "/silence.wav' trim 0 30").c_str()))
        return nullptr;
    std::ofstream(home.Path() + "/config")
        << "module_path /usr/lib/baresip/modules\n"
        << "sip_listen " << ip << ":" << FreeUdpPort() << "\n"
        << "audio_player aufile," << home.Path() << "/heard.wav\n"
        << "audio_source aufile," << home.Path() << "/silence.wav\n"
        << "cons_listen 127.0.0.1:" << consolePort << "\n"
        << "module g711.so\nmodule aufile.so\nmodule cons.so\n"
        << "module_app account.so\nmodule_app menu.so\n";
    std::ofstream(home.Path() + "/accounts")
        << "<sip:" << user << "@" << registrar << ";transport=udp>;auth_pass=" << password
        << ";regint=600" << (autoAnswer ? ";answermode=auto" : "") << "\n";
    std::vector<std::string> argv = {"/usr/bin/baresip", "-f", home.Path()};
    if (!netns.empty())
        argv.insert(argv.begin(), {"/usr/sbin/ip", "netns", "exec", netns});
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto baresip = std::make_unique<ChildProcess>();
    return baresip->Start(argv) ? std::move(baresip) : nullptr;
}

std::string Console(UdpPeer &peer, int port, const std::string &command)
{
    std::string all, part;
    int from = 0;
    peer.SendTo(port, command + "\n");
    while (peer.Receive(part, 300, &from))
        if (from == port)
            all += part;
    return all;
}

namespace
{
// The listener's "rcvd=" count for the speaker's SSRC; -1 before the first.
long long Received(UdpPeer &listenerPeer, int listener, UdpPeer &speakerPeer, int speaker)
{
    std::string own = Console(speakerPeer, speaker, "/audio_debug");
    size_t ssrc = own.find(" SSRC=");
    if (ssrc == std::string::npos)
        return -1;
    std::string member = "member " + own.substr(ssrc + 6, own.find('/', ssrc) - ssrc - 6) + ":";
    std::string report = Console(listenerPeer, listener, "/audio_debug");
    size_t at = report.find(member);
    at = at == std::string::npos ? at : report.find("rcvd=", at);
    return at == std::string::npos ? -1 : atoll(report.c_str() + at + 5);
}
} // namespace

bool Hears(UdpPeer &listenerPeer, int listener, UdpPeer &speakerPeer, int speaker)
{
    auto received = [&] { return Received(listenerPeer, listener, speakerPeer, speaker); };
    long long before = received();
    return WaitUntil([&] { return received() > std::max(before, 0LL); }, 5000);
}
} // namespace vtest
