// Responses already sent, kept so that a retransmitted request (or a repeated
// final response that we acknowledged) is answered with the identical text
// without reaching a handler again. Newest first; bounded in size and age.
// Every datagram is looked up, so entries are also indexed by Call-ID: a
// lookup compares only the entries of its own Call-ID.
#pragma once

#include "platform/clock.h"
#include "platform/ipaddress.h"
#include "platform/lock.h"
#include "sip/siptext.h"

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class LSipMessage;

// Sends one datagram; the engine in service, a recorder in tests.
class LSipPacketSender
{
  public:
    virtual ~LSipPacketSender() = default;
    virtual void SendPacketUDP(const LIPAddressWithPort &to, const std::string &text) = 0;
};

class LSipAnsweredCache
{
  public:
    explicit LSipAnsweredCache(const LClock &clock) : m_clock(clock) {}
    static constexpr size_t kMaxEntries = 4096;
    // A repeat is answered this many times; later repeats are absorbed.
    static constexpr int kMaxResends = 16;
    static constexpr uint32_t kKeepMs = 30000;
    static constexpr size_t kEntriesPerCallId = 4;
    // Room a stored text may keep beyond its length.
    static constexpr size_t kSpareBytes = 128;

    // Records that answered (a request, or a final response we acknowledged)
    // was answered with text sent to address. A text that fits its buffer is
    // taken over; one with more than kSpareBytes of room is stored at its
    // size, as it is kept for kKeepMs.
    void Add(const LSipMessage &answered, const LIPAddressWithPort &address, std::string text);
    // True when message repeats an answered one; the stored text has then
    // been re-sent through sender unless it was re-sent kMaxResends times.
    bool Handle(const LSipMessage &message, LSipPacketSender &sender);
    size_t GetCount();
    // Distinct Call-IDs indexed; equals the Call-IDs of the entries held.
    size_t GetCallIdCount();

  private:
    // What identifies a message: the Call-ID, CSeq, Via, To and From values,
    // each cut to kSipLongText - 1 characters, seen in the message itself.
    struct LSipAnsweredKey {
        bool request = false;
        uint16_t status = 0;
        std::string_view fields[5];
    };
    // Up to 4,096 of these live at once, so the key is kept compact: the
    // five values one after another, each ended by a NUL (a header value
    // holds none), the Call-ID first.
    struct LSipAnsweredMessage {
        bool request = false;
        uint16_t status = 0;
        std::string keys;
        LIPAddressWithPort address;
        std::string text;
        uint32_t cachedAt = 0;
        int resendCount = 0;
        std::string_view CallId() const { return std::string_view(keys.c_str()); }
    };
    using LEntries = std::list<LSipAnsweredMessage>;
    using LEntry = LEntries::iterator;
    struct LCallIdHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const
        {
            return std::hash<std::string_view>{}(text);
        }
    };
    // The entries of one Call-ID, oldest first. The key views the Call-ID
    // stored in the oldest entry (no copy per call); erasing that entry moves
    // the key to the next one.
    using LIndex =
        std::unordered_map<std::string_view, std::vector<LEntry>, LCallIdHash, std::equal_to<>>;

    static LSipAnsweredKey KeyOf(const LSipMessage &message);
    static bool IsSame(const LSipAnsweredMessage &entry, const LSipAnsweredKey &key);
    LEntry FindNewest(const LSipAnsweredKey &key);
    void PruneNewerThan(LEntry limit, uint32_t now);
    void Erase(LEntry entry);

    const LClock &m_clock;
    LLockObject m_lock;
    LEntries m_entries;
    LIndex m_byCallId;
};
