#include "web/html_input_form.h"

#include "web/weblet_form.h"
#include "web/weblet_guard.h"

#include <cstring>

namespace
{
const char *Safe(const char *text)
{
    return text ? text : "";
}
} // namespace

void LHTMLInputForm::WriteHeader(LWebletForm &out, bool bordered)
{
    (void)form;
    wfprintf(out,
             "<table align=center cellpadding=6 cellspacing=0 class=inputform%s>"
             "<tr><td class=formtitle><b>%H</b></td></tr><tr><td>"
             "<form action=\"%H\" method=post><table border=0 cellpadding=3>",
             bordered ? " style=\"border: #bbbbbb 1px solid\"" : "", Safe(title), Safe(action));
    wfputs(out, WebletCsrfHiddenField(out).c_str());
}

void LHTMLInputForm::WriteLabelledInput(LWebletForm &out, const Input &input, const char *type,
                                        bool indented)
{
    // A password never travels back into a page: the field shows empty and
    // the script keeps the stored value when it comes back empty.
    const char *value = strcmp(type, "password") == 0 ? "" : Safe(input.value);
    if (indented)
        wfprintf(out,
                 "<tr><td>&nbsp;</td><td>%H<br><input type=%s name=\"%H\" value=\"%H\" "
                 "title=\"%H\" size=30></td></tr>",
                 Safe(input.label), type, Safe(input.name), value, Safe(input.tool_tip));
    else
        wfprintf(out,
                 "<tr><td align=right>%H</td><td><input type=%s name=\"%H\" value=\"%H\" "
                 "title=\"%H\" size=30></td></tr>",
                 Safe(input.label), type, Safe(input.name), value, Safe(input.tool_tip));
}

void LHTMLInputForm::WriteRow(LWebletForm &out, const Input &in)
{
    switch (in.kind) {
    case Password:
        WriteLabelledInput(out, in, "password", false);
        break;
    case CheckBox:
    case Radio:
        wfprintf(out,
                 "<tr><td></td><td><input type=%s name=\"%H\" value=\"%H\" title=\"%H\"%s>%H"
                 "</td></tr>",
                 in.kind == CheckBox ? "checkbox" : "radio", Safe(in.name),
                 in.kind == CheckBox ? "1" : Safe(in.value), Safe(in.tool_tip),
                 (in.kind == CheckBox && *Safe(in.value)) ? " checked" : "", Safe(in.label));
        break;
    case Hidden:
        wfprintf(out, "<input type=hidden name=\"%H\" value=\"%H\">", Safe(in.name),
                 Safe(in.value));
        break;
    case FieldSetStart:
        wfprintf(out, "<tr><td colspan=2><fieldset><legend>%H</legend><table border=0>",
                 Safe(in.label));
        break;
    case FieldSetEnd:
        wfputs(out, "</table></fieldset></td></tr>");
        break;
    case TextIndented:
        WriteLabelledInput(out, in, "text", true);
        break;
    case Submit:
        wfprintf(out, "<tr><td></td><td><input type=submit name=\"%H\" value=\"%H\"></td></tr>",
                 Safe(in.name), Safe(in.label));
        break;
    case Link:
        wfprintf(out, "<tr><td></td><td><a href=\"%H\">%H</a></td></tr>", Safe(in.value),
                 Safe(in.label));
        break;
    case Static:
        wfprintf(out, "<tr><td colspan=2>%H</td></tr>", Safe(in.label));
        break;
    case Rule:
        wfputs(out, "<tr><td colspan=2><hr></td></tr>");
        break;
    case PasswordIndented:
        WriteLabelledInput(out, in, "password", true);
        break;
    default:
        WriteLabelledInput(out, in, "text", false);
    }
}

void LHTMLInputForm::WriteBody(LWebletForm &out, const Input *inputs)
{
    for (const Input *in = inputs; in && in->kind != End; in++)
        WriteRow(out, *in);
}

void LHTMLInputForm::WriteFooter(LWebletForm &out, const char *prefix_html,
                                 const char *extra_attributes)
{
    wfprintf(out,
             "<tr><td colspan=2 align=right class=buttons>%s<input type=submit name=submit "
             "value=\"%H\" %s>",
             Safe(prefix_html), Safe(ok_text), Safe(extra_attributes));
    if (with_cancel)
        wfputs(out, " <input type=submit name=submit value=\"Cancel\">");
    wfputs(out, "</td></tr></table></form></td></tr></table>");
}
