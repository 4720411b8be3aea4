// Outbound dialling plans: where the numbers an extension dials go, by
// dialled prefix or by the host of a dialled SIP address.
//
// A line choice is an external line's name, "" for an internal extension or
// "-" for a blocked call.
#pragma once

#include "config/pbx_list.h"

// Key: the plan name (lower case); "default" is installed.
class LPBXOutboundPlan : public LSettingsRecord
{
  public:
    // Key: its prefix, fixed at creation.
    class DialBasedRule : public LSettingsRecord
    {
      public:
        const char *GetStartsWith(char *out) { return GetString("StartsWith", "", out); }
        bool SetStartsWith(const char *value) { return SetString("StartsWith", value); }
        // Leading digits removed before dialling.
        int GetRemoveDigits() { return GetInt("RemoveDigits", 0); }
        bool SetRemoveDigits(int count) { return SetInt("RemoveDigits", count); }
        // Put in front after the removal.
        const char *GetPrepend(char *out) { return GetString("Prepend", "", out); }
        bool SetPrepend(const char *value) { return SetString("Prepend", value); }
        const char *GetDialOnLine(char *out) { return GetString("DialOnLine", "", out); }
        bool SetDialOnLine(const char *value) { return SetString("DialOnLine", value); }
    };

    // Key: its host, fixed at creation.
    class SipHostBasedRule : public LSettingsRecord
    {
      public:
        const char *GetHost(char *out) { return GetString("Host", "", out); }
        bool SetHost(const char *value) { return SetString("Host", value); }
        const char *GetDialOnLine(char *out) { return GetString("DialOnLine", "", out); }
        bool SetDialOnLine(const char *value) { return SetString("DialOnLine", value); }
    };

    class DialBasedRuleList : public LPBXListTemplate<DialBasedRule>
    {
      public:
        using LPBXListTemplate<DialBasedRule>::LPBXListTemplate;
        // Adds (or updates) the rule for prefix.
        bool AddRule(const char *prefix, int removeDigits, const char *prepend,
                     const char *dialOnLine) const;
    };

    class SipHostBasedRuleList : public LPBXListTemplate<SipHostBasedRule>
    {
      public:
        using LPBXListTemplate<SipHostBasedRule>::LPBXListTemplate;
        bool AddRule(const char *host, const char *dialOnLine) const;
    };

    class DialBasedRuleListIterator : public LPBXListIteratorTemplate<DialBasedRule>
    {
      public:
        explicit DialBasedRuleListIterator(const LPBXOutboundPlan &plan)
            : LPBXListIteratorTemplate<DialBasedRule>(plan, "DialBasedRules")
        {
        }
    };

    class SipHostBasedRuleListIterator : public LPBXListIteratorTemplate<SipHostBasedRule>
    {
      public:
        explicit SipHostBasedRuleListIterator(const LPBXOutboundPlan &plan)
            : LPBXListIteratorTemplate<SipHostBasedRule>(plan, "HostBasedRules")
        {
        }
    };

    const char *GetPlanName(char *out) const { return GetPrimaryKey(out); }
    bool SetPlanName(const char *name) { return SetPrimaryKey(name); }

    // Where a number goes when no rule applies.
    const char *GetDefaultDialOnLine(char *out) { return GetString("DefaultDialOnLine", "", out); }
    bool SetDefaultDialOnLine(const char *value) { return SetString("DefaultDialOnLine", value); }

    DialBasedRuleList GetDialBasedRuleList() const
    {
        return DialBasedRuleList(*this, "DialBasedRules");
    }
    SipHostBasedRuleList GetSipHostBasedRuleList() const
    {
        return SipHostBasedRuleList(*this, "HostBasedRules");
    }
};

class LPBXOutboundPlanList : public LPBXListTemplate<LPBXOutboundPlan>
{
  public:
    LPBXOutboundPlanList() : LPBXListTemplate<LPBXOutboundPlan>("Lines", "OutboundRules") {}
};

class LPBXOutboundPlanListIterator : public LPBXListIteratorTemplate<LPBXOutboundPlan>
{
  public:
    LPBXOutboundPlanListIterator()
        : LPBXListIteratorTemplate<LPBXOutboundPlan>("Lines", "OutboundRules")
    {
    }
};
