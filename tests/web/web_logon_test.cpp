#include "web/password_hash.h"
#include "web/web_access_page.h"
#include "web/web_logon.h"
#include "web_fixture.h"

#include <filesystem>

namespace
{
class WebLogonTest : public WebRootTest
{
  protected:
    std::string LogOn(const char *fields, uint32_t client = 0x7f000001)
    {
        return RunScript(VWLogon, fields, false, client);
    }

    int SessionFiles()
    {
        int count = 0;
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(sessions, error))
            count += entry.path().extension() == ".sess";
        return count;
    }
};

constexpr uint32_t kRemoteClient = 0xc0a80105; // 192.168.1.5
} // namespace

TEST_F(WebLogonTest, CredentialsAreCheckedTrimmedAndUserWithoutCase)
{
    ASSERT_TRUE(LSettingSetString("WebAccess", "Password", "pw"));
    struct Case {
        const char *fields;
        const char *expect;
    } cases[] = {
        {"submitdef=++OK++&101=+&102=pw", "Please enter your user name."},
        {"submitdef=++OK++&101=admin&102=wrong", "Login failed. Please check you have the right "
                                                 "password. "},
        {"submitdef=++OK++&101=other&102=pw", "Login failed."},
        {"submitdef=++OK++&101=admin&102=PW", "Login failed."},
        {"submitdef=++OK++&101=aDmIn&102=pw", "Set-Cookie: sess=s"},
        {"submit=++OK++&101=+ADMIN+&102=+pw+", "Set-Cookie: sess=s"},
    };
    for (const Case &c : cases)
        EXPECT_TRUE(Has(LogOn(c.fields), c.expect)) << c.fields;
    EXPECT_EQ(SessionFiles(), 2);
}

TEST_F(WebLogonTest, SuccessStoresTheUserAndRedirectsToMain)
{
    ASSERT_TRUE(LSettingSetString("WebAccess", "UserName", "Boss"));
    ASSERT_TRUE(LSettingSetString("WebAccess", "Password", "secret"));
    std::string answer = LogOn("submitdef=++OK++&101=boss&102=secret&103=on", kRemoteClient);
    ASSERT_EQ(answer.compare(0, 30, "HTTP/1.0 302 OK\r\nSet-Cookie: s"), 0) << answer;
    size_t id_at = answer.find("sess=") + 5;
    std::string id = answer.substr(id_at, answer.find(';', id_at) - id_at);
    EXPECT_EQ(id[0], 'l'); // remembered
    EXPECT_TRUE(Has(answer, "; expires=Sunday, 17-Jan-2038 19:14:07 GMT; HttpOnly; "
                            "SameSite=Strict\r\nLocation: main\r\n\r\n"));
    LWebletSessionData session(sessions);
    session.LoadSession(id.c_str());
    ASSERT_TRUE(session.IsOpen());
    EXPECT_STREQ(session.GetParm("user"), "boss");
}

TEST_F(WebLogonTest, EmptyPasswordAdmitsOnlyLoopbackClientsAndSaysSo)
{
    const char *notice = "A password must be set for access from other machines.";
    std::string remote = LogOn("submitdef=++OK++&101=admin&102=", kRemoteClient);
    EXPECT_FALSE(Has(remote, "Set-Cookie"));
    EXPECT_TRUE(Has(remote, std::string(notice) + " Log on"));
    EXPECT_EQ(SessionFiles(), 0);
    std::string local = LogOn("submitdef=++OK++&101=admin&102=");
    EXPECT_TRUE(Has(local, "Set-Cookie: sess=s"));
    EXPECT_EQ(SessionFiles(), 1);
    EXPECT_TRUE(Has(LogOn(""), notice));
    ASSERT_TRUE(LSettingSetString("WebAccess", "Password", "pw"));
    EXPECT_FALSE(Has(LogOn(""), notice)) << "the notice goes once a password is set";
}

TEST_F(WebLogonTest, LogoffDeletesTheSession)
{
    std::string id;
    {
        CapturedForm captured(sessions);
        ASSERT_TRUE(captured.Form().CreateNewSession(false));
        id = captured.Form().session.GetID();
    }
    ASSERT_EQ(SessionFiles(), 1);
    CapturedForm captured(sessions);
    captured.Form().session.LoadSession(id.c_str());
    VWLogoff(captured.Form());
    EXPECT_TRUE(
        Has(captured.Output(), "You have successfully logged out. Thank you for using Vela."));
    EXPECT_EQ(SessionFiles(), 0);
}

TEST_F(WebLogonTest, ClearTextPasswordIsHashedAtTheFirstLogOnAndNeverEchoed)
{
    ASSERT_TRUE(LSettingSetString("WebAccess", "Password", "Typed-Secret"));
    std::string failed = LogOn("submitdef=++OK++&101=admin&102=Typed-Secrex", kRemoteClient);
    EXPECT_TRUE(Has(failed, "Login failed."));
    EXPECT_FALSE(Has(failed, "Typed-Secre")) << failed;
    char stored[260];
    EXPECT_STREQ(LSettingGetString("WebAccess", "Password", "", stored), "Typed-Secret");

    EXPECT_TRUE(Has(LogOn("submitdef=++OK++&101=admin&102=Typed-Secret", kRemoteClient),
                    "Set-Cookie: sess=s"));
    LSettingGetString("WebAccess", "Password", "", stored);
    EXPECT_TRUE(WebIsPasswordHash(stored)) << stored;
    EXPECT_TRUE(WebCheckPassword(stored, "Typed-Secret"));
    EXPECT_TRUE(Has(LogOn("submitdef=++OK++&101=admin&102=Typed-Secret", kRemoteClient),
                    "Set-Cookie: sess=s"));
}

TEST_F(WebLogonTest, PanelPasswordPageChecksAndStoresAHash)
{
    auto save = [this](const char *fields) {
        return RunScript(VWWebAccess, std::string(fields) + "&submitdef=Save+Changes");
    };
    // clang-format off
    struct Case { const char *fields, *message; } refused[] = {
        {"101=admin&105=30&103=short&104=short", "at least 8 characters"},
        {"101=admin&105=30&103=long-enough-1&104=long-enough-2", "two new passwords differ"},
        {"101=&105=30", "Please enter your user name."},
        {"101=admin&105=99999", "The idle time must be"},
    };
    // clang-format on
    for (const Case &c : refused)
        EXPECT_TRUE(Has(save(c.fields), c.message)) << c.message;
    char stored[260];
    EXPECT_STREQ(LSettingGetString("WebAccess", "Password", "", stored), "");
    EXPECT_TRUE(Has(save("101=admin&105=30&103=first-pass&104=first-pass"), "Location: main"));
    LSettingGetString("WebAccess", "Password", "", stored);
    EXPECT_TRUE(WebIsPasswordHash(stored) && WebCheckPassword(stored, "first-pass")) << stored;
    // Once set, changing it needs the current one; the page shows neither.
    std::string wrong = save("101=admin&105=30&102=guess&103=second-pass&104=second-pass");
    EXPECT_TRUE(Has(wrong, "The current password is not right.")) << wrong;
    EXPECT_FALSE(Has(wrong, "guess"));
    EXPECT_FALSE(Has(wrong, "second-pass"));
    EXPECT_TRUE(
        WebCheckPassword(LSettingGetString("WebAccess", "Password", "", stored), "first-pass"));
}
