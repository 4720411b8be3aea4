// Responses already sent, kept so that a retransmitted request (or a repeated
// final response that we acknowledged) is answered with the identical text
// without reaching a handler again. Newest first; bounded in size and age.
#pragma once

#include "platform/ipaddress.h"
#include "platform/lock.h"
#include "sip/siptext.h"

#include <cstdint>
#include <list>
#include <string>

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
    static constexpr size_t kMaxEntries = 4096;
    // A repeat is answered this many times; later repeats are absorbed.
    static constexpr int kMaxResends = 16;
    static constexpr uint32_t kKeepMs = 30000;

    // Records that answered (a request, or a final response we acknowledged)
    // was answered with text sent to address.
    void Add(const LSipMessage &answered, const LIPAddressWithPort &address,
             const std::string &text);
    // True when message repeats an answered one; the stored text has then
    // been re-sent through sender unless it was re-sent kMaxResends times.
    bool Handle(const LSipMessage &message, LSipPacketSender &sender);
    size_t GetCount();

  private:
    struct LSipAnsweredMessage {
        bool request = false;
        uint16_t status = 0;
        char callId[kSipLongText] = {0};
        char cseq[kSipLongText] = {0};
        char via[kSipLongText] = {0};
        char to[kSipLongText] = {0};
        char from[kSipLongText] = {0};
        LIPAddressWithPort address;
        std::string text;
        uint32_t cachedAt = 0;
        int resendCount = 0;
    };
    static void FillKey(LSipAnsweredMessage &entry, const LSipMessage &answered);
    static bool IsSame(const LSipAnsweredMessage &entry, const LSipAnsweredMessage &key);

    LLockObject m_lock;
    std::list<LSipAnsweredMessage> m_entries;
};
