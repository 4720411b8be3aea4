// Page scripts run in this process on a logged-on session, with the form
// fields a browser would post; their output is captured as text. A line
// saved or deleted is counted as the engine would hear of it.
#pragma once

#include "../web_fixture.h"
#include "support/process.h"
#include "support/text.h"
#include "web/pages/page_context.h"
#include "web/weblet_server.h"

#include <initializer_list>
#include <string>
#include <utility>

using PageFields = std::initializer_list<std::pair<const char *, const char *>>;
using vtest::Has;

class PagesTest : public WebRootTest
{
  protected:
    void SetUp() override
    {
        WebRootTest::SetUp();
        context.linesChanged = [this] { linesChanged++; };
    }
    // Runs a script with the fields on a logged-on session.
    std::string Run(LWebletScriptFunction script, PageFields fields)
    {
        CapturedForm captured(sessions);
        EXPECT_TRUE(captured.Form().CreateNewSession(false));
        captured.Form().SetPageContext(&context);
        for (auto &[name, value] : fields)
            captured.Form().form_data.SetParm(name, value);
        script(captured.Form());
        return captured.Output();
    }
    LWebPageContext context;
    int linesChanged = 0;
};
