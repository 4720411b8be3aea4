// The controls of a dialog. Each is one table row that starts with StartRow;
// the row of the control that failed validation carries its message.
#include "web/html_list.h"
#include "web/web_dialog.h"
#include "web/weblet_form.h"

#include <cstring>

namespace
{
constexpr int kColumns = 5;
constexpr const char *kInputStyle = "font-family: Arial,sans-serif; font-size: 10pt;";
} // namespace

void LWebDialog::StartRow(int id, int extra)
{
    bool invalid = id != kNoControl && id == invalid_control;
    if (invalid)
        wfprintf(form, "<tr><td colspan=%d><font color=#a00000>%H</font></td></tr>", kColumns + 1,
                 invalid_message.c_str());
    wfprintf(form, "<tr%s>", invalid ? " bgcolor=#ffe0e0" : "");
    for (int i = 0; i < indent; i++)
        wfputs(form, "<td>&nbsp;</td>");
    wfprintf(form, "<td colspan=%d>", kColumns + extra - indent);
}

void LWebDialog::EndRow()
{
    wfputs(form, "</td></tr>\r\n");
}

void LWebDialog::AddTextInput(int id, const char *label, int size, const char *type, bool read_only)
{
    StartRow(id, -1);
    wfprintf(form,
             "%H</td><td><input name=%d id=%d type=%s value=\"%H\" size=%d style=\"%s\" "
             "title=\"%H\"%s>",
             label, id, id, type,
             // A password never travels back into a page, typed or stored.
             strcmp(type, "password") == 0 ? "" : GetControlValue(id), size, kInputStyle,
             GetToolTipText(id), read_only ? " readonly" : "");
    EndRow();
}

void LWebDialog::AddInput(int id, const char *label, int size)
{
    AddTextInput(id, label, size, "text", false);
}
void LWebDialog::AddInputPassword(int id, const char *label, int size)
{
    AddTextInput(id, label, size, "password", false);
}
void LWebDialog::AddInputReadOnly(int id, const char *label, int size)
{
    AddTextInput(id, label, size, "text", true);
}

void LWebDialog::AddTextArea(int id, const char *label, int cols, int rows, bool read_only)
{
    StartRow(id, -1);
    wfprintf(form, "%H</td><td><textarea name=%d id=%d cols=%d rows=%d title=\"%H\"%s>", label, id,
             id, cols, rows, GetToolTipText(id), read_only ? " readonly" : "");
    // Inside a text area line breaks must stay line breaks.
    std::string value = GetControlValue(id);
    std::string escaped;
    for (char c : value) {
        if (c == '<')
            escaped += "&lt;";
        else if (c == '&')
            escaped += "&amp;";
        else
            escaped += c;
    }
    wfputs(form, escaped.c_str());
    wfputs(form, "</textarea>");
    EndRow();
}

void LWebDialog::AddEdit(int id, const char *label, int cols, int rows)
{
    AddTextArea(id, label, cols, rows, false);
}
void LWebDialog::AddEditReadOnly(int id, const char *label, int cols, int rows)
{
    AddTextArea(id, label, cols, rows, true);
}

void LWebDialog::AddCheckBox(int id, const char *label, bool onclick_validate, bool disabled)
{
    StartRow(id);
    wfprintf(form, "<input type=checkbox title=\"%H\" name=%d id=%d%s%s%s>%H</input></td><td>",
             GetToolTipText(id), id, id, GetCheck(id) ? " checked" : "",
             onclick_validate ? " onclick=validate()" : "", disabled ? " disabled" : "", label);
    EndRow();
}

void LWebDialog::AddRadioButton(int id, const char *label, bool onclick_validate, bool disabled)
{
    StartRow(id);
    wfprintf(form, "<input type=radio title=\"%H\" name=rbg%d id=%d value=%d%s%s%s>%H</input>",
             GetToolTipText(id), id / 100, id, id, GetRadioCheck(id) ? " checked" : "",
             onclick_validate ? " onclick=validate()" : "", disabled ? " disabled" : "", label);
    EndRow();
}

void LWebDialog::AddRadioButtonWithInput(int id, const char *label, int input_id, int size)
{
    // The input has no row of its own: its message goes above this one.
    StartRow(input_id == invalid_control ? input_id : id, -1);
    wfprintf(form, "<input type=radio name=rbg%d id=%d value=%d%s onclick=validate()>%H</td><td>",
             id / 100, id, id, GetRadioCheck(id) ? " checked" : "", label);
    wfprintf(form, "<input name=%d id=%d type=text value=\"%H\" size=%d style=\"%s\">", input_id,
             input_id, GetControlValue(input_id), size, kInputStyle);
    EndRow();
}

void LWebDialog::StartPullDownList(int id, const char *label, int width_px, bool disabled)
{
    pull_down_id = id;
    std::string width_text = width_px > 0 ? std::to_string(width_px) + "px" : "auto";
    StartRow(id, -1);
    wfprintf(form, "%H</td><td><select name=%d id=%d title=\"%H\" style=\"width: %s\" %s>", label,
             id, id, GetToolTipText(id), width_text.c_str(), disabled ? "disabled" : "");
}

void LWebDialog::AddPullDownListItem(const char *text)
{
    bool selected = std::string(GetControlValue(pull_down_id)) == text;
    wfprintf(form, "<option value=\"%H\"%s>%H</option>", text, selected ? " selected" : "", text);
}

void LWebDialog::EndPullDownList()
{
    wfputs(form, "</select>");
    EndRow();
}

void LWebDialog::AddPullDownList(int id, const char *label, const char *const *items)
{
    StartPullDownList(id, label);
    for (const char *const *item = items; item && *item; item++)
        AddPullDownListItem(*item);
    EndPullDownList();
}

void LWebDialog::AddButton(const char *name, const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "<input type=submit name=\"%H\" value=\"%H\">", name, text);
    EndRow();
}

void LWebDialog::AddHyperLink(const char *link, const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "<a href=\"%H\">%H</a>", link, text);
    EndRow();
}

void LWebDialog::AddHyperLinkSpanRight(const char *link, const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "<div align=right><a href=\"%H\">%H</a></div>", link, text);
    EndRow();
}

void LWebDialog::AddHyperLinkSpanRightSmall(const char *link, const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "<div align=right><small><a href=\"%H\">%H</a></small></div>", link, text);
    EndRow();
}

void LWebDialog::AddStatic(const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "%H", text);
    EndRow();
}

void LWebDialog::AddStaticRawHtml(const char *html)
{
    StartRow(kNoControl);
    wfputs(form, html);
    EndRow();
}

void LWebDialog::AddStaticSpanRightSmall(const char *text)
{
    StartRow(kNoControl);
    wfprintf(form, "<div align=right><small>%H</small></div>", text);
    EndRow();
}

void LWebDialog::AddHiddenField(const char *name, const char *value)
{
    wfprintf(form, "<input type=hidden name=\"%H\" value=\"%H\">", name, value);
}

void LWebDialog::AddDivHidden(const char *id, const char *html)
{
    StartRow(kNoControl);
    wfprintf(form, "<div id=\"%H\" style=\"display: none\">%s</div>", id, html);
    EndRow();
}

void LWebDialog::AddVerticalSpace()
{
    StartRow(kNoControl);
    wfputs(form, "&nbsp;");
    EndRow();
}

void LWebDialog::AddDateInput(int id, const char *label)
{
    AddTextInput(id, label, 10, "date", false);
}
void LWebDialog::AddTimeInput(int id, const char *label)
{
    AddTextInput(id, label, 8, "time", false);
}

void LWebDialog::AddTable(LHtmlList &list, int width_percent)
{
    StartRow(kNoControl);
    list.Write(form, width_percent);
    EndRow();
}

void LWebDialog::StartGroupBox(const char *title)
{
    StartRow(kNoControl);
    wfprintf(form, "<fieldset><legend>%H</legend><table border=0 style=\"width: 100%%\">", title);
}

void LWebDialog::EndGroupBox()
{
    wfputs(form, "</table></fieldset>");
    EndRow();
}

void LWebDialog::AddTools(const Tool *items, int count)
{
    StartRow(kNoControl);
    for (int i = 0; i < count; i++) {
        if (items[i].image)
            wfprintf(form, "<img src=\"%H\" alt=\"\"> ", items[i].image);
        wfprintf(form, "<a href=\"%H\">%H</a><br>", items[i].link, items[i].title);
    }
    EndRow();
}
