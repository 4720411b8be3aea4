// What the dialog layer asks of the layers above it. Call control and media
// sit above the SIP stack, so they install these at start-up; until then a
// dialog uses the addresses as written and answers OPTIONS without a body.
#pragma once

#include "platform/ipaddress.h"

#include <cstddef>
#include <string>

class LSipMessage;

// Rewrites the URI in uri (capacity bytes) to where a phone behind a NAT
// router really is, when the registrar knows that source (the sender of the
// message carrying the URI) registered it. True when it rewrote.
using LSipContactMapper = bool (*)(char *uri, size_t capacity, const LIPAddressWithPort &source);
// The SDP body of a 200 to an in-dialog OPTIONS.
using LSipDefaultSdpMaker = void (*)(const LSipMessage &request, std::string &out);

void LSipSetContactMapper(LSipContactMapper mapper);
void LSipSetDefaultSdpMaker(LSipDefaultSdpMaker maker);
bool LSipApplyContactMapper(char *uri, size_t capacity, const LIPAddressWithPort &source);
void LSipMakeDefaultSdp(const LSipMessage &request, std::string &out);
