#include "callcontrol/new_invite.h"

#include "callcontrol/account_lookup.h"
#include "callcontrol/call_targets.h"
#include "callcontrol/digest.h"
#include "callcontrol/request_guards.h"
#include "platform/log.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstdlib>
#include <cstring>

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

// RFC 3261 section 26.3.2.2: digest covers the Request-URI, while the call
// is routed by the To header; a Request-URI that names a user must name the
// To user, or credentials captured for one target would reach any other.
bool SameTargetUser(const LSipMessage &request)
{
    LSipURI target(request.GetRequestURI());
    LSipNameAddr to(request.FindField(LSipFields::To, ""));
    LSipURI toUri(to.GetSipURI());
    return !target.GetUser()[0] || strcmp(target.GetUser(), toUri.GetUser()) == 0;
}

void HandleExtensionCall(const LSipMessage &request, LPBXExtension &extension, const char *user,
                         LPBXCallStart &call, LPBXRequestGuards &guards,
                         LNewRequestResponder &responder, int64_t now)
{
    char password[LPathSize], name[LPathSize];
    LDigestAccount digest{extension.GetName(name), user, extension.GetPassword(password)};
    if (!LPBXAuthenticate(request, kInviteChallenge, digest, guards, responder, now))
        return;
    if (!SameTargetUser(request)) {
        if (LPBXMayLogAbout(request, guards, now))
            LOGWARNF("Call from %s refused: its Request-URI and To name different users", name);
        responder.Respond(request, 403, "Forbidden", nullptr);
        return;
    }
    call.recordDescription =
        RecordDescription(extension.GetRecordOutgoing(), request.FindField(LSipFields::From, ""),
                          request.FindField(LSipFields::To, ""));
    HandleOutboundCall(request, extension, call, responder);
}

// Whether the INVITE may arrive on line: any source when the line has no
// server (devices that register to the exchange), otherwise only its
// server's or outbound proxy's addresses.
bool ComesFromLineServer(const LSipMessage &request, LPBXExternalLine &line,
                         LPBXRequestGuards &guards, int64_t now)
{
    char server[LPathSize], proxy[LPathSize];
    if (!line.GetServer(server)[0])
        return true;
    const LIPAddressWithPort &source = request.GetSource();
    return guards.hosts.IsHostOf(server, source, now) ||
           (line.GetOutboundProxy(proxy)[0] && guards.hosts.IsHostOf(proxy, source, now));
}

void HandleLineCall(const LSipMessage &request, LPBXExternalLine &line, const LSipURI &fromUri,
                    LPBXCallStart &call, LPBXRequestGuards &guards, LNewRequestResponder &responder)
{
    char value[LPathSize];
    // A line with a server only hears its provider, who may carry many
    // calls; on a line without one anybody may call, so each source is
    // held to a few calls at a time.
    if (!line.GetServer(value)[0]) {
        call.sourceSlot =
            guards.calls.Take(request.GetSource(), LPBXSettings::SipMaxCallsPerSource.Get());
        if (!call.sourceSlot) {
            responder.Respond(request, 503, "Service Unavailable", nullptr);
            return;
        }
    }
    call.localUserId = line.GetLineID(value);
    call.localAuthId = line.GetAuthUserID(value)[0] ? value : call.localUserId;
    call.password = line.GetPassword(value);
    call.dialledTarget = line.GetRingOnLine(value);
    call.recordDescription = RecordDescription(line.GetRecordIncoming(), fromUri.GetUser(),
                                               request.FindField(LSipFields::To, ""));
    call.remoteSpecialFlags = LPBXRemoteSpecialFlags(line);
    HandleInwardCall(request, line, call, responder);
}
} // namespace

int LPBXRemoteSpecialFlags(LPBXExternalLine &line)
{
    return (int)LPBXCallTargetLineFlags(line);
}

void LPBXHandleInvite(const LSipMessage &request, LPBXRequestGuards &guards,
                      LNewRequestResponder &responder, int64_t now)
{
    LPBXCallStart call;
    int maxForwards = ReadMaxForwards(request);
    // RFC 3261 section 16.3: a request that has no hops left is refused.
    if (maxForwards <= 0) {
        if (LPBXMayLogAbout(request, guards, now))
            LOGERROR("Possible loop-back error");
        responder.Respond(request, 483, "Too Many Hops", nullptr);
        return;
    }
    call.maxForwards = maxForwards - 1;
    LSipURI target(request.GetRequestURI());
    LSipNameAddr from(request.FindField(LSipFields::From, ""));
    LSipURI fromUri(from.GetSipURI());
    LPBXExternalLine line;
    if (target.GetUser()[0] && LPBXFindExternalLine(target.GetUser(), true, line) &&
        ComesFromLineServer(request, line, guards, now)) {
        HandleLineCall(request, line, fromUri, call, guards, responder);
        return;
    }
    LPBXExtension extension;
    if (fromUri.GetUser()[0] && LPBXFindExtension(fromUri.GetUser(), extension)) {
        HandleExtensionCall(request, extension, fromUri.GetUser(), call, guards, responder, now);
        return;
    }
    if (LPBXMayLogAbout(request, guards, now)) {
        LOGERROR("Incoming call failed");
        LOGERRORF("Unable to find any lines with the ID \"%s\" or extensions with the ID \"%s\".",
                  target.GetUser(), fromUri.GetUser());
    }
    // Challenged like an extension, so the answer does not tell names apart.
    LPBXAuthenticate(request, kInviteChallenge,
                     LDigestAccount{fromUri.GetUser(), fromUri.GetUser(), nullptr}, guards,
                     responder, now);
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
