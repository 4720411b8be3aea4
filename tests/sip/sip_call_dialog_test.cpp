// A dialog against the peer: 2xx repeated until the ACK, CANCEL only after a
// provisional response, re-INVITE glare, BYE both ways, stray requests and
// "Replaces" matching.
#include "sip_call_fixture.h"

#include <cstring>

namespace vtest
{
namespace
{
class SipCallDialog : public SipCallTest
{
};

std::string LocalTagOf(const LSipCall &call)
{
    return call.GetLocalTag();
}

TEST_F(SipCallDialog, OkIsRepeatedUntilTheAckThenStops)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("ack-1", invite);
    LPtr<LSipMessage> ack;
    auto result = Run(
        [&] { return call->SendResponseAndWaitForAck(owner, invite, ack, 200, "OK", "v=0\r\n"); });
    Received first, r;
    ASSERT_TRUE(peer.Next(first, 1000));
    EXPECT_EQ(first.message().GetResponseStatusCode(), 200);
    EXPECT_STREQ(first.message().GetContent("application/sdp"), "v=0\r\n");
    // RFC 3261 Timer G: the gaps double from T1 (70 ms here) up to T2
    // (200 ms here), instead of a fixed beat.
    std::vector<uint64_t> at{LMonotonicMs()};
    while (at.size() < 5 && peer.Next(r, 400)) {
        EXPECT_EQ(r.text, first.text);
        at.push_back(LMonotonicMs());
    }
    ASSERT_EQ(at.size(), 5u);
    EXPECT_GE(at[2] - at[1], at[1] - at[0] + 35);
    EXPECT_GE(at[3] - at[2], 150);
    EXPECT_LT(at[4] - at[3], 300);
    peer.Send(PeerRequest("ACK", "ack-1", LocalTagOf(*call), peer.Port(), 1));
    EXPECT_EQ(result.get(), 200);
    ASSERT_TRUE(ack);
    EXPECT_STREQ(ack->GetRequest(), "ACK");
    std::vector<Received> after = peer.Drain(250);
    EXPECT_TRUE(after.empty()) << after.size() << " repeats after the ACK";
}

TEST_F(SipCallDialog, NoAckGivesUpWith408AndRepeatedInviteIsAnsweredFromTheCache)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("ack-2", invite);
    LPtr<LSipMessage> ack;
    uint64_t begin = LMonotonicMs();
    auto result = Run([&] {
        return call->SendResponseAndWaitForAck(owner, invite, ack, 486, "Busy Here", nullptr);
    });
    // The same INVITE again is a repeat: no 482, the cached answer comes.
    peer.Send(PeerRequest("INVITE", "ack-2", "", peer.Port(), 1));
    // The same CSeq over another path is a loop.
    peer.Send(PeerRequest("INVITE", "ack-2", "", peer.Port(), 1, "", "other"));
    std::vector<Received> all = peer.Drain(300);
    EXPECT_EQ(result.get(), 408);
    EXPECT_GE(LMonotonicMs() - begin, 1200u);
    int busy = 0, loops = 0;
    for (const Received &r : all) {
        busy += r.message().GetResponseStatusCode() == 486;
        loops += r.message().GetResponseStatusCode() == 482;
    }
    EXPECT_EQ(loops, 1);
    EXPECT_GE(busy, 7); // 70 ms doubling to 200 ms for 1200 ms, plus the cached answer
}

TEST_F(SipCallDialog, CancelWaitsForAProvisionalResponse)
{
    LPtr<LSipCall> call = Outgoing();
    LSipRequest invite;
    invite.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
    call->SendRequest(invite);
    Received sentInvite, r;
    ASSERT_TRUE(peer.Next(sentInvite, 1000));
    // Nothing is sent without a provisional response; 408 after the limit.
    uint64_t begin = LMonotonicMs();
    EXPECT_EQ(call->SendCancel(invite, false), 408);
    EXPECT_GE(LMonotonicMs() - begin, 300u);
    EXPECT_FALSE(peer.Next(r, 100)) << r.text;

    auto result = Run([&] { return call->SendCancel(invite, false); });
    EXPECT_FALSE(peer.Next(r, 150)) << r.text;
    peer.Reply(sentInvite.message(), 180, "Ringing");
    ASSERT_TRUE(peer.Next(r, 500));
    ASSERT_STREQ(r.message().GetRequest(), "CANCEL");
    std::string cseq = r.message().FindField(LSipFields::CSeq, "");
    EXPECT_EQ(cseq, std::to_string(invite.GetSequence()) + " CANCEL");
    EXPECT_STREQ(r.message().FindField(LSipFields::Via, ""),
                 sentInvite.message().FindField(LSipFields::Via, ""));
    peer.Reply(r.message(), 200, "OK");
    peer.Reply(sentInvite.message(), 487, "Request Terminated");
    EXPECT_EQ(result.get(), 487);
    ASSERT_TRUE(peer.Next(r, 500));
    EXPECT_STREQ(r.message().GetRequest(), "ACK");
    EXPECT_NE(strstr(r.message().FindField(LSipFields::Via, ""), invite.GetBranch()), nullptr);
}

TEST_F(SipCallDialog, ReInviteGlareBothWays)
{
    LPtr<LSipCall> call = Outgoing();
    call->SetDialogEstablished();
    LSipRequest request;
    LPtr<LSipMessage> response;
    auto result = Run([&] {
        return call->SendReInviteAndWaitForFinalResponse(owner, request, response, "v=0\r\n");
    });
    Received ours, r;
    ASSERT_TRUE(peer.Next(ours, 1000));
    ASSERT_STREQ(ours.message().GetRequest(), "INVITE");
    // The peer's own re-INVITE crosses ours: refused while ours is pending.
    peer.Send(PeerRequest("INVITE", call->GetCallID(), call->GetLocalTag(), peer.Port(), 50));
    bool refused = false;
    while (!refused && peer.Next(r, 500))
        refused = r.message().GetResponseStatusCode() == 491 &&
                  strcmp(r.message().GetResponseReasonPhrase(), "Request Pending") == 0;
    EXPECT_TRUE(refused);
    peer.Reply(ours.message(), 491, "Request Pending");
    EXPECT_EQ(result.get(), 491);
    ASSERT_TRUE(response);
    bool acked = false;
    while (!acked && peer.Next(r, 300))
        acked = strcmp(r.message().GetRequest(), "ACK") == 0;
    EXPECT_TRUE(acked);
}

TEST_F(SipCallDialog, ByeInBothDirections)
{
    LPtr<LSipCall> call = Outgoing();
    call->SetDialogEstablished();
    LSipRequest bye;
    ASSERT_TRUE(bye.CreateByeRequest(*call));
    LPtr<LSipMessage> response;
    auto result =
        Run([&] { return call->SendRequestAndWaitForResponse(owner, bye, response, 2000); });
    Received r;
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_STREQ(r.message().GetRequest(), "BYE");
    peer.Reply(r.message(), 200, "OK");
    EXPECT_EQ(result.get(), 200);

    // The far end hangs up while we wait for something else: 200 and 487.
    LPtr<LSipCall> other = Outgoing();
    other->SetDialogEstablished();
    LSipRequest info;
    info.CreateInfoRequest(*other);
    auto waiting =
        Run([&] { return other->SendRequestAndWaitForResponse(owner, info, response, 2000); });
    ASSERT_TRUE(peer.Next(r, 1000));
    peer.Send(PeerRequest("BYE", other->GetCallID(), other->GetLocalTag(), peer.Port(), 9));
    EXPECT_EQ(waiting.get(), 487);
    EXPECT_FALSE(other->IsDialogEstablished());
    bool ok = false;
    while (!ok && peer.Next(r, 300))
        ok = r.message().GetResponseStatusCode() == 200 &&
             strstr(r.message().FindField(LSipFields::CSeq, ""), "BYE");
    EXPECT_TRUE(ok);
}

TEST_F(SipCallDialog, StrayInDialogRequestsGetTheirFixedAnswers)
{
    struct Case {
        const char *method;
        int status; // 0: no answer
        bool continues;
    } cases[] = {{"OPTIONS", 200, true}, {"INFO", 200, true},   {"NOTIFY", 200, true},
                 {"CANCEL", 200, true},  {"INVITE", 491, true}, {"REFER", 491, true},
                 {"PUBLISH", 501, true}, {"ACK", 0, true},      {"BYE", 200, false}};
    LPtr<LSipCall> call = Outgoing();
    int cseq = 20;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.method);
        call->SetDialogEstablished();
        peer.Send(
            PeerRequest(c.method, call->GetCallID(), call->GetLocalTag(), peer.Port(), cseq++));
        LPtr<LSipMessage> message = call->WaitMessage(1000);
        ASSERT_TRUE(message);
        EXPECT_EQ(call->DefaultMessageProcessing(*message), c.continues);
        Received r;
        if (!c.status) {
            EXPECT_FALSE(peer.Next(r, 150)) << r.text;
            continue;
        }
        ASSERT_TRUE(peer.Next(r, 500));
        EXPECT_EQ(r.message().GetResponseStatusCode(), c.status);
        EXPECT_STREQ(r.message().FindField(LSipFields::CallID, ""), call->GetCallID());
        bool contact = r.message().FindField(LSipFields::Contact, nullptr) != nullptr;
        EXPECT_EQ(contact, strcmp(c.method, "OPTIONS") == 0);
    }
    EXPECT_FALSE(call->IsDialogEstablished());
}

TEST_F(SipCallDialog, ReplacesIsTakenOnlyWithBothTagsOfTheDialog)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("rep-1", invite);
    std::string tag = call->GetLocalTag();
    struct Case {
        std::string replaces;
        bool taken;
    } cases[] = {
        {"rep-1;to-tag=" + tag + ";from-tag=peer1", true},
        {"rep-1; from-tag=peer1 ;to-tag=" + tag, true},
        {"rep-1", false},
        {"rep-1;to-tag=" + tag, false},
        {"rep-1;to-tag=" + tag + ";from-tag=other", false},
        {"rep-1;to-tag=wrong;from-tag=peer1", false},
    };
    int cseq = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.replaces);
        std::string callId = "new-" + std::to_string(cseq);
        peer.Send(PeerRequest("INVITE", callId, "", peer.Port(), cseq++,
                              "Replaces: " + c.replaces + "\r\n"));
        LPtr<LSipMessage> taken = call->WaitMessage(c.taken ? 1000 : 200);
        EXPECT_EQ((bool)taken, c.taken);
        Received r;
        if (c.taken)
            EXPECT_FALSE(peer.Next(r, 100)) << r.text;
        else {
            ASSERT_TRUE(peer.Next(r, 500));
            EXPECT_EQ(r.message().GetResponseStatusCode(), 481);
        }
    }
}
// Same Call-ID, no To tag: the INVITE's CANCEL belongs to the dialog; an
// INVITE from another From tag (or none) opens a dialog of its own.
TEST_F(SipCallDialog, RequestsWithoutToTagMatchTheRemoteTag)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("tagless-1", invite);
    auto withFromTag = [](std::string text, const std::string &tag) {
        size_t at = text.find(";tag=peer1");
        return text.replace(at, 10, tag.empty() ? "" : ";tag=" + tag);
    };
    const struct {
        const char *name;
        std::string text;
        bool taken;
    } cases[] = {
        {"cancel", PeerRequest("CANCEL", "tagless-1", "", peer.Port(), 1), true},
        {"other from tag",
         withFromTag(PeerRequest("INVITE", "tagless-1", "", peer.Port(), 1, "", "b7"), "peer2"),
         false},
        {"no from tag",
         withFromTag(PeerRequest("INVITE", "tagless-1", "", peer.Port(), 1, "", "b8"), ""), false},
    };
    for (const auto &c : cases) {
        peer.Send(c.text);
        LPtr<LSipMessage> taken = call->WaitMessage(c.taken ? 1000 : 200);
        EXPECT_EQ((bool)taken, c.taken) << c.name;
        if (c.taken)
            continue;
        // Not a merged request of this dialog (no 482): a new one, which the
        // engine here answers as it answers every new INVITE without handler.
        Received r;
        ASSERT_TRUE(peer.Next(r, 500)) << c.name;
        EXPECT_EQ(r.message().GetResponseStatusCode(), 501) << c.name;
    }
}

TEST_F(SipCallDialog, RouteSets)
{
    // A single default outbound proxy with "lr": no Route header, sent to
    // the proxy with the target as request URI.
    std::string proxy = "127.0.0.1:" + std::to_string(peer.Port());
    LSipCall call(Sip()->stack, "<sip:300@10.9.9.9>", "<sip:100@>", proxy.c_str(), "100", "", "");
    LSipRequest bye;
    ASSERT_TRUE(bye.CreateByeRequest(call));
    call.SendRequest(bye);
    Received r;
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_STREQ(r.message().GetRequestURI(), "sip:300@10.9.9.9");
    EXPECT_EQ(r.message().FindField(LSipFields::Route, nullptr), nullptr);

    // Record-Route of a 200 is held in reverse order; loose routing keeps
    // the target, strict routing puts the first hop in the request URI.
    std::string text = "SIP/2.0 200 OK\r\nRecord-Route: <sip:p1.test;lr>, <sip:" + proxy +
                       ";lr>\r\nContact: <sip:300@10.9.9.8>\r\nContent-Length: 0\r\n\r\n";
    LSipMessage ok;
    size_t position = 0;
    ASSERT_TRUE(ok.LoadPacket(text.data(), text.size(), position));
    call.ApplyDialogEstablishingResponse(ok);
    EXPECT_EQ(std::string(call.GetRouteSet()), "<sip:" + proxy + ";lr>,<sip:p1.test;lr>");
    ASSERT_TRUE(bye.CreateByeRequest(call));
    call.SendRequest(bye);
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_STREQ(r.message().GetRequestURI(), "sip:300@10.9.9.8");
    EXPECT_STREQ(r.message().FindField(LSipFields::Route, ""), call.GetRouteSet());

    std::string strict =
        "SIP/2.0 200 OK\r\nRecord-Route: <sip:" + proxy + ">\r\nContent-Length: 0\r\n\r\n";
    position = 0;
    ASSERT_TRUE(ok.LoadPacket(strict.data(), strict.size(), position));
    call.ApplyRouteSetFromResponse(ok);
    ASSERT_TRUE(bye.CreateByeRequest(call));
    call.SendRequest(bye);
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_EQ(std::string(r.message().GetRequestURI()), "sip:" + proxy);
    EXPECT_STREQ(r.message().FindField(LSipFields::Route, ""), "<sip:300@10.9.9.8>");
}
} // namespace
} // namespace vtest
