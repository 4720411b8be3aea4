#include "sip/siplayouts.h"

#include "sip/sipmessage.h"
#include "sip/siptext.h"

#include <cstring>

void LSipComposeBody(std::string &out, const char *contentType, const char *content)
{
    if (contentType && content)
        LSipAppendF(out, "Content-Type: %s\r\nContent-Length: %zu\r\n\r\n%s", contentType,
                    strlen(content), content);
    else
        out.append("Content-Length: 0\r\n\r\n");
}

namespace
{
void CopyEveryField(std::string &out, const LSipMessage &request,
                    const LSipHeaderFieldWithCompact &key, const char *name)
{
    for (size_t i = 0; i < request.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = request.GetFieldAt(i);
        if (field.IsField(key))
            LSipAppendF(out, "%s: %s\r\n", name, field.GetFieldData());
    }
}

bool Given(const char *text)
{
    return text && text[0];
}
} // namespace

void LSipComposeResponse(std::string &out, const LSipMessage &request, int status,
                         const char *reason, const char *toTag, const char *contact,
                         const char *contentType, const char *content, bool allow,
                         const char *extraHeaders)
{
    // One allocation for the usual message instead of a doubling per line.
    out.reserve(out.size() + kSipComposeReserve);
    LSipAppendF(out, "SIP/2.0 %d %s\r\n", status, reason ? reason : "");
    CopyEveryField(out, request, LSipFields::Via, "Via");
    CopyEveryField(out, request, LSipFields::RecordRoute, "Record-Route");
    const char *to = request.FindField(LSipFields::To, "");
    if (Given(toTag) && !strstr(to, ";tag="))
        LSipAppendF(out, "To: %s;tag=%s\r\n", to, toTag);
    else
        LSipAppendF(out, "To: %s\r\n", to);
    LSipAppendF(out, "From: %s\r\nCall-ID: %s\r\nCSeq: %s\r\nUser-Agent: %s\r\n",
                request.FindField(LSipFields::From, ""), request.FindField(LSipFields::CallID, ""),
                request.FindField(LSipFields::CSeq, ""), kSipUserAgent);
    if (Given(contact))
        LSipAppendF(out, "Contact: %s\r\n", contact);
    if (extraHeaders)
        out.append(extraHeaders);
    if (allow)
        out.append("Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY\r\n"
                   "Accept: application/sdp\r\nSupported: replaces\r\n");
    LSipComposeBody(out, contentType, content);
}

LSipRequestComposer::LSipRequestComposer(std::string &out, const LSipRequestStart &s) : m_Out(out)
{
    out.reserve(out.size() + kSipComposeReserve);
    LSipAppendF(out,
                "%s %s SIP/2.0\r\nVia: SIP/2.0/UDP %s:%d;rport;branch=%s\r\nTo: %s\r\n"
                "From: %s\r\nCall-ID: %s\r\nCSeq: %d %s\r\nMax-Forwards: %d\r\nUser-Agent: %s\r\n",
                s.method, s.requestURI, s.localAddress, s.localPort, s.branch, s.remote, s.local,
                s.callId, s.sequence, s.method, s.maxForwards, kSipUserAgent);
}

void LSipRequestComposer::AddRoute(const char *route)
{
    LSipAppendF(m_Out, "Route: %s\r\n", route);
}

void LSipRequestComposer::AddContact(const char *user, const char *address, int port)
{
    LSipAppendF(m_Out, "Contact: <sip:%s@%s:%d>\r\n", user, address, port);
}

void LSipRequestComposer::AddAuthorization(const char *credentials, bool proxy)
{
    LSipAppendF(m_Out, "%s: %s\r\n", proxy ? "Proxy-Authorization" : "Authorization", credentials);
}

void LSipRequestComposer::AddAllow()
{
    m_Out.append("Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, INFO, REFER, NOTIFY\r\n"
                 "Supported: replaces\r\n");
}

void LSipRequestComposer::AddAccept()
{
    m_Out.append("Accept: application/sdp\r\n");
}

void LSipRequestComposer::AddReplaces(const char *replaces)
{
    LSipAppendF(m_Out, "Replaces: %s\r\n", replaces);
}

void LSipRequestComposer::AddAnswerMode()
{
    m_Out.append("Answer-Mode: Auto\r\n");
}

void LSipRequestComposer::AddReferTo(const char *target)
{
    LSipAppendF(m_Out, "Refer-To: %s\r\n", target);
}

void LSipRequestComposer::AddReferredBy(const char *uri)
{
    LSipAppendF(m_Out, "Referred-By: <%s>\r\n", uri);
}

void LSipRequestComposer::AddEventRefer()
{
    m_Out.append("Event: refer\r\nSubscription-State: active;expires=60\r\n");
}

void LSipRequestComposer::Finish(const char *contentType, const char *content)
{
    LSipComposeBody(m_Out, contentType, content);
}

void LSipComposeRegister(std::string &out, const LSipRegisterParts &p)
{
    LSipAppendF(out,
                "REGISTER sip:%s SIP/2.0\r\nVia: SIP/2.0/UDP %s:%d;rport;branch=%s\r\n"
                "Max-Forwards: 20\r\nTo: <%s>\r\nFrom: <%s>;tag=%s\r\nCall-ID: %s\r\n"
                "CSeq: %d REGISTER\r\nContact: <sip:%s@%s:%d>;expires=%d;q=0.%.2d\r\n",
                p.domain, p.localAddress, p.localPort, p.branch, p.to, p.from, p.fromTag, p.callId,
                p.sequence, p.contactUser, p.contactAddress, p.contactPort, p.expires, p.quality);
    if (p.authorization)
        LSipAppendF(out, "%s: %s\r\n",
                    p.proxyAuthorization ? "Proxy-Authorization" : "Authorization",
                    p.authorization);
    LSipAppendF(out, "User-Agent: %s\r\nContent-Length: 0\r\n\r\n", kSipUserAgent);
}
