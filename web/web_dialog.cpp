#include "web/web_dialog.h"

#include "web/web_format.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"
#include "web/weblet_redirect.h"

#include <cstdlib>
#include <strings.h>

namespace
{
std::string IdText(int id)
{
    return std::to_string(id);
}
std::string RadioGroup(int id)
{
    return "rbg" + std::to_string(id / 100);
}
} // namespace

const char *LWebDialog::GetControlValue(int id) const
{
    return form.form_data.GetParm(IdText(id).c_str(), "");
}

void LWebDialog::GetText(int id, std::string &out) const
{
    out = GetControlValue(id);
    if (out.size() > 259)
        out.resize(259);
}

std::string LWebDialog::GetTextAndTrim(int id) const
{
    std::string text;
    GetText(id, text);
    return WebTrim(text);
}

int LWebDialog::GetInt(int id, int def) const
{
    return form.form_data.GetInt(IdText(id).c_str(), def);
}

bool LWebDialog::GetRadioCheck(int id) const
{
    return form.form_data.GetInt(RadioGroup(id).c_str(), -1) == id;
}

void LWebDialog::SetText(int id, const char *text)
{
    form.form_data.SetParm(IdText(id).c_str(), text);
}

void LWebDialog::SetInt(int id, int value)
{
    form.form_data.SetInt(IdText(id).c_str(), value);
}

void LWebDialog::SetCheck(int id, bool on)
{
    SetText(id, on ? "on" : "");
}

void LWebDialog::SetRadioCheck(int id)
{
    form.form_data.SetInt(RadioGroup(id).c_str(), id);
}

void LWebDialog::SetSpecialButton(const char *text, const char *page)
{
    special_submits.push_back({text, page ? page : ""});
}

void LWebDialog::SetOkPage(const char *page)
{
    form.form_data.SetParm("onok", page);
}

void LWebDialog::SetToolTip(int id, const char *text)
{
    tool_tips.SetParm(IdText(id).c_str(), text);
}

const char *LWebDialog::GetToolTipText(int id) const
{
    return tool_tips.GetParm(IdText(id).c_str(), "");
}

void LWebDialog::PopupControlDataInvalid(int id, const char *message)
{
    invalid_control = id;
    invalid_message = message;
}

void LWebDialog::EnableControlOnCheck(int target, int check)
{
    validate_script += WebFormat("document.getElementById('%d').disabled = "
                                 "!document.getElementById('%d').checked;\r\n",
                                 target, check);
}

void LWebDialog::EnableControlOnRadioCheck(int target, int radio)
{
    validate_script += WebFormat(
        "for (var i = 0; i < 10; i++) { var r = document.getElementsByName('rbg%d')[i]; "
        "if (r && r.value == '%d') document.getElementById('%d').disabled = !r.checked; }\r\n",
        radio / 100, radio, target);
}

// Redirects to the first non-empty target of: first, second, referrer,
// "main". The targets are client data, so they are checked before use.
void LWebDialog::RedirectAfter(const char *first, const char *second)
{
    std::string referrer = WebletReferrerScript(form);
    const char *target = *first ? first : (second && *second) ? second : referrer.c_str();
    form.Redirect(WebletSafeLocation(target).c_str());
}

void LWebDialog::Run()
{
    if (!Authenticate())
        return;
    std::string button = PressedButton();
    if (button.empty()) {
        InitDialog();
        PrintDialog();
        return;
    }
    if (button == ok_text) {
        if (CmOk())
            RedirectAfter(form.GetParm("onok"), nullptr);
        else
            PrintDialog();
        return;
    }
    if (has_cancel && button == cancel_text) {
        RedirectAfter(form.GetParm("oncancel"), form.GetParm("onok"));
        return;
    }
    for (const LSpecialSubmit &special : special_submits) {
        if (strcasecmp(special.text.c_str(), button.c_str()) != 0)
            continue;
        if (!CmOk())
            PrintDialog();
        else if (!special.page.empty())
            form.Redirect(special.page.c_str());
        else
            RedirectAfter("", nullptr);
        return;
    }
    PrintDialog();
}

std::string LWebDialog::PressedButton() const
{
    std::string button = form.GetParm("submit");
    if (button.empty())
        button = form.GetParm("submitdef");
    return button;
}

bool LWebDialog::RunInForm()
{
    std::string button = form.GetParm("submit");
    if (button.empty())
        button = form.GetParm("submitdef");
    if (button.empty()) {
        InitDialog();
        PrintDialog();
        return false;
    }
    if (button == ok_text) {
        if (CmOk())
            return true;
        PrintDialog();
        return false;
    }
    RedirectAfter(form.GetParm("oncancel"), form.GetParm("onok"));
    return false;
}
