#include "media/sdp_settings.h"

#include <atomic>

static std::atomic<LSDPSettings *> gSettings{nullptr};

void LSDPSetSettings(LSDPSettings *settings)
{
    gSettings.store(settings);
}

int LSDPGetQuality()
{
    LSDPSettings *settings = gSettings.load();
    return settings != nullptr ? settings->GetQuality() : 50;
}

bool LSDPGetActive()
{
    LSDPSettings *settings = gSettings.load();
    return settings != nullptr && settings->GetActive();
}
