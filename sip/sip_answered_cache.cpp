#include "sip/sip_answered_cache.h"

#include "sip/sipmessage.h"

#include <algorithm>
#include <cstring>
#include <iterator>

LSipAnsweredCache::LSipAnsweredKey LSipAnsweredCache::KeyOf(const LSipMessage &message)
{
    LSipAnsweredKey key;
    key.request = message.IsRequest();
    key.status = message.GetResponseStatusCode();
    const LSipHeaderFieldWithCompact names[5] = {LSipFields::CallID, LSipFields::CSeq,
                                                 LSipFields::Via, LSipFields::To, LSipFields::From};
    for (int i = 0; i < 5; i++) {
        const char *value = message.FindField(names[i], "");
        key.fields[i] = std::string_view(value, strnlen(value, kSipLongText - 1));
    }
    return key;
}

void LSipAnsweredCache::Add(const LSipMessage &answered, const LIPAddressWithPort &address,
                            std::string text)
{
    LSipAnsweredKey key = KeyOf(answered);
    LSipAnsweredMessage entry;
    entry.request = key.request;
    entry.status = key.status;
    // Sized once: appending the five values grew the text several times.
    size_t keysLength = 0;
    for (std::string_view field : key.fields)
        keysLength += field.size() + 1;
    entry.keys.reserve(keysLength);
    for (std::string_view field : key.fields) {
        entry.keys.append(field);
        entry.keys.push_back(0);
    }
    entry.address = address;
    // The engine composes into a buffer of kSipComposeReserve bytes, about
    // three times an answer's size, and a kept answer lives kKeepMs: one
    // with that much room is copied at its size (moved in, 5,000 phones
    // registering kept 10,000 answers with 1 kB of spare room each).
    // shrink_to_fit would not do: without exceptions libstdc++ leaves the
    // capacity as it is.
    if (text.capacity() - text.size() > kSpareBytes)
        entry.text.assign(text);
    else
        entry.text = std::move(text);
    LLockScope hold(m_lock);
    // Stamped under the lock so that the list stays ordered by age: pruning
    // relies on the expired entries being the tail.
    entry.cachedAt = m_clock.Tick();
    m_entries.push_front(std::move(entry));
    LEntry added = m_entries.begin();
    auto bucket = m_byCallId.find(added->CallId());
    if (bucket == m_byCallId.end()) {
        bucket = m_byCallId.emplace(added->CallId(), std::vector<LEntry>()).first;
        // A call's dialog caches a few answers under its Call-ID (challenge,
        // provisional, final, BYE's); growing one at a time allocated thrice.
        bucket->second.reserve(kEntriesPerCallId);
    }
    bucket->second.push_back(added);
    // A flood of distinct requests must not grow the cache without bound;
    // the oldest entry is the one least likely to see a repeat.
    while (m_entries.size() > kMaxEntries)
        Erase(std::prev(m_entries.end()));
}

void LSipAnsweredCache::Erase(LEntry entry)
{
    auto bucket = m_byCallId.find(entry->CallId());
    if (bucket != m_byCallId.end()) {
        std::vector<LEntry> &entries = bucket->second;
        auto position = std::find(entries.begin(), entries.end(), entry);
        if (position != entries.end())
            entries.erase(position);
        if (entries.empty()) {
            m_byCallId.erase(bucket);
        } else if (bucket->first.data() == entry->keys.data()) {
            // Re-keyed in place: the node is kept, only its view changes.
            auto node = m_byCallId.extract(bucket);
            node.key() = entries.front()->CallId();
            m_byCallId.insert(std::move(node));
        }
    }
    m_entries.erase(entry);
}

// Keys are compared as stored (cut to the cache's capacity), so a value
// longer than that compares by its stored part on both sides. The Call-ID
// goes first: it differs for almost every entry.
bool LSipAnsweredCache::IsSame(const LSipAnsweredMessage &entry, const LSipAnsweredKey &key)
{
    if (entry.request != key.request || (!entry.request && entry.status != key.status))
        return false;
    std::string_view rest(entry.keys);
    for (std::string_view field : key.fields) {
        if (rest.size() <= field.size() || rest.compare(0, field.size(), field) != 0 ||
            rest[field.size()] != 0)
            return false;
        rest.remove_prefix(field.size() + 1);
    }
    return true;
}

// The first match of a walk from the front: the newest entry of the key's
// Call-ID that matches.
LSipAnsweredCache::LEntry LSipAnsweredCache::FindNewest(const LSipAnsweredKey &key)
{
    auto bucket = m_byCallId.find(key.fields[0]);
    if (bucket == m_byCallId.end())
        return m_entries.end();
    for (auto it = bucket->second.rbegin(); it != bucket->second.rend(); ++it) {
        if (IsSame(**it, key))
            return *it;
    }
    return m_entries.end();
}

// Removes the expired entries newer than limit (all of them when limit is the
// end), the ones a walk from the front would pass before reaching limit. The
// list is ordered by age, so they are the entries just in front of limit.
void LSipAnsweredCache::PruneNewerThan(LEntry limit, uint32_t now)
{
    while (limit != m_entries.begin()) {
        LEntry newer = std::prev(limit);
        if (LTickInterval(now, newer->cachedAt) <= kKeepMs)
            return;
        Erase(newer);
    }
}

bool LSipAnsweredCache::Handle(const LSipMessage &message, LSipPacketSender &sender)
{
    LSipAnsweredKey key = KeyOf(message);
    LLockScope hold(m_lock);
    uint32_t now = m_clock.Tick();
    LEntry match = FindNewest(key);
    // An old entry that still matches is used, so it is not pruned.
    PruneNewerThan(match, now);
    if (match == m_entries.end())
        return false;
    if (match->resendCount < kMaxResends) {
        match->resendCount++;
        sender.SendPacketUDP(match->address, match->text);
    }
    return true;
}

size_t LSipAnsweredCache::GetCount()
{
    LLockScope hold(m_lock);
    return m_entries.size();
}

size_t LSipAnsweredCache::GetCallIdCount()
{
    LLockScope hold(m_lock);
    return m_byCallId.size();
}
