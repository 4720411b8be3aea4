#include "config/pbx_contact.h"

#include "platform/log.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool FileExists(const LSettingsRecord &rec)
{
    struct stat st;
    return rec.IsValid() && stat(rec.GetPath(), &st) == 0 && !S_ISDIR(st.st_mode);
}
} // namespace

namespace
{
// Expiries are stored as decimal ints; clamp instead of wrapping into the
// past.
void ExpiryText(time_t value, char (&text)[16])
{
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    snprintf(text, sizeof text, "%d", static_cast<int>(value));
}
} // namespace

namespace
{
// A record just created exclusively is this writer's alone: its fields are
// written into it in place, without the temporary file and rename of a
// rewrite (on ext4 a rename over a file also starts its write-back). A
// reader in between sees an empty record, which is expired and never rung.
bool WriteNewRecord(int fd, const char *contact, time_t expiresTime, const char *q)
{
    char expires[16];
    ExpiryText(expiresTime, expires);
    LSettingsEntries entries = {{LSettingsKey("Contact"), LSettingsValue(contact)},
                                {LSettingsKey("Expires"), expires},
                                {LSettingsKey("Q"), LSettingsValue(q)}};
    std::string text = LSettingsCompose(entries);
    ssize_t n = write(fd, text.data(), text.size());
    bool written = n == (ssize_t)text.size();
    int error = n < 0 ? errno : ENOSPC; // a short write is a full disk
    bool closed = close(fd) == 0;
    if (!written)
        errno = error;
    return closed && written;
}
} // namespace

bool LPBXContactRecord::SetContactExpiresTime(time_t value)
{
    char text[16];
    ExpiryText(value, text);
    return SetString("Expires", text);
}

bool LPBXContactRecord::SetBinding(const char *contact, time_t expiresTime, const char *q)
{
    char text[16];
    ExpiryText(expiresTime, text);
    const LSettingsPair pairs[] = {{"Contact", contact}, {"Expires", text}, {"Q", q}};
    return SetStrings(pairs, 3);
}

bool LPBXContactRecord::SetRefresh(time_t expiresTime, const char *q)
{
    char text[16];
    ExpiryText(expiresTime, text);
    const LSettingsPair pairs[] = {{"Expires", text}, {"Q", q}};
    return SetStrings(pairs, 2);
}

bool LPBXContactList::AddContact(const char *contact, time_t expiresTime, const char *q,
                                 std::string *key)
{
    if (!FileExists(*this)) {
        LOGWARNF("Registration for missing account %s dropped", GetPath());
        return false;
    }
    return StoreNewContact(contact, expiresTime, q, key);
}

bool LPBXContactList::StoreNewContact(const char *contact, time_t expiresTime, const char *q,
                                      std::string *key)
{
    LPBXContactRecordList list = GetContactList();
    LPBXContactRecord rec;
    int fd = -1;
    if (!LSettingsCreateNumbered(list, rec, &fd))
        return false;
    bool stored = WriteNewRecord(fd, contact, expiresTime, q);
    if (!stored) {
        // A full disk leaves the new file empty: it would stay as a record
        // of its own, and every later attempt would add another.
        LOGERRORF("Cannot save settings file %s: %s", rec.GetPath(), strerror(errno));
        unlink(rec.GetPath());
        LSettingsCountFailedWrite();
        return false;
    }
    // The account may have been deleted while the record was made; its
    // sub-tree must not outlive it.
    if (!FileExists(*this)) {
        LPBXDeleteRecordTree(*this);
        return false;
    }
    if (key) {
        char name[LPathSize];
        *key = rec.GetPrimaryKey(name);
    }
    return true;
}

bool LPBXContactList::SetNonce(const char *value)
{
    return FileExists(*this) && SetString("nonce", value);
}

bool LPBXContactList::SetNonceTime(int value)
{
    return FileExists(*this) && SetInt("noncetime", value);
}

bool LPBXContactList::SetNonceState(const char *nonce, int issued)
{
    char text[16];
    snprintf(text, sizeof text, "%d", issued);
    const LSettingsPair pairs[] = {{"nonce", nonce}, {"noncetime", text}};
    return FileExists(*this) && SetStrings(pairs, 2);
}
