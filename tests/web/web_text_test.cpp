#include "web/web_format.h"
#include "web/web_text.h"
#include "web_fixture.h"

#include <gtest/gtest.h>

TEST(WebText, HtmlEncodingOfSpecialCharactersAndLineBreaks)
{
    // clang-format off
    struct Case { const char *in; const char *out; } cases[] = {
        {"a&b<c>d\"e", "a&amp;b&lt;c&gt;d&quot;e"},
        {"one\r\ntwo", "one<br>two"},
        {"one\ntwo", "one<br>two"},
        {"one\n\rtwo", "one<br>two"},
        {"one\rtwo", "one<br>two"},
        {"para\r\n\r\nnext", "para<p>next"},
        {"para\n\nnext", "para<p>next"},
        {"x\n\n\ny", "x<p><br>y"},
        {"'plain' text", "'plain' text"},
        {"", ""},
    };
    // clang-format on
    for (const Case &c : cases) {
        std::string out;
        WebHtmlEncode(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(WebText, UrlDecodingOfHostilePercentCoding)
{
    // clang-format off
    struct Case { const char *in; std::string out; } cases[] = {
        {"a+b%41", "a bA"}, {"%zz", ""},     // a non-hex digit counts as 0, and a 0 byte is dropped
        {"%4", ""},                          // too short: ends the text
        {"ab%", "ab"},      {"x%00y", "xy"}, // NUL never reaches a C string
        {"%2e%2E", ".."},   {"%0d%0a", "\r\n"},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(WebUrlDecode(c.in, strlen(c.in)), c.out) << c.in;
}

TEST(WebFormat, ExtraConversionsAndOrdinaryOnes)
{
    EXPECT_EQ(WebFormat("<b>%H</b>", "<x & \"y\">"), "<b>&lt;x &amp; &quot;y&quot;&gt;</b>");
    EXPECT_EQ(WebFormat("a?id=%U", "x y&z=/"), "a?id=x%20y%26z%3D%2F");
    EXPECT_EQ(WebFormat("%d|%5d|%-3d|%05.1f|%s|%ld|%lld|%%|%x|%c", 7, 42, 1, 2.25, "s", 9L,
                        123456789012LL, 255, 'q'),
              "7|   42|1  |002.2|s|9|123456789012|%|ff|q");
    EXPECT_EQ(WebFormat("%*d|%.*s|%zu", 4, 5, 2, "abcdef", (size_t)77), "   5|ab|77");
    EXPECT_EQ(WebFormat("%H and %U then %d", "a<b", "a b", 3), "a&lt;b and a%20b then 3");
    std::string big(20000, 'x');
    EXPECT_EQ(WebFormat("[%s]", big.c_str()).size(), big.size() + 2);
}

TEST(WebFormat, WfprintfSendsEncodedTextToTheSocket)
{
    CapturedForm captured("/nonexistent");
    EXPECT_TRUE(wfprintf(captured.Form(), "v=\"%H\" u=%U n=%d", "\"q\"", "a&b", 5));
    EXPECT_TRUE(wfputs(captured.Form(), "%H stays"));
    EXPECT_EQ(captured.Output(), "v=\"&quot;q&quot;\" u=a%26b n=5%H stays");
}

TEST(WebFormat, SendToAClosedPeerFails)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    close(fds[1]);
    std::atomic<bool> stop{false};
    EXPECT_FALSE(WebletSendAll(fds[0], "x", 1, 1000, &stop));
    close(fds[0]);
}
