#include "sip/commalist.h"
#include "sip/sipnameaddr.h"
#include "sip/sipuri.h"
#include "sip/uricoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
std::string Params(const LHashTable &table)
{
    std::string out;
    for (LHashTable::Iterator it(table); it.IsValid(); it.Next())
        out += std::string("[") + it.GetParm() + "=" + it.GetData() + "]";
    return out;
}
} // namespace

TEST(SipURI, ParsesAndWritesBack)
{
    // clang-format off
    const struct { const char *text, *scheme, *user, *password, *host; int port; bool portSpecified; const char *params, *written; } cases[] = {
        {"sip:100@10.1.2.3:5070;transport=udp;lr", "sip", "100", "", "10.1.2.3", 5070, true, "[lr=][transport=udp]", "sip:100@10.1.2.3:5070;lr;transport=udp"},
        {"sip:100:secret@h", "sip", "100", "secret", "h", 5060, false, "", "sip:100:secret@h"},
        {"192.168.0.10", "sip", "", "", "192.168.0.10", 5060, false, "", "sip:192.168.0.10"},
        {"10.0.0.1:5070", "sip", "", "", "10.0.0.1", 5070, true, "", "sip:10.0.0.1:5070"},
        {"tel:+612", "tel", "", "", "+612", 5060, false, "", "tel:+612"},
        {"sips:a@b:x", "sips", "a", "", "b", 0, true, "", "sips:a@b:0"},
        {"sip:a@b:99999", "sip", "a", "", "b", 0, true, "", "sip:a@b:0"},
        {"sip:a@b;x=1;x=2;;=v;y", "sip", "a", "", "b", 5060, false, "[y=][x=2]", "sip:a@b;y;x=2"},
        {"sip:a@b;n%3Bx=v%20w+z", "sip", "a", "", "b", 5060, false, "[n;x=v w z]", "sip:a@b;n%3Bx=v%20w%20z"},
        {"sip:a@b?subject=hi%20there&x=1", "sip", "a", "", "b", 5060, false, "", "sip:a@b?subject=hi%20there&x=1"},
        {"sip:a@b;lr?h=1", "sip", "a", "", "b", 5060, false, "[lr=]", "sip:a@b;lr?h=1"},
        {"a@b", "sip", "a", "", "b", 5060, false, "", "sip:a@b"},
        {"", "sip", "", "", "", 5060, false, "", "sip:"},
        {"sip:a@b;p=%4", "sip", "a", "", "b", 5060, false, "[p=]", "sip:a@b;p"},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipURI uri(c.text);
        EXPECT_STREQ(uri.GetScheme(), c.scheme) << c.text;
        EXPECT_STREQ(uri.GetUser(), c.user) << c.text;
        EXPECT_STREQ(uri.GetPassword(), c.password) << c.text;
        EXPECT_STREQ(uri.GetHost(), c.host) << c.text;
        EXPECT_EQ(uri.GetPort(), c.port) << c.text;
        EXPECT_EQ(uri.IsPortSpecified(), c.portSpecified) << c.text;
        EXPECT_EQ(Params(uri.GetParameters()), c.params) << c.text;
        std::string out;
        uri.Reconstruct(out);
        EXPECT_EQ(out, c.written) << c.text;
    }
}

TEST(SipURI, EditedAndOverlongText)
{
    LSipURI uri("sip:1@h:5070;lr");
    uri.SetPort(5060);
    uri.SetUser("200");
    std::string out;
    uri.ReconstructWithoutParameters(out);
    EXPECT_EQ(out, "sip:200@h");
    EXPECT_FALSE(uri.TestParameterExists("LR"));
    std::string huge = "sip:" + std::string(400, 'u') + "@h";
    LSipURI cut(huge.c_str());
    EXPECT_EQ(std::string(cut.GetHost()), std::string(255, 'u'));
    EXPECT_STREQ(cut.GetUser(), "");
}

TEST(SipNameAddr, ParsesDisplayNameUriAndTag)
{
    // clang-format off
    const struct Case { const char *text; const char *display, *uri, *tag; const char *written; } cases[] = {
        {"\"Bob\" <sip:200@10.0.0.9>;tag=77", "Bob", "sip:200@10.0.0.9", "77", "\"Bob\" <sip:200@10.0.0.9>"},
        {"Bob <sip:200@10.0.0.9>", "Bob", "sip:200@10.0.0.9", "-", "\"Bob\" <sip:200@10.0.0.9>"},
        {"sip:200@10.0.0.9;tag=77", "", "sip:200@10.0.0.9;tag=77", "-", "<sip:200@10.0.0.9;tag=77>"},
        {"200@10.0.0.9", "", "sip:200@10.0.0.9", "-", "<sip:200@10.0.0.9>"},
        {"  <sip:a@b> ; tag=x ;expires=60", "", "sip:a@b", "x", "<sip:a@b>"},
        {"\"A <b>\" <sip:a@b>;tag=1", "A <b>", "sip:a@b", "1", "\"A <b>\" <sip:a@b>"},
        {"\"unterminated <sip:a@b>", "unterminated <sip:a@b>", "sip:", "-", "\"unterminated <sip:a@b>\" <sip:>"},
        {"<sip:a@b", "", "sip:a@b", "-", "<sip:a@b>"}, {"", "", "sip:", "-", "<sip:>"},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipNameAddr name(c.text);
        EXPECT_STREQ(name.GetDisplayName(), c.display) << c.text;
        EXPECT_STREQ(name.GetSipURI(), c.uri) << c.text;
        EXPECT_STREQ(name.GetHeaderField("tag", "-"), c.tag) << c.text;
        std::string out;
        name.ReconstructWithoutHeaders(out);
        EXPECT_EQ(out, c.written) << c.text;
    }
    EXPECT_STREQ(LSipNameAddr("<sip:a@b>;expires=60;tag=x").GetHeaderField("expires", ""), "60");
}

TEST(SipNameAddr, ExpandCompletesDialledTargets)
{
    // clang-format off
    const struct Case { const char *text, *expected; } cases[] = {
        {"201", "<sip:201@10.0.0.5>"}, {"sip:201@10.0.0.7", "<sip:201@10.0.0.7>"},
        {"\"X\" <sip:1@2>", "\"X\" <sip:1@2>"}, {" 2 0 1 ", "<sip:201@10.0.0.5>"},
        {"201@host", "<sip:201@host>"}, {"tel:201", "<tel:201@10.0.0.5>"},
        {"a@b:5070", "<sip:a@b:5070>"},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::string out;
        LSipNameAddr::Expand(c.text, "10.0.0.5", out);
        EXPECT_EQ(out, c.expected) << c.text;
    }
}

TEST(SipNameAddr, PrependCIDRewritesNonEmptyUsers)
{
    // clang-format off
    const struct Case { const char *text, *prefix, *uri; } cases[] = {
        {"<sip:100@h;b=1;a=2>;tag=1", "9", "sip:9100@h;a=2;b=1"}, {"<sip:h>", "9", "sip:h"},
        {"<sip:100@h:5070>", "+49", "sip:+49100@h:5070"},
    };
    // clang-format on
    for (const auto &c : cases) {
        LSipNameAddr name(c.text);
        name.PrependCID(c.prefix);
        EXPECT_STREQ(name.GetSipURI(), c.uri) << c.text;
    }
    std::string longUser = "<sip:" + std::string(250, '1') + "@h>";
    LSipNameAddr name(longUser.c_str());
    name.PrependCID(std::string(100, '9').c_str());
    EXPECT_EQ(strlen(name.GetSipURI()), 259u);
}

TEST(SipPercentCoding, EncodeAndDecode)
{
    char out[260];
    LURIEncode(out, "a b:%/?#[]@!$&'()*+,;=z\x7f\x80\xff~");
    EXPECT_STREQ(out, "a%20b%3A%25%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3Dz\x7f%80%FF~");
    std::string spaces(100, ' ');
    EXPECT_EQ(LURIEncode(out, spaces.c_str()), 258u); // never half an escape
    char small[8];
    memset(small, 'C', sizeof small);
    EXPECT_EQ(LURIEncode(small, 4, "abcdef"), 3u); // the terminator fits too
    EXPECT_EQ(small[4], 'C');
    // clang-format off
    const struct Case { const char *text, *terminators, *expected; size_t consumed; } cases[] = {
        {"a+b%41%6a", "", "a bAj", 9}, {"%zz1", "", "1", 4}, {"ab%4", "", "ab", 2},
        {"x%00y", "", "xy", 5}, {"n=v;w", "=;", "n", 1}, {"%4;", ";", "", 0},
    };
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(LURIDecode(out, sizeof(out), c.text, c.terminators), c.consumed) << c.text;
        EXPECT_STREQ(out, c.expected) << c.text;
    }
    std::string many(600, 'q');
    LURIDecode(out, many.c_str());
    EXPECT_EQ(strlen(out), 259u);
}

TEST(SipCommaList, SplitsContactLists)
{
    // clang-format off
    const struct Case { const char *text; std::vector<std::string> items; } cases[] = {
        {"<sip:a@b>;q=0.5, <sip:c@d>", {"<sip:a@b>;q=0.5", "<sip:c@d>"}},
        {"\"Bob\" <sip:a@b>, sip:c@d", {"Bob", "sip:c@d"}},
        {"  \"say \"\"hi\"\"\" <x>,y", {"say \"hi\"", "y"}}, {"a,,b,", {"a", "", "b"}}, {"", {}},
        {"\"open", {"open"}},
    };
    // clang-format on
    for (const auto &c : cases) {
        LCommaSeparatedListIteratorTemplate<char> it(c.text);
        std::vector<std::string> items;
        while (it.Next())
            items.push_back(it.GetItem());
        EXPECT_EQ(items, c.items) << c.text;
    }
    std::string huge(1000, 'x');
    LCommaSeparatedListIteratorTemplate<char> it(huge.c_str());
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(strlen(it.GetItem()), 259u);
    EXPECT_FALSE(it.Next());
}
