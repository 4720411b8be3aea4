#include "web/web_logon.h"

#include "platform/log.h"
#include "web/logon_throttle.h"
#include "web/password_hash.h"
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
    LWebLogonThrottle *throttle = form.GetLogonThrottle();
    if (throttle && !WebLogonSleep(throttle->Admit(form.GetClientAddress(), user), form.GetStop()))
        return false;
    if (!Validate(user.c_str(), password.c_str())) {
        if (throttle)
            throttle->Failed(form.GetClientAddress(), user);
        PopupControlDataInvalid(kUserControl,
                                "Login failed. Please check you have the right password. ");
        return false;
    }
    if (throttle)
        throttle->Succeeded(form.GetClientAddress(), user);
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
    std::string stored = WebSettingGetString("WebAccess", "Password", "");
    if (!WebEqualNoCase(user, want_user.c_str()) || !WebCheckPassword(stored.c_str(), password))
        return false;
    // An older install keeps the password in clear text: replace it with
    // its hash now that the right one is known.
    if (!stored.empty() && !WebIsPasswordHash(stored.c_str())) {
        std::string hash = WebHashPassword(password);
        if (hash.empty() || !WebSettingSetString("WebAccess", "Password", hash.c_str()))
            LOGERROR("Web log-on: the clear-text password could not be replaced by its hash.");
    }
    return true;
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
