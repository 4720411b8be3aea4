#include "config/pbx_outbound_plan.h"

bool LPBXOutboundPlan::DialBasedRuleList::AddRule(const char *prefix, int removeDigits,
                                                  const char *prepend, const char *dialOnLine) const
{
    DialBasedRule rule;
    return CreateNewRecord(rule, prefix) && rule.SetStartsWith(prefix) &&
           rule.SetRemoveDigits(removeDigits) && rule.SetPrepend(prepend) &&
           rule.SetDialOnLine(dialOnLine);
}

bool LPBXOutboundPlan::SipHostBasedRuleList::AddRule(const char *host, const char *dialOnLine) const
{
    SipHostBasedRule rule;
    return CreateNewRecord(rule, host) && rule.SetHost(host) && rule.SetDialOnLine(dialOnLine);
}
