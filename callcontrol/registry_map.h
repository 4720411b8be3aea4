// Where phones behind NAT routers really are: for the address written in a
// phone's Contact (from) the address its REGISTER came from (to). Kept
// newest first, shared by the registrar and every call thread, persisted in
// the "RegistryMapping" section.
#pragma once

#include "platform/ipaddress.h"
#include "platform/lock.h"

#include <cstddef>
#include <cstdint>
#include <list>

class LSipContactMap
{
  public:
    LIPAddressWithPort from;
    LIPAddressWithPort to;
    int64_t expiry = 0;

    // Writes "From%d" and "To%d" for entry number n (from 1).
    void Save(int n) const;
};

// The map of one exchange, kept by its registrations (LPBXContactStore).
// The persisted entries are read on first use (expiring 3800 s after it).
class LPBXContactMapping
{
  public:
    // Records that a REGISTER whose Contact named a arrived from s,
    // replacing what s's address said about a before (entries for a through
    // other routers, other sites sharing the private address, stay until
    // they expire). When a and s are the same, only such an older mapping is
    // removed.
    void Set(const LIPAddressWithPort &a, const LIPAddressWithPort &s, int64_t now);
    // Rewrites the host and port of the URI in uri (capacity bytes) to where
    // the phone really is, when an unexpired entry maps the URI's address
    // and that entry's "to" is source, the sender of the message carrying
    // the URI: two sites whose phones share a private address never get
    // each other's calls.
    bool Apply(char *uri, size_t capacity, const LIPAddressWithPort &source, int64_t now);
    // Forgets the loaded entries so that the next use reads the settings
    // again (a restarted engine).
    void Reset();

  private:
    void LoadIfNeeded(int64_t now);

    LLockObject m_Lock;
    bool m_Loaded = false;
    std::list<LSipContactMap> m_Entries; // newest first
};

// Parses a dotted IPv4 host and port into address, without name look-ups
// (they would block the receive thread). False for host names.
bool LSipAddressFromHost(const char *host, int port, LIPAddressWithPort &address);
