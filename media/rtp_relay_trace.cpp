#include "media/rtp_relay_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "media/sdp_settings.h"

static std::atomic<bool> gEnabled{false};

void LRtpTraceSetEnabled(bool on)
{
    gEnabled.store(on, std::memory_order_relaxed);
}

bool LRtpTraceIsEnabled()
{
    return gEnabled.load(std::memory_order_relaxed);
}

void LRtpTraceWrite(LSDPSettings &media, const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    media.WriteRtpTrace(line);
}
