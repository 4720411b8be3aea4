// Drawing of a dialog: frame, error text, controls, buttons and the hidden
// fields that carry the return targets across a redisplay.
#include "web/web_dialog.h"

#include "web/web_frame.h"
#include "web/weblet_form.h"
#include "web/weblet_guard.h"
#include "web/weblet_redirect.h"

void LWebDialog::WriteButtons()
{
    wfputs(form, "<tr><td align=right class=buttons>");
    for (const LSpecialSubmit &special : special_submits)
        wfprintf(form, "<input type=submit name=submit value=\"%H\"> ", special.text.c_str());
    wfprintf(form, "<input type=submit name=submit value=\"%H\">", ok_text.c_str());
    wfprintf(form, "<input type=hidden name=submitdef value=\"%H\">", ok_text.c_str());
    if (has_cancel)
        wfprintf(form, " <input type=submit name=submit value=\"%H\">", cancel_text.c_str());
    wfputs(form, "</td></tr>\r\n");
}

void LWebDialog::PrintDialog()
{
    WLStandardHeaderCenter(form, nav_links.c_str());
    wfputs(form, "<br>");
    EnableControls();
    if (!error_text.empty())
        wfprintf(form, "<center><font color=#a00000><b>%H</b></font></center><br>",
                 error_text.c_str());
    std::string width_text = width > 0 ? std::to_string(width) + "%" : "auto";
    wfprintf(form,
             "<table border=0 width=100%%><tr valign=top><td align=center><form action=\"%H\" "
             "method=post><table cellpadding=10 cellspacing=0 style=\"border: #bbbbbb 1px solid; "
             "width: %s\">",
             form.GetRequestScript(), width_text.c_str());
    wfputs(form, WebletCsrfHiddenField(form).c_str());
    if (!caption.empty())
        wfprintf(form,
                 "<tr><td style=\"padding:3px 6px 3px 6px; background-color:#e5ecf9; "
                 "border:1px solid #cccccc;\"><b>%H</b></td></tr>",
                 caption.c_str());
    wfputs(form, "<tr><td><table border=0 style=\"width: 100%\"><tr><td colspan=5></td></tr>");
    Generate();
    if (!validate_script.empty())
        wfprintf(form,
                 "\r\n<script type=\"text/javascript\"><!--\r\nfunction validate() {%s\r\n}\r\n"
                 "onload=validate\r\n//-->\r\n</script>",
                 validate_script.c_str());
    WriteScript();
    wfputs(form, "</table></td></tr>");
    WriteButtons();
    // The return targets are written encoded: they are client data.
    std::string referrer = WebletReferrerScript(form);
    const char *onok = form.GetParm("onok");
    const char *oncancel = form.GetParm("oncancel");
    wfprintf(form, "<input type=hidden name=onok value=\"%H\">", *onok ? onok : referrer.c_str());
    wfprintf(form, "<input type=hidden name=oncancel value=\"%H\">",
             *oncancel ? oncancel : referrer.c_str());
    wfputs(form, "</table></form></td>");
    if (info_pane_width > 0) {
        wfprintf(form, "<td valign=top width=%d%%>", info_pane_width);
        GenerateInfoPane();
        wfputs(form, "</td>");
    }
    wfputs(form, "</tr></table>");
    WLStandardFooter(form);
}
