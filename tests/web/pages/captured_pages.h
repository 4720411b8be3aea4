// Page scripts run in this process on a logged-on session, with the form
// fields a browser would post (URL-encoded, as "a=1&b=x+y"); their output is
// captured as text. A line saved or deleted is counted as the engine would
// hear of it.
#pragma once

#include "../web_fixture.h"
#include "support/process.h"
#include "web/pages/page_context.h"
#include "web/weblet_server.h"

#include <string>

class PagesTest : public WebRootTest
{
  protected:
    void SetUp() override
    {
        WebRootTest::SetUp();
        context.linesChanged = [this] { linesChanged++; };
    }
    // Runs a page script with the fields, on a logged-on session unless told not to.
    std::string Run(LWebletScriptFunction script, const std::string &fields, bool logon = true)
    {
        return RunScript(
            [&](LWebletForm &form) {
                form.SetPageContext(&context);
                script(form);
            },
            fields, logon);
    }
    LWebPageContext context;
    int linesChanged = 0;
};
