// Classification of a new INVITE (no "Replaces"): a call arriving on an
// external line, a call placed by an extension (which must answer a proxy
// digest challenge), or nothing this exchange knows.
#pragma once

#include "callcontrol/new_request_responder.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "sip/sip_special_flags.h"

#include <cstdint>
#include <memory>
#include <string>

struct LPBXRequestGuards;

// Everything the call thread is started with besides the target list.
struct LPBXCallStart {
    std::string localUserId;
    std::string localAuthId;
    std::string password;
    std::string outboundPlan;
    std::string caller;
    std::string dialledTarget;
    std::string callerText; // display form of the caller for the targets
    std::string recordDescription;
    int remoteSpecialFlags = 0;
    int maxForwards = 19; // for the forked legs
    // Held for the call's lifetime when anybody may place it (a line without
    // server): counts the calls its source address has running.
    std::shared_ptr<void> sourceSlot;
};

// A Request-URI naming a line ID is a call on that line only when the line
// has no server, or the INVITE comes from an address its server or outbound
// proxy resolves to; otherwise it is classified as if no line had that ID.
void LPBXHandleInvite(const LSipMessage &request, LPBXRequestGuards &guards,
                      LNewRequestResponder &responder, int64_t now);

int LPBXRemoteSpecialFlags(LPBXExternalLine &line);

void HandleInwardCall(const LSipMessage &request, LPBXExternalLine &line, LPBXCallStart &call,
                      LNewRequestResponder &responder);
void HandleOutboundCall(const LSipMessage &request, LPBXExtension &extension, LPBXCallStart &call,
                        LNewRequestResponder &responder);
void HandleCall(const LSipMessage &request, const LPBXCallStart &call,
                LNewRequestResponder &responder);
