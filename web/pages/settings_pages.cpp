// The main page, the recorder settings and the emergency number mapping,
// and the table of every page script.
#include "config/settingssections.h"
#include "web/pages/control_pages.h"
#include "web/pages/page_common.h"
#include "web/web_dialog.h"
#include "web/web_frame.h"
#include "web/weblet_form.h"

#include <cctype>

namespace
{
// Host names and addresses: letters, digits, ".", "-" and one ":port".
bool IsHostText(const std::string &text)
{
    for (char c : text)
        if (!isalnum((unsigned char)c) && c != '.' && c != '-' && c != ':')
            return false;
    return true;
}

class VLRecorderSettingsPage : public LWebDialog
{
  public:
    explicit VLRecorderSettingsPage(LWebletForm &form) : LWebDialog(form)
    {
        SetCaption("Call Recorder");
        SetNavLinksText(VWTopNavLinks());
    }
    void InitDialog() override
    {
        char text[LPathSize];
        SetText(101, LSettingGetString("Recorder", "TallyHost", "", text));
        SetText(102, LSettingGetString("Recorder", "TallyAccessCode", "", text));
    }
    void Generate() override
    {
        AddInput(101, "Recorder host:", 30);
        AddInput(102, "Access code:", 30);
    }
    bool CmOk() override
    {
        std::string host = GetTextAndTrim(101), code = GetTextAndTrim(102);
        if (!IsHostText(host)) {
            PopupControlDataInvalid(
                101, "The specified Tally host name is not valid. Please try again.");
            return false;
        }
        for (char c : code)
            if (!isalnum((unsigned char)c)) {
                PopupControlDataInvalid(
                    102, "The specified Tally access code is not valid. Please try again.");
                return false;
            }
        LSettingSetString("Recorder", "TallyHost", host.c_str());
        LSettingSetString("Recorder", "TallyAccessCode", code.c_str());
        return true;
    }
};

class VLEmergencyMappingPage : public LWebDialog
{
  public:
    explicit VLEmergencyMappingPage(LWebletForm &form) : LWebDialog(form)
    {
        SetCaption("Emergency Number Mapping");
        SetOkButtonText("Save Changes");
        SetNavLinksText(VWTopNavLinks());
    }
    void InitDialog() override
    {
        char text[LPathSize];
        SetCheck(101, LSettingGetBool("Emergency", "Enabled", false));
        SetText(102, LSettingGetString("Emergency", "Number", "", text));
        SetText(103, LSettingGetString("Emergency", "Dial", "", text));
        SetText(104, LSettingGetString("Emergency", "Line", "", text));
    }
    void Generate() override
    {
        AddCheckBox(101, "Enable global emergency dial number");
        AddInput(102, "Emergency Number", 20);
        AddInput(103, "Dial Number", 20);
        StartPullDownList(104, "Dial on Line");
        for (const std::string &line : VWPlanLineChoices())
            AddPullDownListItem(line.c_str());
        EndPullDownList();
    }
    bool CmOk() override
    {
        LSettingSetBool("Emergency", "Enabled", GetCheck(101));
        LSettingSetString("Emergency", "Number", GetTextAndTrim(102).c_str());
        LSettingSetString("Emergency", "Dial", GetTextAndTrim(103).c_str());
        LSettingSetString("Emergency", "Line", GetTextAndTrim(104).c_str());
        return true;
    }
};

class VLMainPage : public LWebPageMain
{
  public:
    explicit VLMainPage(LWebletForm &form) : LWebPageMain(form)
    {
        static const Task tasks[] = {
            {"extensionlist", "Extensions",
             "The phones and softphones that register with the exchange, each with its number "
             "and password.",
             "arrow_blue.gif", nullptr, nullptr},
            {"externallist", "External Lines",
             "Accounts at SIP providers and gateways that carry calls to and from outside.",
             "arrow_purple.gif", nullptr, nullptr},
            {"planlist", "Dialing Plans",
             "Which line a dialled number goes out on, by its first digits or SIP host.",
             "arrow_pink.gif", nullptr, nullptr},
            {"grouplist", "Groups or Queues",
             "Numbers that ring several extensions in stages and queue callers.", "arrow_green.gif",
             nullptr, nullptr}};
        static const Link common[] = {{"extensionprop", "Add Extension"},
                                      {"externalprop", "Add External Line"},
                                      {"groupprop", "Add Group or Queue"},
                                      {"loglist", "View Logs"},
                                      {"webaccess", "Control Panel Password"}};
        SetImage("orbs.gif");
        SetMainTasks(tasks, 4);
        SetCommonTasks(common, 5);
        SetNavLinksText("<a href=\"logoff\">Log Off</a>&nbsp;|&nbsp;<a href=\"help/index.html\" "
                        "target=\"_blank\">Help</a>");
    }
};
} // namespace

void VWMain(LWebletForm &form)
{
    VLMainPage page(form);
    page.Open();
}

void VWRecorderSettings(LWebletForm &form)
{
    VLRecorderSettingsPage page(form);
    page.Run();
}

void VWEmergencyMapping(LWebletForm &form)
{
    VLEmergencyMappingPage page(form);
    page.Run();
}

const LWebletScriptItem kControlPageScripts[] = {
    {"main", VWMain},
    {"extensionlist", VWExtensionList},
    {"extensionprop", VWExtensionProp},
    {"extensioninstruction", VWExtensionInstruction},
    {"extensiondelete", VWExtensionDelete},
    {"externallist", VWExternalList},
    {"externalprop", VWExternalProp},
    {"externaladvancedsettings", VWExternalAdvancedSettings},
    {"externaldelete", VWExternalDelete},
    {"planlist", VWPlanList},
    {"planadd", VWPlanAdd},
    {"planprop", VWPlanProp},
    {"plandelete", VWPlanDelete},
    {"dialruleprop", VWDialRuleProp},
    {"dialruledelete", VWDialRuleDelete},
    {"sipruleprop", VWSipRuleProp},
    {"sipruledelete", VWSipRuleDelete},
    {"grouplist", VWGroupList},
    {"groupadd", VWGroupAdd},
    {"groupprop", VWGroupProp},
    {"groupdelete", VWGroupDelete},
    {"groupextensionprop", VWGroupExtensionProp},
    {"groupextensiondelete", VWGroupExtensionDelete},
    {"recordersettings", VWRecorderSettings},
    {"emergencymapping", VWEmergencyMapping},
};
const int kControlPageScriptCount =
    (int)(sizeof kControlPageScripts / sizeof kControlPageScripts[0]);
