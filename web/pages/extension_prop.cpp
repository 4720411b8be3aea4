// The extension form ("extensionprop"): draws, checks and stores one
// extension.
#include "config/pbx_extension.h"
#include "config/settingssections.h"
#include "web/html_input_form.h"
#include "web/pages/control_pages.h"
#include "web/pages/page_common.h"
#include "web/pages/rename_references.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <cstdlib>
#include <string>

namespace
{
const char *const kNoName = "Every extension must have a Number or UserID.";
const char *const kBoth =
    "You cannot use both Voice Mail and Transfer if Not Answered on the same extension.";
const char *const kVoiceMail =
    "Voice Mail Extension or Voice Mail Delay Time is invalid. Please try again.";
const char *const kExists = "Another extension with the same Number or UserID already exists. "
                            "Please use another Number or UserID.";
const char *const kTransfer = "Please enter the transfer to number and the delay time.";

const char *const kValidate =
    "function validate() {\r\n"
    "  var f = document.forms[0];\r\n"
    "  f.voicemailext.disabled = f.voicemaildelay.disabled = !f.usevoicemail.checked;\r\n"
    "  f.tna.disabled = f.tnadelay.disabled = !f.usetna.checked;\r\n"
    "}\r\nwindow.onload = validate;";

struct Fields {
    std::string id, name, display, password, plan, vmext, vmdelay, tna, tnadelay;
    bool voicemail = false, transfer = false, record = false;
};

Fields FromForm(LWebletForm &form)
{
    Fields f;
    f.id = form.GetParm("id");
    f.name = form.GetParmTrim("name");
    f.display = form.GetParmTrim("displayname");
    f.password = form.GetParmTrim("password");
    f.plan = form.GetParmTrim("plan", "Default");
    f.vmext = form.GetParmTrim("voicemailext", "199");
    f.vmdelay = form.GetParmTrim("voicemaildelay");
    f.tna = form.GetParmTrim("tna");
    f.tnadelay = form.GetParmTrim("tnadelay");
    f.voicemail = atoi(form.GetParm("usevoicemail")) == 1;
    f.transfer = *form.GetParm("usetna") != 0;
    f.record = atoi(form.GetParm("userecorder")) == 1;
    return f;
}

// The stored extension "id", or a proposal for a new one.
Fields FromRecord(const std::string &id)
{
    Fields f;
    LPBXExtensionList list;
    LPBXExtension ext;
    if (id.empty() || !VWIsValidKey(id.c_str()) || !list.Exists(id.c_str()) ||
        !list.Open(ext, id.c_str())) {
        f.name = std::to_string(GetMaxExtensionNo());
        f.plan = "Default";
        f.vmext = "199";
        f.vmdelay = f.tnadelay = "14";
        return f;
    }
    char text[LPathSize];
    f.id = f.name = ext.GetName(text);
    f.display = ext.GetDisplayName(text);
    f.plan = ext.GetOutboundPlan(text);
    f.vmext = ext.GetVoiceMailExtension(text);
    f.voicemail = !f.vmext.empty();
    if (!f.voicemail)
        f.vmext = "199";
    f.vmdelay = std::to_string(ext.GetVoiceMailDelayTime());
    f.tna = ext.GetTransferNotAnswered(text);
    f.transfer = !f.tna.empty();
    f.tnadelay = std::to_string(ext.GetTransferNotAnsweredDelayTime());
    f.record = ext.GetRecordOutgoing();
    return f;
}

void Draw(LWebletForm &form, const Fields &f, const char *message)
{
    WLStandardHeaderWithJsScript(form, VWTopNavLinks(), kValidate);
    VWPrintMessage(form, message);
    LHTMLInputForm html(form, f.id.empty() ? "Add New Extension" : "Edit Extension",
                        "extensionprop", "Save Changes", true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input head[] = {{"id", "", "", f.id.c_str(), In::Hidden},
                              {"save", "", "", "1", In::Hidden},
                              {nullptr, "Extension", nullptr, nullptr, In::FieldSetStart},
                              {"name",
                               "Extension ID:", "The number or user name phones register as",
                               f.name.c_str(), In::Text},
                              {"displayname", "Display Name:", "", f.display.c_str(), In::Text},
                              {"password", "Password:", "", f.password.c_str(), In::Password},
                              {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, head);
    VWPrintSelectRow(form, "Outbound Dialing Plan:", "plan", VWPlanNames(), f.plan);
    const In::Input rest[] = {
        {nullptr, nullptr, nullptr, nullptr, In::FieldSetEnd},
        {nullptr, "Voice Mail", nullptr, nullptr, In::FieldSetStart},
        {"usevoicemail", "Use Voice Mail", "", f.voicemail ? "1" : "", In::CheckBox},
        {"voicemailext", "Voice Mail Extension:", "", f.vmext.c_str(), In::TextIndented},
        {"voicemaildelay", "Delay (seconds):", "", f.vmdelay.c_str(), In::TextIndented},
        {nullptr, nullptr, nullptr, nullptr, In::FieldSetEnd},
        {nullptr, "Transfer if Not Answered", nullptr, nullptr, In::FieldSetStart},
        {"usetna", "Transfer if Not Answered", "", f.transfer ? "1" : "", In::CheckBox},
        {"tna", "Transfer to:", "", f.tna.c_str(), In::TextIndented},
        {"tnadelay", "Delay (seconds):", "", f.tnadelay.c_str(), In::TextIndented},
        {nullptr, nullptr, nullptr, nullptr, In::FieldSetEnd},
        {nullptr, "Call Recorder", nullptr, nullptr, In::FieldSetStart},
        {"userecorder", "Record Outgoing Calls", "", f.record ? "1" : "", In::CheckBox},
        {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, rest);
    std::string link = "recordersettings?id=";
    WebUrlEncode(link, f.id.c_str());
    link += "&onok=extensionprop&oncancel=extensionprop";
    wfprintf(form, "<tr><td></td><td><a href=\"%H\">Recorder Settings</a></td></tr>", link.c_str());
    wfputs(form, "</table></fieldset></td></tr>");
    html.WriteFooter(form, "", "");
    wfputs(form, "<script>document.forms[0].usevoicemail.onclick = "
                 "document.forms[0].usetna.onclick = validate;</script>");
    WLStandardFooter(form);
}

const char *Check(const Fields &f)
{
    if (f.name.empty() || !VWIsValidKey(f.name.c_str()))
        return kNoName;
    if (f.voicemail && f.transfer)
        return kBoth;
    int delay;
    if (f.voicemail && (f.vmext.empty() || !VWReadCount(f.vmdelay, delay)))
        return kVoiceMail;
    char key[LPathSize];
    for (LPBXExtensionListIterator it; it; it.Next())
        if (!VWSameName(it->GetName(key), f.id) && VWSameName(key, f.name))
            return kExists;
    return nullptr;
}

// Opens the record being edited, moved to the new name with its
// registrations when the name changed; a new record for an unknown "id".
bool OpenForSave(const Fields &f, LPBXExtension &ext)
{
    LPBXExtensionList list;
    bool known = !f.id.empty() && VWIsValidKey(f.id.c_str()) && list.Exists(f.id.c_str());
    if (known && !VWSameName(f.id, f.name)) {
        if (!list.Rename(f.id.c_str(), f.name.c_str()))
            return false;
        VWRenameExtensionReferences(f.id, f.name);
    }
    return list.Open(ext, f.name.c_str());
}

const char *Store(Fields &f)
{
    LPBXExtension ext;
    bool existed =
        !f.id.empty() && VWIsValidKey(f.id.c_str()) && LPBXExtensionList().Exists(f.id.c_str());
    if (!OpenForSave(f, ext))
        return kExists;
    char text[LPathSize];
    // From here the record has the new name: a form drawn again after a
    // later check must edit it, not the old name, which is gone.
    f.id = f.name;
    int vmdelay = 14;
    VWReadCount(f.vmdelay, vmdelay);
    // The password field is drawn empty: left empty it keeps the stored one.
    if (!f.password.empty() || !existed)
        ext.SetPassword(f.password.c_str());
    else
        f.password = ext.GetPassword(text);
    ext.SetDisplayName(f.display.c_str());
    ext.SetOutboundPlan(f.plan.c_str());
    ext.SetVoiceMailExtension(f.voicemail ? f.vmext.c_str() : "");
    ext.SetVoiceMailDelayTime(vmdelay);
    ext.SetRecordOutgoing(f.record);
    if (f.transfer) {
        int tnadelay = 14;
        if (f.tna.empty() || !VWReadCount(f.tnadelay, tnadelay))
            return kTransfer;
        ext.SetTransferNotAnswered(f.tna.c_str());
        ext.SetTransferNotAnsweredDelayTime(tnadelay);
    } else {
        ext.SetTransferNotAnswered("");
    }
    if (f.name.size() == 3 && f.name >= "195" && f.name <= "199")
        LSettingSetString("Settings", (f.name + "Pass").c_str(), f.password.c_str());
    return nullptr;
}
} // namespace

void VWExtensionProp(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (VWIsCancel(form)) {
        VWShowList(form, "extensionlist");
        return;
    }
    if (!*form.GetParm("save")) {
        Draw(form, FromRecord(form.GetParm("id")), "");
        return;
    }
    Fields f = FromForm(form);
    const char *message = Check(f);
    if (!message)
        message = Store(f);
    if (message) {
        Draw(form, f, message);
        return;
    }
    VWShowList(form, "extensionlist");
}
