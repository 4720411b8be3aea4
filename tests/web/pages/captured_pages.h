// Page scripts run in this process on a logged-on session, with the form
// fields a browser would post; their output is captured as text.
#pragma once

#include "../web_fixture.h"
#include "web/weblet_server.h"

#include <initializer_list>
#include <string>
#include <utility>

using PageFields = std::initializer_list<std::pair<const char *, const char *>>;

class PagesTest : public WebRootTest
{
  protected:
    // Runs a script with the fields on a logged-on session.
    std::string Run(LWebletScriptFunction script, PageFields fields)
    {
        CapturedForm captured(sessions);
        EXPECT_TRUE(captured.Form().CreateNewSession(false));
        for (auto &[name, value] : fields)
            captured.Form().form_data.SetParm(name, value);
        script(captured.Form());
        return captured.Output();
    }
    static bool Has(const std::string &text, const char *part)
    {
        return text.find(part) != std::string::npos;
    }
};
