// Registrations: the contact records an extension or an external line keeps in
// its "ContactList" sub-list, and the digest state of that account.
#pragma once

#include "config/pbx_list.h"

#include <ctime>
#include <string>

// One registration; its key is the lowest free number "1", "2", ...
class LPBXContactRecord : public LSettingsRecord
{
  public:
    // The Contact of the REGISTER as the registrar rewrote it (SIP URI).
    const char *GetContact(char *out) { return GetString("Contact", "", out); }
    bool SetContact(const char *value) { return SetString("Contact", value); }
    // Absolute expiry, seconds since 1970.
    time_t GetContactExpiresTime() { return GetInt("Expires", 0); }
    bool SetContactExpiresTime(time_t value);
    // The q value as text ("0.5" when the REGISTER gave none).
    const char *GetQ(char *out) { return GetString("Q", "", out); }
    bool SetQ(const char *value) { return SetString("Q", value); }
    // Writes Contact, Expires and Q as one update of the file.
    bool SetBinding(const char *contact, time_t expiresTime, const char *q);
    // A refresh of a known binding: Expires and Q as one update.
    bool SetRefresh(time_t expiresTime, const char *q);

  protected:
    // A registration is soft state: the phone refreshes it on its own
    // schedule and registers again when it finds itself unknown, so its
    // record need not wait for the disk on every refresh. The account's own
    // record (password, nonce) is not soft and is always synced.
    bool IsSoftState() const override { return true; }
};

class LPBXContactRecordList : public LPBXListTemplate<LPBXContactRecord>
{
  public:
    using LPBXListTemplate<LPBXContactRecord>::LPBXListTemplate;
};

class LPBXContactList;

class LPBXContactListIterator : public LPBXListIteratorTemplate<LPBXContactRecord>
{
  public:
    explicit LPBXContactListIterator(const LPBXContactList &owner);
    explicit LPBXContactListIterator(const LPBXContactRecordList &list)
        : LPBXListIteratorTemplate<LPBXContactRecord>(list)
    {
    }
};

// An account that devices register to: an extension or an external line.
class LPBXContactList : public LSettingsRecord
{
  public:
    LPBXContactRecordList GetContactList() const
    {
        return LPBXContactRecordList(*this, "ContactList");
    }

    // Stores a registration as a new numbered record: Contact, Expires, Q in
    // this order. Refused (false) when the account itself does not exist, so
    // a REGISTER racing with the account's deletion cannot bring it back.
    // key, when given, receives the new record's key.
    bool AddContact(const char *contact, time_t expiresTime, const char *q,
                    std::string *key = nullptr);
    // As AddContact, for a caller that has just seen the account exist.
    bool StoreNewContact(const char *contact, time_t expiresTime, const char *q,
                         std::string *key = nullptr);

    // Digest state of the account, shared by REGISTER and INVITE checks.
    const char *GetNonce(char *out) { return GetString("nonce", "", out); }
    int GetNonceTime() { return GetInt("noncetime", 0); }
    // Written only while the account exists: a challenge answered after the
    // account was deleted must not recreate it without its password.
    bool SetNonce(const char *value);
    bool SetNonceTime(int value);
    // A new nonce and its issue time as one update.
    bool SetNonceState(const char *nonce, int issued);
};

inline LPBXContactListIterator::LPBXContactListIterator(const LPBXContactList &owner)
    : LPBXListIteratorTemplate<LPBXContactRecord>(owner, "ContactList")
{
}
