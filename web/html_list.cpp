#include "web/html_list.h"

#include "web/web_format.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <strings.h>

void LHtmlListRow::AddRaw(const std::string &html, const std::string &order)
{
    cells.push_back({html, order});
}

void LHtmlListRow::AddCellWithOrder(const char *text, const char *order_text)
{
    std::string html;
    WebHtmlEncode(html, text);
    AddRaw(html, order_text ? order_text : (text ? text : ""));
}

void LHtmlListRow::AddCellInt(int value)
{
    // Zero-padded order text so numbers sort as numbers.
    AddRaw(std::to_string(value), WebFormat("%011d", value));
}

void LHtmlListRow::AddCellIntLink(int value, const char *link)
{
    AddRaw(WebFormat("<a href=\"%H\">%d</a>", link, value), WebFormat("%011d", value));
}

void LHtmlListRow::AddCellImageLink(const char *image, const char *link, const char *alt)
{
    AddRaw(WebFormat("<a href=\"%H\"><img src=\"%H\" alt=\"%H\" title=\"%H\" border=0></a>", link,
                     image, alt, alt),
           "");
}

void LHtmlListRow::AddCellPrintF(const char *format, ...)
{
    std::string out;
    va_list args;
    va_start(args, format);
    WebFormatV(out, format, args);
    va_end(args);
    AddRaw(out, out);
}

void LHtmlListRow::AddCellPrintFWithOrder(const char *order_text, const char *format, ...)
{
    std::string out;
    va_list args;
    va_start(args, format);
    WebFormatV(out, format, args);
    va_end(args);
    AddRaw(out, order_text ? order_text : out);
}

LHtmlList::LHtmlList(LWebletForm &form, const char *base_url, int default_column)
    : base_url(base_url), sort_column(form.form_data.GetInt("iCol", default_column)),
      ascending(form.form_data.GetInt("bAsc", 1) != 0)
{
}

void LHtmlList::AddColumn(const char *title, int width_percent, int align, bool sortable)
{
    columns.push_back({title, width_percent, align, sortable});
}

void LHtmlList::AddColumnRawHTML(const char *html, int width_percent)
{
    columns.push_back({html, width_percent, AlignRawHeader, false});
}

bool LHtmlList::Before(const LHtmlListRow &a, const LHtmlListRow &b) const
{
    size_t c = (size_t)sort_column;
    const char *x = c < a.Cells().size() ? a.Cells()[c].order.c_str() : "";
    const char *y = c < b.Cells().size() ? b.Cells()[c].order.c_str() : "";
    int order = strcasecmp(x, y);
    return ascending ? order < 0 : order > 0;
}

void LHtmlList::AddRow(LHtmlListRow row)
{
    // Insert after equal rows so equal keys keep their insertion order.
    auto it = rows.begin();
    while (it != rows.end() && !Before(row, *it))
        ++it;
    rows.insert(it, std::move(row));
}

std::string LHtmlList::SortLink(size_t index) const
{
    bool reverse = (int)index == sort_column && ascending;
    const char *joint = base_url.find('?') == std::string::npos ? "?" : "&";
    return WebFormat("%s%siCol=%d&bAsc=%d", base_url.c_str(), joint, (int)index, reverse ? 0 : 1);
}

void LHtmlList::WriteHeader(LWebletForm &form, size_t index)
{
    const Column &c = columns[index];
    if (c.align == AlignRawHeader) {
        wfprintf(form, "<td width=%d%%>%s</td>", c.width, c.title.c_str());
        return;
    }
    const char *align = c.align == AlignLeft ? "left" : c.align == AlignRight ? "right" : "center";
    if (c.sortable)
        wfprintf(form, "<td width=%d%% align=%s><a class=sort href=\"%H\"><b>%H</b></a></td>",
                 c.width, align, SortLink(index).c_str(), c.title.c_str());
    else
        wfprintf(form, "<td width=%d%% align=%s><b>%H</b></td>", c.width, align, c.title.c_str());
}

void LHtmlList::Write(LWebletForm &form, int width_percent)
{
    wfprintf(form,
             "<table align=center width=%d%% cellpadding=2 cellspacing=0 class=tblList>"
             "<tr style=\"height: 25px\" class=trList>",
             width_percent);
    for (size_t i = 0; i < columns.size(); i++)
        WriteHeader(form, i);
    wfputs(form, "</tr>\r\n");
    if (rows.empty())
        wfprintf(form, "<tr><td colspan=%d align=center>There are no items in this list</td></tr>",
                 (int)columns.size());
    for (size_t r = 0; r < rows.size(); r++) {
        wfprintf(form, "<tr bgcolor=%s>", r % 2 == 0 ? "#f5fafa" : "#ffffff");
        for (const LHtmlListRow::Cell &cell : rows[r].Cells())
            wfprintf(form, "<td>%s</td>", cell.html.c_str());
        wfputs(form, "</tr>\r\n");
    }
    wfputs(form, "</table>");
}
