// Pulls the remote media address, port, payload list, rtpmap attributes and
// the exchange's own "a=local:", "a=domain:" and "a=direction:active"
// attributes out of an SDP.
#pragma once

#include "media/sdp.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LSDPDecoder
{
  public:
    struct RtpMap {
        std::string encodingName; // without the clock rate: "PCMU", "G726-32"
        uint8_t payloadType = 0;
    };

    LSDPDecoder() = default;
    explicit LSDPDecoder(const LSDP &sdp) { Decode(sdp); }
    explicit LSDPDecoder(std::string_view text);

    // Resets every field, then reads the items in order; for repeated lines
    // the last one wins, and session and media level are not told apart.
    void Decode(const LSDP &sdp);

    const std::string &GetRemoteHost() const { return remoteHost_; }
    uint16_t GetRemoteRTPAudioPort() const { return remoteRTPAudioPort_; }
    const std::string &GetRemotePayLoadTypes() const { return remotePayLoadTypes_; }
    bool GetRemoteDirectionActive() const { return remoteDirectionActive_; }
    bool GetRemoteHold() const { return remoteHold_; }
    const std::string &GetRemoteHostPrivate() const { return remoteHostPrivate_; }
    uint16_t GetRemoteRTPAudioPortPrivate() const { return remoteRTPAudioPortPrivate_; }
    const std::string &GetRemoteHostPrivateDomain() const { return remoteHostPrivateDomain_; }

    // Payload type of the last rtpmap line whose encoding name equals name
    // (case-insensitive, clock rate not compared), else defaultType.
    uint8_t GetRtpMap(std::string_view name, uint8_t defaultType) const;

  private:
    void DecodeAttribute(std::string_view value);
    void DecodeRtpMap(std::string_view rest);
    void DecodeMedia(std::string_view value);
    void DecodeConnection(std::string_view value);

    std::string remoteHost_;
    uint16_t remoteRTPAudioPort_ = 0;
    std::string remotePayLoadTypes_;
    bool remoteDirectionActive_ = false;
    bool remoteHold_ = false;
    std::string remoteHostPrivate_;
    uint16_t remoteRTPAudioPortPrivate_ = 0;
    std::string remoteHostPrivateDomain_;
    // Newest first, so a lookup finds the last matching line.
    std::vector<RtpMap> rtpMaps_;
};

// Splits an "a" line value into its attribute name and the text after the
// name's separator (blanks and colons skipped).
std::string_view LSDPAttributeName(std::string_view value, std::string_view *rest = nullptr);
