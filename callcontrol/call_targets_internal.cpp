// Internal numbers: extensions with their contacts, voice mail and
// forwarding on no answer, and groups ringing their members in stages.
#include "callcontrol/account_lookup.h"
#include "callcontrol/call_target_env.h"
#include "callcontrol/call_targets.h"
#include "config/pbx_extension.h"
#include "config/pbx_group.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "sip/sipnameaddr.h"
#include "sip/siptext.h"
#include "sip/sipuri.h"
#include "sip/uricoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace
{
constexpr int kDefaultVoiceMailDelay = 8;
// q values carry at most three decimals (RFC 3261 section 20.10); the
// tolerance keeps 0.2 <= 0.5 - 0.3 true in binary floating point.
constexpr double kQTolerance = 1e-6;

double ReadQ(const LPBXBinding &contact)
{
    double q = strtod(contact.q.c_str(), nullptr);
    return std::isfinite(q) ? q : 0.0;
}

void ClearOutput(char *out)
{
    if (out)
        out[0] = 0;
}

void CopyOutput(char *out, const char *text)
{
    if (out)
        LSipCopyText(out, kSipInitiateTextSize, text);
}

template <class Iterator, class Record> bool FindByKey(Iterator it, const char *name, Record &found)
{
    char key[kSipInitiateTextSize];
    for (; it; it.Next())
        if (strcasecmp(it->GetPrimaryKey(key), name) == 0) {
            found = *it;
            return true;
        }
    return false;
}

// Opened by its key (one stat) rather than by walking the extension folder,
// which costs a stat per extension on every call.
bool FindExtension(const char *name, LPBXExtension &found)
{
    return name[0] && LPBXFindExtension(name, found);
}

void BuildTargetURI(const char *contact, const char *suffix, const char *userOverride,
                    char (&out)[kSipInitiateTextSize])
{
    std::string uri = contact;
    if (userOverride) {
        LSipURI parsed(uri.c_str());
        parsed.SetUser(userOverride);
        uri.clear();
        parsed.Reconstruct(uri);
    }
    if (suffix)
        uri += suffix;
    LSipCopyText(out, sizeof out, uri.c_str());
}

// What one pass over a line's contact records keeps of each live one, so the
// folder and every record are read once per call, not once per use.
struct LiveContact {
    int64_t expires;
    double q;
    char uri[kSipInitiateTextSize];
};

std::vector<LiveContact> ReadLiveContacts(const LSipCallInitiateList &list,
                                          const LPBXContactList &owner, int64_t now)
{
    std::vector<LiveContact> live;
    for (const LPBXBinding &binding : list.GetEnvironment().GetContacts(owner)) {
        if (binding.expires + kPBXExpiredContactGrace < now)
            continue;
        LiveContact &contact = live.emplace_back();
        contact.expires = binding.expires;
        contact.q = ReadQ(binding);
        // Cut as the record's text would be.
        LSipCopyText(contact.uri, sizeof contact.uri, binding.contact.c_str());
    }
    return live;
}

void LogMissingContacts(const LSipCallInitiateList &list, LPBXExtension &extension,
                        const char *name)
{
    LOGF("Cannot find any contacts for extension \"%s\"", name);
    char *end = nullptr;
    long number = strtol(name, &end, 10);
    if (end == name || *end || number < 191 || number > 199)
        return;
    char display[kSipInitiateTextSize];
    LOGERRORF("The extension you are attemption to dial %d [%s] may need an external related "
              "programs to be installed. Please see Help -> Install Related Programs.",
              (int)number, extension.GetDisplayName(display));
    list.GetEnvironment().NotifyDesktop(kPBXNotifyMissingAppExtension, (int)number);
}

bool GenerateGroupCallList(LSipCallInitiateList &list, LPBXGroup &group, const char *callerText,
                           char *startPrompt, char *waitHold, int maxForwards, int depth, int delay)
{
    char text[kSipInitiateTextSize];
    CopyOutput(startPrompt, group.GetStartPrompt(text));
    CopyOutput(waitHold, group.GetWaitHold(text));
    char groupName[kSipInitiateTextSize];
    group.GetName(groupName);
    LPBXQueuerGroupCall groupCall(list.GetEnvironment().GetQueues(), groupName);
    int entries = 0;
    int before = list.GetCount();
    for (LPBXGroup::ExtensionListIterator it(group); it; it.Next()) {
        entries++;
        char member[kSipInitiateTextSize];
        it->GetExtension(member);
        LPBXExtension extension;
        if (!FindExtension(member, extension)) {
            LOGERRORF("Unable to find the extension \"%s\" referred to in the group \"%s\".",
                      member, groupName);
            continue;
        }
        AddExtensionToInitiateList(list, extension, member, callerText, delay + it->GetDelayTime(),
                                   true, maxForwards, groupCall, depth);
    }
    if (entries == 0) {
        LOGERRORF("Group \"%s\" does not have any extensions!", groupName);
        return false;
    }
    if (list.GetCount() == before) {
        LOGERRORF("Cannot find any contacts in group \"%s\".", groupName);
        LOGERROR("It is possible no phone is connected logged on.");
        return false;
    }
    return true;
}

// "<sip:x@host>" form of a forwarding number (host left empty, so that the
// plan's host rules see no host).
std::string ForwardingTarget(const char *text)
{
    std::string out;
    LSipNameAddr::Expand(text, "", out);
    return out;
}

void AddForwardOnNoAnswer(LSipCallInitiateList &list, LPBXExtension &extension, const char *plan,
                          const char *callerText, int delay, int maxForwards,
                          const LPBXQueuerGroupCall &groupCall, int depth)
{
    char forward[kSipInitiateTextSize];
    if (!extension.GetTransferNotAnswered(forward)[0])
        return;
    if (depth >= kPBXMaxForwardDepth) {
        LOGERROR("Circular transfer forward detected");
        return;
    }
    std::string target = ForwardingTarget(forward);
    GenerateOutboundCallList(list, plan, target.c_str(), callerText, nullptr, nullptr, maxForwards,
                             groupCall, depth + 1,
                             delay + extension.GetTransferNotAnsweredDelayTime());
}
} // namespace

int AddLineWithContactsToInitiateList(LSipCallInitiateList &list, const LPBXContactList &owner,
                                      const LSipCallInitiateParams &base, int delay,
                                      int lowPriorityDelay, const char *suffix,
                                      const char *userOverride)
{
    int64_t now = list.GetEnvironment().GetClock().UnixTime();
    std::vector<LiveContact> live = ReadLiveContacts(list, owner, now);
    double highest = 0.3;
    for (const LiveContact &contact : live)
        if (contact.expires >= now)
            highest = std::fmax(highest, contact.q);
    int added = 0;
    for (const LiveContact &contact : live) {
        LSipCallInitiateParams params = base;
        params.startTime = now + delay;
        if (contact.q <= 0.45 + kQTolerance && contact.q <= highest - 0.3 + kQTolerance)
            params.startTime += lowPriorityDelay;
        char uri[kSipInitiateTextSize];
        BuildTargetURI(contact.uri, suffix, userOverride, uri);
        params.remoteTargetURI = uri;
        if (list.AddExtension(params))
            added++;
    }
    return added;
}

void AddExtensionToInitiateList(LSipCallInitiateList &list, LPBXExtension &extension,
                                const char *name, const char *callerText, int delay,
                                bool groupMember, int maxForwards,
                                const LPBXQueuerGroupCall &groupCall, int depth)
{
    int voiceMailDelay = extension.GetVoiceMailDelayTime();
    if (voiceMailDelay < 1)
        voiceMailDelay = kDefaultVoiceMailDelay;
    char plan[kSipInitiateTextSize];
    extension.GetOutboundPlan(plan);
    char fqdn[kSipInitiateTextSize];
    list.GetEnvironment().GetLocalFQDN(fqdn);
    char remote[kSipInitiateTextSize];
    LSipInitiateFormat(remote, "<sip:%s@%s>", name, fqdn);

    LSipCallInitiateParams base;
    base.remoteNameAddr = remote;
    base.localNameAddr = callerText;
    base.localUserID = base.localAuthID = name;
    base.groupMember = groupMember;
    base.dialRules = plan;
    base.maxForwards = maxForwards;
    base.groupCall = groupCall;
    AddLineWithContactsToInitiateList(list, extension, base, delay, voiceMailDelay, nullptr,
                                      nullptr);

    char voiceMail[kSipInitiateTextSize];
    if (extension.GetVoiceMailExtension(voiceMail)[0]) {
        LPBXExtension mailbox;
        if (FindExtension(voiceMail, mailbox)) {
            char target[kSipInitiateTextSize * 2];
            snprintf(target, sizeof target, "%s@%s", name, fqdn);
            char encoded[kSipInitiateTextSize];
            LURIEncode(encoded, target);
            char suffix[kSipInitiateTextSize * 2];
            snprintf(suffix, sizeof suffix, ";target=%s;cause=486", encoded);
            char mailboxName[kSipInitiateTextSize];
            base.localUserID = base.localAuthID = mailbox.GetName(mailboxName);
            AddLineWithContactsToInitiateList(list, mailbox, base, delay + voiceMailDelay, 0,
                                              suffix, nullptr);
            return;
        }
        LOGERRORTEXT("Unable to find voice mail extension ", voiceMail);
    }
    AddForwardOnNoAnswer(list, extension, plan, callerText, delay, maxForwards, groupCall, depth);
}

bool GenerateInternalCallList(LSipCallInitiateList &list, const char *name, const char *callerText,
                              char *startPrompt, char *waitHold, int maxForwards)
{
    return GenerateInternalCallList(list, name, callerText, startPrompt, waitHold, maxForwards,
                                    LPBXQueuerGroupCall(), 0, 0);
}

bool GenerateInternalCallList(LSipCallInitiateList &list, const char *name, const char *callerText,
                              char *startPrompt, char *waitHold, int maxForwards,
                              const LPBXQueuerGroupCall &groupCall, int depth, int delay)
{
    ClearOutput(startPrompt);
    ClearOutput(waitHold);
    LPBXExtension extension;
    if (FindExtension(name, extension)) {
        AddExtensionToInitiateList(list, extension, name, callerText, delay, false, maxForwards,
                                   groupCall, depth);
        if (!list.IsEmpty())
            return true;
        LogMissingContacts(list, extension, name);
        return false;
    }
    LPBXGroup group;
    if (name[0] && FindByKey(LPBXGroupListIterator(), name, group))
        return GenerateGroupCallList(list, group, callerText, startPrompt, waitHold, maxForwards,
                                     depth, delay);
    LOGERRORF("Unable to find any extensions or groups with the name \"%s\".", name);
    return false;
}
