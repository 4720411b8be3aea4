// The SDP settings as the settings store holds them: section "SIP", keys
// "Quality" and "Active", re-read on every use so that a change made in the
// control panel reaches the next SDP the exchange writes.
#pragma once

#include "media/sdp_settings.h"

class LSDPStoredSettings : public LSDPSettings
{
  public:
    int GetQuality() override;
    bool GetActive() override;
};
