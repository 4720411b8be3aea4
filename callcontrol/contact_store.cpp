#include "callcontrol/contact_store.h"

#include <sys/stat.h>

namespace
{
const LPBXBinding *FindKey(const LPBXBindings &bindings, const std::string &key)
{
    for (const LPBXBinding &b : bindings)
        if (b.key == key)
            return &b;
    return nullptr;
}

bool SameRecord(const LPBXBinding &a, const LPBXBinding &b)
{
    return a.contact == b.contact && a.expires == b.expires && a.q == b.q;
}

bool AccountExists(const LPBXContactList &account)
{
    struct stat st;
    return account.IsValid() && stat(account.GetPath(), &st) == 0 && !S_ISDIR(st.st_mode);
}
} // namespace

LPBXBindings LPBXFileContacts::Read(const LPBXContactList &account)
{
    LPBXBindings out;
    char contact[LPathSize], q[LPathSize], key[LPathSize];
    for (LPBXContactListIterator it(account); it; it.Next())
        out.push_back(LPBXBinding{it->GetContact(contact), (int64_t)it->GetContactExpiresTime(),
                                  it->GetQ(q), it->GetPrimaryKey(key)});
    return out;
}

bool LPBXFileContacts::Write(const LPBXContactList &account, LPBXBindings &bindings)
{
    // A registration racing with the account's deletion must not bring its
    // folders back.
    if (!AccountExists(account))
        return false;
    LPBXBindings disk = Read(account);
    LPBXContactRecordList list = account.GetContactList();
    for (const LPBXBinding &old : disk)
        if (!FindKey(bindings, old.key))
            list.Delete(old.key.c_str());
    bool stored = true;
    LPBXContactList owner = account;
    for (LPBXBinding &b : bindings) {
        if (b.key.empty()) {
            stored =
                owner.StoreNewContact(b.contact.c_str(), b.expires, b.q.c_str(), &b.key) && stored;
            continue;
        }
        const LPBXBinding *was = FindKey(disk, b.key);
        if (was && SameRecord(*was, b))
            continue;
        LPBXContactRecord rec;
        stored = list.Open(rec, b.key.c_str()) &&
                 rec.SetBinding(b.contact.c_str(), b.expires, b.q.c_str()) && stored;
    }
    return stored;
}
