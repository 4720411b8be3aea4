#include "web/pages/rename_references.h"

#include "config/folders.h"
#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "config/settingssections.h"
#include "platform/log.h"
#include "web/pages/page_common.h"

#include <vector>

namespace
{
// Lines that ring the old name and extensions that send calls to it.
int RenameCallTargets(const std::string &from, const std::string &to)
{
    int changed = 0;
    char text[LPathSize];
    for (LPBXExternalLineListIterator it; it; it.Next())
        if (VWSameName(it->GetRingOnLine(text), from))
            changed += it->SetRingOnLine(to.c_str());
    for (LPBXExtensionListIterator it; it; it.Next()) {
        if (VWSameName(it->GetTransferNotAnswered(text), from))
            changed += it->SetTransferNotAnswered(to.c_str());
        if (VWSameName(it->GetVoiceMailExtension(text), from))
            changed += it->SetVoiceMailExtension(to.c_str());
    }
    return changed;
}

// A member's record key is its extension's name: the record moves too.
int RenameMembers(LPBXGroup &group, const std::string &from, const std::string &to)
{
    int changed = 0;
    char key[LPathSize], text[LPathSize];
    std::vector<std::string> keys;
    for (LPBXGroup::ExtensionListIterator m(group); m; m.Next())
        if (VWSameName(m->GetExtension(text), from))
            keys.push_back(m->GetPrimaryKey(key));
    LPBXGroup::ExtensionList members = group.GetExtensionList();
    for (const std::string &old_key : keys) {
        std::string new_key = VWSameName(old_key, from) ? to : old_key;
        if (new_key != old_key && !members.Rename(old_key.c_str(), new_key.c_str()))
            new_key = old_key; // the new name is a member already: keep both
        LPBXGroup::Extension member;
        if (members.Open(member, new_key.c_str()))
            changed += member.SetExtension(to.c_str());
    }
    return changed;
}

// A plan's default line and every rule's line: outbound calls would
// otherwise go to a line that no longer exists and fail.
int RenamePlanLines(LPBXOutboundPlan &plan, const std::string &from, const std::string &to)
{
    int changed = 0;
    char text[LPathSize];
    if (VWSameName(plan.GetDefaultDialOnLine(text), from))
        changed += plan.SetDefaultDialOnLine(to.c_str());
    for (LPBXOutboundPlan::DialBasedRuleListIterator it(plan); it; it.Next())
        if (VWSameName(it->GetDialOnLine(text), from))
            changed += it->SetDialOnLine(to.c_str());
    for (LPBXOutboundPlan::SipHostBasedRuleListIterator it(plan); it; it.Next())
        if (VWSameName(it->GetDialOnLine(text), from))
            changed += it->SetDialOnLine(to.c_str());
    return changed;
}
} // namespace

int VWRenameExtensionReferences(const std::string &from, const std::string &to)
{
    int changed = RenameCallTargets(from, to);
    for (LPBXGroupListIterator it; it; it.Next())
        changed += RenameMembers(*it, from, to);
    if (changed)
        LOGINFOF("Extension renamed: %d references now name it.", changed);
    return changed;
}

int VWRenameGroupReferences(const std::string &from, const std::string &to)
{
    int changed = RenameCallTargets(from, to);
    if (changed)
        LOGINFOF("Group renamed: %d references now name it.", changed);
    return changed;
}

int VWRenamePlanReferences(const std::string &from, const std::string &to)
{
    int changed = 0;
    char text[LPathSize];
    for (LPBXExtensionListIterator it; it; it.Next())
        if (VWSameName(it->GetOutboundPlan(text), from))
            changed += it->SetOutboundPlan(to.c_str());
    if (changed && to.empty())
        LOGINFOF("Plan deleted: %d extensions now dial extensions only.", changed);
    else if (changed)
        LOGINFOF("Plan renamed: %d extensions now use it.", changed);
    return changed;
}

int VWRenameLineReferences(const std::string &from, const std::string &to)
{
    int changed = 0;
    char text[LPathSize];
    for (LPBXOutboundPlanListIterator it; it; it.Next())
        changed += RenamePlanLines(*it, from, to);
    for (LPBXExternalLineListIterator it; it; it.Next())
        if (VWSameName(it->GetChainLine(text), from))
            changed += it->SetChainLine(to.c_str());
    if (VWSameName(LSettingGetString("Emergency", "Line", "", text), from))
        changed += LSettingSetString("Emergency", "Line", to.c_str());
    if (changed)
        LOGINFOF("External line renamed: %d references now name it.", changed);
    return changed;
}
