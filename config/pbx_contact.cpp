#include "config/pbx_contact.h"

#include "platform/log.h"

#include <climits>
#include <sys/stat.h>

namespace
{
bool FileExists(const LSettingsRecord &rec)
{
    struct stat st;
    return rec.IsValid() && stat(rec.GetPath(), &st) == 0 && !S_ISDIR(st.st_mode);
}
} // namespace

bool LPBXContactRecord::SetContactExpiresTime(time_t value)
{
    // Stored as a decimal int; clamp instead of wrapping into the past.
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    return SetInt("Expires", static_cast<int>(value));
}

bool LPBXContactList::AddContact(const char *contact, time_t expiresTime, const char *q)
{
    if (!FileExists(*this)) {
        LOGWARNF("Registration for missing account %s dropped", GetPath());
        return false;
    }
    LPBXContactRecordList list = GetContactList();
    LPBXContactRecord rec;
    if (!list.CreateNewRecord(rec))
        return false;
    bool stored = rec.SetContact(contact) && rec.SetContactExpiresTime(expiresTime) && rec.SetQ(q);
    // The account may have been deleted while the record was made; its
    // sub-tree must not outlive it.
    if (!FileExists(*this)) {
        LPBXDeleteRecordTree(*this);
        return false;
    }
    return stored;
}

bool LPBXContactList::SetNonce(const char *value)
{
    return FileExists(*this) && SetString("nonce", value);
}

bool LPBXContactList::SetNonceTime(int value)
{
    return FileExists(*this) && SetInt("noncetime", value);
}
