#include "media/rtp_dtmf.h"

#include "config/settings.h"

LRtpDTMF::LRtpDTMF(LRtpDTMFNotify &notify)
    : LRtpDTMF(notify, LSettingGetInt("Settings", "DTMFDetectSensitivity", 50))
{
}

LRtpDTMF::LRtpDTMF(LRtpDTMFNotify &notify, int sensitivity)
    : notify_(notify), detector_(*this, 8000, sensitivity)
{
}

void LRtpDTMF::Start(uint8_t telephoneEventPayloadType)
{
    clearPending_.store(true);
    payloadType_.store(telephoneEventPayloadType);
}

void LRtpDTMF::Stop()
{
    lastEventTimeStamp_ = -1;
}

void LRtpDTMF::ReceiveAudio(const int *samples, int count)
{
    if (clearPending_.exchange(false))
        detector_.Clear();
    if (payloadType_.load(std::memory_order_relaxed) == kNoPayload)
        detector_.Write(samples, count, 1);
}

void LRtpDTMF::HandleTelephoneEvent(const LRtpHeader &packet)
{
    const unsigned char *payload;
    int length;
    // An event is 4 bytes (RFC 2833 3.5); anything shorter is not one.
    if (!packet.GetDataBufferAndLength(payload, length) || length < 4)
        return;
    uint32_t timestamp = packet.ReadTimeStamp();
    if (lastEventTimeStamp_.exchange(timestamp) == (int64_t)timestamp)
        return;
    if (payload[0] < 17)
        notify_.DetectDTMFEvent("0123456789*#ABCD!"[payload[0]]);
}
