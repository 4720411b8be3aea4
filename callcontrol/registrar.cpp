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
    size_t index; // in the account's bindings
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
void RewriteDirectContact(const LSipMessage &request, Binding &binding, LPBXContactMapping &mapping,
                          int64_t now)
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
        mapping.Set(a, s, now);
}

bool NamesOwnAddress(const std::string &contact, LNewRequestResponder &responder)
{
    LSipURI uri(contact.c_str());
    LIPAddressWithPort address;
    return LSipAddressFromHost(uri.GetHost(), uri.GetPort(), address) &&
           responder.IsOwnSipAddress(address);
}

// Refreshes the binding if listed, drops records expired for over 10 s and
// lists the rest in order. found tells whether the binding was there.
std::vector<ListedContact> WalkContacts(LPBXBindings &bindings, const Binding &binding, int64_t now,
                                        bool &found)
{
    std::vector<ListedContact> listed;
    found = false;
    for (size_t i = 0; i < bindings.size();) {
        LPBXBinding &entry = bindings[i];
        int remaining;
        if (!found && entry.contact == binding.contact) {
            found = true;
            entry.expires = now + binding.stored;
            entry.q = binding.q;
            remaining = binding.granted;
        } else {
            remaining = (int)(entry.expires - now);
            if (remaining < -10) {
                bindings.erase(bindings.begin() + (long)i);
                continue;
            }
        }
        listed.push_back(ListedContact{i, remaining});
        i++;
    }
    return listed;
}

// Stores a new binding, reusing the record that expires first when the
// account already holds the most it may.
void StoreNewBinding(LPBXBindings &bindings, const Binding &binding, int64_t now,
                     std::vector<ListedContact> &listed)
{
    LPBXBinding fresh{binding.contact, now + binding.stored, binding.q, ""};
    if ((int)listed.size() < kMaxContactsPerAccount) {
        bindings.push_back(fresh);
        listed.push_back(ListedContact{bindings.size() - 1, binding.granted});
        return;
    }
    ListedContact *oldest = &listed[0];
    for (ListedContact &entry : listed)
        if (bindings[entry.index].expires < bindings[oldest->index].expires)
            oldest = &entry;
    fresh.key = bindings[oldest->index].key;
    bindings[oldest->index] = fresh;
    oldest->remaining = binding.granted;
}

std::string ContactLines(const LPBXBindings &bindings, const std::vector<ListedContact> &listed)
{
    std::string lines;
    for (const ListedContact &entry : listed)
        if (entry.remaining > 0)
            LSipAppendF(lines, "Contact: <%s>;expires=%d;q=%s\r\n",
                        bindings[entry.index].contact.c_str(), entry.remaining,
                        bindings[entry.index].q.c_str());
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
    LPBXFileContacts files;
    LPBXHandleRegister(request, guards, responder, files, now);
}

void LPBXHandleRegister(const LSipMessage &request, LPBXRequestGuards &guards,
                        LNewRequestResponder &responder, LPBXContactStore &contacts, int64_t now)
{
    LSipNameAddr to(request.FindField(LSipFields::To, ""));
    LSipURI toUri(to.GetSipURI());
    const char *user = toUri.GetUser();
    if (!LPBXSourceMayAuthenticate(request, user, guards, responder, now))
        return;
    char name[LPathSize], value[LPathSize], password[LPathSize];
    LPBXExtension extension;
    if (user[0] && LPBXFindExtension(user, extension)) {
        LDigestAccount digest{extension.GetName(name), user, extension.GetPassword(password)};
        if (LPBXAuthenticate(request, kRegisterChallenge, digest, guards, responder, now))
            HandleInwardRegisterAuthorised(request, extension, name, "Extension", responder,
                                           contacts, now);
        return;
    }
    LPBXExternalLine line;
    if (user[0] && LPBXFindExternalLine(user, false, line)) {
        char digestUser[LPathSize];
        if (!line.GetAuthUserID(digestUser)[0])
            line.GetLineID(digestUser);
        LDigestAccount digest{line.GetLineID(value), digestUser, line.GetPassword(password)};
        if (LPBXAuthenticate(request, kRegisterChallenge, digest, guards, responder, now))
            HandleInwardRegisterAuthorised(request, line, value, "External Line", responder,
                                           contacts, now);
        return;
    }
    if (LPBXMayLogAbout(request, guards, now)) {
        LOGWARNF("Unknown ID \"%s\" attempted to register!", user);
        LOGWARN("Add a new extension with that ID if required.");
    }
    LPBXAuthenticate(request, kRegisterChallenge, LDigestAccount{user, user, nullptr}, guards,
                     responder, now);
}

void HandleInwardRegisterAuthorised(const LSipMessage &request, LPBXContactList &account,
                                    const char *accountName, const char *kind,
                                    LNewRequestResponder &responder, LPBXContactStore &contacts,
                                    int64_t now)
{
    const char *contactText = request.FindField(LSipFields::Contact, "");
    LSipNameAddr contact(contactText);
    if (*LSipSkipWhite(contactText) == '*' || contact.GetSipURI()[0] == '*') {
        responder.Respond(request, 200, "OK", nullptr);
        return;
    }
    Binding binding = ReadBinding(request, contact);
    if (!binding.contact.empty() && CountVia(request) < 2)
        RewriteDirectContact(request, binding, contacts.Mapping(), now);
    // A Contact naming the exchange itself would make it call itself.
    if (!binding.contact.empty() && NamesOwnAddress(binding.contact, responder)) {
        LOGWARNF("%s %s gave the exchange's own address as contact", kind, accountName);
        binding.contact.clear();
    }
    // As the record will hold them, so that a refresh finds its binding.
    if (binding.contact.size() > LSettingsTextMax)
        binding.contact.resize(LSettingsTextMax);
    if (binding.q.size() > LSettingsTextMax)
        binding.q.resize(LSettingsTextMax);
    bool found = false;
    LPBXBindings bindings = contacts.Read(account);
    size_t before = bindings.size();
    std::vector<ListedContact> listed = WalkContacts(bindings, binding, now, found);
    bool added = !found && binding.granted >= 1 && !binding.contact.empty();
    if (added)
        StoreNewBinding(bindings, binding, now, listed);
    // Only a REGISTER that changed nothing (an unknown contact with expiry
    // 0, no contact at all) leaves the records alone.
    bool stored = true;
    if (found || added || bindings.size() != before)
        stored = contacts.Write(account, bindings);
    if (added && stored)
        LOGINFOF("%s %s is at: %s", kind, accountName, binding.contact.c_str());
    if (!stored)
        listed.clear();
    std::string lines = ContactLines(bindings, listed);
    responder.Respond(request, 200, "OK", lines.empty() ? nullptr : lines.c_str());
}

void LPBXRefreshContactExpiries(int64_t now)
{
    LPBXFileContacts files;
    LPBXRefreshContactExpiries(files, now);
}

void LPBXRefreshContactExpiries(LPBXContactStore &contacts, int64_t now)
{
    for (LPBXExtensionListIterator ext; ext; ext.Next()) {
        LPBXBindings bindings = contacts.Read(*ext);
        bool changed = false;
        for (LPBXBinding &b : bindings)
            if (b.expires < now + 300) {
                b.expires = now + 300;
                changed = true;
            }
        if (changed)
            contacts.Write(*ext, bindings);
    }
}
