#include "callcontrol/pbx_sip_line_hooks.h"

#include "platform/log.h"

#include <atomic>

namespace
{
std::atomic<LPBXTransferHandler> gTransferHandler{nullptr};
std::atomic<LPBXCallLogWriter> gCallLogWriter{nullptr};
} // namespace

void LPBXSetTransferHandler(LPBXTransferHandler handler)
{
    gTransferHandler.store(handler);
}

int LPBXHandleTransfer(const char *callId, LPtr<LSipCall> &leg)
{
    LPBXTransferHandler handler = gTransferHandler.load();
    return handler ? handler(callId, leg) : 0;
}

void LPBXSetCallLogWriter(LPBXCallLogWriter writer)
{
    gCallLogWriter.store(writer);
}

void LPBXWriteCallLog(int64_t start, int64_t answer, const char *caller, const char *target)
{
    LPBXCallLogWriter writer = gCallLogWriter.load();
    if (writer)
        writer(start, answer, caller, target);
    else
        LOGF("Call %s -> %s disconnected", caller, target);
}
