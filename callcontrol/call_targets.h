// Turning a dialled number into call targets: internal extensions and
// groups, outbound plans with their dial and host rules, external lines with
// their chained back-up lines, voice mail and forwarding on no answer. These
// functions only read the configuration and fill the list; failures return
// false and are logged, and whatever was added stays in the list.
#pragma once

#include "callcontrol/initiate_list.h"

class LPBXContactList;
class LPBXExtension;
class LPBXExternalLine;

// Forwarding on no answer and back-up lines stop at this depth.
constexpr int kPBXMaxForwardDepth = 8;
// A line's back-up line starts this many seconds after it.
constexpr int kPBXChainLineDelay = 120;
// Contacts expired less than this many seconds ago are still rung.
constexpr int kPBXExpiredContactGrace = 600;

// startPrompt and waitHold hold 260 bytes each (or are null); they are set
// only when a group was dialled.
bool GenerateInternalCallList(LSipCallInitiateList &list, const char *name, const char *callerText,
                              char *startPrompt, char *waitHold, int maxForwards);
bool GenerateInternalCallList(LSipCallInitiateList &list, const char *name, const char *callerText,
                              char *startPrompt, char *waitHold, int maxForwards,
                              const LPBXQueuerGroupCall &groupCall, int depth, int delay);

bool GenerateOutboundCallList(LSipCallInitiateList &list, const char *planName,
                              const char *targetURI, const char *callerText, char *startPrompt,
                              char *waitHold, int maxForwards);
bool GenerateOutboundCallList(LSipCallInitiateList &list, const char *planName,
                              const char *targetURI, const char *callerText, char *startPrompt,
                              char *waitHold, int maxForwards, const LPBXQueuerGroupCall &groupCall,
                              int depth, int delay);

void AddExtensionToInitiateList(LSipCallInitiateList &list, LPBXExtension &extension,
                                const char *name, const char *callerText, int delay,
                                bool groupMember, int maxForwards,
                                const LPBXQueuerGroupCall &groupCall, int depth);

// The registered contacts of owner. base carries the name-addrs, local user
// (as user and auth ID), group member flag, dial rules, max forwards, group
// call, chain abort response and flags; each contact gets its own target URI
// (user replaced by userOverride, suffix appended, either may be null) and a
// start time of now + delay, plus lowPriorityDelay for a low-q contact.
// Returns how many items were added.
int AddLineWithContactsToInitiateList(LSipCallInitiateList &list, const LPBXContactList &owner,
                                      const LSipCallInitiateParams &base, int delay,
                                      int lowPriorityDelay, const char *suffix,
                                      const char *userOverride);

void AddExternalLineToInitiateList(LSipCallInitiateList &list, LPBXExternalLine &line,
                                   const char *callerText, const char *number, int delay,
                                   int maxForwards, const LPBXQueuerGroupCall &groupCall,
                                   int depth);

// The remote special flags of calls on line: 1 polling disabled, 2 odd RTP
// ports prohibited, 8 always relay, 16 relay not needed (unless always).
uint32_t LPBXCallTargetLineFlags(LPBXExternalLine &line);
