#include "callcontrol/registrar.h"

#include "callcontrol/account_lookup.h"
#include "callcontrol/digest.h"
#include "callcontrol/registry_map.h"
#include "callcontrol/request_guards.h"
#include "platform/log.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct Binding {
    std::string contact;
    std::string q;
    int stored = 0;  // seconds the binding stays valid
    int granted = 0; // seconds the phone is told
};

struct ListedContact {
    LPBXContactRecord record;
    std::string contact;
    std::string q;
    int64_t expires;
    int remaining;
};

int ParseExpiry(const char *text)
{
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text)
        return 0;
    if (value < 0)
        return 0;
    return value > kMaxRegisterExpiry ? kMaxRegisterExpiry : (int)value;
}

int CountVia(const LSipMessage &request)
{
    int count = 0;
    for (size_t i = 0; i < request.GetFieldCount(); i++)
        if (request.GetFieldAt(i).IsField(LSipFields::Via))
            count++;
    return count;
}

// A phone talking to us directly is reached where its REGISTER came from,
// whatever private address it wrote into its Contact.
void RewriteDirectContact(const LSipMessage &request, Binding &binding, int64_t now)
{
    LSipURI uri(binding.contact.c_str());
    LIPAddressWithPort a;
    const LIPAddressWithPort &s = request.GetSource();
    bool parsed = LSipAddressFromHost(uri.GetHost(), uri.GetPort(), a);
    if (!parsed || !a.IsSameAs(s)) {
        char host[32];
        s.ToHostString(host);
        uri.SetHost(host);
        uri.SetPort((uint16_t)s.GetPort());
        binding.contact.clear();
        uri.Reconstruct(binding.contact);
        if (!s.IsPrivate() && binding.granted > kNatRegisterExpiry)
            binding.granted = kNatRegisterExpiry;
    }
    if (parsed)
        SetRegistryContactMapping(a, s, now);
}

bool NamesOwnAddress(const std::string &contact, LNewRequestResponder &responder)
{
    LSipURI uri(contact.c_str());
    LIPAddressWithPort address;
    return LSipAddressFromHost(uri.GetHost(), uri.GetPort(), address) &&
           responder.IsOwnSipAddress(address);
}

// Refreshes the binding if listed, drops records expired for over 10 s and
// returns the rest in list order. found tells whether the binding was there.
std::vector<ListedContact> WalkContacts(LPBXContactList &account, const Binding &binding,
                                        int64_t now, bool &found)
{
    std::vector<ListedContact> listed;
    LPBXContactRecordList list = account.GetContactList();
    char contact[LPathSize], q[LPathSize];
    found = false;
    for (LPBXContactListIterator it(list); it;) {
        ListedContact entry{*it, it->GetContact(contact), it->GetQ(q), 0, 0};
        if (!found && entry.contact == binding.contact) {
            found = true;
            entry.expires = now + binding.stored;
            entry.q = binding.q;
            it->SetRefresh(entry.expires, binding.q.c_str());
            entry.remaining = binding.granted;
        } else {
            entry.expires = it->GetContactExpiresTime();
            entry.remaining = (int)(entry.expires - now);
            if (entry.remaining < -10) {
                list.Delete(it);
                continue;
            }
        }
        listed.push_back(entry);
        it.Next();
    }
    return listed;
}

// Stores a new binding, reusing the record that expires first when the
// account already holds the most it may.
bool StoreNewBinding(LPBXContactList &account, const Binding &binding, int64_t now,
                     std::vector<ListedContact> &listed)
{
    int64_t expires = now + binding.stored;
    if ((int)listed.size() < kMaxContactsPerAccount) {
        if (!account.AddContact(binding.contact.c_str(), expires, binding.q.c_str()))
            return false;
        listed.push_back(ListedContact{LPBXContactRecord(), binding.contact, binding.q, expires,
                                       binding.granted});
        return true;
    }
    ListedContact *oldest = &listed[0];
    for (ListedContact &entry : listed)
        if (entry.expires < oldest->expires)
            oldest = &entry;
    oldest->record.SetBinding(binding.contact.c_str(), expires, binding.q.c_str());
    *oldest = ListedContact{oldest->record, binding.contact, binding.q, expires, binding.granted};
    return true;
}

std::string ContactLines(const std::vector<ListedContact> &listed)
{
    std::string lines;
    for (const ListedContact &entry : listed)
        if (entry.remaining > 0)
            LSipAppendF(lines, "Contact: <%s>;expires=%d;q=%s\r\n", entry.contact.c_str(),
                        entry.remaining, entry.q.c_str());
    return lines;
}

Binding ReadBinding(const LSipMessage &request, const LSipNameAddr &contact)
{
    Binding binding;
    binding.contact = contact.GetSipURI();
    const char *expires = contact.GetHeaderField("expires", nullptr);
    if (!expires)
        expires = request.FindField(LSipFields::Expires, "3600");
    binding.stored = binding.granted = ParseExpiry(expires);
    binding.q = contact.GetHeaderField("q", "0.5");
    return binding;
}
} // namespace

void LPBXHandleRegister(const LSipMessage &request, LPBXRequestGuards &guards,
                        LNewRequestResponder &responder, int64_t now)
{
    if (!LPBXSourceMayAuthenticate(request, guards, responder, now))
        return;
    LSipNameAddr to(request.FindField(LSipFields::To, ""));
    LSipURI toUri(to.GetSipURI());
    const char *user = toUri.GetUser();
    char name[LPathSize], value[LPathSize], password[LPathSize];
    LPBXExtension extension;
    if (user[0] && LPBXFindExtension(user, extension)) {
        HandleInwardRegisterAuthorise(request, extension, extension.GetName(name), "Extension",
                                      user, extension.GetPassword(password), guards, responder,
                                      now);
        return;
    }
    LPBXExternalLine line;
    if (user[0] && LPBXFindExternalLine(user, false, line)) {
        char digestUser[LPathSize];
        if (!line.GetAuthUserID(digestUser)[0])
            line.GetLineID(digestUser);
        HandleInwardRegisterAuthorise(request, line, line.GetLineID(value), "External Line",
                                      digestUser, line.GetPassword(password), guards, responder,
                                      now);
        return;
    }
    if (LPBXMayLogAbout(request, guards, now)) {
        LOGWARNF("Unknown ID \"%s\" attempted to register!", user);
        LOGWARN("Add a new extension with that ID if required.");
    }
    LPBXAuthenticate(request, kRegisterChallenge, LDigestAccount{user, user, nullptr}, guards,
                     responder, now);
}

void HandleInwardRegisterAuthorise(const LSipMessage &request, LPBXContactList &account,
                                   const char *accountName, const char *kind,
                                   const char *digestUser, const char *password,
                                   LPBXRequestGuards &guards, LNewRequestResponder &responder,
                                   int64_t now)
{
    LDigestAccount digest{accountName, digestUser, password};
    if (LPBXAuthenticate(request, kRegisterChallenge, digest, guards, responder, now))
        HandleInwardRegisterAuthorised(request, account, accountName, kind, responder, now);
}

void HandleInwardRegisterAuthorised(const LSipMessage &request, LPBXContactList &account,
                                    const char *accountName, const char *kind,
                                    LNewRequestResponder &responder, int64_t now)
{
    const char *contactText = request.FindField(LSipFields::Contact, "");
    LSipNameAddr contact(contactText);
    if (*LSipSkipWhite(contactText) == '*' || contact.GetSipURI()[0] == '*') {
        responder.Respond(request, 200, "OK", nullptr);
        return;
    }
    Binding binding = ReadBinding(request, contact);
    if (!binding.contact.empty() && CountVia(request) < 2)
        RewriteDirectContact(request, binding, now);
    // A Contact naming the exchange itself would make it call itself.
    if (!binding.contact.empty() && NamesOwnAddress(binding.contact, responder)) {
        LOGWARNF("%s %s gave the exchange's own address as contact", kind, accountName);
        binding.contact.clear();
    }
    bool found = false;
    std::vector<ListedContact> listed = WalkContacts(account, binding, now, found);
    if (!found && binding.granted >= 1 && !binding.contact.empty() &&
        StoreNewBinding(account, binding, now, listed))
        LOGINFOF("%s %s is at: %s", kind, accountName, binding.contact.c_str());
    std::string lines = ContactLines(listed);
    responder.Respond(request, 200, "OK", lines.empty() ? nullptr : lines.c_str());
}

void LPBXRefreshContactExpiries(int64_t now)
{
    for (LPBXExtensionListIterator ext; ext; ext.Next()) {
        for (LPBXContactListIterator it(*ext); it; it.Next())
            if (it->GetContactExpiresTime() < now + 300)
                it->SetContactExpiresTime(now + 300);
    }
}
