#include "sip/sip_answered_cache.h"

#include "platform/tick.h"
#include "sip/sipmessage.h"

#include <cstring>

void LSipAnsweredCache::FillKey(LSipAnsweredMessage &entry, const LSipMessage &answered)
{
    entry.request = answered.IsRequest();
    entry.status = answered.GetResponseStatusCode();
    LSipCopy(entry.callId, answered.FindField(LSipFields::CallID, ""));
    LSipCopy(entry.cseq, answered.FindField(LSipFields::CSeq, ""));
    LSipCopy(entry.via, answered.FindField(LSipFields::Via, ""));
    LSipCopy(entry.to, answered.FindField(LSipFields::To, ""));
    LSipCopy(entry.from, answered.FindField(LSipFields::From, ""));
}

void LSipAnsweredCache::Add(const LSipMessage &answered, const LIPAddressWithPort &address,
                            const std::string &text)
{
    LSipAnsweredMessage entry;
    FillKey(entry, answered);
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

// Keys are compared as stored (cut to the cache's capacity), so a value
// longer than that compares by its stored part on both sides. The Call-ID
// goes first: it differs for almost every entry.
bool LSipAnsweredCache::IsSame(const LSipAnsweredMessage &entry, const LSipAnsweredMessage &key)
{
    return strcmp(entry.callId, key.callId) == 0 && entry.request == key.request &&
           (entry.request || entry.status == key.status) && strcmp(entry.cseq, key.cseq) == 0 &&
           strcmp(entry.via, key.via) == 0 && strcmp(entry.to, key.to) == 0 &&
           strcmp(entry.from, key.from) == 0;
}

bool LSipAnsweredCache::Handle(const LSipMessage &message, LSipPacketSender &sender)
{
    LSipAnsweredMessage key;
    FillKey(key, message);
    uint32_t now = GetTickCount();
    LLockScope hold(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (IsSame(*it, key)) {
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
