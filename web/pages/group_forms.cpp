#include "web/pages/group_forms.h"

#include "config/folders.h"
#include "config/pbx_group.h"
#include "media/callsources.h"
#include "media/merleclient.h"
#include "web/html_input_form.h"
#include "web/pages/control_pages.h"
#include "web/pages/page_common.h"
#include "web/pages/rename_references.h"
#include "web/pages/rule_forms.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

const char *const kVWGroupExists =
    "There is another group with the same name already exists. Please use another name.";

namespace
{
const char *const kNoPrompt = "Please enter the wav file that will be used as start prompt.";
const char *const kNoServer = "Please enter the Merle Music On-Hold Server details.";
const char *const kBadGroup = "Invalid Group ID is found. Please try again.";
const char *const kBadDelay = "The delay must be a number of seconds. Please try again.";

// The player opens a prompt only inside the shared data folder, and a hold
// server only by host and port: the form stores nothing it would refuse.
bool IsPlayableFile(const std::string &name)
{
    char folder[LPathSize];
    std::string path;
    return LPlayerResolveFile(LGetFolder(LFolder::SharedData, folder), name.c_str(), path);
}

bool OpenGroup(const std::string &id, LPBXGroup &group)
{
    LPBXGroupList list;
    return !id.empty() && VWIsValidKey(id.c_str()) && list.Exists(id.c_str()) &&
           list.Open(group, id.c_str());
}

void PrintMembers(LWebletForm &form, const std::string &id)
{
    LPBXGroup group;
    if (!OpenGroup(id, group))
        return;
    char key[LPathSize], text[LPathSize];
    wfputs(form, "<table align=center cellpadding=4><tr><th>Extension</th><th>Delay</th>"
                 "<th></th></tr>");
    for (LPBXGroup::ExtensionListIterator it(group); it; it.Next()) {
        wfprintf(form, "<tr><td>%H</td><td>%d</td><td>", it->GetExtension(text),
                 it->GetDelayTime());
        VWPrintRuleLinks(form, "groupextension", id.c_str(), it->GetPrimaryKey(key));
    }
    std::string add = "groupextensionprop?id=";
    WebUrlEncode(add, id.c_str());
    wfprintf(form, "</table><center><a href=\"%H\">Add Extension</a></center>", add.c_str());
}

VWGroupFields Load(const std::string &id)
{
    VWGroupFields f;
    LPBXGroup group;
    if (!OpenGroup(id, group))
        return f;
    char text[LPathSize];
    f.id = f.name = group.GetName(text);
    f.promptfile = group.GetStartPrompt(text);
    f.startprompt = !f.promptfile.empty();
    f.defaultprompt = !f.startprompt || f.promptfile == VWInstalledPrompt();
    if (f.defaultprompt)
        f.promptfile.clear();
    std::string hold = group.GetWaitHold(text);
    f.waithold = hold.empty() ? "ringing" : hold == "-" ? "chimes" : "server";
    if (f.waithold == "server")
        f.hold = hold;
    return f;
}

const char *CheckAndStore(const VWGroupFields &f)
{
    if (!VWGroupIsValid(f.id, f.name))
        return kVWGroupExists;
    if (f.startprompt && !f.defaultprompt && !IsPlayableFile(f.promptfile))
        return kNoPrompt;
    if (f.waithold != "ringing" && f.waithold != "chimes" && !LMerleIsServerName(f.hold.c_str()))
        return kNoServer;
    LPBXGroupList list;
    LPBXGroup group;
    bool renamed = !f.id.empty() && !VWSameName(f.id, f.name);
    if ((renamed && !list.Rename(f.id.c_str(), f.name.c_str())) ||
        !list.Open(group, f.name.c_str()))
        return kVWGroupExists;
    if (renamed)
        VWRenameGroupReferences(f.id, f.name);
    group.SetStartPrompt(!f.startprompt    ? ""
                         : f.defaultprompt ? VWInstalledPrompt().c_str()
                                           : f.promptfile.c_str());
    group.SetWaitHold(f.waithold == "ringing" ? "" : f.waithold == "chimes" ? "-" : f.hold.c_str());
    return nullptr;
}
} // namespace

bool VWGroupIsValid(const std::string &id, const std::string &name)
{
    if (name.empty() || !VWIsValidKey(name.c_str()))
        return false;
    char key[LPathSize];
    for (LPBXGroupListIterator it; it; it.Next())
        if (VWSameName(it->GetName(key), name) && !VWSameName(key, id))
            return false;
    return true;
}

void VWDrawGroupForm(LWebletForm &form, const VWGroupFields &f, const char *message)
{
    WLStandardHeader(form, VWTopNavLinks());
    VWPrintMessage(form, message);
    LHTMLInputForm html(form, f.id.empty() ? "Add New Group or Queue" : "Edit Group or Queue",
                        "groupprop", "Save Changes", true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input inputs[] = {
        {"id", "", "", f.id.c_str(), In::Hidden},
        {"save", "", "", "1", In::Hidden},
        {"name", "Group ID:", "", f.name.c_str(), In::Text},
        {nullptr, "Start Prompt", nullptr, nullptr, In::FieldSetStart},
        {"startprompt", "Answer with a start prompt", "", f.startprompt ? "1" : "", In::CheckBox},
        {"defaultstartprompt", "Use the default prompt", "", f.defaultprompt ? "1" : "",
         In::CheckBox},
        {"promptfile", "Prompt file (.wav):", "", f.promptfile.c_str(), In::TextIndented},
        {nullptr, nullptr, nullptr, nullptr, In::FieldSetEnd},
        {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, inputs);
    wfputs(form, "<tr><td colspan=2><fieldset><legend>On Hold</legend><table border=0>");
    for (const char *choice : {"ringing", "chimes", "server"})
        wfprintf(form, "<tr><td></td><td><input type=radio name=waithold value=%s%s>%s</td></tr>",
                 choice, f.waithold == choice ? " checked" : "",
                 choice[0] == 'r'   ? "Ringing"
                 : choice[0] == 'c' ? "Chimes"
                                    : "Merle Music On-Hold Server");
    const In::Input server[] = {{"imsserver", "Server:", "", f.hold.c_str(), In::TextIndented},
                                {nullptr, nullptr, nullptr, nullptr, In::FieldSetEnd},
                                {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, server);
    html.WriteFooter(form, "", "");
    PrintMembers(form, f.id);
    WLStandardFooter(form);
}

void VWGroupProp(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (VWIsCancel(form)) {
        VWShowList(form, "grouplist");
        return;
    }
    VWGroupFields f = Load(form.GetParm("id"));
    if (!*form.GetParm("save")) {
        VWDrawGroupForm(form, f, "");
        return;
    }
    f.name = form.GetParmTrim("name");
    f.startprompt = *form.GetParm("startprompt") != 0;
    f.defaultprompt = *form.GetParm("defaultstartprompt") != 0;
    f.promptfile = form.GetParmTrim("promptfile");
    f.waithold = form.GetParm("waithold", "server");
    f.hold = form.GetParmTrim("imsserver");
    const char *message = CheckAndStore(f);
    if (message) {
        VWDrawGroupForm(form, f, message);
        return;
    }
    VWShowList(form, "grouplist");
}

namespace
{
void ShowGroup(LWebletForm &form, const std::string &id)
{
    std::string link = "groupprop?id=";
    WebUrlEncode(link, id.c_str());
    form.Redirect(link.c_str());
}

void DrawMember(LWebletForm &form, const std::string &id, const std::string &subid,
                const std::string &ext, const std::string &delay, const char *message)
{
    WLStandardHeader(form, VWTopNavLinks());
    VWPrintMessage(form, message);
    LHTMLInputForm html(form, "Group Member", "groupextensionprop", "Save Changes", true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input hidden[] = {{"id", "", "", id.c_str(), In::Hidden},
                                {"subid", "", "", subid.c_str(), In::Hidden},
                                {"saveext", "", "", "1", In::Hidden},
                                {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, hidden);
    VWPrintSelectRow(form, "Extension:", "extension", VWExtensionNames(), ext);
    const In::Input rest[] = {{"delay", "Delay (seconds):", "", delay.c_str(), In::Text},
                              {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, rest);
    html.WriteFooter(form, "", "");
    WLStandardFooter(form);
}
} // namespace

void VWGroupExtensionProp(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    std::string id = form.GetParm("id"), subid = form.GetParm("subid");
    LPBXGroup group;
    bool groupOk = OpenGroup(id, group);
    if (VWIsCancel(form)) {
        groupOk ? ShowGroup(form, id) : VWShowList(form, "grouplist");
        return;
    }
    LPBXGroup::ExtensionList members = group.GetExtensionList();
    LPBXGroup::Extension member;
    bool known = groupOk && VWIsValidKey(subid.c_str()) && members.Exists(subid.c_str()) &&
                 members.Open(member, subid.c_str());
    if (!known)
        subid.clear();
    char text[LPathSize];
    if (!*form.GetParm("saveext")) {
        std::string ext = known ? member.GetExtension(text) : "";
        std::string delay = known ? std::to_string(member.GetDelayTime()) : "0";
        DrawMember(form, id, subid, ext, delay, groupOk ? "" : kBadGroup);
        return;
    }
    std::string ext = form.GetParmTrim("extension"), delay = form.GetParmTrim("delay", "0");
    int seconds = 0;
    const char *message = nullptr;
    if (!groupOk || (!known && !VWIsValidKey(ext.c_str())))
        message = kBadGroup;
    else if (!VWReadCount(delay, seconds))
        message = kBadDelay;
    if (message || (!known && !members.Open(member, ext.c_str()))) {
        DrawMember(form, id, subid, ext, delay, message ? message : kBadGroup);
        return;
    }
    member.SetExtension(ext.c_str());
    member.SetDelayTime(seconds);
    ShowGroup(form, id);
}

void VWGroupExtensionDelete(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    std::string id = form.GetParm("id");
    std::string back = "groupprop?id=";
    WebUrlEncode(back, id.c_str());
    if (!VMConfirmYesNo(form, "groupextensiondelete", back.c_str()))
        return;
    LPBXGroup group;
    const char *subid = form.GetParm("subid");
    if (OpenGroup(id, group) && VWIsValidKey(subid))
        group.GetExtensionList().Delete(subid);
    OpenGroup(id, group) ? ShowGroup(form, id) : VWShowList(form, "grouplist");
}
