#include "callcontrol/registry_map.h"

#include "config/pbx_global_settings.h"
#include "platform/lock.h"
#include "sip/sipuri.h"

#include <arpa/inet.h>
#include <string>

namespace
{
constexpr int64_t kRegisterMappingSeconds = 4000;
constexpr int64_t kLoadedMappingSeconds = 3800;

// A new REGISTER of a from s replaces what the same router (same public
// address, its port may have moved) said about a before. An entry for a
// through another router belongs to a phone at another site that shares the
// private address; it stays until it expires, or that site's calls would be
// sent to the private address.
bool ReplacedBy(const LSipContactMap &entry, const LIPAddressWithPort &a,
                const LIPAddressWithPort &s)
{
    return entry.from.IsSameAs(a) && entry.to.GetAddress() == s.GetAddress();
}

bool AddressOfURI(const LSipURI &uri, LIPAddressWithPort &address)
{
    return LSipAddressFromHost(uri.GetHost(), uri.GetPort(), address);
}
} // namespace

bool LSipAddressFromHost(const char *host, int port, LIPAddressWithPort &address)
{
    in_addr parsed;
    if (inet_pton(AF_INET, host, &parsed) != 1)
        return false;
    address = LIPAddressWithPort(ntohl(parsed.s_addr), port);
    return true;
}

void LSipContactMap::Save(int n) const
{
    char fromText[32], toText[32];
    from.ToString(fromText);
    to.ToString(toText);
    LPBXSetRegistryMapping(n, fromText, toText);
}

// Called with m_Lock held.
void LPBXContactMapping::LoadIfNeeded(int64_t now)
{
    if (m_Loaded)
        return;
    m_Entries.clear();
    int count = LPBXSettings::RegistryMappingCount.Get();
    for (int n = 1; n <= count; n++) {
        char fromText[260], toText[260];
        LSipContactMap entry;
        // Only dotted addresses are ever written; anything else is damage.
        if (!entry.from.SetFromText(LPBXGetRegistryMappingFrom(n, fromText), 5060) ||
            !entry.to.SetFromText(LPBXGetRegistryMappingTo(n, toText), 5060) ||
            !entry.from.IsValid() || !entry.to.IsValid())
            continue;
        entry.expiry = now + kLoadedMappingSeconds;
        m_Entries.push_back(entry);
    }
    m_Loaded = true;
}

void LPBXContactMapping::Reset()
{
    LLockScope hold(m_Lock);
    m_Entries.clear();
    m_Loaded = false;
}

void LPBXContactMapping::Set(const LIPAddressWithPort &a, const LIPAddressWithPort &s, int64_t now)
{
    int kept = 0;
    {
        LLockScope hold(m_Lock);
        LoadIfNeeded(now);
        auto it = m_Entries.begin();
        if (!a.IsSameAs(s)) {
            m_Entries.push_front(LSipContactMap{a, s, now + kRegisterMappingSeconds});
            it = m_Entries.begin();
            it->Save(++kept);
            ++it;
        }
        while (it != m_Entries.end()) {
            if (it->expiry < now || ReplacedBy(*it, a, s)) {
                it = m_Entries.erase(it);
                continue;
            }
            it->Save(++kept);
            ++it;
        }
    }
    LPBXSettings::RegistryMappingCount.Set(kept);
}

bool LPBXContactMapping::Apply(char *uri, size_t capacity, const LIPAddressWithPort &source,
                               int64_t now)
{
    LSipURI parsed(uri);
    LIPAddressWithPort address;
    if (!AddressOfURI(parsed, address))
        return false;
    LLockScope hold(m_Lock);
    LoadIfNeeded(now);
    for (auto it = m_Entries.begin(); it != m_Entries.end();) {
        bool expired = it->expiry < now;
        if (!expired && it->from.IsSameAs(address) && it->to.IsSameAs(source)) {
            char host[32];
            it->to.ToHostString(host);
            parsed.SetHost(host);
            parsed.SetPort((uint16_t)it->to.GetPort());
            std::string text;
            parsed.Reconstruct(text); // fresh text: Reconstruct appends
            LSipCopyText(uri, capacity, text.c_str());
            return true;
        }
        if (expired)
            it = m_Entries.erase(it);
        else
            ++it;
    }
    return false;
}
