#include "web/pages/log_pages.h"

#include "config/folders.h"
#include "config/pbx_global_settings.h"
#include "logs/sip_trace.h"
#include "web/html_input_form.h"
#include "web/web_dialog.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <cerrno>
#include <cstdlib>

namespace
{
class VLAutoDeleteLogPage : public LWebDialog
{
  public:
    using LWebDialog::LWebDialog;

    void InitDialog() override { SetInt(101, LPBXSettings::LogsAutoDeleteDaysShown.Get()); }
    void Generate() override { AddInput(101, "Delete logs after (days):", 5); }
    bool CmOk() override
    {
        // Only a whole number: "abc" read as 0 would silently switch the
        // clean-up off.
        std::string text = GetTextAndTrim(101);
        char *end = nullptr;
        errno = 0;
        long days = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || errno || days < -100000 || days > 100000) {
            PopupControlDataInvalid(101,
                                    "The specified number of days is not valid. Please try again.");
            return false;
        }
        LPBXSettings::LogsAutoDeleteDays.Set(static_cast<int>(days));
        return true;
    }
};

bool IsCancel(LWebletForm &form)
{
    return WebEqualNoCase(form.GetParm("submit"), "Cancel");
}

// A check box counts as ticked for "true" (any case) or a non-zero number.
bool IsTicked(const char *value)
{
    return WebEqualNoCase(value, "true") || std::atoi(value) != 0;
}

void WriteSipTraceForm(LWebletForm &form)
{
    WLStandardHeader(form, VWTopNavLinks());
    const LHTMLInputForm::Input inputs[] = {
        {"logall", "Log all sip messages", "", LSipTraceIsOn() ? "1" : "",
         LHTMLInputForm::CheckBox},
        {"logrtp", "Log all RTP (audio) packets", "", LSipTraceIsRtpOn() ? "1" : "",
         LHTMLInputForm::CheckBox},
        {"save", "", "", "1", LHTMLInputForm::Hidden},
        {nullptr, nullptr, nullptr, nullptr, LHTMLInputForm::End},
    };
    LHTMLInputForm writer(form, "Advanced Sip Tracing", "siptrace", "Save Changes", true);
    writer.WriteHeader(form, true);
    writer.WriteBody(form, inputs);
    writer.WriteFooter(form, "", "");
    WLStandardFooter(form);
}

const char kOdbcScript[] =
    "function enablecontrols() {\r\n"
    "  var off = !document.getElementsByName('odbclog')[0].checked;\r\n"
    "  var names = ['odbcdb', 'odbcuser', 'odbcpassword', 'odbcsql'];\r\n"
    "  for (var i = 0; i < names.length; i++)\r\n"
    "    document.getElementsByName(names[i])[0].disabled = off;\r\n"
    "}\r\n"
    "window.onload = function() {\r\n"
    "  document.getElementsByName('odbclog')[0].onclick = enablecontrols;\r\n"
    "  enablecontrols();\r\n"
    "};\r\n";

struct OdbcFields {
    std::string enabled, dsn, user, password, sql;
};

void WriteOdbcForm(LWebletForm &form, const OdbcFields &f, const char *error)
{
    WLStandardHeaderWithJsScript(form, VWTopNavLinks(), kOdbcScript);
    if (*error)
        wfprintf(form, "<center><font color=#a00000><b>%H</b></font></center><br>", error);
    const LHTMLInputForm::Input inputs[] = {
        {"odbclog", "Log every call in a ODBC SQL Database", "", f.enabled.c_str(),
         LHTMLInputForm::CheckBox},
        {"odbcdb", "ODBC DSN:", "", f.dsn.c_str(), LHTMLInputForm::Text},
        {"odbcuser", "User Name:", "", f.user.c_str(), LHTMLInputForm::Text},
        {"odbcpassword", "Password:", "", f.password.c_str(), LHTMLInputForm::Password},
        {"odbcsql", "SQL Command:", "", f.sql.c_str(), LHTMLInputForm::Text},
        {"save", "", "", "1", LHTMLInputForm::Hidden},
        {nullptr, nullptr, nullptr, nullptr, LHTMLInputForm::End},
    };
    LHTMLInputForm writer(form, "ODBC Database Log", "odbclog", "  OK  ", true);
    writer.WriteHeader(form, true);
    writer.WriteBody(form, inputs);
    writer.WriteFooter(form, "", "");
    WLStandardFooter(form);
}

OdbcFields StoredOdbcFields()
{
    char text[LPathSize];
    OdbcFields f;
    f.enabled = LPBXSettings::DbLogEnabled.Get() ? "1" : "";
    f.dsn = LPBXSettings::DbLogDsn.Get(text);
    f.user = LPBXSettings::DbLogUserName.Get(text);
    f.password = LPBXSettings::DbLogPassword.Get(text);
    f.sql = LPBXSettings::DbLogSql.Get(text);
    return f;
}
} // namespace

void VWAutoDeleteLog(LWebletForm &form)
{
    VLAutoDeleteLogPage page(form);
    page.Run();
}

void VWSipTrace(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (!*form.GetParm("save")) {
        WriteSipTraceForm(form);
        return;
    }
    if (!IsCancel(form)) {
        LSipTraceSetOn(std::atoi(form.GetParm("logall")) != 0);
        LSipTraceSetRtpOn(std::atoi(form.GetParm("logrtp")) != 0);
    }
    form.Redirect("loglist");
}

void VWOdbcLog(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    if (!*form.GetParm("save")) {
        WriteOdbcForm(form, StoredOdbcFields(), "");
        return;
    }
    if (IsCancel(form)) {
        form.Redirect("loglist");
        return;
    }
    bool on = IsTicked(form.GetParm("odbclog"));
    OdbcFields f{on ? "1" : "", form.GetParmTrim("odbcdb"), form.GetParmTrim("odbcuser"),
                 form.GetParmTrim("odbcpassword"), form.GetParmTrim("odbcsql")};
    // The password field is drawn empty: left empty it keeps the stored one.
    if (f.password.empty())
        f.password = StoredOdbcFields().password;
    if (on && (f.dsn.empty() || f.user.empty() || f.password.empty() || f.sql.empty())) {
        WriteOdbcForm(form, f, "Please fill in all ODBC input fields.");
        return;
    }
    LPBXSettings::DbLogDsn.Set(f.dsn.c_str());
    LPBXSettings::DbLogUserName.Set(f.user.c_str());
    LPBXSettings::DbLogPassword.Set(f.password.c_str());
    LPBXSettings::DbLogSql.Set(f.sql.c_str());
    LPBXSettings::DbLogEnabled.Set(on);
    form.Redirect("loglist");
}

const LWebletScriptItem kLogScripts[] = {
    {"loglist", VWLogList},
    {"logprop", VWLogProp},
    {"logdelete", VWLogDelete},
    {"logdeleteselected", VWLogDeleteSelected},
    {"autodeletelog", VWAutoDeleteLog},
    {"odbclog", VWOdbcLog},
    {"siptrace", VWSipTrace},
};
const int kLogScriptCount = sizeof kLogScripts / sizeof kLogScripts[0];
