#include "web/web_access_page.h"

#include "platform/log.h"
#include "web/logon_throttle.h"
#include "web/password_hash.h"
#include "web/web_dialog.h"
#include "web/web_frame.h"
#include "web/web_settings.h"
#include "web/weblet_form.h"

#include <string>

namespace
{
constexpr int kUser = 101;
constexpr int kCurrent = 102;
constexpr int kNew = 103;
constexpr int kRepeat = 104;
constexpr int kIdle = 105;
constexpr size_t kMinLength = 8;
constexpr int kMaxIdleMinutes = 7 * 24 * 60;

class VLWebAccessPage : public LWebDialog
{
  public:
    explicit VLWebAccessPage(LWebletForm &form) : LWebDialog(form)
    {
        SetCaption("Control Panel Password");
        SetOkButtonText("Save Changes");
        SetNavLinksText(VWTopNavLinks());
    }

    void InitDialog() override
    {
        SetText(kUser, WebSettingGetString("WebAccess", "UserName", "Admin").c_str());
        SetInt(kIdle, WebSettingGetInt("WebAccess", "IdleMinutes", 30));
    }

    void Generate() override
    {
        AddInput(kUser, "User Name:", 24);
        if (HasPassword())
            AddInputPassword(kCurrent, "Current Password:", 24);
        AddInputPassword(kNew, "New Password (empty: unchanged):", 24);
        AddInputPassword(kRepeat, "Repeat New Password:", 24);
        AddInput(kIdle, "Log off after idle minutes (0: never):", 5);
    }

    bool CmOk() override
    {
        std::string user = GetTextAndTrim(kUser);
        if (user.empty()) {
            PopupControlDataInvalid(kUser, "Please enter your user name.");
            return false;
        }
        if (HasPassword() && !CurrentPasswordRight())
            return false;
        std::string password = GetTextAndTrim(kNew);
        if (password != GetTextAndTrim(kRepeat)) {
            PopupControlDataInvalid(kRepeat,
                                    "The two new passwords differ. Please type them again.");
            return false;
        }
        if (!password.empty() && password.size() < kMinLength) {
            PopupControlDataInvalid(kNew, "The password must have at least 8 characters.");
            return false;
        }
        int idle = GetInt(kIdle, -1);
        if (idle < 0 || idle > kMaxIdleMinutes) {
            PopupControlDataInvalid(kIdle,
                                    "The idle time must be a number of minutes up to 10080.");
            return false;
        }
        std::string hash = password.empty() ? std::string() : WebHashPassword(password.c_str());
        if (!password.empty() && hash.empty()) {
            PopupBoxError("The password could not be stored. Please try again.");
            return false;
        }
        if (!hash.empty())
            WebSettingSetString("WebAccess", "Password", hash.c_str());
        WebSettingSetString("WebAccess", "UserName", user.c_str());
        WebSettingSetInt("WebAccess", "IdleMinutes", idle);
        LOGINFO(hash.empty() ? "Web access settings changed." : "Web access password changed.");
        return true;
    }

  private:
    static bool HasPassword() { return !WebSettingGetString("WebAccess", "Password", "").empty(); }

    // Guessing through this page is slowed like guessing at the log-on.
    bool CurrentPasswordRight()
    {
        std::string stored = WebSettingGetString("WebAccess", "Password", "");
        std::string user = form.session.GetParm("user", "");
        LWebLogonThrottle *throttle = form.GetLogonThrottle();
        if (throttle &&
            !WebLogonSleep(throttle->Admit(form.GetClientAddress(), user), form.GetStop()))
            return false;
        if (WebCheckPassword(stored.c_str(), GetTextAndTrim(kCurrent).c_str()))
            return true;
        if (throttle)
            throttle->Failed(form.GetClientAddress(), user);
        PopupControlDataInvalid(kCurrent, "The current password is not right.");
        return false;
    }
};
} // namespace

void VWWebAccess(LWebletForm &form)
{
    VLWebAccessPage page(form);
    if (!*form.GetParm("onok"))
        page.SetOkPage("main");
    page.Run();
}
