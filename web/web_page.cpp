#include "web/web_page.h"

#include "web/web_frame.h"
#include "web/weblet_form.h"

bool LPlainWebPage::Authenticate()
{
    if (form.IsSessionValid())
        return true;
    form.Redirect("logon");
    return false;
}

void LPlainWebPage::WriteScript()
{
    if (!script.empty())
        wfprintf(form, "\r\n<script type=\"text/javascript\"><!--\r\n%s\r\n//-->\r\n</script>",
                 script.c_str());
}

void LPlainWebPage::Open()
{
    if (!Authenticate())
        return;
    wfputs(form, kWebHtmlHeader);
    wfputs(form, "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Vela</title>"
                 "<link rel=\"stylesheet\" type=\"text/css\" href=\"s.css\"></head><body>");
    Generate();
    WriteScript();
    wfputs(form, "</body></html>");
}

void LWebPage::SetNavLinks(const Link *links)
{
    nav_links.clear();
    for (const Link *l = links; l && l->link; l++) {
        if (!nav_links.empty())
            nav_links += "&nbsp;|&nbsp;";
        nav_links += std::string("<a href=\"") + l->link + "\">" + l->title + "</a>";
    }
}

void LWebPage::WriteBody()
{
    if (info_pane_width <= 0) {
        Generate();
        WriteScript();
        return;
    }
    wfputs(form, "<table width=100% border=0><tr><td valign=top>");
    Generate();
    wfprintf(form, "</td><td width=10></td><td width=%d%% valign=top>", info_pane_width);
    GenerateInfoPane();
    wfputs(form, "</td></tr></table>");
    WriteScript();
}

void LWebPage::Open()
{
    if (!Authenticate())
        return;
    WLStandardHeader(form, nav_links.c_str());
    WriteBody();
    WLStandardFooter(form);
}

void LWebPageWithNavTabs::WriteTabs()
{
    wfputs(form, "<table border=0 cellpadding=0 cellspacing=0 class=tabs><tr>");
    for (const Tab *t = tabs; t && t->title; t++) {
        const char *colour = t->active ? "#123759" : "#E0E0E0";
        const char *corner = t->active ? "blue" : "grey";
        wfprintf(form,
                 "<td bgcolor=%s><img src=\"%scorner-left.gif\" alt=\"\"></td>"
                 "<td bgcolor=%s class=tab><a class=%s href=\"%s\">%H</a></td>"
                 "<td bgcolor=%s><img src=\"%scorner-right.gif\" alt=\"\"></td><td width=2></td>",
                 colour, corner, colour, t->active ? "active" : "inactive", t->link, t->title,
                 colour, corner);
    }
    wfputs(form, "</tr></table><div class=subnavbar>");
    bool first = true;
    for (const SubLink *s = sub_links; s && s->link; s++) {
        wfprintf(form, "%s<a class=subnav href=\"%s\">%H</a>", first ? "" : "&nbsp;|&nbsp;",
                 s->link, s->title);
        first = false;
    }
    wfputs(form, "&nbsp;</div><br>");
}

void LWebPageWithNavTabs::Open()
{
    if (!Authenticate())
        return;
    WLStandardHeader(form, nav_links.c_str());
    const char *user = form.session.GetParm("user", "");
    if (*user)
        wfprintf(form, "<div align=right><font size=-2>Logged on as %H</font></div>", user);
    WriteTabs();
    WriteBody();
    WLStandardFooter(form);
}

void LWebPageMain::SetMainTasks(const Task *t, int count)
{
    tasks = t;
    task_count = count;
}
void LWebPageMain::SetCommonTasks(const Link *links, int count)
{
    common = {links, count};
}
void LWebPageMain::SetRelatedLinks(const Link *links, int count)
{
    related = {links, count};
}
void LWebPageMain::SetHelpLinks(const Link *links, int count)
{
    help = {links, count};
}

void LWebPageMain::WriteTasks()
{
    for (int i = 0; i < task_count; i++) {
        const Task &t = tasks[i];
        wfputs(form, "<p class=task>");
        if (t.icon)
            wfprintf(form, "<img src=\"%s\" alt=\"\"> ", t.icon);
        wfprintf(form, "<b><a href=\"%s\" %s>%H</a></b><br>%s</p>", t.link,
                 t.attributes ? t.attributes : "", t.title, t.description ? t.description : "");
    }
}

void LWebPageMain::WriteLinkSet(const char *title, const LinkSet &set)
{
    if (set.count <= 0)
        return;
    wfprintf(form, "<div class=sidebox><b>%H</b><ul>", title);
    for (int i = 0; i < set.count; i++)
        wfprintf(form, "<li><a href=\"%s\">%H</a></li>", set.links[i].link, set.links[i].title);
    wfputs(form, "</ul></div>");
}

void LWebPageMain::Open()
{
    if (!Authenticate())
        return;
    WLStandardHeader(form, nav_links.c_str());
    wfputs(form, "<table width=100% border=0 cellpadding=6><tr>");
    if (image)
        wfprintf(form, "<td width=169 valign=top><img src=\"%s\" width=169 alt=\"\"></td>", image);
    wfprintf(form, "<td width=%d%% valign=top>", image ? 40 : 60);
    WriteTasks();
    wfputs(form, "</td><td valign=top>");
    WriteLinkSet("Common Tasks", common);
    WriteLinkSet("Related Links", related);
    WriteLinkSet("Help", help);
    wfputs(form, "</td></tr></table>");
    WriteScript();
    WLStandardFooter(form);
}
