#include "media/rtp_latch.h"

bool LRtpLatchProbe::Offer(const LRtpAddress &source, const uint8_t *data, int length)
{
    if (length < 12 || (data[0] >> 6) != 2)
        return false;
    uint16_t sequence = (uint16_t)(data[2] << 8 | data[3]);
    uint32_t ssrc = (uint32_t)data[8] << 24 | (uint32_t)data[9] << 16 | (uint32_t)data[10] << 8 |
                    (uint32_t)data[11];
    bool follows = count_ > 0 && LRtpIsSameAddress(source, source_) && ssrc == ssrc_ &&
                   sequence == (uint16_t)(sequence_ + 1);
    if (follows)
        count_++;
    else {
        source_ = source;
        ssrc_ = ssrc;
        count_ = 1;
    }
    sequence_ = sequence;
    return count_ >= kRun;
}
