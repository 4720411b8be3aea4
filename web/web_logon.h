// Log-on and log-off of the control panel's single account.
#pragma once

#include "web/web_dialog.h"

class LWebLogon : public LWebDialog
{
  public:
    explicit LWebLogon(LWebletForm &form);

    bool Authenticate() override { return true; }
    virtual bool Validate(const char *user, const char *password) = 0;
    // Shows the form or, on OK, logs on and sets the session cookie.
    void RunLogon();

    void Generate() override;
    bool CmOk() override;

  protected:
    // Whether the account has a password; without one only this machine
    // may log on.
    virtual bool HasPassword() = 0;

  private:
    bool remember = false;
};

// Checks against "WebAccess" / "UserName" (any case) and "Password".
class VLLogonPage : public LWebLogon
{
  public:
    using LWebLogon::LWebLogon;
    bool Validate(const char *user, const char *password) override;

  protected:
    bool HasPassword() override;
};

void VWLogon(LWebletForm &form);
void VWLogoff(LWebletForm &form);
