#include "callcontrol/stateless_proxy.h"

#include "callcontrol/account_lookup.h"
#include "callcontrol/call_targets.h"
#include "callcontrol/registry_map.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sipuri.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace
{
// RFC 6665 section 8.2.1 gives Event the compact form "o".
constexpr LSipHeaderFieldWithCompact kEvent{"Event", "o"};
// Max-Forwards is 0 to 255 (RFC 3261 section 20.22); more is read as 255.
constexpr unsigned long kMaxHops = 255;

// Where the sent-by of the first Via element of value lies (RFC 3261
// section 20.42: protocol "/" version "/" transport, blanks, sent-by).
bool FindSentBy(const char *value, size_t &start, size_t &end)
{
    const char *p = LSipSkipWhite(value);
    for (int part = 0; part < 3; part++) {
        if (part > 0) {
            p = LSipSkipWhite(p);
            if (*p != '/')
                return false;
            p = LSipSkipWhite(p + 1);
        }
        size_t length = strcspn(p, " \t/;,");
        if (length == 0)
            return false;
        p += length;
    }
    p = LSipSkipWhite(p);
    size_t length = strcspn(p, " \t;,");
    if (length == 0)
        return false;
    start = (size_t)(p - value);
    end = start + length;
    return true;
}

// The comma that ends the first Via element of a combined value, or the end.
size_t ElementEnd(const char *value, size_t from)
{
    bool quoted = false;
    for (size_t i = from; value[i]; i++) {
        if (value[i] == '"')
            quoted = !quoted;
        else if (value[i] == ',' && !quoted)
            return i;
    }
    return strlen(value);
}

// Splits a sent-by into host and port (5060 when absent); false for a port
// that is not a number from 1 to 65535.
bool SplitSentBy(const std::string &sentBy, std::string &host, int &port)
{
    size_t colon = sentBy.find(':');
    host = sentBy.substr(0, colon);
    port = kSipDefaultPort;
    if (colon == std::string::npos)
        return true;
    std::string digits = sentBy.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        strspn(digits.c_str(), "0123456789") != digits.size())
        return false;
    port = atoi(digits.c_str());
    return port >= 1 && port <= 65535;
}

int ReadMaxForwards(const LSipMessage &request)
{
    const char *text = request.FindField(LSipFields::MaxForwards, "20");
    // Junk (a sign included) reads as 0 and is refused like an exhausted count.
    return (int)LSipParseDecimal(text, strlen(text), kMaxHops, 0);
}

bool ContainsNoCase(const char *text, const char *part)
{
    for (size_t n = strlen(part); *text; text++)
        if (strncasecmp(text, part, n) == 0)
            return true;
    return false;
}

// The Request-URI user, replaced for message waiting by the voice mail
// extension of the mailbox it names.
void TargetName(const LSipMessage &request, char (&target)[LPathSize])
{
    LSipURI uri(request.GetRequestURI());
    LSipCopy(target, uri.GetUser());
    if (!ContainsNoCase(request.FindField(kEvent, ""), "message-summary"))
        return;
    LPBXExtension mailbox;
    if (LPBXFindExtension(target, mailbox))
        mailbox.GetVoiceMailExtension(target);
}

// The sender's Via keeps its parameters, branch included, so that it matches
// the response to its own transaction; only sent-by becomes the address the
// request really came from, which is where the response must go.
void ReplaceSenderSentBy(LSipMessage &request)
{
    const char *value = request.FindField(LSipFields::Via, nullptr);
    if (!value)
        return;
    char source[32];
    request.GetSource().ToString(source);
    size_t start = 0, end = 0;
    std::string text;
    if (FindSentBy(value, start, end))
        text.append(value, start).append(source).append(value + end);
    else
        text.append("SIP/2.0/UDP ").append(source);
    request.ModifyField(LSipFields::Via, text.c_str());
}
} // namespace

struct LPBXStatelessProxy::Hop {
    std::string uri;
    LIPAddressWithPort address;
};

// Contacts expired less than the grace time ago still count, as for calls.
// Host names are passed over: resolving them would block the receive
// thread. A contact that is the exchange itself would make every datagram
// come back and be forwarded again.
std::vector<LPBXStatelessProxy::Hop> LPBXStatelessProxy::LiveContacts(LPBXExtension &extension)
{
    std::vector<Hop> hops;
    int64_t now = m_Clock.UnixTime();
    LPBXFileContacts files;
    LPBXBindings contacts = m_Contacts ? m_Contacts->Read(extension) : files.Read(extension);
    for (const LPBXBinding &contact : contacts) {
        if (contact.expires + kPBXExpiredContactGrace < now)
            continue;
        LSipURI uri(contact.contact.c_str());
        Hop hop{contact.contact, LIPAddressWithPort()};
        if (!LSipAddressFromHost(uri.GetHost(), uri.GetPort(), hop.address) ||
            !hop.address.IsValid() || hop.address.GetPort() == 0 ||
            m_Transport.IsOwnAddress(hop.address))
            continue;
        hops.push_back(hop);
    }
    return hops;
}

void LPBXStatelessProxy::HandleRequest(LPtr<LSipMessage> &message)
{
    if (!message)
        return;
    LSipMessage &request = *message;
    if (!IsWithinRate(request))
        return;
    // Refusals are composed from the request as it arrived.
    int hops = ReadMaxForwards(request);
    if (hops < 2) {
        m_Transport.Respond(request, 483, "Too Many Hops", nullptr);
        return;
    }
    char target[LPathSize];
    TargetName(request, target);
    LPBXExtension extension;
    if (!LPBXFindExtension(target, extension)) {
        m_Transport.Respond(request, 404, "Not Found", nullptr);
        return;
    }
    std::vector<Hop> live = LiveContacts(extension);
    if (live.empty()) {
        m_Transport.Respond(request, 480, "Temporarily Unavailable", nullptr);
        return;
    }
    char count[16];
    snprintf(count, sizeof(count), "%d", hops - 1);
    request.ModifyField(LSipFields::MaxForwards, count);
    ReplaceSenderSentBy(request);
    Forward(request, live);
    m_Rate.Charge(request.GetSource().GetAddress(), (int)live.size() - 1);
}

// Counted before anything is looked up, so that a flood costs little. The
// first request over the rate in a second is answered 503 (RFC 3261 section
// 21.5.4: Retry-After tells a real phone when to try again); the rest of
// that second is dropped, so a flood is not answered datagram for datagram.
bool LPBXStatelessProxy::IsWithinRate(const LSipMessage &request)
{
    bool first = false;
    if (m_Rate.Allow(request.GetSource().GetAddress(), m_Clock.Tick(), first))
        return true;
    if (!first)
        return false;
    m_Transport.Respond(request, 503, "Service Unavailable", "Retry-After: 1\r\n");
    std::vector<std::string> summaries;
    bool log = m_RefusalLog.Allow("", m_Clock.UnixTime(), summaries);
    for (const std::string &line : summaries)
        LOGWARN(line.c_str());
    if (log) {
        char source[32];
        request.GetSource().ToHostString(source);
        LOGWARNF("Stateless proxy: more than %d requests a second from %s, refused",
                 LSourceRateLimiter::kDefaultPerSecond, source);
    }
    return false;
}

// Each copy gets its own branch (RFC 3261 section 16.6 step 8) so that the
// contacts see distinct transactions.
void LPBXStatelessProxy::Forward(LSipMessage &request, const std::vector<Hop> &hops)
{
    request.AddFieldTop(LSipFields::Via, "");
    for (const Hop &hop : hops) {
        char host[kSipLongText], branch[64], via[kSipLongText + 96];
        int port = 0;
        if (hop.address.IsPrivate())
            m_Transport.GetPrivateAddress(host, sizeof(host), port);
        else
            m_Transport.GetPublicAddress(host, sizeof(host), port);
        m_Transport.CreateNewBranchID(branch, sizeof(branch));
        snprintf(via, sizeof(via), "SIP/2.0/UDP %s:%d;rport;branch=%s", host, port, branch);
        request.ModifyField(LSipFields::Via, via);
        request.SetRequestURI(hop.uri.c_str());
        std::string text;
        request.Reconstruct(text);
        m_Transport.SendPacketUDP(hop.address, text);
    }
}

bool LPBXStatelessProxy::IsOwnSentBy(const char *host, int port)
{
    char own[kSipLongText];
    int ownPort = 0;
    m_Transport.GetPrivateAddress(own, sizeof(own), ownPort);
    if (own[0] && ownPort == port && LSipEqualNoCase(own, host))
        return true;
    m_Transport.GetPublicAddress(own, sizeof(own), ownPort);
    return own[0] && ownPort == port && LSipEqualNoCase(own, host);
}

// Only a response to something the exchange forwarded goes on: its top Via
// must be ours, and the next one a dotted address (a name would have to be
// resolved on the receive thread). Anything else is dropped, so that a
// forged response cannot make the exchange send to a third party.
void LPBXStatelessProxy::HandleResponse(LPtr<LSipMessage> &message)
{
    if (!message)
        return;
    LSipMessage &response = *message;
    const char *top = response.FindField(LSipFields::Via, nullptr);
    size_t start = 0, end = 0;
    std::string host;
    int port = 0;
    if (!top || !FindSentBy(top, start, end) ||
        !SplitSentBy(std::string(top + start, end - start), host, port) ||
        !IsOwnSentBy(host.c_str(), port))
        return;
    size_t comma = ElementEnd(top, end);
    if (top[comma] == ',') {
        std::string rest = LSipSkipWhite(top + comma + 1);
        response.ModifyField(LSipFields::Via, rest.c_str());
    } else {
        response.RemoveFieldTop(LSipFields::Via);
    }
    const char *next = response.FindField(LSipFields::Via, nullptr);
    LIPAddressWithPort to;
    if (!next || !FindSentBy(next, start, end) ||
        !SplitSentBy(std::string(next + start, end - start), host, port) ||
        !LSipAddressFromHost(host.c_str(), port, to) || !to.IsValid() ||
        m_Transport.IsOwnAddress(to))
        return;
    std::string text;
    response.Reconstruct(text);
    m_Transport.SendPacketUDP(to, text);
}
