// What a call thread needs from the layers above call control: the owner of
// all call threads (to hand a leg to another call in an attended transfer)
// and the call-log writer. Both are plugged in by the service at start-up;
// until then a transfer finds no other call and the end of a call is only
// written to the program log.
#pragma once

#include "platform/ptr.h"

#include <cstdint>

class LSipCall;

// Asks every running call thread to exchange leg for its dialog with
// callId: 1 when one did, -1 when one that may hold it cannot swap now, 0
// when none holds it.
using LPBXTransferHandler = int (*)(const char *callId, LPtr<LSipCall> &leg);
void LPBXSetTransferHandler(LPBXTransferHandler handler);
int LPBXHandleTransfer(const char *callId, LPtr<LSipCall> &leg);

// Writes the call-log entry of one ended call (start and answer in seconds
// since 1970, answer 0 when never answered). The writer logs the end of
// the call itself.
using LPBXCallLogWriter = bool (*)(int64_t start, int64_t answer, const char *caller,
                                   const char *target);
void LPBXSetCallLogWriter(LPBXCallLogWriter writer);
void LPBXWriteCallLog(int64_t start, int64_t answer, const char *caller, const char *target);
