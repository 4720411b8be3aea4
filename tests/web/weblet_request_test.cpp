#include "web/weblet_request.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
// Writes the bytes from a thread (they may exceed the socket buffer), closes
// the writing end and parses what arrives.
LWebletParse Parse(const std::string &bytes, LWebletRequest &request)
{
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    std::thread writer([&] {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = send(fds[1], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            done += (size_t)n;
        }
        shutdown(fds[1], SHUT_WR);
    });
    std::atomic<bool> stop{false};
    LWebletReader reader(fds[0], &stop);
    LWebletParse result = WebletReadRequest(reader, request, "192.0.2.7");
    shutdown(fds[0], SHUT_RDWR);
    writer.join();
    close(fds[0]);
    close(fds[1]);
    return result;
}

std::string Headers(int count, size_t value_size)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += "X-H" + std::to_string(i) + ": " + std::string(value_size, 'v') + "\r\n";
    return text;
}
} // namespace

TEST(WebletRequest, RequestLinesAndPaths)
{
    // clang-format off
    struct Case { std::string text; LWebletParse result; const char *script; bool keep_alive; } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", LWebletParse::Ok, "", true},
        {"GET /s.css HTTP/1.1\n\n", LWebletParse::Ok, "s.css", true}, // LF only
        {"GET /help/a%20b.html HTTP/1.1\r\n\r\n", LWebletParse::Ok, "help/a b.html", true},
        {"GET /main HTTP/1.0\r\n\r\n", LWebletParse::Ok, "main", false},
        {"GET /main HTTP/1.1\r\nConnection: close\r\n\r\n", LWebletParse::Ok, "main", false},
        {"POST /main HTTP/1.1\r\n\r\n", LWebletParse::Ok, "main", false},
        {"GET /../x HTTP/1.1\r\n\r\n", LWebletParse::NotFound, "", false},
        {"GET /a/%2e%2e/b HTTP/1.1\r\n\r\n", LWebletParse::NotFound, "", false},
        {"GET x HTTP/1.1\r\n\r\n", LWebletParse::NotFound, "", false},
        {"GET  HTTP/1.1\r\n\r\n", LWebletParse::NotFound, "", false},
        {"PUT / HTTP/1.1\r\n\r\n", LWebletParse::NotImplemented, "", false},
        {"get / HTTP/1.1\r\n\r\n", LWebletParse::NotImplemented, "", false},
        {"\r\n", LWebletParse::NotImplemented, "", false},
        {"GET / HTTP/1.1", LWebletParse::Close, "", false},                // no line end
        {"GET / HTTP/1.1\r\nHost: a\r\n", LWebletParse::Close, "", false}, // head not ended
        {"", LWebletParse::Close, "", false},
    };
    // clang-format on
    for (const Case &c : cases) {
        LWebletRequest request;
        EXPECT_EQ(Parse(c.text, request), c.result) << c.text;
        if (c.result == LWebletParse::Ok) {
            EXPECT_EQ(request.script, c.script) << c.text;
            EXPECT_EQ(request.keep_alive, c.keep_alive) << c.text;
        }
    }
}

TEST(WebletRequest, OverLongLinesAreCutOrRefused)
{
    LWebletRequest request;
    std::string path(2000, 'a');
    ASSERT_EQ(Parse("GET /" + path + " HTTP/1.1\r\n\r\n", request), LWebletParse::Ok);
    EXPECT_EQ(request.script.size(), 254u); // 259 bytes kept: "GET /" and 254 letters
    EXPECT_FALSE(request.keep_alive);       // the version was cut off
}

TEST(WebletRequest, HeaderCountAndSizeLimits)
{
    // clang-format off
    struct Case { int count; size_t size; LWebletParse result; } cases[] = {
        {100, 10, LWebletParse::Ok},
        {101, 10, LWebletParse::HeadersTooLarge},
        {30, 1000, LWebletParse::Ok},              // 30 KiB
        {40, 1000, LWebletParse::HeadersTooLarge}, // 40 KiB
        {1, 33000, LWebletParse::HeadersTooLarge}, // one endless line
    };
    // clang-format on
    for (const Case &c : cases) {
        LWebletRequest request;
        EXPECT_EQ(Parse("GET / HTTP/1.1\r\n" + Headers(c.count, c.size) + "\r\n", request),
                  c.result)
            << c.count << " x " << c.size;
    }
    EXPECT_EQ(std::string(WebletParseAnswer(LWebletParse::HeadersTooLarge)).substr(0, 12),
              "HTTP/1.1 431");
}

TEST(WebletRequest, HeadersHostAndCookies)
{
    LWebletRequest request;
    ASSERT_EQ(Parse("GET /x HTTP/1.1\r\nNoColonLine\r\nX-A:   spaced\r\nX-A: last\r\n"
                    "Cookie: a=1; sess=s%41b;=x; c;  d=%0d%0aq\r\n\r\n",
                    request),
              LWebletParse::Ok);
    EXPECT_STREQ(request.headers.GetParm("X-A"), "last");
    EXPECT_STREQ(request.headers.GetParm("x-a", "none"), "none"); // names keep their case
    EXPECT_FALSE(request.headers.TestExists("NoColonLine"));
    EXPECT_STREQ(request.headers.GetParm("Host"), "192.0.2.7"); // none sent
    EXPECT_STREQ(request.cookies.GetParm("a"), "1");
    EXPECT_STREQ(request.cookies.GetParm("sess"), "sAb");
    EXPECT_TRUE(request.cookies.TestExists("c"));
    EXPECT_STREQ(request.cookies.GetParm("d"), "\r\nq");
    EXPECT_FALSE(request.cookies.TestExists(""));
}

TEST(WebletRequest, QueryFieldsComeBeforeBodyFields)
{
    LWebletRequest request;
    std::string body = "a=body&b=2+3&c=%26";
    ASSERT_EQ(Parse("POST /p?a=query&q HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n\r\n" + body,
                    request),
              LWebletParse::Ok);
    EXPECT_STREQ(request.form.GetParm("a"), "query");
    EXPECT_STREQ(request.form.GetParm("b"), "2 3");
    EXPECT_STREQ(request.form.GetParm("c"), "&");
    EXPECT_TRUE(request.form.TestExists("q"));
}

TEST(WebletRequest, BodyLengthLimits)
{
    // 1000 fields of about 1000 bytes, the last one filling up to the limit.
    std::string max_body;
    for (int i = 0; i < 999; i++)
        max_body += "f" + std::to_string(i) + "=" + std::string(990, 'z') + "&";
    max_body += "last=";
    max_body += std::string(1000000 - max_body.size(), 'y');
    ASSERT_EQ(max_body.size(), 1000000u);
    LWebletRequest ok;
    ASSERT_EQ(Parse("POST /p HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n" + max_body, ok),
              LWebletParse::Ok);
    EXPECT_EQ(ok.form.GetCount(), 1000);
    EXPECT_EQ(strlen(ok.form.GetParm("f998")), 990u);
    EXPECT_EQ(strlen(ok.form.GetParm("last")) + max_body.rfind('=') + 1, 1000000u);

    // The body is its Content-Length: bytes after it (a pipelined request)
    // are not read into it.
    LWebletRequest exact;
    ASSERT_EQ(Parse("POST /p HTTP/1.1\r\nContent-Length: 3\r\n\r\nf=1&g=2", exact),
              LWebletParse::Ok);
    EXPECT_FALSE(exact.form.TestExists("g"));
}

TEST(WebletRequest, SmugglingShapesAndBadLengthsAreRefused)
{
    // clang-format off
    struct Case { std::string head; LWebletParse result; } cases[] = {
        {"GET /" + std::string(40000, 'a') + " HTTP/1.1\r\n\r\n", LWebletParse::HeadersTooLarge},
        {"POST /p HTTP/1.1\r\nContent-Length: 1000001\r\n\r\n", LWebletParse::BodyTooLong},
        {"POST /p HTTP/1.1\r\nContent-Length: -5\r\n\r\n", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", LWebletParse::Close},
        {"POST /p HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", LWebletParse::NotImplemented},
        {"POST /p HTTP/1.1\r\ntransfer-encoding: chunked\r\nContent-Length: 3\r\n\r\nf=1", LWebletParse::NotImplemented},
        {"POST /p HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nf=1", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 30\r\n\r\nf=1", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\nContent-Length: 3, 3\r\n\r\nf=1", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\nContent-Length: +3\r\n\r\nf=1", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\nContent-Length: 0x3\r\n\r\nf=1", LWebletParse::BadRequest},
        {"GET / HTTP/1.1\r\nHost: a\r\nhost: b\r\n\r\n", LWebletParse::BadRequest},
        {"POST /p HTTP/1.1\r\ncontent-LENGTH: 3\r\n\r\nf=1", LWebletParse::Ok},
    };
    // clang-format on
    for (const Case &c : cases) {
        LWebletRequest request;
        EXPECT_EQ(Parse(c.head, request), c.result) << c.head.substr(0, 80);
    }
    LWebletRequest lower;
    ASSERT_EQ(Parse("POST /p HTTP/1.1\r\ncontent-length: 3\r\nCOOKIE: sess=x\r\n\r\nf=1", lower),
              LWebletParse::Ok);
    EXPECT_STREQ(lower.form.GetParm("f"), "1");
    EXPECT_STREQ(lower.cookies.GetParm("sess"), "x");
    // A GET's body is read and dropped: its bytes are no fields.
    LWebletRequest get;
    ASSERT_EQ(Parse("GET /p?a=1 HTTP/1.1\r\nContent-Length: 5\r\n\r\nsave=", get),
              LWebletParse::Ok);
    EXPECT_FALSE(get.form.TestExists("save"));
}
