// What building target lists needs from the running exchange, behind one
// small interface: the registrar's contact address map, the exchange's own
// addresses, the desktop window notification and the clock that dates
// contacts and start times. Every target list is made
// with the environment it works in: the main engine's while the exchange
// runs, the plain one below (no mapping, no notification) in unit tests.
#pragma once

#include "callcontrol/contact_store.h"
#include "callcontrol/queue_group.h"
#include "platform/clock.h"
#include "platform/ipaddress.h"

#include <cstddef>
#include <cstdint>

// Notification code sent to the desktop window when a companion application
// extension (191 to 199) is dialled without a registered phone.
constexpr int kPBXNotifyMissingAppExtension = 3;

class LPBXCallTargetEnvironment
{
  public:
    // contacts: where registrations are read; null reads the contact records.
    explicit LPBXCallTargetEnvironment(const LClock &clock, LPBXContactStore *contacts = nullptr)
        : m_Clock(clock), m_Contacts(contacts)
    {
    }
    virtual ~LPBXCallTargetEnvironment() = default;
    const LClock &GetClock() const { return m_Clock; }

    // Rewrites the host and port of uri (a 260-byte buffer) through the
    // registrar's contact address map, for a URI learnt from a message that
    // came from source; true when it changed the text.
    virtual bool ApplyRegistryContactMapping(char *uri, const LIPAddressWithPort &source) const;
    // The exchange's fully qualified domain name (out holds 260 bytes).
    virtual const char *GetLocalFQDN(char *out) const;
    // Whether host:port reaches this exchange's own SIP port.
    virtual bool IsOwnAddress(const char *host, uint16_t port) const;
    // Passes a notification to the desktop window when the main engine runs.
    virtual void NotifyDesktop(int code, int number) const;
    // The registrations of an extension or line, in record order.
    LPBXBindings GetContacts(const LPBXContactList &owner) const;
    // Where registrations are kept; null where the records are read directly.
    LPBXContactStore *GetContactStore() const { return m_Contacts; }
    // The group queues of the calls built in this environment.
    LPBXQueuer &GetQueues() const { return m_Queues; }

  private:
    const LClock &m_Clock;
    LPBXContactStore *m_Contacts;
    mutable LPBXQueuer m_Queues;
};

// The official name a reverse lookup of the private address yields, else the
// official name of the host name, else "localhost". Looked up once.
const char *LPBXLookupLocalFQDN(char *out, size_t capacity);
