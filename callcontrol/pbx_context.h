// What call control works with, built once by the main engine and handed to
// the new-request handler and to every call thread at construction.
#pragma once

#include "platform/ptr.h"
#include "sip/sip_stack.h"

#include <cstdint>

class LPBXCallTargetEnvironment;
class LSDPSettings;
class LSipCall;
class LSipMessage;
struct LPBXCallStart;

// The owner of all call threads, the layer above call control.
class LPBXCallOwner
{
  public:
    virtual ~LPBXCallOwner() = default;
    // Makes and starts the call thread for an accepted INVITE (receive
    // thread); false when no call thread can take it.
    virtual bool StartCall(const LSipMessage &request, const LPBXCallStart &call) = 0;
    // Asks every running call thread to exchange leg for its dialog with
    // callId: 1 when one did, -1 when one that may hold it cannot swap now,
    // 0 when none holds it.
    virtual int HandleTransfer(const char *callId, LPtr<LSipCall> &leg) = 0;
    // Writes the call-log entry of one ended call (start and answer in
    // seconds since 1970, answer 0 when never answered) and logs its end.
    virtual void WriteCallLog(int64_t start, int64_t answer, const char *caller,
                              const char *target) = 0;
};

struct LPBXContext {
    const LSipStack &sip;
    const LPBXCallTargetEnvironment &targets;
    LSDPSettings &sdp;
    LPBXCallOwner &owner;
};
