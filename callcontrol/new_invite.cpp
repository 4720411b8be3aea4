#include "callcontrol/new_invite.h"

#include "callcontrol/account_lookup.h"
#include "callcontrol/call_targets.h"
#include "callcontrol/digest.h"
#include "platform/log.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstdlib>

namespace
{
int ReadMaxForwards(const LSipMessage &request)
{
    const char *text = request.FindField(LSipFields::MaxForwards, "20");
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text)
        return 0;
    return value > 255 ? 255 : (int)value;
}

std::string CallerText(const LSipNameAddr &from)
{
    std::string text;
    from.ReconstructWithoutHeaders(text);
    return text;
}

// "%s -> %s" when the account records its calls, otherwise empty.
std::string RecordDescription(bool record, const char *from, const char *to)
{
    std::string text;
    if (record)
        LSipAppendF(text, "%s -> %s", from, to);
    return text;
}

void HandleExtensionCall(const LSipMessage &request, LPBXExtension &extension, const char *user,
                         LPBXCallStart &call, LNewRequestResponder &responder, int64_t now)
{
    char password[LPathSize];
    LDigestAccount digest{&extension, user, extension.GetPassword(password)};
    bool stale = false;
    if (LSipCheckDigest(request, "Proxy-Authorization", "INVITE", digest, now, stale)) {
        call.recordDescription = RecordDescription(extension.GetRecordOutgoing(),
                                                   request.FindField(LSipFields::From, ""),
                                                   request.FindField(LSipFields::To, ""));
        HandleOutboundCall(request, extension, call, responder);
        return;
    }
    char challenge[768];
    LSipMakeChallenge("Proxy-Authenticate", digest, now, stale, challenge, sizeof(challenge));
    responder.Respond(request, 407, "Proxy Authentication Required", challenge);
}
} // namespace

int LPBXRemoteSpecialFlags(LPBXExternalLine &line)
{
    return (int)LPBXCallTargetLineFlags(line);
}

void LPBXHandleInvite(const LSipMessage &request, LNewRequestResponder &responder, int64_t now)
{
    LPBXCallStart call;
    int maxForwards = ReadMaxForwards(request);
    // RFC 3261 section 16.3: a request that has no hops left is refused.
    if (maxForwards <= 0) {
        LOGERROR("Possible loop-back error");
        responder.Respond(request, 483, "Too Many Hops", nullptr);
        return;
    }
    call.maxForwards = maxForwards - 1;
    LSipURI target(request.GetRequestURI());
    LSipNameAddr from(request.FindField(LSipFields::From, ""));
    LSipURI fromUri(from.GetSipURI());
    char value[LPathSize];
    LPBXExternalLine line;
    if (target.GetUser()[0] && LPBXFindExternalLine(target.GetUser(), true, line)) {
        call.localUserId = line.GetLineID(value);
        call.localAuthId = line.GetAuthUserID(value)[0] ? value : call.localUserId;
        call.password = line.GetPassword(value);
        call.dialledTarget = line.GetRingOnLine(value);
        call.recordDescription = RecordDescription(line.GetRecordIncoming(), fromUri.GetUser(),
                                                   request.FindField(LSipFields::To, ""));
        call.remoteSpecialFlags = LPBXRemoteSpecialFlags(line);
        HandleInwardCall(request, line, call, responder);
        return;
    }
    LPBXExtension extension;
    if (fromUri.GetUser()[0] && LPBXFindExtension(fromUri.GetUser(), extension)) {
        HandleExtensionCall(request, extension, fromUri.GetUser(), call, responder, now);
        return;
    }
    LOGERROR("Incoming call failed");
    LOGERRORF("Unable to find any lines with the ID \"%s\" or extensions with the ID \"%s\".",
              target.GetUser(), fromUri.GetUser());
    responder.Respond(request, 404, "Not Found", nullptr);
}

void HandleInwardCall(const LSipMessage &request, LPBXExternalLine &line, LPBXCallStart &call,
                      LNewRequestResponder &responder)
{
    LSipNameAddr from(request.FindField(LSipFields::From, ""));
    char prefix[LPathSize];
    if (line.GetPrependCID(prefix)[0])
        from.PrependCID(prefix);
    call.callerText = CallerText(from);
    call.caller = from.GetSipURI();
    call.outboundPlan = "-";
    HandleCall(request, call, responder);
}

void HandleOutboundCall(const LSipMessage &request, LPBXExtension &extension, LPBXCallStart &call,
                        LNewRequestResponder &responder)
{
    char value[LPathSize];
    LSipNameAddr from(request.FindField(LSipFields::From, ""));
    LSipNameAddr to(request.FindField(LSipFields::To, ""));
    LSipURI toUri(to.GetSipURI());
    call.outboundPlan = extension.GetOutboundPlan(value);
    call.callerText = CallerText(from);
    call.localUserId = call.localAuthId = toUri.GetUser();
    call.password.clear();
    call.caller = extension.GetName(value);
    call.dialledTarget = to.GetSipURI();
    call.remoteSpecialFlags = 0;
    HandleCall(request, call, responder);
}

void HandleCall(const LSipMessage &request, const LPBXCallStart &call,
                LNewRequestResponder &responder)
{
    // No call thread can take it (the engine is stopping): the caller
    // hears that at once instead of repeating the INVITE.
    if (responder.StartCall(request, call))
        return;
    responder.Respond(request, 100, "Trying", nullptr);
    LOGWARNF("Call from %s to %s not connected: no call thread can take it", call.caller.c_str(),
             call.dialledTarget.c_str());
    responder.Respond(request, 480, "Temporarily Unavailable", nullptr);
}
