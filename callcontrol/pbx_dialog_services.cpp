#include "callcontrol/pbx_dialog_services.h"

#include "callcontrol/initiate_list.h"
#include "callcontrol/registry_map.h"
#include "media/sdp_session.h"

bool LPBXDialogServices::MapContact(char *uri, size_t capacity, const LIPAddressWithPort &source)
{
    return m_Contacts.Mapping().Apply(uri, capacity, source, m_Clock.UnixTime());
}

void LPBXDialogServices::MakeDefaultSdp(const LSipMessage &, std::string &out)
{
    LSDPSession::CreateDefaultSDP(m_Sdp, out);
}

bool LPBXRunningEnvironment::ApplyRegistryContactMapping(char *uri,
                                                         const LIPAddressWithPort &source) const
{
    LPBXContactStore *contacts = GetContactStore();
    return contacts &&
           contacts->Mapping().Apply(uri, kSipInitiateTextSize, source, GetClock().UnixTime());
}
