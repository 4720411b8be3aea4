// What the receiving end of one RTP stream learns from it: packets expected
// (from the extended highest sequence number, RFC 3550 A.3) and received,
// and the interarrival jitter estimate of RFC 3550 section 6.4.1 / A.8.
#pragma once

#include <cstdint>
#include <cstdlib>

class RtpStreamStats
{
  public:
    // clockRate: timestamp units per second.
    explicit RtpStreamStats(int clockRate = 8000) : clockRate_(clockRate) {}

    // One packet, in arrival order; arrivalNs is the receive time.
    void Add(uint16_t sequence, uint32_t timestamp, int64_t arrivalNs)
    {
        if (received_++ == 0) {
            base_ = maxSequence_ = sequence;
        } else if ((uint16_t)(sequence - maxSequence_) < 0x8000) {
            if (sequence < maxSequence_)
                cycles_ += 65536; // the 16-bit counter wrapped
            maxSequence_ = sequence;
        }
        // Transit differences in timestamp units; the clocks' origins
        // cancel, and the timestamp difference is taken modulo 2^32.
        if (received_ > 1) {
            double d = (double)(arrivalNs - arrivalNs_) * clockRate_ / 1e9 -
                       (double)(int32_t)(timestamp - timestamp_);
            jitter_ += ((d < 0 ? -d : d) - jitter_) / 16;
            if (jitter_ > maxJitter_)
                maxJitter_ = jitter_;
        }
        arrivalNs_ = arrivalNs;
        timestamp_ = timestamp;
    }

    uint32_t Received() const { return received_; }
    int64_t Expected() const
    {
        return received_ == 0 ? 0 : (int64_t)cycles_ + maxSequence_ - base_ + 1;
    }
    // Negative when duplicates outnumber the losses, as RFC 3550 allows.
    int64_t Lost() const { return Expected() - received_; }
    double JitterMs() const { return jitter_ * 1000 / clockRate_; }
    double MaxJitterMs() const { return maxJitter_ * 1000 / clockRate_; }

  private:
    int clockRate_;
    uint32_t received_ = 0;
    uint16_t base_ = 0;
    uint16_t maxSequence_ = 0;
    uint32_t cycles_ = 0;
    int64_t arrivalNs_ = 0;
    uint32_t timestamp_ = 0;
    double jitter_ = 0;
    double maxJitter_ = 0;
};
