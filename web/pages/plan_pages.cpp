// Outbound dialling plans: the list, add, properties and delete scripts.
#include "config/pbx_outbound_plan.h"
#include "platform/log.h"
#include "web/html_list.h"
#include "web/pages/control_pages.h"
#include "web/pages/list_page.h"
#include "web/pages/page_common.h"
#include "web/pages/rename_references.h"
#include "web/pages/rule_forms.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

namespace
{
const char *const kExists = "There is another outbound dialing plan with the same name already "
                            "exists. Please use another name.";

class VLOutboundRulesPage : public VLListPage
{
  public:
    explicit VLOutboundRulesPage(LWebletForm &form)
        : VLListPage(form, "planlist", "help/config_plans.html")
    {
    }

    void Generate() override
    {
        LHtmlList list(form, "planlist", 0);
        list.AddColumn("Outbound Dialing Plan", 45, LHtmlList::AlignLeft, true);
        list.AddColumn("Default Dial On Line", 45, LHtmlList::AlignLeft, true);
        list.AddColumn("Edit", 5, LHtmlList::AlignCentre, false);
        list.AddColumn("Delete", 5, LHtmlList::AlignCentre, false);
        char name[LPathSize], text[LPathSize];
        for (LPBXOutboundPlanListIterator it; it; it.Next()) {
            it->GetPlanName(name);
            std::string prop = KeyLink("planprop", name);
            LHtmlListRow row;
            row.AddCellPrintFWithOrder(name, "<a href=\"%H\">%H</a>", prop.c_str(), name);
            row.AddCell(VWTranslatePlanLineOptionToText(it->GetDefaultDialOnLine(text)).c_str());
            row.AddCellImageLink("edit.gif", prop.c_str(), "Edit Plan");
            row.AddCellImageLink("trash.gif", KeyLink("plandelete", name).c_str(), "Delete Plan");
            list.AddRow(row);
        }
        list.Write(form, 100);
        WriteButton("planadd?onok=planlist&oncancel=planlist", "Add New Outbound Dialing Plan");
    }
};

bool PlanExists(const std::string &id)
{
    return !id.empty() && VWIsValidKey(id.c_str()) && LPBXOutboundPlanList().Exists(id.c_str());
}

void PrintRules(LWebletForm &form, const std::string &id)
{
    LPBXOutboundPlan plan;
    if (!PlanExists(id) || !LPBXOutboundPlanList().Open(plan, id.c_str()))
        return;
    char key[LPathSize], text[LPathSize];
    wfputs(form, "<table align=center cellpadding=4><tr><th>If number starts with</th><th>Remove "
                 "digits</th><th>Prepend</th><th>Dial on line</th><th></th></tr>");
    for (LPBXOutboundPlan::DialBasedRuleListIterator it(plan); it; it.Next()) {
        it->GetPrimaryKey(key);
        wfprintf(form, "<tr><td>%H</td><td>%d</td>", it->GetStartsWith(text),
                 it->GetRemoveDigits());
        wfprintf(form, "<td>%H</td>", it->GetPrepend(text));
        wfprintf(form, "<td>%H</td><td>",
                 VWTranslatePlanLineOptionToText(it->GetDialOnLine(text)).c_str());
        VWPrintRuleLinks(form, "dialrule", id.c_str(), key);
    }
    wfputs(form, "<tr><th>If sip host is</th><th></th><th></th><th>Dial on line</th></tr>");
    for (LPBXOutboundPlan::SipHostBasedRuleListIterator it(plan); it; it.Next()) {
        it->GetPrimaryKey(key);
        wfprintf(form, "<tr><td>%H</td><td></td><td></td>", it->GetHost(text));
        wfprintf(form, "<td>%H</td><td>",
                 VWTranslatePlanLineOptionToText(it->GetDialOnLine(text)).c_str());
        VWPrintRuleLinks(form, "siprule", id.c_str(), key);
    }
    std::string add = "dialruleprop?id=";
    WebUrlEncode(add, id.c_str());
    wfprintf(form, "</table><center><a href=\"%H\">Add Dial Based Rule</a> | ", add.c_str());
    add = "sipruleprop?id=";
    WebUrlEncode(add, id.c_str());
    wfprintf(form, "<a href=\"%H\">Add SIP Host Rule</a></center>", add.c_str());
}

void DrawProp(LWebletForm &form, const std::string &id, const std::string &name,
              const std::string &line, const char *message)
{
    WLStandardHeader(form, VWTopNavLinks());
    VWPrintMessage(form, message);
    LHTMLInputForm html(form, "Outbound Dialing Plan", "planprop", "Save Changes", true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input inputs[] = {{"id", "", "", id.c_str(), In::Hidden},
                                {"save", "", "", "1", In::Hidden},
                                {"name", "Plan Name:", "", name.c_str(), In::Text},
                                {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, inputs);
    VWPrintSelectRow(form, "Default Dial On Line:", "dialonline", VWPlanLineChoices(),
                     VWTranslatePlanLineOptionToText(line.c_str()));
    html.WriteFooter(form, "", "");
    PrintRules(form, id);
    WLStandardFooter(form);
}
} // namespace

bool VWPlanIsValid(const std::string &id, const std::string &name)
{
    // The name comes from the browser: a line break in it would forge
    // further lines in the program log.
    std::string shown = name;
    for (char &c : shown)
        if ((unsigned char)c < 0x20 || c == 0x7f)
            c = '?';
    LOGF("VWPlanIsValid %s", shown.c_str());
    if (name.empty() || !VWIsValidKey(name.c_str()))
        return false;
    char key[LPathSize];
    for (LPBXOutboundPlanListIterator it; it; it.Next())
        if (VWSameName(it->GetPlanName(key), name) && !VWSameName(key, id))
            return false;
    return true;
}

void VWPlanList(LWebletForm &form)
{
    VLOutboundRulesPage page(form);
    page.Open();
}

void VWPlanAdd(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (VWIsCancel(form)) {
        VWShowList(form, "planlist");
        return;
    }
    std::string name = form.GetParmTrim("name");
    bool add = *form.GetParm("add") != 0;
    if (add && VWPlanIsValid("", name)) {
        DrawProp(form, "", name, "", "");
        return;
    }
    VWPrintNameForm(form, "Add New Outbound Dialing Plan", "planadd", "Plan Name:", name,
                    add ? kExists : "");
}

void VWPlanProp(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (VWIsCancel(form)) {
        VWShowList(form, "planlist");
        return;
    }
    std::string id = form.GetParm("id");
    if (!PlanExists(id))
        id.clear();
    LPBXOutboundPlanList list;
    LPBXOutboundPlan plan;
    char text[LPathSize];
    if (!*form.GetParm("save")) {
        if (!id.empty() && list.Open(plan, id.c_str()))
            DrawProp(form, id, id, plan.GetDefaultDialOnLine(text), "");
        else
            DrawProp(form, "", "", "", "");
        return;
    }
    std::string name = form.GetParmTrim("name");
    std::string line = VWTranslatePlanLineTextToOption(form.GetParm("dialonline"));
    bool renamed = !id.empty() && !VWSameName(id, name);
    if (!VWPlanIsValid(id, name) || (renamed && !list.Rename(id.c_str(), name.c_str())) ||
        !list.Open(plan, name.c_str())) {
        DrawProp(form, id, name, line, kExists);
        return;
    }
    if (renamed)
        VWRenamePlanReferences(id, name);
    plan.SetDefaultDialOnLine(line.c_str());
    VWShowList(form, "planlist");
}

void VWPlanDelete(LWebletForm &form)
{
    if (!WLValidateSession(form) || !VMConfirmYesNo(form, "plandelete", "planlist"))
        return;
    const char *id = form.GetParm("id");
    // Extensions left naming a deleted plan would log its absence on every
    // call and dial extensions only; an empty plan name says that plainly.
    if (VWIsValidKey(id) && LPBXOutboundPlanList().Delete(id))
        VWRenamePlanReferences(id, "");
    VWShowList(form, "planlist");
}
