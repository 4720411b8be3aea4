#include "config/pbx_install.h"

#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_global_settings.h"
#include "config/pbx_group.h"
#include "config/pbx_outbound_plan.h"
#include "platform/log.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace
{
// The first existing group's name, or the new group 701 ringing 101, 102
// and 103 in stages.
bool PrepareFirstGroup(char *name)
{
    LPBXGroupListIterator it;
    if (it) {
        it->GetName(name);
        return true;
    }
    strcpy(name, "701");
    LPBXGroupList groups;
    LPBXGroup group;
    if (!groups.CreateNewRecord(group, name))
        return false;
    LPBXGroup::ExtensionList members = group.GetExtensionList();
    return members.AddMember("101", 0) && members.AddMember("102", 5) &&
           members.AddMember("103", 8);
}

bool CreateDefaultPlan()
{
    LPBXOutboundPlanList plans;
    LPBXOutboundPlan plan;
    if (!plans.CreateNewRecord(plan, "default"))
        return false;
    LPBXOutboundPlan::DialBasedRuleList rules = plan.GetDialBasedRuleList();
    return rules.AddRule("9", 1, "", "default") && rules.AddRule("0", 1, "", "default");
}
} // namespace

bool PreInstallExtensionsAndExternalLines()
{
    if (LPBXSettings::Installed.Get())
        return true;
    bool ok = true;
    for (const LPBXAppExtension &app : LPBXAppExtensions) {
        LPBXExtensionList list;
        if (!list.Exists(app.number))
            ok = CreateExtension(app.number, app.displayName, true) && ok;
    }
    char group[LPathSize];
    ok = PrepareFirstGroup(group) && ok;
    if (!LPBXOutboundPlanList().Exists("default"))
        ok = CreateDefaultPlan() && ok;
    if (!LPBXExternalLineList().Exists("Default"))
        ok = CreateExternalLine("Default", group, "") && ok;
    if (!ok) {
        // Left unmarked so that the next start tries again.
        LOGERROR("Default extensions and lines could not all be created");
        return false;
    }
    LPBXSettings::Installed.Set(true);
    return true;
}

int PostInstallExtensionsAndExternalLines(int count)
{
    char name[LPathSize];
    for (LPBXExtensionListIterator it; it; it.Next())
        if (!IsSpecificAppExtension(it->GetName(name)))
            --count;
    int created = 0;
    for (int number = GetMaxExtensionNo(); created < count && number < INT_MAX; ++number) {
        // 190 to 199 belong to the companion programs.
        if (number >= 190 && number <= 199)
            continue;
        char display[64];
        snprintf(name, sizeof name, "%d", number);
        snprintf(display, sizeof display, "Extension %d", number);
        if (!CreateExtension(name, display, false))
            break;
        ++created;
    }
    return created;
}
