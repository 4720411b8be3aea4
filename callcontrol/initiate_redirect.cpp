// Targets from a redirect (3xx) response: the URIs of its Contact headers.
#include "callcontrol/call_target_env.h"
#include "callcontrol/initiate_list.h"
#include "platform/log.h"
#include "sip/sipfields.h"
#include "sip/sipmessage.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <string>

namespace
{
// Splits a Contact value at the commas that separate name-addrs; commas in
// a quoted display name or inside <...> belong to the entry (RFC 3261
// section 20.10).
template <class F> void ForEachContact(const char *value, F &&take)
{
    std::string entry;
    bool quoted = false;
    bool bracketed = false;
    for (const char *p = value;; p++) {
        char c = *p;
        if (c == 0 || (c == ',' && !quoted && !bracketed)) {
            take(entry.c_str());
            entry.clear();
            if (c == 0)
                return;
            continue;
        }
        if (c == '"' && !bracketed)
            quoted = !quoted;
        else if (c == '<' && !quoted)
            bracketed = true;
        else if (c == '>' && !quoted)
            bracketed = false;
        entry += c;
    }
}

// A redirect back to the exchange itself would only make it call itself.
bool NamesThisExchange(const LPBXCallTargetEnvironment &environment, const char *uri)
{
    LSipURI parsed(uri);
    return environment.IsOwnAddress(parsed.GetHost(), parsed.GetPort());
}
} // namespace

int LSipCallInitiateList::AddContact(const LSipCallInitiateItem &item, const LSipMessage &message)
{
    if (item.GetMaxForwards() <= 1)
        return 0;
    const LSipCallAddress &from = item.GetCall();
    LSipCallInitiateParams params;
    params.remoteNameAddr = from.remoteNameAddr;
    params.localNameAddr = from.localNameAddr;
    params.localUserID = from.localUserID;
    params.localAuthID = from.localAuthID;
    params.groupMember = item.IsGroupMember();
    params.dialRules = item.GetOutboundDialRules();
    params.maxForwards = item.GetMaxForwards() - 1;
    params.groupCall = item.GetQueueItem().GetGroupCall();
    params.chainAbortResponse = item.GetChainAbortResponse();
    params.remoteSpecialFlags = from.remoteSpecialFlags;
    params.startTime = 0;

    int added = 0;
    bool warned = false;
    auto take = [&](const char *entry) {
        if (!LSipSkipWhite(entry)[0])
            return;
        if (added >= kMaxRedirectContacts) {
            if (!warned)
                LOGWARNNUM("Redirect names more contacts than are rung: ", kMaxRedirectContacts);
            warned = true;
            return;
        }
        char uri[kSipInitiateTextSize];
        LSipInitiateFormat(uri, "%s", LSipNameAddr(entry).GetSipURI());
        m_Environment.ApplyRegistryContactMapping(uri, message.GetSource());
        if (NamesThisExchange(m_Environment, uri)) {
            LOGWARNTEXT("Redirect to this exchange ignored: ", uri);
            return;
        }
        params.remoteTargetURI = uri;
        if (AddExtension(params))
            added++;
    };
    for (size_t i = 0; i < message.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = message.GetFieldAt(i);
        if (field.IsField(LSipFields::Contact))
            ForEachContact(field.GetFieldData(), take);
    }
    return added;
}
