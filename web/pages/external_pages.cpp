// External lines: the list, the line dialog, its advanced settings and the
// delete script. A saved line makes the engine register its lines anew.
#include "config/pbx_external_line.h"
#include "config/pbx_group.h"
#include "web/html_list.h"
#include "web/pages/control_pages.h"
#include "web/pages/external_dialogs.h"
#include "web/pages/list_page.h"
#include "web/pages/page_common.h"
#include "web/pages/page_context.h"
#include "web/web_frame.h"
#include "web/weblet_form.h"

#include <ctime>

namespace
{
std::string LocalTime(int64_t when)
{
    time_t t = (time_t)when;
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

class VLExternalListPage : public VLListPage
{
  public:
    explicit VLExternalListPage(LWebletForm &form)
        : VLListPage(form, "externallist", "help/config_lines.html")
    {
    }

    void Generate() override
    {
        LHtmlList list(form, "externallist", 0);
        list.AddColumn("External Line Name", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("ID or UserName", 21, LHtmlList::AlignLeft, true);
        list.AddColumn("Proxy Server", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("Ring On", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("Registration", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("Edit", 2, LHtmlList::AlignCentre, false);
        list.AddColumn("Delete", 2, LHtmlList::AlignCentre, false);
        char name[LPathSize], text[LPathSize], lineID[LPathSize], server[LPathSize];
        const LWebPageContext *context = form.GetPageContext();
        std::vector<LSipLineStatus> lines;
        if (context && context->lineStatus)
            lines = context->lineStatus->GetLineStatus();
        for (LPBXExternalLineListIterator it; it; it.Next()) {
            it->GetLineName(name);
            std::string prop =
                KeyLink("externalprop", name, "&onok=externallist&oncancel=externallist");
            LHtmlListRow row;
            row.AddCellPrintFWithOrder(name, "<a href=\"%H\">%H</a>", prop.c_str(), name);
            row.AddCell(it->GetLineID(lineID));
            row.AddCell(it->GetServer(server));
            row.AddCell(it->GetRingOnLine(text));
            row.AddCell(VWLineRegistrationText(lines, lineID, server).c_str());
            row.AddCellImageLink("edit.gif", prop.c_str(), "Edit Line");
            row.AddCellImageLink("trash.gif", KeyLink("externaldelete", name).c_str(),
                                 "Delete Line");
            list.AddRow(row);
        }
        list.Write(form, 100);
        WriteButton("externalprop?onok=externallist&oncancel=externallist",
                    "Add New External Line");
    }
};
} // namespace

void VWNotifyLinesChanged(LWebletForm &form)
{
    const LWebPageContext *context = form.GetPageContext();
    if (context && context->linesChanged)
        context->linesChanged();
}

std::vector<std::string> VWRingOnChoices()
{
    std::vector<std::string> items = {"[None]"};
    for (const std::string &ext : VWExtensionNames())
        items.push_back(ext);
    char key[LPathSize];
    for (LPBXGroupListIterator it; it; it.Next())
        items.push_back(it->GetName(key));
    return items;
}

void VWExternalList(LWebletForm &form)
{
    VLExternalListPage page(form);
    page.Open();
}

void VWExternalProp(LWebletForm &form)
{
    VLExternalPropPage page(form);
    page.Run();
}

void VWExternalAdvancedSettings(LWebletForm &form)
{
    VLExternalAdvancedSettingsPage page(form);
    page.Run();
}

void VWExternalDelete(LWebletForm &form)
{
    if (!WLValidateSession(form) || !VMConfirmYesNo(form, "externaldelete", "externallist"))
        return;
    const char *id = form.GetParm("id");
    if (VWIsValidKey(id) && LPBXExternalLineList().Delete(id))
        VWNotifyLinesChanged(form);
    VWShowList(form, "externallist");
}

std::string VWLineRegistrationText(const std::vector<LSipLineStatus> &lines, const char *lineID,
                                   const char *server)
{
    if (!server[0])
        return "";
    for (const LSipLineStatus &line : lines) {
        if (line.lineID != lineID || line.server != server)
            continue;
        if (line.registered)
            return "registered until " + LocalTime(line.registeredUntil);
        std::string text = "not registered";
        if (line.lastStatus == -1)
            text = "failed: no response";
        else if (line.lastStatus > 0)
            text = "failed: " + std::to_string(line.lastStatus) + " " + line.lastReason;
        return text + ", next attempt " + LocalTime(line.nextAttempt);
    }
    return "not registered";
}
