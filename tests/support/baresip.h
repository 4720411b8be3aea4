// baresip 1.0 as a real softphone in interop tests, driven through its UDP
// console (module cons): dial, hold, transfer, hang up, and its audio report.
#pragma once

#include "support/process.h"
#include "support/udp_peer.h"

#include <memory>
#include <string>
#include <vector>

namespace vtest
{
// A baresip phone registered as user at registrar ("host:port"), answering
// by itself when autoAnswer, that takes menu commands on its UDP console at
// 127.0.0.1:consolePort. It plays silence from a WAV file for 30 s. Given a
// network namespace, it runs there with its SIP and RTP on ip.
std::unique_ptr<ChildProcess>
StartBaresip(const TempDir &home, const std::string &user, const std::string &password,
             const std::string &registrar, bool autoAnswer, int consolePort,
             const std::vector<std::string> &extra = {}, const std::string &netns = "",
             const std::string &ip = "127.0.0.1");

// What the console at port prints back for command until it falls quiet;
// the command runs at its line end.
std::string Console(UdpPeer &peer, int port, const std::string &command);

// Whether the phone at listener keeps receiving RTP from the one at speaker:
// the "rcvd=" count of the speaker's SSRC in the listener's audio report
// grows within 5 s. Each console is asked through its own peer (one per
// network namespace).
bool Hears(UdpPeer &listenerPeer, int listener, UdpPeer &speakerPeer, int speaker);
inline bool Hears(UdpPeer &peer, int listener, int speaker)
{
    return Hears(peer, listener, peer, speaker);
}
} // namespace vtest
