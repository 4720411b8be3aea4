#include "media/rtp_relay_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/log.h"

static std::atomic<bool> gEnabled{false};
static std::atomic<LRtpTraceWriter> gWriter{nullptr};

void LRtpTraceSetEnabled(bool on)
{
    gEnabled.store(on, std::memory_order_relaxed);
}

bool LRtpTraceIsEnabled()
{
    return gEnabled.load(std::memory_order_relaxed);
}

void LRtpTraceSetWriter(LRtpTraceWriter writer)
{
    gWriter.store(writer);
}

void LRtpTraceWrite(const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    LRtpTraceWriter writer = gWriter.load();
    if (writer != nullptr)
        writer(line);
    else
        LOG(line);
}
