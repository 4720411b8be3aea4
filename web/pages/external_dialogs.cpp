#include "web/pages/external_dialogs.h"

#include "web/pages/control_pages.h"
#include "web/pages/page_common.h"
#include "web/pages/rename_references.h"
#include "web/web_frame.h"
#include "web/weblet_form.h"

namespace
{
const char *const kNoName = "External line name is blank. Every line must have name.";
const char *const kExists =
    "Another external line with the same name already exists. Please use another name.";
const char *const kNoId = "External line ID is blank. Please enter the username or ID provided "
                          "by the VoIP gateway service provider.";
const char *const kNoServer = "Please enter the server name.";
const char *const kNoProxy = "Please enter the outbound proxy.";
const char *const kNoAuthId = "Please enter the authentication id.";

// The edited line: "id" of the request, else the one the line dialog
// remembered in the session. Only an existing line with a valid key counts.
bool OpenExisting(const std::string &id, LPBXExternalLine &line)
{
    LPBXExternalLineList list;
    return !id.empty() && VWIsValidKey(id.c_str()) && list.Exists(id.c_str()) &&
           list.Open(line, id.c_str());
}

void AddChoices(LWebDialog &dialog, int id, const char *label,
                const std::vector<std::string> &items)
{
    dialog.StartPullDownList(id, label);
    for (const std::string &item : items)
        dialog.AddPullDownListItem(item.c_str());
    dialog.EndPullDownList();
}

std::string NoneIsEmpty(const std::string &text)
{
    return text == "[None]" ? "" : text;
}
} // namespace

VLExternalPropPage::VLExternalPropPage(LWebletForm &form) : LWebDialog(form), id(form.GetParm("id"))
{
    SetCaption("External Line");
    SetNavLinksText(VWTopNavLinks());
    SetSpecialButton("Advanced Settings", "externaladvancedsettings");
}

void VLExternalPropPage::InitDialog()
{
    LPBXExternalLine line;
    SetRadioCheck(102);
    SetText(108, "[None]");
    if (!OpenExisting(id, line)) {
        id.clear();
        return;
    }
    char text[LPathSize];
    SetText(101, line.GetLineName(text));
    SetText(106, line.GetLineID(text));
    std::string ring = line.GetRingOnLine(text);
    SetText(108, ring.empty() ? "[None]" : ring.c_str());
    SetText(103, line.GetServer(text));
    if (!*GetControlValue(103))
        SetRadioCheck(105);
    SetCheck(200, line.GetRecordIncoming());
}

void VLExternalPropPage::Generate()
{
    AddHiddenField("id", id.c_str());
    AddInput(101, "Line Name:", 30);
    AddInput(106, "ID or User Name:", 30);
    AddInputPassword(107, "Password:", 30);
    AddChoices(*this, 108, "Ring On:", VWRingOnChoices());
    AddRadioButton(105, "The other device registers to the PBX", true);
    AddRadioButtonWithInput(102, "Use Gateway Server", 103, 30);
    AddCheckBox(200, "Record incoming calls");
    EnableControlOnRadioCheck(103, 102);
}

bool VLExternalPropPage::CmOk()
{
    std::string name = GetTextAndTrim(101);
    if (name.empty() || !VWIsValidKey(name.c_str())) {
        PopupControlDataInvalid(101, kNoName);
        return false;
    }
    LPBXExternalLine existing;
    bool known = OpenExisting(id, existing);
    char key[LPathSize];
    for (LPBXExternalLineListIterator it; it; it.Next())
        if (VWSameName(it->GetLineName(key), name) && !(known && VWSameName(key, id))) {
            PopupControlDataInvalid(101, kExists);
            return false;
        }
    std::string lineId = GetTextAndTrim(106);
    if (lineId.empty()) {
        PopupControlDataInvalid(106, kNoId);
        return false;
    }
    bool gateway = GetRadioCheck(102);
    std::string server = gateway ? GetTextAndTrim(103) : "";
    if (gateway && server.empty()) {
        PopupControlDataInvalid(103, kNoServer);
        return false;
    }
    LPBXExternalLineList list;
    if (known && !VWSameName(id, name)) {
        if (!list.Rename(id.c_str(), name.c_str())) {
            PopupControlDataInvalid(101, kExists);
            return false;
        }
        VWRenameLineReferences(id, name);
    }
    LPBXExternalLine line;
    if (!list.Open(line, name.c_str()))
        return false;
    form.session.SetParm("id", line.GetLineName(key));
    line.SetLineID(lineId.c_str());
    line.SetServer(server.c_str());
    // The field is drawn empty: left empty it keeps the stored password.
    std::string password = GetTextAndTrim(107);
    if (!password.empty() || !known)
        line.SetPassword(password.c_str());
    line.SetRingOnLine(NoneIsEmpty(GetTextAndTrim(108)).c_str());
    line.SetRecordIncoming(GetCheck(200));
    VWNotifyLinesChanged(form);
    return true;
}

VLExternalAdvancedSettingsPage::VLExternalAdvancedSettingsPage(LWebletForm &form) : LWebDialog(form)
{
    id = form.GetParm("id");
    if (id.empty())
        id = form.session.GetParm("id", "");
    SetCaption("Advanced Settings");
    SetNavLinksText(VWTopNavLinks());
    if (!*form.GetParm("onok"))
        SetOkPage("externallist");
}

bool VLExternalAdvancedSettingsPage::OpenLine(LPBXExternalLine &line)
{
    return OpenExisting(id, line);
}

void VLExternalAdvancedSettingsPage::InitDialog()
{
    LPBXExternalLine line;
    if (!OpenLine(line))
        return;
    char text[LPathSize];
    SetText(103, line.GetOutboundProxy(text));
    SetRadioCheck(*GetControlValue(103) ? 102 : 101);
    SetText(106, line.GetAuthUserID(text));
    SetRadioCheck(*GetControlValue(106) ? 202 : 201);
    SetText(107, line.GetPrependCID(text));
    std::string chain = line.GetChainLine(text);
    SetText(108, chain.empty() ? "[None]" : chain.c_str());
    SetInt(109, line.GetChainAbortResponse());
    SetCheck(110, line.GetDisablePolling());
    SetCheck(111, line.GetProhibitOddRtp());
    SetCheck(112, line.GetAlwaysRelay());
    SetCheck(113, line.GetRelayNotNeeded());
}

void VLExternalAdvancedSettingsPage::Generate()
{
    AddHiddenField("id", id.c_str());
    AddRadioButton(101, "Send to the server", true);
    AddRadioButtonWithInput(102, "Use Outbound Proxy", 103, 30);
    AddRadioButton(201, "Authenticate with the line ID", true);
    AddRadioButtonWithInput(202, "Use Authentication ID", 106, 30);
    AddInput(107, "Prepend to caller ID:", 10);
    std::vector<std::string> chain = {"[None]"};
    for (const std::string &name : VWExternalLineNames())
        chain.push_back(name);
    AddChoices(*this, 108, "Chain Line:", chain);
    AddInput(109, "Chain abort response:", 10);
    AddCheckBox(110, "Disable activity polling");
    AddCheckBox(111, "Prohibit odd RTP ports");
    AddCheckBox(112, "Always relay audio");
    AddCheckBox(113, "Relay not needed");
    EnableControlOnRadioCheck(103, 102);
    EnableControlOnRadioCheck(106, 202);
}

bool VLExternalAdvancedSettingsPage::CmOk()
{
    LPBXExternalLine line;
    if (!OpenLine(line)) {
        PopupBoxError("Invalid external line. Please try again.");
        return false;
    }
    std::string proxy = GetRadioCheck(102) ? GetTextAndTrim(103) : "";
    if (GetRadioCheck(102) && proxy.empty()) {
        PopupControlDataInvalid(103, kNoProxy);
        return false;
    }
    std::string auth = GetRadioCheck(202) ? GetTextAndTrim(106) : "";
    if (GetRadioCheck(202) && auth.empty()) {
        PopupControlDataInvalid(106, kNoAuthId);
        return false;
    }
    std::string abort = GetTextAndTrim(109);
    int status = 200;
    if (!abort.empty() && !VWReadCount(abort, status)) {
        PopupControlDataInvalid(109, "Please enter a SIP status code.");
        return false;
    }
    line.SetOutboundProxy(proxy.c_str());
    line.SetAuthUserID(auth.c_str());
    line.SetPrependCID(GetTextAndTrim(107).c_str());
    line.SetChainLine(NoneIsEmpty(GetTextAndTrim(108)).c_str());
    line.SetChainAbortResponse(status);
    line.SetDisablePolling(GetCheck(110));
    line.SetProhibitOddRtp(GetCheck(111));
    line.SetAlwaysRelay(GetCheck(112));
    line.SetRelayNotNeeded(GetCheck(113));
    VWNotifyLinesChanged(form);
    return true;
}
