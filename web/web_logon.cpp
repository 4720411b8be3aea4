#include "web/web_logon.h"

#include "web/web_frame.h"
#include "web/web_settings.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

namespace
{
constexpr int kUserControl = 101;
constexpr int kPasswordControl = 102;
constexpr int kRememberControl = 103;
} // namespace

LWebLogon::LWebLogon(LWebletForm &form) : LWebDialog(form)
{
    SetNoCancel();
    SetCaption("Log On");
}

void LWebLogon::Generate()
{
    if (!HasPassword())
        AddStaticRawHtml("<div class=notice>No password is set: log-on is accepted only from "
                         "this computer. A password must be set for access from other "
                         "machines.</div>");
    AddInput(kUserControl, "User Name:", 24);
    AddInputPassword(kPasswordControl, "Password:", 24);
    AddHyperLinkSpanRightSmall("help/lostpassword.html", "Forgot your password?");
    AddCheckBox(kRememberControl, "Remember me on this computer");
}

bool LWebLogon::CmOk()
{
    std::string user = GetTextAndTrim(kUserControl);
    if (user.empty()) {
        PopupControlDataInvalid(kUserControl, "Please enter your user name.");
        return false;
    }
    // Without a password anyone who can reach the port could log on, so an
    // empty password only admits this machine's own clients.
    if (!HasPassword() && !form.IsClientLoopback()) {
        PopupControlDataInvalid(kUserControl, "A password must be set for access from other "
                                              "machines. Log on from this computer first.");
        return false;
    }
    std::string password = GetTextAndTrim(kPasswordControl);
    if (!Validate(user.c_str(), password.c_str())) {
        PopupControlDataInvalid(kUserControl,
                                "Login failed. Please check you have the right password. ");
        return false;
    }
    remember = GetCheck(kRememberControl);
    if (!form.CreateNewSession(remember)) {
        PopupBoxError("The session could not be stored. Please try again.");
        return false;
    }
    form.session.SetParm("user", user.c_str());
    return true;
}

void LWebLogon::RunLogon()
{
    std::string button = PressedButton();
    if (button.empty()) {
        InitDialog();
        PrintDialog();
        return;
    }
    if (button == ok_text && CmOk()) {
        form.SetSessionCookieAndRedirect("main", remember);
        return;
    }
    PrintDialog();
}

bool VLLogonPage::Validate(const char *user, const char *password)
{
    std::string want_user = WebSettingGetString("WebAccess", "UserName", "Admin");
    std::string want_password = WebSettingGetString("WebAccess", "Password", "");
    return WebEqualNoCase(user, want_user.c_str()) && want_password == password;
}

bool VLLogonPage::HasPassword()
{
    return !WebSettingGetString("WebAccess", "Password", "").empty();
}

void VWLogon(LWebletForm &form)
{
    VLLogonPage page(form);
    page.RunLogon();
}

void VWLogoff(LWebletForm &form)
{
    WLStandardHeader(form, "");
    wfputs(form, "<center>You have successfully logged out. Thank you for using Vela.<p>Click "
                 "<a href=\"logon\">here</a> to log on again.</center>");
    WLStandardFooter(form);
    form.DeleteSession();
}
