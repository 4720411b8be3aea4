// Where the registrations of an account are read and replaced: the registrar
// writes them, call targets, the stateless proxy and the panel read them.
// The contact records under the account are their lasting form; a running
// exchange keeps them in memory as well (LPBXRegistrations) so that a
// REGISTER is answered without waiting for the disk.
#pragma once

#include "callcontrol/registry_map.h"
#include "config/pbx_contact.h"

#include <cstdint>
#include <string>
#include <vector>

// One registration of an account.
struct LPBXBinding {
    std::string contact; // SIP URI as the registrar stored it
    int64_t expires = 0; // seconds since 1970
    std::string q;       // as received ("0.5" by default)
    std::string key;     // its record's key; empty until it is on disk
};
using LPBXBindings = std::vector<LPBXBinding>;

class LPBXContactStore
{
  public:
    virtual ~LPBXContactStore() = default;
    // The account's registrations in record order.
    virtual LPBXBindings Read(const LPBXContactList &account) = 0;
    // Replaces them. Bindings without a key are new records; the keys given
    // to them are filled in. False when the account no longer exists.
    virtual bool Write(const LPBXContactList &account, LPBXBindings &bindings) = 0;
    // Where the phones that registered from behind NAT routers really are.
    LPBXContactMapping &Mapping() { return m_Mapping; }

  private:
    LPBXContactMapping m_Mapping;
};

// Straight to the contact records: every call reads or rewrites the files.
class LPBXFileContacts : public LPBXContactStore
{
  public:
    LPBXBindings Read(const LPBXContactList &account) override;
    bool Write(const LPBXContactList &account, LPBXBindings &bindings) override;
};
