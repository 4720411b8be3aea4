// The rules of a plan: dial-based rules by prefix and SIP-host rules.
#include "config/pbx_outbound_plan.h"
#include "web/pages/control_pages.h"
#include "web/pages/page_common.h"
#include "web/pages/rule_forms.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

namespace
{
const char *const kBadPlan = "Invalid Outbound Dialing Plan found. Please try again.";
const char *const kNoPrefix = "\"If number starts with\" field is required. Please try again.";
const char *const kSamePrefix = "There is another dial based rule which starts with the same "
                                "numbers already exists. Please try again.";
const char *const kNoHost = "\"If sip host is\" field is required. Please try again.";
const char *const kSameHost =
    "There is another sip host rule with the same sip host already exists. Please try again.";
const char *const kBadCount = "\"Remove digits\" must be a number of digits. Please try again.";

struct RuleFields {
    std::string id, subid, key, removedigits, prepend, line;
};

bool OpenPlan(const std::string &id, LPBXOutboundPlan &plan)
{
    LPBXOutboundPlanList list;
    return VWIsValidKey(id.c_str()) && list.Exists(id.c_str()) && list.Open(plan, id.c_str());
}

void ShowPlan(LWebletForm &form, const std::string &id)
{
    std::string link = "planprop?id=";
    WebUrlEncode(link, id.c_str());
    form.Redirect(link.c_str());
}

void Draw(LWebletForm &form, bool dial, const RuleFields &f, const char *message)
{
    WLStandardHeader(form, VWTopNavLinks());
    VWPrintMessage(form, message);
    const char *script = dial ? "dialruleprop" : "sipruleprop";
    LHTMLInputForm html(form, dial ? "Dial Based Rule" : "SIP Host Rule", script, "Save Changes",
                        true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input dialInputs[] = {
        {"startswith", "If number starts with:", "", f.key.c_str(), In::Text},
        {"removedigits", "Remove digits:", "", f.removedigits.c_str(), In::Text},
        {"prepend", "Prepend:", "", f.prepend.c_str(), In::Text},
        {nullptr, nullptr, nullptr, nullptr, In::End}};
    const In::Input hostInputs[] = {{"host", "If sip host is:", "", f.key.c_str(), In::Text},
                                    {nullptr, nullptr, nullptr, nullptr, In::End}};
    const In::Input hidden[] = {{"id", "", "", f.id.c_str(), In::Hidden},
                                {"subid", "", "", f.subid.c_str(), In::Hidden},
                                {"saverule", "", "", "1", In::Hidden},
                                {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, hidden);
    html.WriteBody(form, dial ? dialInputs : hostInputs);
    VWPrintSelectRow(form, "Dial on line:", "dialonline", VWPlanLineChoices(),
                     VWTranslatePlanLineOptionToText(f.line.c_str()));
    html.WriteFooter(form, "", "");
    WLStandardFooter(form);
}

bool LoadRule(LPBXOutboundPlan::DialBasedRule &rule, RuleFields &f)
{
    char text[LPathSize];
    f.key = rule.GetStartsWith(text);
    f.removedigits = std::to_string(rule.GetRemoveDigits());
    f.prepend = rule.GetPrepend(text);
    f.line = rule.GetDialOnLine(text);
    return true;
}
bool LoadRule(LPBXOutboundPlan::SipHostBasedRule &rule, RuleFields &f)
{
    char text[LPathSize];
    f.key = rule.GetHost(text);
    f.line = rule.GetDialOnLine(text);
    return true;
}

void StoreFields(LPBXOutboundPlan::DialBasedRule &rule, const RuleFields &f)
{
    int count = 0;
    VWReadCount(f.removedigits, count);
    rule.SetStartsWith(f.key.c_str());
    rule.SetRemoveDigits(count);
    rule.SetPrepend(f.prepend.c_str());
    rule.SetDialOnLine(f.line.c_str());
}
void StoreFields(LPBXOutboundPlan::SipHostBasedRule &rule, const RuleFields &f)
{
    rule.SetHost(f.key.c_str());
    rule.SetDialOnLine(f.line.c_str());
}

// The rule form of either kind: draw, check, store.
template <class List, class Rule>
void RunRule(LWebletForm &form, bool dial, List (LPBXOutboundPlan::*get)() const)
{
    if (!WLValidateSession(form))
        return;
    RuleFields f;
    f.id = form.GetParm("id");
    f.subid = form.GetParm("subid");
    LPBXOutboundPlan plan;
    bool planOk = OpenPlan(f.id, plan);
    if (VWIsCancel(form)) {
        planOk ? ShowPlan(form, f.id) : VWShowList(form, "planlist");
        return;
    }
    List list = planOk ? (plan.*get)() : List(plan, "");
    Rule rule;
    bool known = planOk && VWIsValidKey(f.subid.c_str()) && list.Exists(f.subid.c_str()) &&
                 list.Open(rule, f.subid.c_str());
    if (!known)
        f.subid.clear();
    if (!*form.GetParm("saverule")) {
        if (known)
            LoadRule(rule, f);
        else
            f.removedigits = "0";
        Draw(form, dial, f, planOk ? "" : kBadPlan);
        return;
    }
    f.key = form.GetParmTrim(dial ? "startswith" : "host");
    f.removedigits = form.GetParmTrim("removedigits", "0");
    f.prepend = form.GetParmTrim("prepend");
    f.line = VWTranslatePlanLineTextToOption(form.GetParm("dialonline"));
    const char *message = nullptr;
    int count;
    if (!planOk)
        message = kBadPlan;
    else if (f.key.empty() || (!known && !VWIsValidKey(f.key.c_str())))
        message = dial ? kNoPrefix : kNoHost;
    else if (dial && !VWReadCount(f.removedigits, count))
        message = kBadCount;
    char key[LPathSize], text[LPathSize];
    for (LPBXListIteratorTemplate<Rule> it(list); !message && it; it.Next()) {
        if (!VWSameName(it->GetPrimaryKey(key), f.subid) &&
            VWSameName(it->GetString(dial ? "StartsWith" : "Host", key, text), f.key))
            message = dial ? kSamePrefix : kSameHost;
    }
    if (message) {
        Draw(form, dial, f, message);
        return;
    }
    if (!known)
        list.Open(rule, f.key.c_str());
    StoreFields(rule, f);
    ShowPlan(form, f.id);
}

template <class List>
void DeleteRule(LWebletForm &form, const char *script, List (LPBXOutboundPlan::*get)() const)
{
    if (!WLValidateSession(form))
        return;
    std::string id = form.GetParm("id");
    std::string back = "planprop?id=";
    WebUrlEncode(back, id.c_str());
    if (!VMConfirmYesNo(form, script, back.c_str()))
        return;
    LPBXOutboundPlan plan;
    const char *subid = form.GetParm("subid");
    if (OpenPlan(id, plan) && VWIsValidKey(subid))
        (plan.*get)().Delete(subid);
    OpenPlan(id, plan) ? ShowPlan(form, id) : VWShowList(form, "planlist");
}
} // namespace

void VWDialRuleProp(LWebletForm &form)
{
    RunRule<LPBXOutboundPlan::DialBasedRuleList, LPBXOutboundPlan::DialBasedRule>(
        form, true, &LPBXOutboundPlan::GetDialBasedRuleList);
}

void VWSipRuleProp(LWebletForm &form)
{
    RunRule<LPBXOutboundPlan::SipHostBasedRuleList, LPBXOutboundPlan::SipHostBasedRule>(
        form, false, &LPBXOutboundPlan::GetSipHostBasedRuleList);
}

void VWDialRuleDelete(LWebletForm &form)
{
    DeleteRule(form, "dialruledelete", &LPBXOutboundPlan::GetDialBasedRuleList);
}

void VWSipRuleDelete(LWebletForm &form)
{
    DeleteRule(form, "sipruledelete", &LPBXOutboundPlan::GetSipHostBasedRuleList);
}
