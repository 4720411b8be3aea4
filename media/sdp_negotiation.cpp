// Codec negotiation of the exchange's own endpoint against a peer's SDP.
#include <cstdio>

#include "media/sdp_address.h"
#include "media/sdp_decoder.h"
#include "media/sdp_session.h"
#include "media/sdp_settings.h"
#include "media/sdp_text.h"

namespace
{
struct CodecsSeen {
    bool pcmu = false, pcma = false, gsm = false, g726 = false, cn = false, te = false;
    bool preferGSM = false, preferG726 = false;
};

// Walks the peer's format list in order: GSM or G.726-32 listed ahead of
// any G.711 codec wins even at normal quality, since the peer prefers it.
void WalkPayloads(std::string_view list, uint8_t cnType, uint8_t teType, uint8_t g726Type,
                  CodecsSeen &seen)
{
    LSDPCursor cursor(list);
    while (true) {
        cursor.SkipWhite();
        std::string_view token = cursor.GetToken();
        if (token.empty())
            break;
        long value = 0;
        if (!LSDPParseInt(token, value))
            continue;
        const uint8_t type = uint8_t((unsigned long)value & 0xFF);
        const bool g711 = seen.pcmu || seen.pcma;
        if (type == 0) {
            seen.pcmu = true;
        } else if (type == 8) {
            seen.pcma = true;
        } else if (type == 13) {
            seen.cn = true;
        } else if (type == 2) {
            seen.g726 = true;
        } else if (type == 3) {
            seen.preferGSM = seen.preferGSM || !g711;
            seen.gsm = true;
        } else {
            seen.cn = seen.cn || type == cnType;
            seen.te = seen.te || type == teType;
            if (type == g726Type) {
                seen.preferG726 = seen.preferG726 || !g711;
                seen.g726 = true;
            }
        }
    }
}

struct FormatBuilder {
    std::string list, attributes;
    uint8_t audio = LSDPSession::kNoPayload;

    void AddCodec(unsigned type, const char *name)
    {
        if (audio == LSDPSession::kNoPayload)
            audio = uint8_t(type);
        AddFormat(type, name);
    }
    void AddFormat(unsigned type, const char *name)
    {
        char line[128];
        snprintf(line, sizeof line, " %u", type);
        list += line;
        snprintf(line, sizeof line, "a=rtpmap:%u %s/8000\r\n", type, name);
        attributes += line;
    }
};
} // namespace

bool LSDPSession::CreateNegotiatedSDP(std::string &out, std::string_view peerText, bool sendOnly)
{
    LSDPDecoder peer(peerText);
    remoteRTPHost_ = peer.GetRemoteHost();
    remoteRTPAudioPort_ = peer.GetRemoteRTPAudioPort();
    remoteDirectionActive_ = peer.GetRemoteDirectionActive();
    remoteHold_ = peer.GetRemoteHold();
    audioPayload_ = kNoPayload;
    comfortNoisePayload_ = peer.GetRtpMap("CN", 13);
    telephoneEventPayload_ = peer.GetRtpMap("telephone-event", 101);
    g72632Payload_ = peer.GetRtpMap("G726-32", 2);

    Flags flags;
    flags.suppressLocal = true;
    flags.sendOnly = sendOnly;
    if (!peer.GetRemoteHostPrivate().empty()) {
        const std::string &nat = peer.GetRemoteHostPrivateDomain().empty()
                                     ? peer.GetRemoteHost()
                                     : peer.GetRemoteHostPrivateDomain();
        if (nat == publicIP_) {
            // Behind the same NAT as we are: talk to its LAN address.
            remoteRTPHost_ = peer.GetRemoteHostPrivate();
            remoteRTPAudioPort_ = peer.GetRemoteRTPAudioPortPrivate();
            flags.suppressActive = true;
            flags.suppressLocal = false;
        }
    }
    if (remoteRTPHost_ != publicIP_) {
        if (LSDPIsPrivateHost(remoteRTPHost_, settings_.GetHostResolver())) {
            flags.isPrivate = true;
            flags.suppressLocal = false;
        }
    } else {
        // Behind our NAT without its LAN address: latch to its packets.
        flags.isPrivate = true;
        flags.suppressLocal = false;
        remoteDirectionActive_ = true;
    }

    CodecsSeen seen;
    seen.preferGSM = seen.preferG726 = settings_.PrefersLowBandwidth();
    WalkPayloads(peer.GetRemotePayLoadTypes(), comfortNoisePayload_, telephoneEventPayload_,
                 g72632Payload_, seen);

    FormatBuilder formats;
    if (seen.preferGSM && seen.gsm)
        formats.AddCodec(3, "GSM");
    if (seen.preferG726 && seen.g726)
        formats.AddCodec(g72632Payload_, "G726-32");
    if (seen.pcmu)
        formats.AddCodec(0, "PCMU");
    if (seen.pcma)
        formats.AddCodec(8, "PCMA");
    if (!seen.preferG726 && seen.g726)
        formats.AddCodec(g72632Payload_, "G726-32");
    if (!seen.preferGSM && seen.gsm)
        formats.AddCodec(3, "GSM");
    if (seen.cn)
        formats.AddFormat(comfortNoisePayload_, "CN");
    else
        comfortNoisePayload_ = kNoPayload;
    if (seen.te) {
        formats.AddFormat(telephoneEventPayload_, "telephone-event");
        char fmtp[64];
        snprintf(fmtp, sizeof fmtp, "a=fmtp:%u 0-16\r\n", unsigned(telephoneEventPayload_));
        formats.attributes += fmtp;
    } else {
        telephoneEventPayload_ = kNoPayload;
    }
    // Comfort noise or telephone events alone carry no audio: no answer.
    if (formats.audio == kNoPayload)
        return false;
    audioPayload_ = formats.audio;
    CreateSDP(out, formats.list + "\r\n" + formats.attributes, flags);
    return true;
}
