// The list of targets for one call: every registered contact to ring and
// every external line to dial, each with the moment it may start. Built on
// the thread that handles the request, then owned by one call thread.
#pragma once

#include "callcontrol/call_target_env.h"
#include "callcontrol/queue_group.h"
#include "platform/list.h"

#include <cstdint>

class LSipMessage;

constexpr int kSipInitiateTextSize = 260;

// printf into a kSipInitiateTextSize buffer; longer results are cut.
void LSipInitiateFormat(char *out, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Everything one target is made from. The strings are copied (cut at 259).
struct LSipCallInitiateParams {
    const char *remoteNameAddr = "";
    const char *localNameAddr = "";
    const char *outboundProxy = "";
    const char *localUserID = "";
    const char *localAuthID = "";
    const char *password = "";
    // Where the INVITE goes; "" = the remote name-addr's URI.
    const char *remoteTargetURI = "";
    int64_t startTime = 0;
    bool groupMember = false;
    // Plan applied if this target answers and later transfers ("-" for an
    // external line, "" for a contact of a line).
    const char *dialRules = "";
    int maxForwards = 70;
    LPBXQueuerGroupCall groupCall;
    // A final response that ends the whole attempt; 200 = no chain.
    uint16_t chainAbortResponse = 200;
    uint32_t remoteSpecialFlags = 0;
};

// How the outgoing call leg of a target is addressed; the dialog layer
// creates its call from these values when the INVITE is sent.
struct LSipCallAddress {
    char remoteNameAddr[kSipInitiateTextSize] = "";
    char localNameAddr[kSipInitiateTextSize] = "";
    char outboundProxy[kSipInitiateTextSize] = "";
    char localUserID[kSipInitiateTextSize] = "";
    char localAuthID[kSipInitiateTextSize] = "";
    char password[kSipInitiateTextSize] = "";
    char remoteTargetURI[kSipInitiateTextSize] = "";
    uint32_t remoteSpecialFlags = 0;
};

class LSipCallInitiateItem : public LListable
{
  public:
    explicit LSipCallInitiateItem(const LSipCallInitiateParams &params);

    const LSipCallAddress &GetCall() const { return m_Call; }
    const char *GetOutboundDialRules() const { return m_DialRules; }
    const LPBXQueuerItem &GetQueueItem() const { return m_QueueItem; }
    int64_t GetStartTime() const { return m_StartTime; }
    void SetStartTime(int64_t when) { m_StartTime = when; }
    bool IsGroupMember() const { return m_GroupMember; }
    int GetMaxForwards() const { return m_MaxForwards; }
    uint16_t GetChainAbortResponse() const { return m_ChainAbortResponse; }

    // State kept by the call thread while it rings this target.
    bool rescheduled = false;
    bool inviteSent = false;
    uint32_t lastSendTick = 0;
    uint32_t retransmitInterval = 0;
    bool provisionalReceived = false;
    uint32_t lastProvisionalTick = 0;

  private:
    LSipCallAddress m_Call;
    char m_DialRules[kSipInitiateTextSize];
    LPBXQueuerItem m_QueueItem;
    int64_t m_StartTime;
    bool m_GroupMember;
    int m_MaxForwards;
    uint16_t m_ChainAbortResponse;
};

// Adding inserts at the head: the list is walked newest first.
class LSipCallInitiateList : public LListOf<LSipCallInitiateItem>
{
  public:
    // Most redirect contacts taken from one 3xx response.
    static constexpr int kMaxRedirectContacts = 16;

    explicit LSipCallInitiateList(const LPBXCallTargetEnvironment &environment)
        : m_Environment(environment)
    {
    }
    const LPBXCallTargetEnvironment &GetEnvironment() const { return m_Environment; }

    // A contact target; nothing is added when an item with the same target
    // URI (compared exactly) is listed, so a contact is rung only once.
    // True when added.
    bool AddExtension(const LSipCallInitiateParams &params);
    // An external line target (always added).
    void AddExternal(const LSipCallInitiateParams &params);
    // The targets named by the Contact headers of a 3xx response to item.
    // Returns how many were added.
    int AddContact(const LSipCallInitiateItem &item, const LSipMessage &message);

    LSipCallInitiateItem *FindTargetURI(const char *uri) const;

  private:
    const LPBXCallTargetEnvironment &m_Environment;
};
