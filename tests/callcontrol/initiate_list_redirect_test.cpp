// Targets from redirect responses: Contact values split and mapped, repeats
// and the exchange itself left out, at most 16 per response.
#include "initiate_list_fixture.h"
#include "sip/sipmessage.h"
#include "support/sip_parse.h"

namespace
{
class RedirectTest : public InitiateListTest
{
  protected:
    LSipCallInitiateItem &Redirected(int maxForwards)
    {
        LSipCallInitiateParams p;
        p.remoteNameAddr = "<sip:101@pbx.test>";
        p.localNameAddr = kCaller;
        p.localUserID = p.localAuthID = "101";
        p.remoteTargetURI = "sip:101@10.0.0.5";
        p.groupMember = true;
        p.dialRules = "Office";
        p.maxForwards = maxForwards;
        p.chainAbortResponse = 486;
        p.remoteSpecialFlags = 2;
        p.startTime = kNow + 30;
        list.AddExtension(p);
        return *list.GetFirst();
    }
    int Redirect(const LSipCallInitiateItem &item, std::vector<std::string> contacts)
    {
        std::string text = "SIP/2.0 302 Moved Temporarily\r\nCall-ID: a@b\r\n";
        for (auto &c : contacts)
            text += c + "\r\n";
        text += "Content-Length: 0\r\n\r\n";
        return list.AddContact(item, *vtest::ParseSip(text));
    }
};

TEST_F(RedirectTest, ContactsBecomeTargetsAtOnce)
{
    // clang-format off
    struct { const char *what; std::vector<std::string> contacts; int added; std::vector<std::string> targets; } cases[] = {
        {"two values in one header, one in compact form", {"Contact: <sip:201@10.0.0.7>, \"Desk, 2\" <sip:202@10.0.0.8;transport=udp>;q=0.5", "m: sip:203@10.0.0.9"}, 3, {"sip:201@10.0.0.7", "sip:202@10.0.0.8;transport=udp", "sip:203@10.0.0.9"}},
        {"a repeat of a listed URI adds nothing", {"Contact: <sip:101@10.0.0.5>"}, 0, {}},
        {"the exchange itself is left out", {"Contact: <sip:300@pbx.test>, <sip:301@10.0.0.1>, <sip:302@10.0.0.1:5062>"}, 1, {"sip:302@10.0.0.1:5062"}},
        {"contacts pass through the registry map", {"Contact: <sip:205@192.168.9.9:5070>"}, 1, {"sip:205@203.0.113.7:40000"}},
        {"empty and odd values", {"Contact: , ,", "Contact:"}, 0, {}},
    };
    // clang-format on
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        list.DeleteAll();
        LSipCallInitiateItem &item = Redirected(10);
        EXPECT_EQ(Redirect(item, c.contacts), c.added);
        ASSERT_EQ(list.GetCount(), 1 + c.added);
        std::vector<std::string> targets;
        for (auto *i = list.GetFirst(); i != &item; i = LListNext(i)) {
            targets.insert(targets.begin(), i->GetCall().remoteTargetURI);
            EXPECT_EQ(i->GetStartTime(), 0);
            EXPECT_EQ(Describe(*i),
                      "<sip:101@pbx.test> from \"Alice\" <sip:100@pbx.test> as 101 "
                      "auth 101: proxy  rules Office hops 9 abort 486 flags 2 member");
        }
        EXPECT_EQ(targets, c.targets);
    }
}

TEST_F(RedirectTest, AtMostSixteenFromOneResponse)
{
    LSipCallInitiateItem &item = Redirected(70);
    std::vector<std::string> many;
    for (int i = 0; i < 40; i++)
        many.push_back("Contact: <sip:" + std::to_string(400 + i) +
                       "@10.0.1.1>, <sip:" + std::to_string(400 + i) + "@10.0.1.1>");
    EXPECT_EQ(Redirect(item, many), 16);
    EXPECT_EQ(list.GetCount(), 17);
    EXPECT_NE(list.FindTargetURI("sip:415@10.0.1.1"), nullptr);
    EXPECT_EQ(list.FindTargetURI("sip:416@10.0.1.1"), nullptr);
}

TEST_F(RedirectTest, NoHopsLeftAddsNothing)
{
    for (int hops : {1, 0}) {
        list.DeleteAll();
        LSipCallInitiateItem &item = Redirected(hops);
        EXPECT_EQ(Redirect(item, {"Contact: <sip:201@10.0.0.7>"}), 0);
        EXPECT_EQ(list.GetCount(), 1);
    }
}

TEST_F(RedirectTest, OverlongContactIsCutAndStillDeduplicated)
{
    LSipCallInitiateItem &item = Redirected(70);
    std::string uri = "<sip:" + std::string(600, '9') + "@10.0.0.7>";
    EXPECT_EQ(Redirect(item, {"Contact: " + uri, "Contact: " + uri}), 1);
    EXPECT_LE(strlen(list.GetFirst()->GetCall().remoteTargetURI), 259u);
}
} // namespace
