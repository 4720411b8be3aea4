#include "media/sdp_stored_settings.h"

#include "config/pbx_global_settings.h"

int LSDPStoredSettings::GetQuality()
{
    return LPBXSettings::SipQuality.Get();
}

bool LSDPStoredSettings::GetActive()
{
    return LPBXSettings::SipActive.Get();
}
