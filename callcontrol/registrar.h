// The registrar: REGISTER requests of extensions and of external lines that
// register to the exchange, authenticated with digest (RFC 2617) and kept as
// contact records under the account (RFC 3261 section 10.3).
#pragma once

#include "callcontrol/contact_store.h"
#include "callcontrol/new_request_responder.h"

#include <cstdint>

struct LPBXRequestGuards;

// At most this many bindings per account; a new one then replaces the one
// that expires first, so a misbehaving phone cannot fill the disk.
constexpr int kMaxContactsPerAccount = 16;
// The longest registration granted (seconds).
constexpr int kMaxRegisterExpiry = 3600;
// Phones behind NAT routers refresh this often to keep the router open.
constexpr int kNatRegisterExpiry = 60;

// Looks up the account the To user names and checks its credentials.
// A name that is no account is challenged like one (no answer tells them
// apart) and logged. Registrations are read from and stored in contacts;
// the form without it works on the contact records directly.
void LPBXHandleRegister(const LSipMessage &request, LPBXRequestGuards &guards,
                        LNewRequestResponder &responder, LPBXContactStore &contacts, int64_t now);
void LPBXHandleRegister(const LSipMessage &request, LPBXRequestGuards &guards,
                        LNewRequestResponder &responder, int64_t now);

// Stores the binding of an authenticated REGISTER and answers 200 with the
// account's live contacts; kind is "Extension" or "External Line".
void HandleInwardRegisterAuthorised(const LSipMessage &request, LPBXContactList &account,
                                    const char *accountName, const char *kind,
                                    LNewRequestResponder &responder, LPBXContactStore &contacts,
                                    int64_t now);

// The exchange's address changed: every extension contact stays valid for
// at least 300 more seconds so that phones can register again.
void LPBXRefreshContactExpiries(LPBXContactStore &contacts, int64_t now);
void LPBXRefreshContactExpiries(int64_t now);
