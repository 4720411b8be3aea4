// Outbound plans (emergency mapping, host and dial rules, default line) and
// external lines with their chained back-up lines.
#include "callcontrol/call_targets.h"
#include "config/pbx_external_line.h"
#include "config/pbx_global_settings.h"
#include "config/pbx_outbound_plan.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sip_special_flags.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

namespace
{
constexpr const char *kBlockedLine = "-";

bool FindLine(const char *name, LPBXExternalLine &found)
{
    if (!name[0])
        return false;
    char key[kSipInitiateTextSize];
    for (LPBXExternalLineListIterator it; it; it.Next())
        if (strcasecmp(it->GetLineName(key), name) == 0) {
            found = *it;
            return true;
        }
    return false;
}

bool FindPlan(const char *name, LPBXOutboundPlan &found)
{
    char key[kSipInitiateTextSize];
    for (LPBXOutboundPlanListIterator it; it; it.Next())
        if (strcasecmp(it->GetPlanName(key), name) == 0) {
            found = *it;
            return true;
        }
    return false;
}

// Where a dialled number goes under a plan, and what is dialled there.
struct Route {
    char line[kSipInitiateTextSize] = "";
    std::string number;
};

bool ApplyHostRule(LPBXOutboundPlan &plan, const char *host, Route &route)
{
    if (!host[0])
        return false;
    char text[kSipInitiateTextSize];
    for (LPBXOutboundPlan::SipHostBasedRuleListIterator it(plan); it; it.Next())
        if (strcasecmp(it->GetHost(text), host) == 0) {
            it->GetDialOnLine(route.line);
            return true;
        }
    return false;
}

// The longest matching prefix wins; among equally long ones the later rule.
void ApplyDialRules(LPBXOutboundPlan &plan, const char *dialled, Route &route)
{
    size_t best = 0;
    size_t length = strlen(dialled);
    char startsWith[kSipInitiateTextSize];
    char prepend[kSipInitiateTextSize];
    for (LPBXOutboundPlan::DialBasedRuleListIterator it(plan); it; it.Next()) {
        size_t prefix = strlen(it->GetStartsWith(startsWith));
        if (strncmp(dialled, startsWith, prefix) != 0 || prefix < best)
            continue;
        best = prefix;
        it->GetDialOnLine(route.line);
        // A stored count below 0 or beyond the number must not index
        // outside it: clamp to the number's length.
        int remove = it->GetRemoveDigits();
        size_t skip = remove < 0 ? 0 : ((size_t)remove > length ? length : (size_t)remove);
        route.number = std::string(it->GetPrepend(prepend)) + (dialled + skip);
    }
}

// The emergency line, when the number is the emergency number.
bool FindEmergencyLine(const char *dialled, LPBXExternalLine &line)
{
    if (!dialled[0] || !LPBXSettings::EmergencyEnabled.Get())
        return false;
    char text[kSipInitiateTextSize];
    if (strcasecmp(dialled, LPBXSettings::EmergencyNumber.Get(text)) != 0)
        return false;
    return FindLine(LPBXSettings::EmergencyLine.Get(text), line);
}

void DialedNumberOf(const char *targetURI, LSipURI &uri)
{
    uri._SetURI(LSipNameAddr(targetURI).GetSipURI());
}
} // namespace

uint32_t LPBXCallTargetLineFlags(LPBXExternalLine &line)
{
    uint32_t flags = 0;
    if (line.GetDisablePolling())
        flags |= kRemoteActivityPollingDisabled;
    if (line.GetProhibitOddRtp())
        flags |= kRemoteOddRTPDisabled;
    if (line.GetAlwaysRelay())
        flags |= kRemoteAlwaysRelay;
    else if (line.GetRelayNotNeeded())
        flags |= kRemoteRelayNotNeeded;
    return flags;
}

void AddExternalLineToInitiateList(LSipCallInitiateList &list, LPBXExternalLine &line,
                                   const char *callerText, const char *number, int delay,
                                   int maxForwards, const LPBXQueuerGroupCall &groupCall, int depth)
{
    char server[kSipInitiateTextSize], id[kSipInitiateTextSize], password[kSipInitiateTextSize];
    char proxy[kSipInitiateTextSize], auth[kSipInitiateTextSize], chain[kSipInitiateTextSize];
    line.GetServer(server);
    line.GetLineID(id);
    line.GetPassword(password);
    if (!line.GetOutboundProxy(proxy)[0])
        snprintf(proxy, sizeof proxy, "%s", server);
    if (!line.GetAuthUserID(auth)[0])
        snprintf(auth, sizeof auth, "%s", id);
    if (!id[0]) {
        LOGERROR("External line has not been properly setup with an ID");
        return;
    }
    LSipNameAddr caller(callerText);
    const char *display = caller.GetDisplayName();
    char remote[kSipInitiateTextSize], local[kSipInitiateTextSize];
    LSipInitiateFormat(remote, "<sip:%s@%s>", number, server);
    LSipInitiateFormat(local, "\"%s\" <sip:%s@%s>", display[0] ? display : id, id, server);
    line.GetChainLine(chain);

    LSipCallInitiateParams params;
    params.remoteNameAddr = remote;
    params.localNameAddr = local;
    params.maxForwards = maxForwards;
    params.groupCall = groupCall;
    params.chainAbortResponse = chain[0] ? (uint16_t)line.GetChainAbortResponse() : 200;
    params.remoteSpecialFlags = LPBXCallTargetLineFlags(line);
    params.localUserID = id;
    if (server[0]) {
        params.outboundProxy = proxy;
        params.localAuthID = auth;
        params.password = password;
        params.startTime = list.GetEnvironment().GetClock().UnixTime() + delay;
        params.dialRules = "-";
        list.AddExternal(params);
    } else {
        params.localAuthID = id;
        AddLineWithContactsToInitiateList(list, line, params, delay, 0, nullptr, number);
    }
    LPBXExternalLine next;
    if (chain[0] && depth <= kPBXMaxForwardDepth && FindLine(chain, next))
        AddExternalLineToInitiateList(list, next, callerText, number, delay + kPBXChainLineDelay,
                                      maxForwards, groupCall, depth + 1);
}

bool GenerateOutboundCallList(LSipCallInitiateList &list, const char *planName,
                              const char *targetURI, const char *callerText, char *startPrompt,
                              char *waitHold, int maxForwards)
{
    return GenerateOutboundCallList(list, planName, targetURI, callerText, startPrompt, waitHold,
                                    maxForwards, LPBXQueuerGroupCall(), 0, 0);
}

bool GenerateOutboundCallList(LSipCallInitiateList &list, const char *planName,
                              const char *targetURI, const char *callerText, char *startPrompt,
                              char *waitHold, int maxForwards, const LPBXQueuerGroupCall &groupCall,
                              int depth, int delay)
{
    LSipURI uri;
    DialedNumberOf(targetURI, uri);
    const char *dialled = uri.GetUser();
    if (startPrompt)
        startPrompt[0] = 0;
    if (waitHold)
        waitHold[0] = 0;

    // Under the plan "-" (a far-end caller on an external line transferring)
    // the emergency mapping would let an outsider dial out through the
    // emergency line: only users of the exchange get it.
    LPBXExternalLine line;
    if (strcmp(planName, kBlockedLine) != 0 && FindEmergencyLine(dialled, line)) {
        char dial[kSipInitiateTextSize];
        AddExternalLineToInitiateList(list, line, callerText, LPBXSettings::EmergencyDial.Get(dial),
                                      0, maxForwards, groupCall, depth);
        return !list.IsEmpty();
    }
    Route route;
    route.number = dialled;
    LPBXOutboundPlan plan;
    if (planName[0] && !FindPlan(planName, plan))
        LOGERROR("Unable to find outbound dial rule for line. Attempting with 'extensions only'.");
    else if (planName[0]) {
        plan.GetDefaultDialOnLine(route.line);
        if (!ApplyHostRule(plan, uri.GetHost(), route))
            ApplyDialRules(plan, dialled, route);
    }
    if (strcmp(route.line, kBlockedLine) == 0) {
        LOG("Outbound call blocked under plan");
        return false;
    }
    if (!route.line[0])
        return GenerateInternalCallList(list, route.number.c_str(), callerText, startPrompt,
                                        waitHold, maxForwards, groupCall, depth, delay);
    if (!FindLine(route.line, line)) {
        LOGERRORF("Unable to find any external dial-on-line named \"%s\".", route.line);
        return false;
    }
    AddExternalLineToInitiateList(list, line, callerText, route.number.c_str(), delay, maxForwards,
                                  groupCall, depth);
    // A line that could not be used (no ID) and no back-up line leaves
    // nothing to ring: that is a failure, not a call without targets.
    return !list.IsEmpty();
}
