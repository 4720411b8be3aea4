// Host names resolved behind the back of a thread that must never block on
// the resolver: the SIP engine's thread, which also receives every datagram.
// A name is looked up on a short-lived detached thread of its own and the
// answer kept for a minute; after that the old answer is still given while
// a new look-up runs. Without a network name server (the office's internet
// connection down) a look-up can take tens of seconds, which would otherwise
// hold up every phone's REGISTER and every call in the meantime.
#pragma once

#include "platform/clock.h"
#include "platform/ipaddress.h"

#include <functional>
#include <memory>
#include <string>

enum class LNameLookup { Found, Pending, Failed };

class LNameCache
{
  public:
    // Resolves one name to an IPv4 address (host byte order); may block.
    using Resolver = std::function<bool(const std::string &name, uint32_t &address)>;
    static constexpr uint32_t kFreshMs = 60000;
    static constexpr uint32_t kFailedRetryMs = 7000;

    // onAnswer is called on the look-up's thread when an answer (or a
    // failure) arrives, so the waiting thread can try again.
    LNameCache(const LClock &clock, std::function<void()> onAnswer, Resolver resolver = nullptr);
    ~LNameCache();
    LNameCache(const LNameCache &) = delete;
    LNameCache &operator=(const LNameCache &) = delete;

    // "host[:port]": a dotted address at once; a name from the cache, a
    // look-up started when there is no fresh answer. Pending until the
    // first answer; Failed while the last look-up found nothing.
    LNameLookup Lookup(const char *text, int defaultPort, LIPAddressWithPort &out);

    // The state a running look-up shares with the cache (internal).
    struct Shared;

  private:
    std::shared_ptr<Shared> m_Shared;
};
