// The two settings of section "SIP" that shape the SDP the exchange writes.
// They are read on every use, so a change takes effect on the next SDP. The
// main engine hands the settings store's view to every SDP writer; tests
// hand in their own values.
#pragma once

class LSDPSettings
{
  public:
    virtual ~LSDPSettings() = default;
    // "Quality" (default 50): below 50 prefers low-bandwidth codecs.
    virtual int GetQuality() = 0;
    // "Active" (default false): announce "a=direction:active".
    virtual bool GetActive() = 0;
    bool PrefersLowBandwidth() { return GetQuality() < 50; }
};
