#include "callcontrol/pbx_sip_line_start.h"

#include "callcontrol/call_targets.h"
#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_incall.h"
#include "config/pbx_global_settings.h"
#include "config/settingssections.h"
#include "platform/log.h"
#include "sip/sip_engine.h"

#include <algorithm>
#include <string>

namespace
{
// The call thread keeps the INVITE for the whole set-up; the handler's copy
// goes away with the receive thread's pass.
LPtr<LSipMessage> CopyMessage(const LSipMessage &request)
{
    std::string text;
    const_cast<LSipMessage &>(request).Reconstruct(text);
    LPtr<LSipMessage> copy(new LSipMessage);
    size_t position = 0;
    if (!copy->LoadPacket(text.data(), text.size(), position))
        return LPtr<LSipMessage>();
    copy->SetSource(request.GetSource());
    return copy;
}

void Refuse(LSipEngine &engine, const LSipMessage &request, int status, const char *reason)
{
    engine.SendResponse(request, status, reason);
}

// A call on a line rings its internal number; a call from an extension goes
// through the extension's outbound plan.
bool BuildTargets(const LPBXCallStart &call, LSipCallInitiateList &list, char *startPrompt,
                  char *waitHold)
{
    if (call.outboundPlan == "-")
        return GenerateInternalCallList(list, call.dialledTarget.c_str(), call.callerText.c_str(),
                                        startPrompt, waitHold, call.maxForwards);
    return GenerateOutboundCallList(list, call.outboundPlan.c_str(), call.dialledTarget.c_str(),
                                    call.callerText.c_str(), startPrompt, waitHold,
                                    call.maxForwards);
}
} // namespace

LPBXSipLine *LPBXMakeCall(const LPBXContext &context, const LSipMessage &request,
                          const LPBXCallStart &call, int runningCalls)
{
    // "SIP" is checked once for what the call's start and its connected
    // phase read from it, so the call sees one version of the file.
    const LSettingsIntKey keys[] = {
        {LSipKeys::MaxCalls.key, LSipKeys::MaxCalls.def},
        {kPBXActivityPollKey, (int)kPBXInCallTiming.pollAfterMs},
    };
    int values[2];
    LSettingGetInts(LSipKeys::kSection, keys, values, 2);
    // Only the receive thread starts calls, so the count cannot grow
    // between this test and the start of the thread.
    if (runningCalls >= std::max(values[0], kPBXMinCallLimit)) {
        LOGWARNF("Call from %s to %s refused: %d calls are running", call.caller.c_str(),
                 call.dialledTarget.c_str(), runningCalls);
        Refuse(context.sip.engine, request, 503, "Service Unavailable");
        return nullptr;
    }
    LPtr<LSipCallInitiateList> list(new LSipCallInitiateList(context.targets));
    char startPrompt[kPBXLineTextSize] = "";
    char waitHold[kPBXLineTextSize] = "";
    if (!BuildTargets(call, *list, startPrompt, waitHold)) {
        if (call.outboundPlan == "-")
            Refuse(context.sip.engine, request, 480, "Temporarily Unavailable");
        else
            Refuse(context.sip.engine, request, 404, "Not Found");
        return nullptr;
    }
    LPtr<LSipMessage> invite = CopyMessage(request);
    if (!invite) {
        Refuse(context.sip.engine, request, 500, "Server Internal Error");
        return nullptr;
    }
    LPBXSipLine *line = new LPBXSipLine(context, invite, list, startPrompt, waitHold, call);
    line->SetActivityPollMs(LPBXInCallMs(values[1]));
    return line;
}
