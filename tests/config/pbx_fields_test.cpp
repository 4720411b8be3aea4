// Every field of every entity survives a round trip through its record file
// on its own: two fields sharing a key would overwrite each other here.
#include "config/pbx_contact.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "pbx_fixture.h"

#include <functional>
#include <vector>

namespace
{
template <class R> struct Fields {
    std::vector<std::pair<const char *(R::*)(char *), bool (R::*)(const char *)>> strings;
    std::vector<std::pair<int (R::*)(), bool (R::*)(int)>> ints;
    std::vector<std::pair<bool (R::*)(), bool (R::*)(bool)>> bools;
};

using Ext = LPBXExtension;
using Line = LPBXExternalLine;
using Group = LPBXGroup;
using Member = LPBXGroup::Extension;
using Plan = LPBXOutboundPlan;
using Dial = LPBXOutboundPlan::DialBasedRule;
using Host = LPBXOutboundPlan::SipHostBasedRule;
using Contact = LPBXContactRecord;

// clang-format off
const Fields<Ext> kExtension{
    {{&Ext::GetDisplayName, &Ext::SetDisplayName}, {&Ext::GetPassword, &Ext::SetPassword}, {&Ext::GetOutboundPlan, &Ext::SetOutboundPlan}, {&Ext::GetVoiceMailExtension, &Ext::SetVoiceMailExtension}, {&Ext::GetTransferNotAnswered, &Ext::SetTransferNotAnswered}},
    {{&Ext::GetVoiceMailDelayTime, &Ext::SetVoiceMailDelayTime}, {&Ext::GetTransferNotAnsweredDelayTime, &Ext::SetTransferNotAnsweredDelayTime}},
    {{&Ext::GetRecordOutgoing, &Ext::SetRecordOutgoing}}};
const Fields<Line> kLine{
    {{&Line::GetLineID, &Line::SetLineID}, {&Line::GetServer, &Line::SetServer}, {&Line::GetPassword, &Line::SetPassword}, {&Line::GetAuthUserID, &Line::SetAuthUserID}, {&Line::GetOutboundProxy, &Line::SetOutboundProxy}, {&Line::GetRingOnLine, &Line::SetRingOnLine}, {&Line::GetPrependCID, &Line::SetPrependCID}, {&Line::GetChainLine, &Line::SetChainLine}},
    {{&Line::GetChainAbortResponse, &Line::SetChainAbortResponse}},
    {{&Line::GetDisablePolling, &Line::SetDisablePolling}, {&Line::GetProhibitOddRtp, &Line::SetProhibitOddRtp}, {&Line::GetAlwaysRelay, &Line::SetAlwaysRelay}, {&Line::GetRelayNotNeeded, &Line::SetRelayNotNeeded}, {&Line::GetRecordIncoming, &Line::SetRecordIncoming}}};
const Fields<Group> kGroup{{{&Group::GetStartPrompt, &Group::SetStartPrompt}, {&Group::GetWaitHold, &Group::SetWaitHold}}, {}, {}};
const Fields<Member> kMember{{{&Member::GetExtension, &Member::SetExtension}}, {{&Member::GetDelayTime, &Member::SetDelayTime}}, {}};
const Fields<Plan> kPlan{{{&Plan::GetDefaultDialOnLine, &Plan::SetDefaultDialOnLine}}, {}, {}};
const Fields<Dial> kDialRule{{{&Dial::GetStartsWith, &Dial::SetStartsWith}, {&Dial::GetPrepend, &Dial::SetPrepend}, {&Dial::GetDialOnLine, &Dial::SetDialOnLine}}, {{&Dial::GetRemoveDigits, &Dial::SetRemoveDigits}}, {}};
const Fields<Host> kHostRule{{{&Host::GetHost, &Host::SetHost}, {&Host::GetDialOnLine, &Host::SetDialOnLine}}, {}, {}};
const Fields<Contact> kContact{{{&Contact::GetContact, &Contact::SetContact}, {&Contact::GetQ, &Contact::SetQ}}, {}, {}};
// clang-format on

using PBXFields = PBXTest;

// Writes a distinct value into every field, then reads all of them back
// through a fresh copy of the record, which reads the file again. Truth
// values take turns: one set, the others clear.
template <class R> void CheckRoundTrip(R rec, const Fields<R> &t)
{
    ASSERT_TRUE(rec.IsValid());
    for (size_t i = 0; i < t.strings.size(); i++)
        ASSERT_TRUE((rec.*t.strings[i].second)(("v" + std::to_string(i)).c_str())) << i;
    for (size_t i = 0; i < t.ints.size(); i++)
        ASSERT_TRUE((rec.*t.ints[i].second)(1000 + (int)i)) << i;
    R fresh(rec);
    char out[LPathSize];
    for (size_t i = 0; i < t.strings.size(); i++)
        EXPECT_EQ((fresh.*t.strings[i].first)(out), "v" + std::to_string(i)) << i;
    for (size_t i = 0; i < t.ints.size(); i++)
        EXPECT_EQ((fresh.*t.ints[i].first)(), 1000 + (int)i) << i;
    for (size_t on = 0; on < t.bools.size(); on++) {
        for (size_t i = 0; i < t.bools.size(); i++)
            ASSERT_TRUE((rec.*t.bools[i].second)(i == on)) << i;
        R again(rec);
        for (size_t i = 0; i < t.bools.size(); i++)
            EXPECT_EQ((again.*t.bools[i].first)(), i == on) << on << " " << i;
    }
}
} // namespace

TEST_F(PBXFields, EveryFieldRoundTripsOnItsOwn)
{
    LPBXExtension ext;
    ASSERT_TRUE(LPBXExtensionList().Open(ext, "101"));
    CheckRoundTrip(ext, kExtension);
    LPBXContactRecord contact;
    ASSERT_TRUE(ext.GetContactList().Open(contact, "1"));
    CheckRoundTrip(contact, kContact);
    ASSERT_TRUE(contact.SetContactExpiresTime(1700000000));
    EXPECT_EQ(LPBXContactRecord(contact).GetContactExpiresTime(), 1700000000);

    LPBXExternalLine line;
    ASSERT_TRUE(LPBXExternalLineList().Open(line, "Provider"));
    CheckRoundTrip(line, kLine);

    LPBXGroup group;
    ASSERT_TRUE(LPBXGroupList().Open(group, "701"));
    CheckRoundTrip(group, kGroup);
    LPBXGroup::Extension member;
    ASSERT_TRUE(group.GetExtensionList().Open(member, "102"));
    CheckRoundTrip(member, kMember);

    LPBXOutboundPlan plan;
    ASSERT_TRUE(LPBXOutboundPlanList().Open(plan, "default"));
    CheckRoundTrip(plan, kPlan);
    LPBXOutboundPlan::DialBasedRule dial;
    ASSERT_TRUE(plan.GetDialBasedRuleList().Open(dial, "9"));
    CheckRoundTrip(dial, kDialRule);
    LPBXOutboundPlan::SipHostBasedRule host;
    ASSERT_TRUE(plan.GetSipHostBasedRuleList().Open(host, "sip.example.net"));
    CheckRoundTrip(host, kHostRule);
}

TEST_F(PBXFields, RecordFilesSitWhereTheTreeSaysInLowerCase)
{
    struct Case {
        std::string path;
        std::function<bool()> write;
    };
    LPBXGroup group;
    LPBXGroupList().Open(group, "Sales");
    LPBXOutboundPlan plan;
    LPBXOutboundPlanList().Open(plan, "Night");
    LPBXExtension ext;
    LPBXExtensionList().Open(ext, "Alice");
    const std::vector<Case> cases = {
        {"/extensions_/alice", [&] { return ext.SetDisplayName("A"); }},
        {"/extensions_/alice_/contactlist_/1",
         [&] { return ext.SetPassword("p") && ext.AddContact("sip:a@h", 1, "0.5"); }},
        {"/external_/telco", [] { return CreateExternalLine("TELCO", "", ""); }},
        {"/groups_/sales_/extensions_/101",
         [&] { return group.GetExtensionList().AddMember("101", 0); }},
        {"/outboundrules_/night_/dialbasedrules_/9",
         [&] { return plan.GetDialBasedRuleList().AddRule("9", 1, "", "-"); }},
        {"/outboundrules_/night_/hostbasedrules_/sip.example.net",
         [&] { return plan.GetSipHostBasedRuleList().AddRule("SIP.Example.NET", "-"); }},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(c.write()) << c.path;
        EXPECT_TRUE(Exists(Lines() + c.path)) << c.path;
    }
}
