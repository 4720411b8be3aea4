// The exchange's own media leg towards a caller: an RTP endpoint that only
// sends, with a stream player pumping a source (ringing, hold music, an
// announcement) into it. Digits the caller presses are ignored.
#pragma once

#include "media/rtp_engine.h"
#include "media/streamplayer.h"

#include <string>
#include <string_view>

class LPBXPlayer : public LRtpDTMFNotify
{
  public:
    LPBXPlayer(LSDPSettings &sdpSettings, const LClock &clock,
               LRtpPublicAddressFunction publicAddress = {});
    ~LPBXPlayer() override;

    void DetectDTMFEvent(char) override {}
    void DialDTMFComplete() override {}

    // A fresh port for a new media leg; false (logged) when none is free.
    bool Initialize();
    void CreateOfferSDP(std::string &out);
    // False when the offer shares no codec with the player.
    bool CreateAnswerSDP(std::string &out, std::string_view offerText);
    bool ReceiveAnswerSDP(std::string_view answerText);
    // Plays source to the caller, restarting a playback already going.
    // False when the source cannot be played (the call goes on silent).
    bool Start(const LSoundSource &source);
    void Stop();
    bool IsPlaying() const { return playing; }
    LRtpEngine &GetEngine() { return engine; }

  private:
    LRtpEngine engine;
    LStreamPlayer streamPlayer;
    bool playing = false;
};
