// What one SIP dialog works with: the engine that carries its messages, the
// graveyard that finishes its teardown, the clock and timing of its waits
// and what the layers above supply (contact mapping, the idle SDP). The main engine
// builds one stack and hands it to every dialog it makes, so a dialog can
// never run against a part nobody supplied.
#pragma once

#include "platform/ipaddress.h"
#include "platform/signal_pool.h"

#include <cstddef>
#include <memory>
#include <string>

class LClock;
class LSipEngine;
class LSipGraveyard;
class LSipMessage;
struct LSipDialogTiming;

// Call control and media sit above the SIP stack; this is what a dialog asks
// of them.
class LSipDialogServices
{
  public:
    virtual ~LSipDialogServices() = default;
    // Rewrites the URI in uri (capacity bytes) to where a phone behind a NAT
    // router really is, when the registrar knows that source (the sender of
    // the message carrying the URI) registered it. True when it rewrote.
    virtual bool MapContact(char *uri, size_t capacity, const LIPAddressWithPort &source) = 0;
    // The SDP body of a 200 to an in-dialog OPTIONS (empty: no body).
    virtual void MakeDefaultSdp(const LSipMessage &request, std::string &out) = 0;
};

struct LSipStack {
    LSipEngine &engine;
    LSipGraveyard &graveyard;
    const LClock &clock;
    const LSipDialogTiming &timing;
    LSipDialogServices &services;
    // Descriptors of the calls' dialog and thread signals, reused between
    // calls; shared, so a dialog outliving the stack's owner still has it.
    std::shared_ptr<LSignalPool> signals = std::make_shared<LSignalPool>();
};
