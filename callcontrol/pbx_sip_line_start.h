// Turning an accepted INVITE into a running call: the target list is built,
// the call thread made and handed to whoever owns the call threads (the main
// engine), within the limit of concurrent calls.
#pragma once

#include "callcontrol/new_invite.h"
#include "callcontrol/pbx_context.h"
#include "platform/sip_setting_keys.h"

class LPBXSipLine;

// At least this many call threads run at once; the "SIP" setting
// "MaxCalls" may raise the limit, never lower it.
constexpr int kPBXMinCallLimit = LSipKeys::MaxCalls.def;

// Builds the target list of request and, when there is something to ring
// and room under the limit (runningCalls threads run now), makes the call
// thread, which answers 100 "Trying" at once; the caller starts it.
// Otherwise the INVITE is answered here and null returned: 404 "Not Found"
// or 480 "Temporarily Unavailable" when nothing can be rung, 503 "Service
// Unavailable" beyond the limit.
LPBXSipLine *LPBXMakeCall(const LPBXContext &context, const LSipMessage &request,
                          const LPBXCallStart &call, int runningCalls);
