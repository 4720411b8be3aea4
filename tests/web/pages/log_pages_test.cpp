#include "web/pages/log_pages.h"

#include "../web_fixture.h"
#include "config/pbx_global_settings.h"
#include "logs/log_root.h"
#include "logs/sip_trace.h"
#include "support/text.h"

#include <sys/stat.h>

namespace
{
class LogPagesTest : public LogRootTest
{
  protected:
    void SetUp() override
    {
        LogRootTest::SetUp();
        sessions = shared + "/SessionData";
        for (const char *name : {"2024-03-05 Vela Log.txt", "2024-03 Phone Log.csv",
                                 "2024-03-05 Vela SipTrace.txt", "other.dat"})
            Write(name, std::string("content of ") + name);
        mkdir((root + "/secret").c_str(), 0700);
        std::ofstream(root + "/secret/keep.txt") << "secret";
    }

    void Write(const std::string &name, const std::string &text)
    {
        std::ofstream(logs + "/" + name, std::ios::binary) << text;
    }
    bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

    std::string Page(void (*handler)(LWebletForm &),
                     std::vector<std::pair<const char *, std::string>> fields, bool logon = true)
    {
        CapturedForm captured(sessions);
        if (logon) {
            EXPECT_TRUE(captured.Form().CreateNewSession(false));
        }
        for (auto &f : fields)
            captured.Form().form_data.SetParm(f.first, f.second.c_str());
        handler(captured.Form());
        return captured.Output();
    }

    std::string sessions;
};

using vtest::Has;
} // namespace

TEST_F(LogPagesTest, ListShowsTextThenCsvFilesWithLinks)
{
    std::string page = Page(VWLogList, {});
    EXPECT_TRUE(Has(page, "name=check0 value=\"2024-03-05 Vela Log.txt\"") ||
                Has(page, "name=check0 value=\"2024-03-05 Vela SipTrace.txt\""));
    EXPECT_TRUE(Has(page, "name=check2 value=\"2024-03 Phone Log.csv\""));
    EXPECT_TRUE(Has(page, "logprop?file=2024-03%20Phone%20Log.csv"));
    EXPECT_TRUE(Has(page, "logdelete?file=2024-03-05%20Vela%20Log.txt"));
    EXPECT_FALSE(Has(page, "other.dat"));
    EXPECT_TRUE(Has(page, "<input type=hidden name=count value=3>"));
    // The sorted name column puts the .csv file first.
    EXPECT_LT(page.find(">2024-03 Phone Log.csv<"), page.find(">2024-03-05 Vela Log.txt<"));
    EXPECT_TRUE(Has(Page(VWLogList, {}, false), "Location: logon"));
}

TEST_F(LogPagesTest, ViewSendsTheFileWithTypeAndLength)
{
    struct Case {
        const char *file, *head;
    } cases[] = {
        {"2024-03 Phone Log.csv", "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n"
                                  "Content-Length: 32\r\n\r\ncontent of 2024-03 Phone Log.csv"},
        {"other.dat", "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: 20\r\n\r\ncontent of other.dat"},
        {"missing.txt", "HTTP/1.0 404 Not Found\r\n\r\n"},
        {"../../secret/keep.txt", "HTTP/1.0 404 Not Found\r\n\r\n"},
        {"/etc/passwd", "HTTP/1.0 404 Not Found\r\n\r\n"},
        {"..", "HTTP/1.0 404 Not Found\r\n\r\n"},
        {"", "HTTP/1.0 404 Not Found\r\n\r\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Page(VWLogProp, {{"file", c.file}}), c.head) << c.file;
    Write("UPPER.TXT", "x");
    EXPECT_TRUE(Has(Page(VWLogProp, {{"file", "UPPER.TXT"}}), "Content-Type: text/plain\r\n"));
    EXPECT_FALSE(Has(Page(VWLogProp, {{"file", "other.dat"}}, false), "content of"));
}

TEST_F(LogPagesTest, ViewAnnouncesSizesPastTwoGigabytes)
{
    // A sparse file: the header must carry the whole 64-bit length. The
    // reader takes the head only and hangs up, which ends the transfer.
    std::string path = logs + "/big.txt";
    std::ofstream(path) << "";
    ASSERT_EQ(truncate(path.c_str(), 3000000000LL), 0);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    std::string head;
    std::thread reader([&] {
        char buf[256];
        ssize_t n = read(fds[1], buf, sizeof buf);
        if (n > 0)
            head.assign(buf, (size_t)n);
        close(fds[1]);
    });
    std::atomic<bool> stop{false};
    {
        LWebletForm form(fds[0], &stop, sessions);
        ASSERT_TRUE(form.CreateNewSession(false));
        form.form_data.SetParm("file", "big.txt");
        VWLogProp(form);
    }
    reader.join();
    close(fds[0]);
    EXPECT_EQ(head.substr(0, head.find("\r\n\r\n") + 4),
              "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
              "3000000000\r\n\r\n");
}

TEST_F(LogPagesTest, DeleteAsksThenDeletesAndRefusesPaths)
{
    std::string page = Page(VWLogDelete, {{"file", "2024-03 Phone Log.csv"}});
    EXPECT_TRUE(Has(page, "Are you sure you want to delete the selected item?"));
    EXPECT_TRUE(Has(page, "<form action=\"logdelete\" method=post><input type=hidden "
                          "name=\"file\" value=\"2024-03 Phone Log.csv\">"));
    EXPECT_TRUE(Exists(logs + "/2024-03 Phone Log.csv"));
    page = Page(VWLogDelete, {{"file", " 2024-03 Phone Log.csv "}, {"confirmed", "yes"}});
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_FALSE(Exists(logs + "/2024-03 Phone Log.csv"));

    for (const char *hostile : {"../../secret/keep.txt", "../Logs/other.dat", "/tmp", ".."}) {
        page = Page(VWLogDelete, {{"file", hostile}, {"confirmed", "yes"}});
        EXPECT_FALSE(Has(page, "Are you sure")) << hostile;
    }
    EXPECT_TRUE(Exists(root + "/secret/keep.txt"));
    EXPECT_TRUE(Exists(logs + "/other.dat"));
    Page(VWLogDelete, {{"file", "other.dat"}, {"confirmed", "yes"}}, false);
    EXPECT_TRUE(Exists(logs + "/other.dat"));
}

TEST_F(LogPagesTest, DeleteSelectedRefusesPathsInEveryField)
{
    std::string page = Page(VWLogDeleteSelected, {{"count", "5"},
                                                  {"check0", "../../secret/keep.txt"},
                                                  {"check1", "2024-03-05 Vela Log.txt"},
                                                  {"check2", ""},
                                                  {"check3", "sub/../other.dat"},
                                                  {"check4", "2024-03 Phone Log.csv"},
                                                  {"check5", "other.dat"}});
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_TRUE(Exists(root + "/secret/keep.txt"));
    EXPECT_FALSE(Exists(logs + "/2024-03-05 Vela Log.txt"));
    EXPECT_FALSE(Exists(logs + "/2024-03 Phone Log.csv"));
    EXPECT_TRUE(Exists(logs + "/other.dat")); // beyond count and refused
    EXPECT_TRUE(Exists(logs + "/2024-03-05 Vela SipTrace.txt"));
    Page(VWLogDeleteSelected, {{"count", "-7"}, {"check0", "other.dat"}});
    EXPECT_TRUE(Exists(logs + "/other.dat"));
}

TEST_F(LogPagesTest, AutoDeleteDaysDialog)
{
    EXPECT_TRUE(Has(Page(VWAutoDeleteLog, {}), "value=\"25\""));
    struct Case {
        const char *value;
        bool stored;
        int days;
    } cases[] = {
        {"", false, 30}, {"abc", false, 30}, {"12x", false, 30}, {" 7 ", true, 7}, {"0", true, 0}};
    for (const Case &c : cases) {
        std::string page =
            Page(VWAutoDeleteLog, {{"101", c.value}, {"submit", "  OK  "}, {"onok", "loglist"}});
        EXPECT_EQ(Has(page, "The specified number of days is not valid. Please try again."),
                  !c.stored)
            << c.value;
        if (c.stored) {
            EXPECT_EQ(LPBXSettings::LogsAutoDeleteDays.Get(), c.days);
        }
    }
}

TEST_F(LogPagesTest, SipTraceSwitches)
{
    Page(VWSipTrace, {{"save", "1"}, {"logall", "1"}, {"submit", "Cancel"}});
    EXPECT_FALSE(LSipTraceIsOn());
    EXPECT_TRUE(Has(Page(VWSipTrace, {{"save", "1"}, {"logall", "1"}, {"submit", "Save Changes"}}),
                    "Location: loglist"));
    EXPECT_TRUE(LSipTraceIsOn());
    EXPECT_FALSE(LSipTraceIsRtpOn());
    EXPECT_TRUE(LPBXSettings::SipTraceOn.Get());
    Page(VWSipTrace, {{"save", "1"}, {"logrtp", "1"}});
    EXPECT_FALSE(LSipTraceIsOn());
    EXPECT_TRUE(LSipTraceIsRtpOn());
    EXPECT_TRUE(LPBXSettings::SipTraceAudioOn.Get());
    LSipTraceSetRtpOn(false);
}

TEST_F(LogPagesTest, OdbcSettingsNeedAllFieldsWhenEnabled)
{
    std::string page = Page(VWOdbcLog, {{"save", "1"},
                                        {"odbclog", "TRUE"},
                                        {"odbcdb", "calls"},
                                        {"odbcuser", " "},
                                        {"odbcpassword", "pw"},
                                        {"odbcsql", "x"}});
    EXPECT_TRUE(Has(page, "Please fill in all ODBC input fields."));
    EXPECT_TRUE(Has(page, "value=\"calls\""));
    EXPECT_FALSE(LPBXSettings::DbLogEnabled.Get());
    page = Page(VWOdbcLog, {{"save", "1"},
                            {"odbclog", "1"},
                            {"odbcdb", " calls "},
                            {"odbcuser", "u"},
                            {"odbcpassword", "pw"},
                            {"odbcsql", "SELECT 1"}});
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_TRUE(LPBXSettings::DbLogEnabled.Get());
    char text[LPathSize];
    EXPECT_STREQ(LPBXSettings::DbLogDsn.Get(text), "calls");
    EXPECT_STREQ(LPBXSettings::DbLogSql.Get(text), "SELECT 1");
    Page(VWOdbcLog, {{"save", "1"}, {"odbcdb", ""}});
    EXPECT_FALSE(LPBXSettings::DbLogEnabled.Get());
}
