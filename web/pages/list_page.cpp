#include "web/pages/list_page.h"

#include "web/pages/page_common.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <cstring>

VLListPage::VLListPage(LWebletForm &form, const char *script, const char *help)
    : LWebPageWithNavTabs(form)
{
    static const Tab all[] = {{"Extensions", "extensionlist", false},
                              {"External Lines", "externallist", false},
                              {"Dialing Plans", "planlist", false},
                              {"Groups", "grouplist", false},
                              {"Logs", "loglist", false},
                              {nullptr, nullptr, false}};
    for (int i = 0; i < 6; i++) {
        tabs[i] = all[i];
        tabs[i].active = all[i].link && strcmp(all[i].link, script) == 0;
    }
    SetNavTabs(tabs);
    links = VWListNavLinks(help);
    SetNavLinksText(links.c_str());
}

void VLListPage::WriteButton(const char *link, const char *text)
{
    wfprintf(form, "<p><center><a class=button href=\"%H\">%H</a></center>", link, text);
}

std::string VLListPage::KeyLink(const char *script, const char *key, const char *extra)
{
    std::string link = std::string(script) + "?id=";
    WebUrlEncode(link, key);
    return link + extra;
}
