// A temporary settings tree with helpers to build extensions, groups, plans
// and lines, a frozen clock, a test environment for the exchange's own name
// and notifications, and a captured program log.
#pragma once

#include "callcontrol/call_target_env.h"
#include "callcontrol/call_targets.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_global_settings.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "config/settings_fixture.h"
#include "platform/clock.h"
#include "support/log_catcher.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

constexpr int64_t kNow = 1700000000;
constexpr const char *kCaller = "\"Alice\" <sip:100@pbx.test>";

class TestEnvironment : public LPBXCallTargetEnvironment
{
  public:
    using LPBXCallTargetEnvironment::LPBXCallTargetEnvironment;
    const char *GetLocalFQDN(char *out) const override
    {
        strcpy(out, "pbx.test");
        return out;
    }
    bool IsOwnAddress(const char *host, uint16_t port) const override
    {
        return port == 5060 && (strcmp(host, "pbx.test") == 0 || strcmp(host, "10.0.0.1") == 0);
    }
    bool ApplyRegistryContactMapping(char *uri, const LIPAddressWithPort &) const override
    {
        // The NAT map of a phone that wrote its private address.
        std::string text = uri;
        size_t at = text.find("@192.168.9.9:5070");
        if (at == std::string::npos)
            return false;
        text.replace(at, 17, "@203.0.113.7:40000");
        strcpy(uri, text.c_str());
        return true;
    }
    void NotifyDesktop(int code, int number) const override
    {
        notifications.emplace_back(code, number);
    }
    mutable std::vector<std::pair<int, int>> notifications;
};

class InitiateListTest : public SettingsTest
{
  protected:
    void TearDown() override
    {
        list.DeleteAll();
        SettingsTest::TearDown();
    }

    struct Ext {
        const char *name;
        const char *voiceMail = "";
        int voiceMailDelay = 14;
        const char *forward = "";
        int forwardDelay = 14;
        const char *plan = "Default";
    };
    static void AddExtension(const Ext &e)
    {
        LPBXExtension ext;
        ASSERT_TRUE(LPBXExtensionList().CreateNewRecord(ext, e.name));
        ext.SetDisplayName(e.name);
        ext.SetVoiceMailExtension(e.voiceMail);
        ext.SetVoiceMailDelayTime(e.voiceMailDelay);
        ext.SetTransferNotAnswered(e.forward);
        ext.SetTransferNotAnsweredDelayTime(e.forwardDelay);
        ext.SetOutboundPlan(e.plan);
    }
    template <class List, class Record>
    static void AddContactTo(const char *owner, const char *uri, int64_t expires, const char *q)
    {
        Record rec;
        ASSERT_TRUE(List().Open(rec, owner));
        ASSERT_TRUE(rec.AddContact(uri, expires, q));
    }
    static void AddContact(const char *ext, const char *uri, int64_t expires = kNow + 3600,
                           const char *q = "0.5")
    {
        AddContactTo<LPBXExtensionList, LPBXExtension>(ext, uri, expires, q);
    }
    static void AddGroup(const char *name, std::vector<std::pair<const char *, int>> members,
                         const char *prompt = "", const char *hold = "-")
    {
        LPBXGroup group;
        ASSERT_TRUE(LPBXGroupList().CreateNewRecord(group, name));
        group.SetStartPrompt(prompt);
        group.SetWaitHold(hold);
        for (auto &m : members)
            ASSERT_TRUE(group.GetExtensionList().AddMember(m.first, m.second));
    }
    struct Line {
        const char *name;
        const char *id = "";
        const char *server = "";
        const char *chain = "";
        int abort = 600;
    };
    static void AddLine(const Line &l)
    {
        LPBXExternalLine line;
        ASSERT_TRUE(LPBXExternalLineList().CreateNewRecord(line, l.name));
        line.SetLineID(l.id);
        line.SetServer(l.server);
        line.SetPassword("secret");
        line.SetChainLine(l.chain);
        line.SetChainAbortResponse(l.abort);
    }
    static LPBXOutboundPlan AddPlan(const char *name, const char *defaultLine)
    {
        LPBXOutboundPlan plan;
        EXPECT_TRUE(LPBXOutboundPlanList().CreateNewRecord(plan, name));
        plan.SetDefaultDialOnLine(defaultLine);
        return plan;
    }

    // The items in the order they were added: "+seconds target user", the
    // target being the URI, or the remote name-addr for a line with a server.
    std::vector<std::string> Items() const
    {
        std::vector<std::string> out;
        for (LSipCallInitiateItem *item = list.GetFirst(); item; item = LListNext(item)) {
            const LSipCallAddress &call = item->GetCall();
            std::string target =
                call.remoteTargetURI[0] ? call.remoteTargetURI : call.remoteNameAddr;
            out.insert(out.begin(), "+" + std::to_string(item->GetStartTime() - kNow) + " " +
                                        target + " " + call.localUserID);
        }
        return out;
    }
    // The same, sorted: contacts of one owner come in directory order.
    std::vector<std::string> SortedItems() const
    {
        auto items = Items();
        std::sort(items.begin(), items.end());
        return items;
    }
    // What an item carries besides its target URI and start time.
    static std::string Describe(const LSipCallInitiateItem &item)
    {
        const LSipCallAddress &call = item.GetCall();
        return std::string(call.remoteNameAddr) + " from " + call.localNameAddr + " as " +
               call.localUserID + " auth " + call.localAuthID + ":" + call.password + " proxy " +
               call.outboundProxy + " rules " + item.GetOutboundDialRules() + " hops " +
               std::to_string(item.GetMaxForwards()) + " abort " +
               std::to_string(item.GetChainAbortResponse()) + " flags " +
               std::to_string(call.remoteSpecialFlags) + (item.IsGroupMember() ? " member" : "");
    }
    bool Logged(const std::string &text) const { return log.Heard(text); }

    vtest::LogCatcher log;
    LManualClock clock{1000, kNow};
    TestEnvironment env{clock};
    LSipCallInitiateList list{env};
    char prompt[260] = "x";
    char hold[260] = "x";
};
