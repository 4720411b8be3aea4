// Groups and queues: the list, add, properties and delete scripts.
#include "config/folders.h"
#include "config/pbx_group.h"
#include "web/html_list.h"
#include "web/pages/control_pages.h"
#include "web/pages/group_forms.h"
#include "web/pages/list_page.h"
#include "web/pages/page_common.h"
#include "web/pages/rule_forms.h"
#include "web/web_frame.h"
#include "web/weblet_form.h"

namespace
{
class VLGroupPage : public VLListPage
{
  public:
    explicit VLGroupPage(LWebletForm &form)
        : VLListPage(form, "grouplist", "help/config_groups.html")
    {
    }

    void Generate() override
    {
        LHtmlList list(form, "grouplist", 0);
        list.AddColumn("Group ID", 20, LHtmlList::AlignLeft, true);
        list.AddColumn("Ring on Extension(s)", 30, LHtmlList::AlignLeft, true);
        list.AddColumn("Start Prompt", 18, LHtmlList::AlignLeft, true);
        list.AddColumn("On Hold Option", 28, LHtmlList::AlignLeft, true);
        list.AddColumn("Edit", 2, LHtmlList::AlignCentre, false);
        list.AddColumn("Delete", 2, LHtmlList::AlignCentre, false);
        char name[LPathSize], text[LPathSize];
        std::string installed = VWInstalledPrompt();
        for (LPBXGroupListIterator it; it; it.Next()) {
            it->GetName(name);
            std::string prop = KeyLink("groupprop", name);
            LHtmlListRow row;
            row.AddCellPrintFWithOrder(name, "<a href=\"%H\">%H</a>", prop.c_str(), name);
            std::string members;
            for (LPBXGroup::ExtensionListIterator m(*it); m; m.Next())
                members += (members.empty() ? "" : ", ") + std::string(m->GetExtension(text));
            row.AddCell(members.c_str());
            std::string prompt = it->GetStartPrompt(text);
            row.AddCell(prompt == installed ? "[Default]" : prompt.c_str());
            std::string hold = it->GetWaitHold(text);
            row.AddCell(hold.empty()  ? "Ringing"
                        : hold == "-" ? "Chimes"
                                      : ("Merle Server: " + hold).c_str());
            row.AddCellImageLink("edit.gif", prop.c_str(), "Edit Group");
            row.AddCellImageLink("trash.gif", KeyLink("groupdelete", name).c_str(), "Delete Group");
            list.AddRow(row);
        }
        list.Write(form, 100);
        WriteButton("groupadd?onok=grouplist&oncancel=grouplist", "Add New Group or Queue");
    }
};
} // namespace

// Named relative to the shared data folder, where the player looks.
std::string VWInstalledPrompt()
{
    return "PleaseHold.wav";
}

void VWGroupList(LWebletForm &form)
{
    VLGroupPage page(form);
    page.Open();
}

void VWGroupAdd(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (VWIsCancel(form)) {
        VWShowList(form, "grouplist");
        return;
    }
    std::string name = form.GetParmTrim("name");
    bool add = *form.GetParm("add") != 0;
    if (add && VWGroupIsValid("", name)) {
        VWGroupFields f;
        f.name = name;
        VWDrawGroupForm(form, f, "");
        return;
    }
    VWPrintNameForm(form, "Add New Group or Queue", "groupadd", "Group ID:", name,
                    add ? kVWGroupExists : "");
}

void VWGroupDelete(LWebletForm &form)
{
    if (!WLValidateSession(form) || !VMConfirmYesNo(form, "groupdelete", "grouplist"))
        return;
    const char *id = form.GetParm("id");
    if (VWIsValidKey(id))
        LPBXGroupList().Delete(id);
    VWShowList(form, "grouplist");
}
