#include "sip/sip_answered_cache.h"

#include "platform/tick.h"
#include "sip/sipmessage.h"

#include <cstring>

namespace
{
// Fields are compared as stored (cut to the cache's capacity), so a value
// longer than that compares by its stored part on both sides.
bool SameField(const char *stored, const LSipMessage &message,
               const LSipHeaderFieldWithCompact &key)
{
    char value[kSipLongText];
    LSipCopy(value, message.FindField(key, ""));
    return strcmp(stored, value) == 0;
}
} // namespace

void LSipAnsweredCache::Add(const LSipMessage &answered, const LIPAddressWithPort &address,
                            const std::string &text)
{
    LSipAnsweredMessage entry;
    entry.request = answered.IsRequest();
    entry.status = answered.GetResponseStatusCode();
    LSipCopy(entry.callId, answered.FindField(LSipFields::CallID, ""));
    LSipCopy(entry.cseq, answered.FindField(LSipFields::CSeq, ""));
    LSipCopy(entry.via, answered.FindField(LSipFields::Via, ""));
    LSipCopy(entry.to, answered.FindField(LSipFields::To, ""));
    LSipCopy(entry.from, answered.FindField(LSipFields::From, ""));
    entry.address = address;
    entry.text = text;
    entry.cachedAt = GetTickCount();
    LLockScope hold(m_lock);
    m_entries.push_front(std::move(entry));
    // A flood of distinct requests must not grow the cache without bound;
    // the oldest entry is the one least likely to see a repeat.
    while (m_entries.size() > kMaxEntries)
        m_entries.pop_back();
}

bool LSipAnsweredCache::IsSame(const LSipAnsweredMessage &entry, const LSipMessage &message)
{
    if (entry.request != message.IsRequest())
        return false;
    if (!entry.request && entry.status != message.GetResponseStatusCode())
        return false;
    return SameField(entry.callId, message, LSipFields::CallID) &&
           SameField(entry.cseq, message, LSipFields::CSeq) &&
           SameField(entry.via, message, LSipFields::Via) &&
           SameField(entry.to, message, LSipFields::To) &&
           SameField(entry.from, message, LSipFields::From);
}

bool LSipAnsweredCache::Handle(const LSipMessage &message, LSipPacketSender &sender)
{
    uint32_t now = GetTickCount();
    LLockScope hold(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (IsSame(*it, message)) {
            if (it->resendCount < kMaxResends) {
                it->resendCount++;
                sender.SendPacketUDP(it->address, it->text);
            }
            return true;
        }
        if (LTickInterval(now, it->cachedAt) > kKeepMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
    return false;
}

size_t LSipAnsweredCache::GetCount()
{
    LLockScope hold(m_lock);
    return m_entries.size();
}
