#include "web/pages/page_common.h"

#include "config/pbx_extension.h"
#include "config/pbx_external_line.h"
#include "config/pbx_outbound_plan.h"
#include "config/settingspath.h"
#include "web/web_confirm.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

bool VWIsValidKey(const char *key)
{
    for (const char *p = key; *p; p++)
        if ((unsigned char)*p < 0x20 || *p == 0x7f)
            return false;
    return LSettingsIsValidRecordKey(key);
}

bool VWIsCancel(LWebletForm &form)
{
    return WebEqualNoCase(form.GetParm("submit"), "Cancel");
}

bool VMConfirmYesNo(LWebletForm &form, const char *script, const char *back)
{
    if (form.form_data.TestExists("confirmed"))
        return true;
    WLConfirmDeletePage(form, script,
                        {{"id", form.GetParm("id")}, {"subid", form.GetParm("subid")}}, back);
    return false;
}

void VWPrintMessage(LWebletForm &form, const char *message)
{
    if (message && *message)
        wfprintf(form, "<center><font color=#a00000><b>%H</b></font></center><p>", message);
}

std::string VWTranslatePlanLineOptionToText(const char *option)
{
    if (!*option)
        return "[Extension]";
    if (std::string(option) == "-")
        return "[Blocked]";
    return option;
}

std::string VWTranslatePlanLineTextToOption(const char *text)
{
    if (std::string(text) == "[Extension]")
        return "";
    if (std::string(text) == "[Blocked]")
        return "-";
    return text;
}

namespace
{
template <class Iterator> std::vector<std::string> Keys()
{
    std::vector<std::string> names;
    char key[LPathSize];
    for (Iterator it; it; it.Next())
        names.push_back(it->GetPrimaryKey(key));
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

std::vector<std::string> VWExternalLineNames()
{
    return Keys<LPBXExternalLineListIterator>();
}

std::vector<std::string> VWExtensionNames()
{
    return Keys<LPBXExtensionListIterator>();
}

std::vector<std::string> VWPlanNames()
{
    return Keys<LPBXOutboundPlanListIterator>();
}

std::vector<std::string> VWPlanLineChoices()
{
    std::vector<std::string> items = VWExternalLineNames();
    items.push_back("[Extension]");
    items.push_back("[Blocked]");
    return items;
}

void VWPrintSelectRow(LWebletForm &form, const char *label, const char *name,
                      const std::vector<std::string> &items, const std::string &selected)
{
    wfprintf(form, "<tr><td align=right>%H</td><td><select name=\"%H\">", label, name);
    for (const std::string &item : items)
        wfprintf(form, "<option value=\"%H\"%s>%H</option>", item.c_str(),
                 VWSameName(item, selected) ? " selected" : "", item.c_str());
    wfputs(form, "</select></td></tr>");
}

bool VWSameName(const std::string &a, const std::string &b)
{
    return WebEqualNoCase(a.c_str(), b.c_str());
}

bool VWReadCount(const std::string &text, int &out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    long value = strtol(text.c_str(), nullptr, 10);
    if (errno || value > 1000000)
        return false;
    out = (int)value;
    return true;
}

std::string VWListNavLinks(const char *help)
{
    std::string links = "<a href=\"main\">Main</a>&nbsp;|&nbsp;<a href=\"logoff\">Log "
                        "Off</a>&nbsp;|&nbsp;<a href=\"";
    links += help;
    links += "\" target=\"_blank\">Help</a>";
    return links;
}

void VWShowList(LWebletForm &form, const char *script)
{
    form.Redirect(script);
}
