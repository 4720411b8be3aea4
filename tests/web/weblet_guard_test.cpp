// The checks a request passes before a script runs: host names, the origin
// of a post, the fields a GET keeps, the form token, and where redirects
// may lead.
#include "web/weblet_guard.h"
#include "web/weblet_redirect.h"
#include "web_fixture.h"

namespace
{
TEST(WebletGuard, HostMustNameThisMachine)
{
    const std::vector<std::string> own = {"pbx", "pbx.office.lan"};
    // clang-format off
    struct Case { const char *host; bool allowed; } cases[] = {
        {"127.0.0.1:1081", true}, {"192.168.1.9", true}, {"[::1]:1081", true},
        {"localhost:1081", true}, {"LocalHost", true}, {"PBX:1081", true},
        {"pbx.office.lan", true}, {"evil.example:1081", false}, {"localhost.evil.example", false},
        {"pbx.evil.example", false}, {"", false}, {":1081", false}, {"[::1", false},
        {"127.0.0.1.evil.example", false},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(WebletHostAllowed(c.host, own), c.allowed) << c.host;
}

TEST(WebletGuard, PostsMustComeFromThisHost)
{
    // clang-format off
    struct Case { const char *origin, *referer; bool same; } cases[] = {
        {"", "", true},
        {"http://127.0.0.1:1081", "", true},
        {"https://127.0.0.1:1081", "", true},
        {"http://127.0.0.1:1082", "", false},
        {"http://evil.example", "http://127.0.0.1:1081/main", false},
        {"null", "", false},
        {"", "http://127.0.0.1:1081/extensionprop?id=1", true},
        {"", "http://127.0.0.1:1081", true},
        {"", "http://127.0.0.1:1081.evil.example/", false},
        {"", "http://evil.example/http://127.0.0.1:1081/", false},
        {"", "file:///tmp/x.html", false},
    };
    // clang-format on
    for (const Case &c : cases) {
        LWebletForm form(-1, nullptr, "/nonexistent");
        form.headers.SetParm("Host", "127.0.0.1:1081");
        if (*c.origin)
            form.headers.SetParm("Origin", c.origin);
        if (*c.referer)
            form.headers.SetParm("Referer", c.referer);
        EXPECT_EQ(WebletSameOrigin(form), c.same) << c.origin << " " << c.referer;
    }
}

TEST(WebletGuard, GetKeepsOnlyTheFieldsThatPickWhatToShow)
{
    LHashTable fields;
    fields.LoadHTTPString("id=101&save=1&confirmed=yes&submitdef=OK&id=102&subid=a&iCol=1"
                          "&password=x&onok=extensionlist");
    WebletKeepViewFields(fields);
    EXPECT_EQ(fields.GetCount(), 4);
    EXPECT_STREQ(fields.GetParm("id"), "101");
    EXPECT_STREQ(fields.GetParm("subid"), "a");
    EXPECT_STREQ(fields.GetParm("onok"), "extensionlist");
    for (const char *gone : {"save", "confirmed", "submitdef", "password"})
        EXPECT_FALSE(fields.TestExists(gone)) << gone;
}

using WebletToken = WebRootTest;

TEST_F(WebletToken, OnlyTheSessionsOwnTokenPasses)
{
    CapturedForm captured(sessions);
    LWebletForm &form = captured.Form();
    EXPECT_EQ(WebletCsrfHiddenField(form), "") << "no session, no token";
    EXPECT_EQ(WebletGuardScript(form, "POST", {"pbx"}, true), LWebletGuard::NoToken);
    ASSERT_TRUE(form.CreateNewSession(false));
    std::string token = WebletCsrfToken(form.session);
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(WebletCsrfToken(form.session), token);
    EXPECT_TRUE(Has(WebletCsrfHiddenField(form), token));
    // clang-format off
    struct Case { const char *method; const char *token; LWebletGuard want; } cases[] = {
        {"POST", nullptr, LWebletGuard::NoToken},
        {"POST", "", LWebletGuard::NoToken},
        {"POST", "stale", LWebletGuard::NoToken},
        {"POST", "SESSION", LWebletGuard::Pass},
        {"GET", nullptr, LWebletGuard::Pass},
    };
    // clang-format on
    for (const Case &c : cases) {
        form.form_data.Clear();
        if (c.token)
            form.form_data.SetParm("csrf", strcmp(c.token, "SESSION") ? c.token : token.c_str());
        EXPECT_EQ(WebletGuardScript(form, c.method, {"pbx"}, true), c.want) << c.method << c.token;
    }
    // Another session's token is not this one's.
    CapturedForm other(sessions);
    ASSERT_TRUE(other.Form().CreateNewSession(false));
    other.Form().form_data.SetParm("csrf", token.c_str());
    EXPECT_EQ(WebletGuardScript(other.Form(), "POST", {"pbx"}, true), LWebletGuard::NoToken);
}

TEST(WebletRedirect, OnlyScriptNamesOfThisServer)
{
    // clang-format off
    struct Case { const char *target, *location; } cases[] = {
        {"extensionlist", "extensionlist"},
        {"groupprop?id=701&x=a%20b", "groupprop?id=701&x=a%20b"},
        {"help/index.html", "help/index.html"},
        {" //evil.example/x", "main"},
        {"\t//evil.example/x", "main"},
        {"//evil.example/x", "main"},
        {"/\\evil.example", "main"},
        {"\\\\evil.example", "main"},
        {"http://evil.example", "main"},
        {"javascript:alert(1)", "main"},
        {"main\r\nSet-Cookie: x=1", "main"},
        {"a//evil.example", "main"},
        {"help/../../etc/passwd", "main"},
        {"main?x=a b", "main"},
        {"", "main"},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(WebletSafeLocation(c.target), c.location) << c.target;
}
} // namespace
