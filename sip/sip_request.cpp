// The requests of a dialog: route set handling (RFC 3261 section 12.2.1.1),
// destination, and the makers of each method.
#include "sip/sip_request.h"

#include "platform/log.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/sipmessage.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <cstdlib>
#include <cstring>

namespace
{
struct RouteChoice {
    std::string requestURI;
    std::string route; // empty: no Route header
    std::string nextHop;
};

// Loose routing keeps the target as request URI; a strict router wants
// itself there and the target appended to the Route list.
void ChooseRoute(const LSipCall &call, RouteChoice &choice)
{
    const char *routeSet = call.GetRouteSet();
    const char *target = call.GetRemoteTargetURI();
    if (!routeSet[0]) {
        choice.requestURI = choice.nextHop = target;
        return;
    }
    const char *comma = strchr(routeSet, ',');
    std::string first(routeSet, comma ? (size_t)(comma - routeSet) : strlen(routeSet));
    LSipNameAddr entry(first.c_str());
    choice.nextHop = entry.GetSipURI();
    if (LSipURI(entry.GetSipURI()).TestParameterExists("lr")) {
        choice.requestURI = target;
        if (!(call.IsRouteSetDefault() && !comma))
            choice.route = routeSet;
        return;
    }
    choice.requestURI = entry.GetSipURI();
    if (comma)
        choice.route = std::string(LSipSkipWhite(comma + 1)) + ",";
    choice.route += std::string("<") + target + ">";
    if (choice.route.size() > kSipLongText - 1)
        choice.route.resize(kSipLongText - 1);
}

bool Resolve(const char *nextHop, LIPAddressWithPort &address)
{
    LSipURI uri(nextHop);
    if (address.SetFromText(uri.GetHost(), uri.GetPort()) && address.IsValid())
        return true;
    LOGERRORTEXT("Unable to find address of server: ", uri.GetHost());
    return false;
}

bool Given(const char *text)
{
    return text && text[0];
}
} // namespace

void LSipRequest::NewSequenceAndBranch(LSipCall &call)
{
    m_Sequence = call.GetNextLocalCSeq();
    call.GetEngine().CreateNewBranchID(m_Branch, sizeof(m_Branch));
}

LSipRequestComposer LSipRequest::_CreateRequest(LSipCall &call, const char *method, const char *to,
                                                bool contact, int maxForwards)
{
    m_Method = method;
    RouteChoice choice;
    ChooseRoute(call, choice);
    LSipCopy(m_RequestURI, choice.requestURI.c_str());
    m_DestinationValid = Resolve(choice.nextHop.c_str(), m_Destination);
    if (m_Destination.IsPrivate()) {
        call.GetEngine().GetPrivateIP(m_LocalIP, sizeof(m_LocalIP));
        m_LocalPort = call.GetEngine().GetPrivateSipPort();
    } else {
        call.GetEngine().GetPublicIP(m_LocalIP, sizeof(m_LocalIP));
        m_LocalPort = call.GetEngine().GetPublicSipPort();
    }
    m_Text.clear();
    LSipRequestStart start{method,
                           m_RequestURI,
                           m_LocalIP,
                           m_LocalPort,
                           m_Branch,
                           Given(to) ? to : call.GetRemoteToFrom(),
                           call.GetLocalToFrom(),
                           call.GetCallID(),
                           (int)m_Sequence,
                           maxForwards};
    LSipRequestComposer composer(m_Text, start);
    if (!choice.route.empty())
        composer.AddRoute(choice.route.c_str());
    if (contact)
        composer.AddContact(call.GetLocalUserID(), m_LocalIP, m_LocalPort);
    if (!m_Authorization.empty())
        composer.AddAuthorization(m_Authorization.c_str(), m_ProxyAuthorization);
    return composer;
}

bool LSipRequest::BuildInvite(LSipCall &call, const char *sdp, const char *replaces,
                              int maxForwards, const LSipMessage *message, bool autoAnswer)
{
    NewSequenceAndBranch(call);
    LSipRequestComposer composer = _CreateRequest(call, "INVITE", nullptr, true, maxForwards);
    if (Given(replaces))
        composer.AddReplaces(replaces);
    composer.AddAllow();
    bool answerModeCopied = false;
    if (message && call.IsCallerAuthenticated()) {
        for (const LSipHeaderField &key : {LSipFields::AnswerMode, LSipFields::PrivAnswerMode}) {
            const char *value = message->FindField(key, nullptr);
            if (value)
                LSipAppendF(m_Text, "%s: %s\r\n", key.name, value);
            answerModeCopied |= value && strcmp(key.name, LSipFields::AnswerMode.name) == 0;
        }
    }
    // RFC 5373 allows one "Answer-Mode": the caller's own choice stands.
    if (autoAnswer && !answerModeCopied)
        composer.AddAnswerMode();
    composer.Finish(Given(sdp) ? "application/sdp" : nullptr, Given(sdp) ? sdp : nullptr);
    return m_DestinationValid;
}

bool LSipRequest::CreateNewInviteRequest(LSipCall &call, const char *sdp, const char *replaces,
                                         int maxForwards, const LSipMessage *message,
                                         bool autoAnswer)
{
    m_Authorization.clear();
    return BuildInvite(call, sdp, replaces, maxForwards, message, autoAnswer);
}

bool LSipRequest::RebuildInvite(LSipCall &call, const char *sdp, const char *replaces,
                                int maxForwards, const LSipMessage *message, bool autoAnswer)
{
    return BuildInvite(call, sdp, replaces, maxForwards, message, autoAnswer);
}

bool LSipRequest::BuildSimple(LSipCall &call, const char *method)
{
    NewSequenceAndBranch(call);
    _CreateRequest(call, method, nullptr, false, 20).Finish(nullptr, nullptr);
    return m_DestinationValid;
}

bool LSipRequest::BuildBye(LSipCall &call)
{
    return BuildSimple(call, "BYE");
}

bool LSipRequest::CreateByeRequest(LSipCall &call)
{
    m_Authorization.clear();
    return BuildBye(call);
}

bool LSipRequest::RebuildBye(LSipCall &call)
{
    return BuildBye(call);
}

bool LSipRequest::CreateInfoRequest(LSipCall &call, const char *contentType, const char *content)
{
    NewSequenceAndBranch(call);
    _CreateRequest(call, "INFO", nullptr, false, 20).Finish(contentType, content);
    return m_DestinationValid;
}

bool LSipRequest::CreateOptionsRequest(LSipCall &call)
{
    NewSequenceAndBranch(call);
    LSipRequestComposer composer = _CreateRequest(call, "OPTIONS", nullptr, false, 20);
    composer.AddAccept();
    composer.Finish(nullptr, nullptr);
    return m_DestinationValid;
}

bool LSipRequest::CreateReferRequest(LSipCall &call, const char *target)
{
    NewSequenceAndBranch(call);
    LSipRequestComposer composer = _CreateRequest(call, "REFER", nullptr, true, 20);
    composer.AddReferTo(target);
    composer.AddReferredBy(LSipNameAddr(call.GetLocalToFrom()).GetSipURI());
    composer.Finish(nullptr, nullptr);
    return m_DestinationValid;
}

bool LSipRequest::CreateNotifyReferRequest(LSipCall &call, int status, const char *reason)
{
    NewSequenceAndBranch(call);
    LSipRequestComposer composer = _CreateRequest(call, "NOTIFY", nullptr, false, 20);
    composer.AddEventRefer();
    std::string fragment;
    LSipAppendF(fragment, "SIP/2.0 %d %s\r\n", status, reason ? reason : "");
    composer.Finish("message/sipfrag", fragment.c_str());
    return m_DestinationValid;
}

bool LSipRequest::CreateCancelRequest(LSipCall &call, const LSipRequest &invite)
{
    m_Sequence = invite.m_Sequence;
    LSipCopy(m_Branch, invite.m_Branch);
    m_Authorization = invite.m_Authorization;
    m_ProxyAuthorization = invite.m_ProxyAuthorization;
    _CreateRequest(call, "CANCEL", nullptr, false, 20).Finish(nullptr, nullptr);
    return m_DestinationValid;
}

bool LSipRequest::CreateAckRequest(LSipCall &call, const LSipRequest &invite,
                                   const LSipMessage &response, const char *sdp)
{
    m_Sequence = invite.m_Sequence;
    m_Authorization = invite.m_Authorization;
    m_ProxyAuthorization = invite.m_ProxyAuthorization;
    int status = response.GetResponseStatusCode();
    if (status >= 200 && status < 300)
        call.GetEngine().CreateNewBranchID(m_Branch, sizeof(m_Branch));
    else
        LSipCopy(m_Branch, invite.m_Branch);
    const char *to = response.FindField(LSipFields::To, nullptr);
    LSipRequestComposer composer = _CreateRequest(call, "ACK", to, false, 20);
    composer.Finish(Given(sdp) ? "application/sdp" : nullptr, Given(sdp) ? sdp : nullptr);
    return m_DestinationValid;
}

bool LSipRequest::CreateAckRequest(LSipCall &call, const LSipMessage &response)
{
    m_Sequence = strtoul(response.FindField(LSipFields::CSeq, ""), nullptr, 10);
    m_Authorization.clear();
    call.GetEngine().CreateNewBranchID(m_Branch, sizeof(m_Branch));
    const char *to = response.FindField(LSipFields::To, nullptr);
    _CreateRequest(call, "ACK", to, false, 20).Finish(nullptr, nullptr);
    return m_DestinationValid;
}

bool LSipRequest::IsResponseTo(const LSipMessage &response) const
{
    if (!response.IsResponse())
        return false;
    const char *cseq = response.FindField(LSipFields::CSeq, "");
    char *end = nullptr;
    unsigned long number = strtoul(cseq, &end, 10);
    if (end == cseq || number != m_Sequence)
        return false;
    return strcmp(LSipSkipWhite(end), m_Method) == 0;
}
