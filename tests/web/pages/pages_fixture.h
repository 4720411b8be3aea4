// The control panel served for real: the full script table on a free
// loopback port in this process, driven by curl with a logged-on session.
#pragma once

#include "../web_fixture.h"
#include "service/web_script_table.h"
#include "support/process.h"
#include "support/text.h"
#include "support/wait.h"
#include "support/web_client.h"
#include "web/pages/page_context.h"
#include "web/web_control.h"

#include <string>
#include <utility>
#include <vector>

class PagesServerTest : public WebRootTest
{
  protected:
    void SetUp() override
    {
        WebRootTest::SetUp();
        port = vtest::FreeTcpPort();
        base = "http://127.0.0.1:" + std::to_string(port);
        // This test program has no data folder of its own next to it: the
        // panel's files come from the source tree's, laid out the same way.
        VLSeedWebFiles(VELA_TEST_DATA "/../../../web");
        ASSERT_TRUE(VLStartWebServer(server, port, &context));
        ASSERT_TRUE(vtest::WaitUntil([this] { return server.IsListening(); }));
        // Loopback with no password set: the default account logs on.
        cookie = vtest::WebLogOn(base, "101=admin&102=&submitdef=++OK++");
        ASSERT_NE(cookie, "");
        token = vtest::WebFormToken(Get("/webaccess"));
        ASSERT_NE(token, "");
    }
    void TearDown() override
    {
        server.Stop();
        WebRootTest::TearDown();
    }

    std::string Get(const std::string &path) { return vtest::Curl({"-b", cookie, base + path}); }
    using Fields = std::vector<std::pair<std::string, std::string>>;
    // Posts the fields URL-encoded with the session's token, as a browser
    // sends a form of the panel.
    std::string Post(const std::string &script, const Fields &fields)
    {
        std::vector<std::string> args = {"-b", cookie, "-d", "csrf=" + token};
        for (const auto &[name, value] : fields) {
            args.push_back("--data-urlencode");
            args.push_back(name + "=" + value);
        }
        args.push_back(base + "/" + script);
        return vtest::Curl(args);
    }

    int port = 0;
    std::string base, cookie, token;
    LWebPageContext context;
    LWebletServer server;
};
