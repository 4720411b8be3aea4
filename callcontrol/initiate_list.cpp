#include "callcontrol/initiate_list.h"

#include "sip/siptext.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
// A plain bounded copy: each target costs eight of these, and a "%s"
// through snprintf is a trip through the whole printf machinery.
template <size_t N> void Copy(char (&out)[N], const char *text)
{
    LSipCopyText(out, N, text ? text : "");
}
} // namespace

void LSipInitiateFormat(char *out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(out, kSipInitiateTextSize, format, args);
    va_end(args);
}

LSipCallInitiateItem::LSipCallInitiateItem(const LSipCallInitiateParams &params)
    : m_QueueItem(params.groupCall), m_StartTime(params.startTime),
      m_GroupMember(params.groupMember), m_MaxForwards(params.maxForwards),
      m_ChainAbortResponse(params.chainAbortResponse)
{
    Copy(m_Call.remoteNameAddr, params.remoteNameAddr);
    Copy(m_Call.localNameAddr, params.localNameAddr);
    Copy(m_Call.outboundProxy, params.outboundProxy);
    Copy(m_Call.localUserID, params.localUserID);
    Copy(m_Call.localAuthID, params.localAuthID);
    Copy(m_Call.password, params.password);
    Copy(m_Call.remoteTargetURI, params.remoteTargetURI);
    m_Call.remoteSpecialFlags = params.remoteSpecialFlags;
    Copy(m_DialRules, params.dialRules);
}

LSipCallInitiateItem *LSipCallInitiateList::FindTargetURI(const char *uri) const
{
    for (LSipCallInitiateItem *item = GetFirst(); item; item = LListNext(item))
        if (strcmp(item->GetCall().remoteTargetURI, uri) == 0)
            return item;
    return nullptr;
}

bool LSipCallInitiateList::AddExtension(const LSipCallInitiateParams &params)
{
    // Compared as the item stores it, so an over-long URI cut to 259
    // characters still finds its twin.
    char uri[kSipInitiateTextSize];
    Copy(uri, params.remoteTargetURI);
    if (FindTargetURI(uri))
        return false;
    Add(new LSipCallInitiateItem(params));
    return true;
}

void LSipCallInitiateList::AddExternal(const LSipCallInitiateParams &params)
{
    Add(new LSipCallInitiateItem(params));
}
