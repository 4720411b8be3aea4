// Key presses from the peer: RFC 2833 telephone events when they were
// negotiated, otherwise tones detected in the decoded audio.
#pragma once

#include "media/dtmf_detect.h"
#include "media/rtp_header.h"

#include <atomic>
#include <cstdint>

class LRtpDTMFNotify
{
  public:
    virtual ~LRtpDTMFNotify() = default;
    // On the receive thread, once per key press.
    virtual void DetectDTMFEvent(char key) = 0;
    virtual void DialDTMFComplete() = 0;
};

class LRtpDTMF
{
  public:
    static constexpr uint8_t kNoPayload = 255;

    // Reads "DTMFDetectSensitivity" (section "Settings", default 50).
    explicit LRtpDTMF(LRtpDTMFNotify &notify);
    LRtpDTMF(LRtpDTMFNotify &notify, int sensitivity);

    // kNoPayload: listen for tones in the audio instead of events.
    void Start(uint8_t telephoneEventPayloadType);
    void Stop();
    // Receive thread only.
    void ReceiveAudio(const int *samples, int count);
    void HandleTelephoneEvent(const LRtpHeader &packet);
    uint8_t GetTelephoneEventPayLoadType() const { return payloadType_.load(); }

    // From the detector.
    void DTMFNotifyDetect(char key) { notify_.DetectDTMFEvent(key); }

  private:
    LRtpDTMFNotify &notify_;
    LDTMFDetect<LRtpDTMF> detector_;
    // Every packet of one event carries its start timestamp (RFC 2833 3.5).
    std::atomic<int64_t> lastEventTimeStamp_{-1};
    std::atomic<uint8_t> payloadType_{kNoPayload};
    // Start runs on the caller's thread while the receive thread may be
    // detecting; the detector is cleared on the receive thread.
    std::atomic<bool> clearPending_{false};
};
