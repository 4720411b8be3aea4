// The web server over real sockets: curl and raw TCP clients against a server
// started in this process on a free loopback port.
#include "support/log_catcher.h"
#include "support/process.h"
#include "support/udp_peer.h"
#include "support/wait.h"
#include "support/web_client.h"
#include "web/web_dialog.h"
#include "web/web_logon.h"
#include "web/weblet_server.h"
#include "web_fixture.h"

#include <algorithm>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <vector>

namespace
{
using vtest::Curl;
using vtest::HttpHeader;

class OkDialog : public LWebDialog
{
  public:
    using LWebDialog::LWebDialog;
    void Generate() override { AddInput(101, "Name:", 20); }
};

void TestDialog(LWebletForm &form)
{
    OkDialog dialog(form);
    dialog.Run();
}

// Only what the tests request: the hostile requests are refused before a
// script is looked up.
const LWebletScriptItem kScripts[] = {{"", VWLogon}, {"logon", VWLogon}, {"dlg", TestDialog}};
constexpr int kScriptCount = (int)std::size(kScripts);

// A connection from the given loopback source address.
int Connect(int port, const char *from = "127.0.0.1")
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source = vtest::Address(from, 0), to = vtest::Address("127.0.0.1", port);
    if (bind(fd, (sockaddr *)&source, sizeof source) != 0 ||
        connect(fd, (sockaddr *)&to, sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until the peer closes, the text holds `until`, or the time runs out.
std::string ReadSome(int fd, int timeout_ms, const char *until = nullptr, bool *closed = nullptr)
{
    std::string text;
    int64_t deadline = vtest::MonotonicMs() + timeout_ms;
    if (closed)
        *closed = false;
    while (vtest::MonotonicMs() < deadline) {
        if (until && text.find(until) != std::string::npos)
            break;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, (int)(deadline - vtest::MonotonicMs())) <= 0)
            break;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            break;
        }
        text.append(buf, (size_t)n);
    }
    return text;
}

// Bytes the server has not read yet on its connections at port: their
// receive queues in /proc/net/tcp (a listener's queue counts connections).
unsigned Unread(int port)
{
    std::ifstream tcp("/proc/net/tcp");
    unsigned total = 0, local = 0, state = 0, queued = 0;
    for (std::string line; std::getline(tcp, line);)
        if (sscanf(line.c_str(), " %*d: %*x:%x %*x:%*x %x %*x:%x", &local, &state, &queued) == 3 &&
            local == (unsigned)port && state != 0x0A)
            total += queued;
    return total;
}

std::string Raw(int port, const std::string &request, bool *closed = nullptr)
{
    int fd = Connect(port);
    EXPECT_GE(fd, 0);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer = ReadSome(fd, 5000, nullptr, closed);
    close(fd);
    return answer;
}

class WebServerInterop : public WebRootTest
{
  protected:
    void SetUp() override
    {
        WebRootTest::SetUp();
        port = vtest::FreeTcpPort();
        std::string help = root + "/vela/share/help";
        ASSERT_TRUE(LCreateFolder(help.c_str()));
        std::ofstream(help + "/page.html") << "<p>help text</p>";
        ASSERT_TRUE(server.StartServer(kScripts, kScriptCount,
                                       VELA_TEST_DATA "/../../web/WebControl", port));
        ASSERT_TRUE(vtest::WaitUntil([this] { return server.IsListening(); }));
    }
    void TearDown() override
    {
        server.Stop();
        WebRootTest::TearDown();
    }

    std::string Url(const char *path) { return "http://127.0.0.1:" + std::to_string(port) + path; }

    std::string LogOnCookie(const char *fields) { return vtest::WebLogOn(Url(""), fields); }

    LWebletServer server;
    int port = 0;
};

} // namespace

TEST_F(WebServerInterop, StaticFilesWithEtagsAndMissingFiles)
{
    std::string css = Curl({Url("/s.css")});
    ASSERT_EQ(css.compare(0, 15, "HTTP/1.1 200 OK"), 0) << css;
    EXPECT_EQ(HttpHeader(css, "Content-Type"), "text/css");
    std::string etag = HttpHeader(css, "ETag");
    ASSERT_GT(etag.size(), 4u);
    EXPECT_NE(css.find("body {"), std::string::npos);

    std::string again = Curl({"-H", "If-None-Match: " + etag, Url("/s.css")});
    EXPECT_EQ(again.compare(0, 25, "HTTP/1.1 304 Not Modified"), 0) << again;
    std::string since =
        Curl({"-H", "If-Modified-Since: " + HttpHeader(css, "Last-Modified"), Url("/s.css")});
    EXPECT_EQ(since.compare(0, 12, "HTTP/1.1 304"), 0) << since;

    EXPECT_EQ(HttpHeader(Curl({Url("/orbs.gif")}), "Content-Type"), "image/gif");
    EXPECT_EQ(Curl({Url("/missing.css")}).compare(0, 12, "HTTP/1.1 404"), 0);
    std::string help = Curl({Url("/help/page.html")});
    EXPECT_NE(help.find("<p>help text</p>"), std::string::npos) << help;
    EXPECT_EQ(HttpHeader(help, "Content-Type"), "text/html");
}

TEST_F(WebServerInterop, KeepAliveOnlyForHttp11)
{
    int fd = Connect(port);
    ASSERT_GE(fd, 0);
    const std::string get = "GET /s.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(send(fd, get.data(), get.size(), MSG_NOSIGNAL), (ssize_t)get.size());
        std::string answer = ReadSome(fd, 5000, "table.inputform");
        EXPECT_EQ(answer.compare(0, 15, "HTTP/1.1 200 OK"), 0) << "round " << round;
    }
    close(fd);
    bool closed = false;
    std::string old = Raw(port, "GET /s.css HTTP/1.0\r\n\r\n", &closed);
    EXPECT_EQ(old.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    EXPECT_TRUE(closed);
}

TEST_F(WebServerInterop, ManyConnectionsFromOneAddressDoNotStarveAnother)
{
    std::vector<int> idle;
    for (int i = 0; i < 4 * LWebletServer::kMaxConnections; i++) {
        int fd = Connect(port);
        if (fd >= 0)
            idle.push_back(fd);
    }
    EXPECT_GE(idle.size(), 3u * LWebletServer::kMaxConnections);
    std::string answer = Curl({"--interface", "127.0.0.2", Url("/s.css")});
    EXPECT_EQ(answer.compare(0, 15, "HTTP/1.1 200 OK"), 0) << answer;
    EXPECT_LE(server.GetConnectionCount(), LWebletServer::kMaxPerAddress + 1);
    for (int fd : idle)
        close(fd);
}

TEST_F(WebServerInterop, FullServerDropsSilentConnectionsBeforeHalfSentRequests)
{
    // 64 slots from four addresses: a quarter part-way through a request.
    std::vector<int> silent, partial;
    for (uint32_t a = 0; a < 4; a++)
        for (int i = 0; i < LWebletServer::kMaxPerAddress; i++) {
            int fd = Connect(port, ("127.0.0." + std::to_string(10 + a)).c_str());
            ASSERT_GE(fd, 0);
            if (a == 0)
                send(fd, "GET /s.css HTTP/1.1\r\nHo", 24, MSG_NOSIGNAL);
            (a == 0 ? partial : silent).push_back(fd);
        }
    EXPECT_TRUE(vtest::WaitUntil(
        [this] { return server.GetConnectionCount() >= LWebletServer::kMaxConnections; }));
    EXPECT_TRUE(vtest::WaitUntil([this] { return Unread(port) == 0; })) << "partials not read";
    std::string answer = Curl({"--interface", "127.0.0.20", Url("/s.css")});
    EXPECT_EQ(answer.compare(0, 15, "HTTP/1.1 200 OK"), 0) << answer;
    // Nothing is sent to either kind: readable means closed.
    auto closed = [](const std::vector<int> &fds) {
        return std::count_if(fds.begin(), fds.end(), [](int fd) {
            pollfd p = {fd, POLLIN, 0};
            return poll(&p, 1, 0) == 1;
        });
    };
    EXPECT_TRUE(vtest::WaitUntil([&] { return closed(silent) >= 1; }));
    EXPECT_EQ(closed(partial), 0) << "a half-sent request went before a silent connection";
    for (int fd : silent)
        close(fd);
    for (int fd : partial)
        close(fd);
}

// Each refusal as its status line and a closed connection (the parsing and
// the host and origin checks are weblet_request_test's and weblet_guard_test's).
TEST_F(WebServerInterop, HostileRequestsOnTheWire)
{
    const std::string smuggled = "GET /main HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::string many;
    for (int i = 0; i < 101; i++)
        many += "X-" + std::to_string(i) + ": 1\r\n";
    // clang-format off
    struct Case { std::string request; const char *status; } cases[] = {
        {"GET /../x HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"PUT / HTTP/1.1\r\n\r\n", "HTTP/1.1 501"},
        {"POST /echo HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n", "HTTP/1.1 500"},
        {"GET / HTTP/1.1\r\n" + many + "\r\n", "HTTP/1.1 431"},
        {"POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nf=1", "HTTP/1.1 400"},
        {"GET /s.css HTTP/1.1\r\nhost: evil.example\r\n\r\n", "HTTP/1.1 403"},
        {"POST /logon HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://evil.example\r\nContent-Length: 30\r\n\r\n101=admin&102=&submitdef=++OK++", "HTTP/1.1 403"},
    };
    // clang-format on
    for (const Case &c : cases) {
        bool closed = false;
        std::string answer = Raw(port, c.request, &closed);
        EXPECT_EQ(answer.compare(0, 12, c.status), 0) << c.request << "\n" << answer;
        EXPECT_TRUE(closed) << c.request;
    }
    // A GET's body is not the next request of the connection.
    int fd = Connect(port);
    std::string get = "GET /s.css HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                      std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled;
    send(fd, get.data(), get.size(), MSG_NOSIGNAL);
    std::string answers = ReadSome(fd, 1500);
    close(fd);
    EXPECT_EQ(answers.find("HTTP/1."), 0u) << answers;
    EXPECT_EQ(answers.find("HTTP/1.", 1), std::string::npos) << answers;
}

// Every page forbids framing. (Which return targets are safe, percent-coded
// or not, is weblet_guard_test's and web_dialog_test's.)
TEST_F(WebServerInterop, EveryPageForbidsFraming)
{
    std::string cookie = LogOnCookie("101=admin&102=&submitdef=++OK++");
    for (const char *path : {"/logon", "/dlg", "/help/page.html"}) {
        std::string answer = Curl({"-b", cookie, Url(path)});
        EXPECT_EQ(HttpHeader(answer, "Content-Security-Policy"), "frame-ancestors 'none'") << path;
        EXPECT_EQ(HttpHeader(answer, "X-Frame-Options"), "DENY") << path;
    }
}

TEST_F(WebServerInterop, WrongPasswordsSlowDownAndTheRightOneStillWorks)
{
    ASSERT_TRUE(LSettingSetString("WebAccess", "Password", "right-one"));
    int64_t start = vtest::MonotonicMs();
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(LogOnCookie("101=admin&102=wrong&submitdef=++OK++"), "");
    // The 5th, 6th and 7th attempts waited 200, 400 and 600 ms.
    EXPECT_GE(vtest::MonotonicMs() - start, 1200);
    EXPECT_NE(LogOnCookie("101=admin&102=right-one&submitdef=++OK++"), "");
}

TEST_F(WebServerInterop, BindConflictIsLogged)
{
    vtest::LogCatcher log;
    LWebletServer second;
    ASSERT_TRUE(second.StartServer(kScripts, kScriptCount, "/nonexistent", port));
    const std::string busy = "Some other program may be using port " + std::to_string(port) + ".";
    EXPECT_TRUE(vtest::WaitUntil([&] { return log.Heard(busy); }));
    second.Stop(); // must not wait out the 30 s retry
}
