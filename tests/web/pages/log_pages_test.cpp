#include "web/pages/log_pages.h"

#include "captured_pages.h"
#include "config/pbx_global_settings.h"
#include "logs/program_log.h"
#include "logs/sip_trace.h"

#include <sys/stat.h>

namespace
{
class LogPagesTest : public PagesTest
{
  protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        logs = shared + "/Logs";
        ASSERT_TRUE(LLog::SetLogFolder(logs.c_str()));
        for (const char *name : {"2024-03-05 Vela Log.txt", "2024-03 Phone Log.csv",
                                 "2024-03-05 Vela SipTrace.txt", "other.dat"})
            WriteFile(logs + "/" + name, std::string("content of ") + name);
        mkdir((root + "/secret").c_str(), 0700);
        WriteFile(root + "/secret/keep.txt", "secret");
    }
    void TearDown() override
    {
        LLog::SetLogFolder("");
        PagesTest::TearDown();
    }
    std::string logs;
};
} // namespace

TEST_F(LogPagesTest, ListShowsTextThenCsvFilesWithLinks)
{
    std::string page = Run(VWLogList, "");
    EXPECT_TRUE(Has(page, "name=check0 value=\"2024-03-05 Vela Log.txt\"") ||
                Has(page, "name=check0 value=\"2024-03-05 Vela SipTrace.txt\""));
    EXPECT_TRUE(Has(page, "name=check2 value=\"2024-03 Phone Log.csv\""));
    EXPECT_TRUE(Has(page, "logprop?file=2024-03%20Phone%20Log.csv"));
    EXPECT_TRUE(Has(page, "logdelete?file=2024-03-05%20Vela%20Log.txt"));
    EXPECT_FALSE(Has(page, "other.dat"));
    EXPECT_TRUE(Has(page, "<input type=hidden name=count value=3>"));
    // The sorted name column puts the .csv file first.
    EXPECT_LT(page.find(">2024-03 Phone Log.csv<"), page.find(">2024-03-05 Vela Log.txt<"));
    EXPECT_TRUE(Has(Run(VWLogList, "", false), "Location: logon"));
}

TEST_F(LogPagesTest, ViewSendsTheFileWithTypeAndLength)
{
    const char *const missing = "HTTP/1.0 404 Not Found\r\n\r\n";
    // clang-format off
    struct Case { const char *file, *head; } cases[] = {
        {"2024-03+Phone+Log.csv", "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\nContent-Length: 32\r\n\r\ncontent of 2024-03 Phone Log.csv"},
        {"other.dat", "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 20\r\n\r\ncontent of other.dat"},
        {"missing.txt", missing}, {"../../secret/keep.txt", missing}, {"/etc/passwd", missing}, {"..", missing}, {"", missing},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(Run(VWLogProp, std::string("file=") + c.file), c.head) << c.file;
    WriteFile(logs + "/UPPER.TXT", "x");
    EXPECT_TRUE(Has(Run(VWLogProp, "file=UPPER.TXT"), "Content-Type: text/plain\r\n"));
    EXPECT_FALSE(Has(Run(VWLogProp, "file=other.dat", false), "content of"));
}

std::atomic<int> gLockWaits{0};
void CountLockWait(int)
{
    gLockWaits++;
}

TEST_F(LogPagesTest, ViewAnnouncesSizesPastTwoGigabytesAndHoldsNoWriterUp)
{
    // A sparse file: the header must carry the whole 64-bit length. The
    // reader takes the head only; while the rest waits for it, a line is
    // appended to the file, as the program log does on the SIP engine's
    // thread, and must not wait for the viewer's lock. Then the reader
    // hangs up, which ends the transfer.
    std::string path = logs + "/big.txt";
    WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), 3000000000LL), 0);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    std::string head;
    LLog::SetLockSleeper(CountLockWait);
    std::thread reader([&] {
        char buf[256];
        ssize_t n = read(fds[1], buf, sizeof buf);
        if (n > 0)
            head.assign(buf, (size_t)n);
        EXPECT_TRUE(LLogWrite("big.txt", "a line\r\n"));
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
    LLog::SetLockSleeper(nullptr);
    EXPECT_EQ(head.substr(0, head.find("\r\n\r\n") + 4),
              "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
              "3000000000\r\n\r\n");
    EXPECT_EQ(gLockWaits.load(), 0) << "the writer waited for the viewer's lock";
}

TEST_F(LogPagesTest, DeleteAsksThenDeletesAndRefusesPaths)
{
    std::string page = Run(VWLogDelete, "file=2024-03+Phone+Log.csv");
    EXPECT_TRUE(Has(page, "Are you sure you want to delete the selected item?"));
    EXPECT_TRUE(Has(page, "<form action=\"logdelete\" method=post><input type=hidden "
                          "name=\"file\" value=\"2024-03 Phone Log.csv\">"));
    EXPECT_TRUE(Exists(logs + "/2024-03 Phone Log.csv"));
    page = Run(VWLogDelete, "file=+2024-03+Phone+Log.csv+&confirmed=yes");
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_FALSE(Exists(logs + "/2024-03 Phone Log.csv"));

    for (const char *hostile : {"../../secret/keep.txt", "../Logs/other.dat", "/tmp", ".."})
        EXPECT_FALSE(
            Has(Run(VWLogDelete, std::string("confirmed=yes&file=") + hostile), "Are you sure"))
            << hostile;
    EXPECT_TRUE(Exists(root + "/secret/keep.txt"));
    EXPECT_TRUE(Exists(logs + "/other.dat"));
    Run(VWLogDelete, "file=other.dat&confirmed=yes", false);
    EXPECT_TRUE(Exists(logs + "/other.dat"));
}

TEST_F(LogPagesTest, DeleteSelectedRefusesPathsInEveryField)
{
    std::string page = Run(VWLogDeleteSelected,
                           "count=5&check0=../../secret/keep.txt&check1=2024-03-05+Vela+Log.txt"
                           "&check2=&check3=sub/../other.dat&check4=2024-03+Phone+Log.csv"
                           "&check5=other.dat");
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_TRUE(Exists(root + "/secret/keep.txt"));
    EXPECT_FALSE(Exists(logs + "/2024-03-05 Vela Log.txt"));
    EXPECT_FALSE(Exists(logs + "/2024-03 Phone Log.csv"));
    EXPECT_TRUE(Exists(logs + "/other.dat")); // beyond count and refused
    EXPECT_TRUE(Exists(logs + "/2024-03-05 Vela SipTrace.txt"));
    Run(VWLogDeleteSelected, "count=-7&check0=other.dat");
    EXPECT_TRUE(Exists(logs + "/other.dat"));
}

TEST_F(LogPagesTest, AutoDeleteDaysDialog)
{
    EXPECT_TRUE(Has(Run(VWAutoDeleteLog, ""), "value=\"25\""));
    // clang-format off
    struct Case { const char *value; bool stored; int days; } cases[] = {
        {"", false, 30}, {"abc", false, 30}, {"12x", false, 30}, {"+7+", true, 7}, {"0", true, 0},
    };
    // clang-format on
    for (const Case &c : cases) {
        std::string page =
            Run(VWAutoDeleteLog, std::string("submit=++OK++&onok=loglist&101=") + c.value);
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
    Run(VWSipTrace, "save=1&logall=1&submit=Cancel");
    EXPECT_FALSE(LSipTraceIsOn());
    EXPECT_TRUE(Has(Run(VWSipTrace, "save=1&logall=1&submit=Save+Changes"), "Location: loglist"));
    EXPECT_TRUE(LSipTraceIsOn());
    EXPECT_FALSE(LSipTraceIsRtpOn());
    EXPECT_TRUE(LPBXSettings::SipTraceOn.Get());
    Run(VWSipTrace, "save=1&logrtp=1");
    EXPECT_FALSE(LSipTraceIsOn());
    EXPECT_TRUE(LSipTraceIsRtpOn());
    EXPECT_TRUE(LPBXSettings::SipTraceAudioOn.Get());
    LSipTraceSetRtpOn(false);
}

TEST_F(LogPagesTest, OdbcSettingsNeedAllFieldsWhenEnabled)
{
    std::string page = Run(VWOdbcLog, "save=1&odbclog=TRUE&odbcdb=calls&odbcuser=+"
                                      "&odbcpassword=pw&odbcsql=x");
    EXPECT_TRUE(Has(page, "Please fill in all ODBC input fields."));
    EXPECT_TRUE(Has(page, "value=\"calls\""));
    EXPECT_FALSE(LPBXSettings::DbLogEnabled.Get());
    page = Run(VWOdbcLog, "save=1&odbclog=1&odbcdb=+calls+&odbcuser=u&odbcpassword=pw"
                          "&odbcsql=SELECT+1");
    EXPECT_TRUE(Has(page, "Location: loglist"));
    EXPECT_TRUE(LPBXSettings::DbLogEnabled.Get());
    char text[LPathSize];
    EXPECT_STREQ(LPBXSettings::DbLogDsn.Get(text), "calls");
    EXPECT_STREQ(LPBXSettings::DbLogSql.Get(text), "SELECT 1");
    Run(VWOdbcLog, "save=1&odbcdb=");
    EXPECT_FALSE(LPBXSettings::DbLogEnabled.Get());
}
