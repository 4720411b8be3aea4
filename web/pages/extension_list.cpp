// The extension list with registration status, the setup instructions and
// the delete script.
#include "config/pbx_extension.h"
#include "config/pbx_global_settings.h"
#include "config/pbx_outbound_plan.h"
#include "config/settingssections.h"
#include "web/html_list.h"
#include "web/pages/control_pages.h"
#include "web/pages/list_page.h"
#include "web/pages/page_common.h"
#include "web/pages/page_context.h"
#include "web/web_format.h"
#include "web/web_frame.h"
#include "web/weblet_form.h"

#include <arpa/inet.h>
#include <ctime>
#include <netdb.h>
#include <string>
#include <unistd.h>

namespace
{
// The registration with the latest expiry, as "contact <br>expires at time",
// or "" when there is none or it has expired.
std::string StatusCell(LPBXExtension &ext, const LWebPageContext *context)
{
    time_t latest = 0;
    std::string contact;
    LPBXFileContacts files;
    LPBXContactStore &store = context && context->contacts ? *context->contacts : files;
    for (const LPBXBinding &b : store.Read(ext)) {
        if (b.expires > latest) {
            latest = (time_t)b.expires;
            contact = b.contact;
        }
    }
    if (latest == 0 || latest <= time(nullptr))
        return "";
    struct tm local;
    localtime_r(&latest, &local);
    // The contact is the phone's own text: it must show as text only.
    return WebFormat("<font size=-2>%H <br>expires at %.2d:%.2d:%.2d</font>", contact.c_str(),
                     local.tm_hour, local.tm_min, local.tm_sec);
}

class VLExtensionListPage : public VLListPage
{
  public:
    explicit VLExtensionListPage(LWebletForm &form)
        : VLListPage(form, "extensionlist", "help/config_extensions.html")
    {
    }

    void Generate() override
    {
        LHtmlList list(form, "extensionlist", 0);
        list.AddColumn("Extension ID", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("Display Name", 25, LHtmlList::AlignLeft, true);
        list.AddColumn("Status", 26, LHtmlList::AlignLeft, true);
        list.AddColumn("", 12, LHtmlList::AlignLeft, false);
        list.AddColumn("Edit", 6, LHtmlList::AlignCentre, false);
        list.AddColumn("Delete", 6, LHtmlList::AlignCentre, false);
        char name[LPathSize], display[LPathSize];
        for (LPBXExtensionListIterator it; it; it.Next()) {
            it->GetName(name);
            std::string prop = KeyLink("extensionprop", name);
            LHtmlListRow row;
            row.AddCellPrintFWithOrder(name, "<a href=\"%H\">%H</a>", prop.c_str(), name);
            row.AddCell(it->GetDisplayName(display));
            std::string status = StatusCell(*it, form.GetPageContext());
            row.AddCellPrintFWithOrder(status.c_str(), "%s", status.c_str());
            row.AddCellPrintF("<a href=\"%H\">Setup Details</a>",
                              KeyLink("extensioninstruction", name).c_str());
            row.AddCellImageLink("edit.gif", prop.c_str(), "Edit Line");
            row.AddCellImageLink("trash.gif", KeyLink("extensiondelete", name).c_str(),
                                 "Delete Line");
            list.AddRow(row);
        }
        list.Write(form, 100);
        WriteButton("extensionprop?onok=extensionlist&oncancel=extensionlist", "Add New Extension");
    }
};

// The name phones should use for this machine: the reverse lookup of its
// private address, else the canonical name of its host name, else
// "localhost".
std::string MachineName()
{
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) != 0 || !*host)
        return "localhost";
    struct addrinfo hints = {}, *res = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    std::string name = "localhost";
    if (getaddrinfo(host, nullptr, &hints, &res) == 0 && res) {
        char found[NI_MAXHOST];
        if (getnameinfo(res->ai_addr, res->ai_addrlen, found, sizeof found, nullptr, 0,
                        NI_NAMEREQD) == 0)
            name = found;
        else if (res->ai_canonname)
            name = res->ai_canonname;
        freeaddrinfo(res);
    }
    return name;
}

void PrintRow(LWebletForm &form, const char *label, const char *value)
{
    wfprintf(form, "<tr><td>%H</td><td><b>%H</b></td></tr>", label, value);
}

void PrintDialingRules(LWebletForm &form, LPBXExtension &ext)
{
    char planName[LPathSize], text[LPathSize];
    ext.GetOutboundPlan(planName);
    for (LPBXOutboundPlanListIterator plan; plan; plan.Next()) {
        if (!VWSameName(plan->GetPlanName(text), planName))
            continue;
        wfputs(form, "<p><b>Dialing rules:</b><br>");
        for (LPBXOutboundPlan::DialBasedRuleListIterator rule(*plan); rule; rule.Next()) {
            std::string line = rule->GetDialOnLine(text);
            if (line == "-")
                continue;
            wfprintf(form, "To dial on \"%H\", dial \"%H\".<br>",
                     VWTranslatePlanLineOptionToText(line.c_str()).c_str(),
                     rule->GetStartsWith(text));
        }
        wfprintf(form, "Anything else will dial on \"%H\".<br>",
                 VWTranslatePlanLineOptionToText(plan->GetDefaultDialOnLine(text)).c_str());
        return;
    }
}
} // namespace

void VWExtensionList(LWebletForm &form)
{
    VLExtensionListPage page(form);
    page.Open();
}

void VWExtensionInstruction(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    std::string id = form.GetParm("id");
    LPBXExtensionList list;
    LPBXExtension ext;
    if (!VWIsValidKey(id.c_str()) || !list.Exists(id.c_str()) || !list.Open(ext, id.c_str())) {
        VWShowList(form, "extensionlist");
        return;
    }
    char name[LPathSize], text[LPathSize];
    ext.GetName(name);
    WLStandardHeader(form, VWTopNavLinks());
    wfprintf(form,
             "<h3>Setup Instructions for Extension \"%H\"</h3>Enter these settings into your IP "
             "phone or softphone:<p><table><tr><td valign=top><table border=1 cellpadding=4>",
             name);
    PrintRow(form, "SIP User ID or Number:", name);
    // A page can be cached, printed or read over a shoulder: the secret
    // itself stays in the settings.
    PrintRow(form, "Password:", "(the password set for this extension)");
    std::string machine = MachineName();
    for (const char *label :
         {"SIP Server:", "Outbound Proxy:", "Register Proxy:", "Default Domain:"})
        PrintRow(form, label, machine.c_str());
    PrintRow(form, "STUN Server:", LPBXSettings::SipStunServer1.Get(text));
    PrintRow(form, "STUN Server (Alt):", LPBXSettings::SipStunServer2.Get(text));
    wfputs(form, "</table></td><td valign=top class=infopane>Most phones call the user ID the "
                 "account or the authentication name. Leave fields your phone does not have "
                 "empty.</td></tr></table>");
    PrintDialingRules(form, ext);
    wfputs(form, "<p class=noprint><input type=button value=\"Print This Page\" "
                 "onclick=\"window.print()\"> <input type=button value=\"Back to Extension "
                 "List\" onclick=\"location.href='extensionlist'\">");
    WLStandardFooter(form);
}

void VWExtensionDelete(LWebletForm &form)
{
    if (!WLValidateSession(form) || !VMConfirmYesNo(form, "extensiondelete", "extensionlist"))
        return;
    const char *id = form.GetParm("id");
    if (VWIsValidKey(id))
        LPBXExtensionList().Delete(id);
    VWShowList(form, "extensionlist");
}
