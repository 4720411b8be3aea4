// The log pages of the running service through curl: the list, the file view
// with its size header (also past 2 GiB), deletion, and the refusal of names
// that leave the log folder.
#include "support/process.h"
#include "support/vela_instance.h"
#include "support/web_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string Body(const std::string &answer)
{
    size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

class LogPagesInteropTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        int port = vtest::FreeTcpPort();
        fs::create_directories(vela.LogFolder());
        std::ofstream(vela.SharedDataFolder() + "/webserver") << "port=" << port << "\r\n";
        std::ofstream(vela.SharedDataFolder() + "/sip")
            << "port=" << vtest::FreeUdpPort() << "\r\n";
        std::ofstream(vela.LogFolder() + "/" + kCsv) << kCsvText;
        ASSERT_TRUE(vela.Start()) << vela.Process().Output();
        base = "http://127.0.0.1:" + std::to_string(port) + "/";
        // The listener binds on its own thread: wait for the first answer.
        std::string logon;
        for (int64_t end = vtest::MonotonicMs() + 10000;
             !Has(logon, "200 OK") && vtest::MonotonicMs() < end;)
            logon = vtest::Curl({"--retry-connrefused", "--retry", "3", base + "logon"});
        cookie =
            vtest::WebLogOn(base.substr(0, base.size() - 1), "101=admin&102=&submitdef=++OK++");
        ASSERT_NE(cookie, "") << logon;
        token = vtest::WebFormToken(Get("loglist"));
        ASSERT_NE(token, "");
    }
    void TearDown() override
    {
        if (vela.Process().Running()) {
            EXPECT_TRUE(vela.Stop(SIGTERM, 10000));
        }
    }
    std::string Get(const std::string &script)
    {
        return vtest::Curl({"-b", cookie, base + script});
    }
    // A form post of the panel: the session's token with the fields.
    std::string Post(const std::string &script, const std::string &fields)
    {
        return vtest::Curl({"-b", cookie, "-d", "csrf=" + token, "-d", fields, base + script});
    }
    bool SettingsFileKept()
    {
        return Has(vtest::ReadFile(vela.SharedDataFolder() + "/sip"), "port=");
    }

    static constexpr const char *kCsv = "2026-01 Phone Log.csv";
    static constexpr const char *kCsvText = "2026-01-02,10:11:12,01:15,00:00,\"101\",\"102\"\r\n";
    vtest::VelaInstance vela;
    std::string base, cookie, token;
};

TEST_F(LogPagesInteropTest, ListShowsTheLogFilesAndViewSendsThemWhole)
{
    std::string list = Get("loglist");
    EXPECT_TRUE(Has(list, vtest::TodayLogFileName())) << list;
    EXPECT_TRUE(Has(list, kCsv)) << list;
    EXPECT_TRUE(Has(list, "Delete Selected"));
    EXPECT_TRUE(Has(list, "ODBC Database Log"));

    std::string view = Get(std::string("logprop?file=") + "2026-01%20Phone%20Log.csv");
    EXPECT_TRUE(Has(view, "HTTP/1.0 200 OK")) << view;
    EXPECT_EQ(vtest::HttpHeader(view, "Content-Type"), "text/csv");
    EXPECT_EQ(vtest::HttpHeader(view, "Content-Length"), std::to_string(strlen(kCsvText)));
    EXPECT_EQ(Body(view), kCsvText);
    // Without a session nothing of the file is sent.
    EXPECT_FALSE(Has(vtest::Curl({base + "logprop?file=2026-01%20Phone%20Log.csv"}), "\"101\""));
}

TEST_F(LogPagesInteropTest, NamesOutsideTheLogFolderAreRefused)
{
    // "../sip" is the settings file beside the log folder.
    for (const char *name :
         {"../sip", "..%2Fsip", "%2E%2E%2Fsip", "..", "/etc/passwd", "Logs/../../sip"}) {
        SCOPED_TRACE(name);
        std::string view = Get(std::string("logprop?file=") + name);
        EXPECT_TRUE(Has(view, "404 Not Found")) << view;
        EXPECT_FALSE(Has(view, "port=")) << view;
        EXPECT_FALSE(Has(view, "root:")) << view;
        Post("logdelete", std::string("confirmed=yes&file=") + name);
        EXPECT_TRUE(SettingsFileKept());
        Post("logdeleteselected", std::string("count=2&check0=") + name + "&check1=" + name);
        EXPECT_TRUE(SettingsFileKept());
    }
    EXPECT_TRUE(fs::exists(vela.LogFolder() + "/" + kCsv));
}

TEST_F(LogPagesInteropTest, DeleteAsksFirstThenRemovesTheFile)
{
    std::string csv = vela.LogFolder() + "/" + kCsv;
    std::string ask = Get("logdelete?file=2026-01%20Phone%20Log.csv");
    EXPECT_TRUE(Has(ask, "Are you sure you want to delete the selected item?")) << ask;
    EXPECT_TRUE(fs::exists(csv));
    Get("logdelete?file=2026-01%20Phone%20Log.csv&confirmed=yes"); // a link only asks
    EXPECT_TRUE(fs::exists(csv));
    Post("logdelete", "file=2026-01%20Phone%20Log.csv&confirmed=yes");
    EXPECT_FALSE(fs::exists(csv));

    std::ofstream(vela.LogFolder() + "/a.csv") << "x";
    std::ofstream(vela.LogFolder() + "/b.csv") << "y";
    Post("logdeleteselected", "count=3&check0=a.csv&check1=&check2=b.csv");
    EXPECT_FALSE(fs::exists(vela.LogFolder() + "/a.csv"));
    EXPECT_FALSE(fs::exists(vela.LogFolder() + "/b.csv"));
    EXPECT_TRUE(fs::exists(vela.TodayLogPath()));
}

TEST_F(LogPagesInteropTest, SizeHeaderOfAFileOverTwoGigabytes)
{
    // Sparse: 3 GiB + 5 bytes announced without 3 GiB on the disk. A 32-bit
    // length would come out negative or wrapped.
    const long long size = 3LL * 1024 * 1024 * 1024 + 5;
    std::string big = vela.LogFolder() + "/big trace.txt";
    ASSERT_EQ(truncate((std::ofstream(big), big.c_str()), size), 0);
    // curl gives up once it sees the announced length over its limit; the
    // service must survive the connection closed under its sending.
    std::string head = vtest::Curl(
        {"-b", cookie, "--max-filesize", "65536", base + "logprop?file=big%20trace.txt"});
    EXPECT_TRUE(Has(head, "HTTP/1.0 200 OK")) << head.substr(0, 300);
    EXPECT_EQ(vtest::HttpHeader(head, "Content-Type"), "text/plain");
    EXPECT_EQ(vtest::HttpHeader(head, "Content-Length"), std::to_string(size));
    EXPECT_TRUE(Has(Get("loglist"), "big trace.txt"));
    EXPECT_TRUE(vela.Process().Running());
}
} // namespace
