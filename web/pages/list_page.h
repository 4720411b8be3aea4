// The frame of the entity list pages: navigation tabs with the current one
// active, top links with the page's help, and the button under the list.
#pragma once

#include "web/web_page.h"

#include <string>

class VLListPage : public LWebPageWithNavTabs
{
  public:
    VLListPage(LWebletForm &form, const char *script, const char *help);

  protected:
    void WriteButton(const char *link, const char *text);
    // "script?id=key" with the key URL-encoded (then HTML-encoded by the
    // caller's %H).
    static std::string KeyLink(const char *script, const char *key, const char *extra = "");

  private:
    Tab tabs[6];
    std::string links;
};
