// The SDP of the exchange's own media endpoint (the RTP engine that plays
// ringing, prompts and hold audio): offers, answers and the codec choice.
#pragma once

#include "media/sdp_address.h"
#include "media/sdp_settings.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class LSDPSession
{
  public:
    static constexpr uint8_t kNoPayload = 255;
    // Seeded with the time at program start, one step per session, so that
    // "o=" ids differ across restarts (RFC 4566 5.2).
    static std::atomic<uint32_t> uNextLocalSessionID;

    explicit LSDPSession(LSDPSettings &settings);
    LSDPSettings &GetSettings() const { return settings_; }

    void Initialize(std::string_view publicIP, uint16_t publicPort, std::string_view privateIP,
                    uint16_t privatePort);
    void Clear();

    void CreateOfferSDP(std::string &out, bool sendOnly);
    // Both negotiate against the peer's SDP and return whether a common
    // audio codec was found; nothing is written when there is none.
    bool CreateAnswerSDP(std::string &out, std::string_view offerText, bool sendOnly);
    bool ReceiveAnswerSDP(std::string_view answerText);
    // The offer of a freshly cleared session: empty address, port 0. Used
    // as the body of an answer to an in-dialog OPTIONS.
    static void CreateDefaultSDP(LSDPSettings &settings, std::string &out);

    const std::string &GetRemoteRTPHost() const { return remoteRTPHost_; }
    uint16_t GetRemoteRTPAudioPort() const { return remoteRTPAudioPort_; }
    // Where to send media; invalid (send nothing) for 0.0.0.0, an
    // unresolvable host or port 0.
    LSDPMediaDestination GetRemoteDestination() const;
    bool GetRemoteDirectionActive() const { return remoteDirectionActive_; }
    bool GetRemoteHold() const { return remoteHold_; }
    uint8_t GetAudioPayload() const { return audioPayload_; }
    uint8_t GetComfortNoisePayload() const { return comfortNoisePayload_; }
    uint8_t GetTelephoneEventPayload() const { return telephoneEventPayload_; }
    uint8_t GetG72632PayLoadType() const { return g72632Payload_; }
    uint32_t GetSessionID() const { return sessionID_; }
    uint32_t GetSessionVersion() const { return sessionVersion_; }

  private:
    struct Flags {
        bool suppressActive = false;
        bool suppressLocal = false;
        bool sendOnly = false;
        bool isPrivate = false;
    };

    bool CreateNegotiatedSDP(std::string &out, std::string_view peerText, bool sendOnly);
    void CreateSDP(std::string &out, std::string_view mediaBlock, const Flags &flags);

    LSDPSettings &settings_;
    uint32_t sessionID_;
    uint32_t sessionVersion_;
    std::string publicIP_;
    uint16_t publicPort_ = 0;
    std::string privateIP_;
    uint16_t privatePort_ = 0;
    std::string remoteRTPHost_;
    uint16_t remoteRTPAudioPort_ = 0;
    bool remoteDirectionActive_ = false;
    bool remoteHold_ = false;
    uint8_t audioPayload_ = kNoPayload;
    uint8_t comfortNoisePayload_ = kNoPayload;
    uint8_t telephoneEventPayload_ = kNoPayload;
    uint8_t g72632Payload_ = kNoPayload;
};
