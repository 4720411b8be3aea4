// Waiting for an exchange to answer over UDP: the request is sent again
// every 500 ms, as a SIP client does (RFC 3261 timer A), since an engine that
// was just started binds its port on its own thread a moment later.
#pragma once

#include "process.h"
#include "udp_peer.h"

#include <string>

namespace vtest
{
// True when an answer carrying callId came back within ms.
inline bool AnsweredWithin(UdpPeer &peer, int port, const std::string &request,
                           const std::string &callId, int ms)
{
    std::string answer;
    for (int64_t end = MonotonicMs() + ms; MonotonicMs() < end;) {
        if (!peer.SendTo(port, request))
            return false;
        while (peer.Receive(answer, 500))
            if (answer.find("Call-ID: " + callId + "\r\n") != std::string::npos)
                return true;
    }
    return false;
}
} // namespace vtest
