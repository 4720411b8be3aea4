// A dialog against the peer: 2xx repeated until the ACK, CANCEL only after a
// provisional response, the far end's re-INVITE or BYE during ours, BYE both
// ways, stray requests and "Replaces" matching.
#include "sip_call_fixture.h"
#include "support/sip_parse.h"

#include <cstring>
#include <thread>

namespace vtest
{
namespace
{
using SipCallDialog = SipCallTest;

TEST_F(SipCallDialog, OkIsRepeatedOnTimerGUntilTheAck)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("ack-1", invite);
    LPtr<LSipMessage> ack;
    std::vector<uint32_t> at;
    std::string first;
    int result = Drive(
        [&] { return call->SendResponseAndWaitForAck(owner, invite, ack, 200, "OK", "v=0\r\n"); },
        [&](const Received &r) {
            if (first.empty())
                first = r.text;
            EXPECT_EQ(r.text, first);
            at.push_back(r.at);
            if (at.size() == 5)
                peer.Send(PeerRequest("ACK", "ack-1", call->GetLocalTag(), peer.Port(), 1));
            return at.size() == 5;
        });
    EXPECT_EQ(result, 200);
    // RFC 3261 Timer G: the gaps double from T1 up to T2; nothing follows
    // the ACK.
    EXPECT_EQ(at, (std::vector<uint32_t>{0, 500, 1500, 3500, 7500}));
    ASSERT_TRUE(ack);
    EXPECT_STREQ(ack->GetRequest(), "ACK");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first.find("\r\n\r\nv=0\r\n"), std::string::npos) << first;
}

TEST_F(SipCallDialog, NoAckGivesUpWith408AndRepeatedInviteIsAnsweredFromTheCache)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("ack-2", invite);
    LPtr<LSipMessage> ack;
    int busy = 0, loops = 0;
    uint32_t last = 0;
    int result = Drive(
        [&] {
            return call->SendResponseAndWaitForAck(owner, invite, ack, 486, "Busy Here", nullptr);
        },
        [&](const Received &r) {
            busy += r.Name() == "486";
            loops += r.Name() == "482";
            last = r.at;
            if (busy + loops > 1)
                return false;
            // The same INVITE again is a repeat: no 482, the cached answer
            // comes. The same CSeq over another path is a loop.
            peer.Send(PeerRequest("INVITE", "ack-2", "", peer.Port(), 1));
            peer.Send(PeerRequest("INVITE", "ack-2", "", peer.Port(), 1, "", "other"));
            return true;
        });
    EXPECT_EQ(result, 408);
    EXPECT_EQ(loops, 1);
    // Sent at 0, 0.5, 1.5, 3.5 s and then every 4 s until Timer H (32 s),
    // plus the cached answer.
    EXPECT_EQ(busy, 12);
    EXPECT_EQ(last, 31500u);
}

// A 2xx to an earlier INVITE of the dialog, arriving while the CANCEL
// waits, is acknowledged at once.
TEST_F(SipCallDialog, CancelWaitsForAProvisionalResponse)
{
    LPtr<LSipCall> call = Outgoing();
    LSipRequest earlier, invite;
    earlier.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
    invite.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
    call->SendRequest(invite);
    Received sentInvite;
    ASSERT_TRUE(peer.Next(sentInvite, 1000));
    // Nothing is sent without a provisional response; 408 after the limit.
    auto nothing = [](const Received &r) {
        ADD_FAILURE() << r.text;
        return false;
    };
    EXPECT_EQ(Drive([&] { return call->SendCancel(invite, false); }, nothing), 408);

    peer.Reply(sentInvite.message(), 180, "Ringing");
    // In the dialog's queue before the dialog waits, or time would jump past it.
    ASSERT_TRUE(call->WaitSignal(5000));
    std::string seen;
    int result = Drive([&] { return call->SendCancel(invite, false); },
                       [&](const Received &r) {
                           std::string cseq = r.message().FindField(LSipFields::CSeq, "");
                           seen += cseq + ", ";
                           // Same Via (branch) as the INVITE, but for a 2xx's ACK.
                           if (cseq.rfind(std::to_string(invite.GetSequence()), 0) == 0) {
                               EXPECT_STREQ(r.message().FindField(LSipFields::Via, ""),
                                            sentInvite.message().FindField(LSipFields::Via, ""));
                           }
                           if (r.Name() != "CANCEL")
                               return false;
                           peer.Reply(*ParseSip(earlier.GetText()), 200, "OK");
                           peer.Reply(r.message(), 200, "OK");
                           peer.Reply(sentInvite.message(), 487, "Request Terminated");
                           return true;
                       });
    EXPECT_EQ(result, 487);
    std::string n = std::to_string(invite.GetSequence());
    EXPECT_EQ(seen,
              n + " CANCEL, " + std::to_string(earlier.GetSequence()) + " ACK, " + n + " ACK, ");
}

// A request of the far end while our re-INVITE is pending (request: what
// it sends on seeing our INVITE; none: it answers at once). Its own
// re-INVITE crossing ours is refused 491 and the dialog goes on. Its BYE
// (it hangs up) is answered 200 and nothing more goes out for the re-INVITE
// (no repeat, no CANCEL). Either way its final answer is acknowledged.
TEST_F(SipCallDialog, FarEndRequestsWhileOurReInviteIsPending)
{
    // clang-format off
    const struct { bool trying; const char *request; int answer; const char *seen; bool established; } cases[] = {
        {false, "INVITE", 491, "INVITE 491 ACK ", true},
        {false, "BYE",    487, "INVITE 200 ACK ", false},
        {true,  "BYE",    487, "INVITE 200 ACK ", false},
        {false, nullptr,  481, "INVITE ACK ",     false}, // its BYE crossed the re-INVITE
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.seen);
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        LSipRequest ours;
        LPtr<LSipMessage> response;
        std::string seen;
        std::shared_ptr<LSipMessage> invite;
        int result = Drive(
            [&] {
                return call->SendReInviteAndWaitForFinalResponse(owner, ours, response, "v=0\r\n");
            },
            [&](const Received &r) {
                seen += r.Name() + " ";
                if (!invite) {
                    invite = r.parsed;
                    if (c.trying)
                        peer.Reply(*invite, 100, "Trying");
                    if (c.request)
                        peer.Send(PeerRequest(c.request, call->GetCallID(), call->GetLocalTag(),
                                              peer.Port(), 50));
                    else
                        peer.Reply(*invite, c.answer, "Call/Transaction Does Not Exist");
                    return true;
                }
                if (r.Name() == "491") {
                    EXPECT_STREQ(r.message().GetResponseReasonPhrase(), "Request Pending");
                }
                // Its request answered, the far end ends our re-INVITE (after
                // a BYE: RFC 3261 section 15.1.2).
                if (r.Name() != "200" && r.Name() != "491")
                    return false;
                peer.Reply(*invite, c.answer, "Final");
                return true;
            });
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(result, c.answer);
        EXPECT_EQ(call->IsDialogEstablished(), c.established);
        if (c.established) {
            EXPECT_TRUE(response);
        }
    }
}

// The phone repeats its re-INVITE while the exchange waits on the other leg
// (here in a back-off, as during the passed-on re-INVITE): the repeat gets
// its 100 Trying again at once (RFC 3261 section 17.2.1).
TEST_F(SipCallDialog, RepeatOfAPassedOnReInviteIsAnsweredWhileItWaits)
{
    LSipMessage first;
    LPtr<LSipCall> phone = Incoming("passed-1", first), other = Outgoing();
    std::string repeat = PeerRequest("INVITE", "passed-1", phone->GetLocalTag(), peer.Port(), 2);
    peer.Send(repeat);
    LPtr<LSipMessage> reinvite = phone->WaitMessage(1000);
    ASSERT_TRUE(reinvite);
    phone->SendResponse(*reinvite, 100, "Trying");
    peer.Send(repeat);
    ASSERT_TRUE(phone->WaitSignal(5000));
    LSipPassedOn passedOn{*phone, reinvite.Get()};
    bool stopped = false, ended = false;
    EXPECT_FALSE(other->WaitBackOff(owner, 0, passedOn, stopped, ended));
    Received r;
    for (int sent = 0; sent < 2; sent++) {
        ASSERT_TRUE(peer.Next(r, 1000));
        EXPECT_EQ(r.Name(), "100");
    }
}

// Our BYE is answered; the far end's BYE while we wait for something else
// is answered 200 and ends the wait with 487.
TEST_F(SipCallDialog, ByeInBothDirections)
{
    // clang-format off
    const struct { const char *method; const char *seen; int result; } cases[] = {
        {"BYE", "BYE ", 200},
        {"INFO", "INFO 200 ", 487},
    };
    // clang-format on
    LPtr<LSipMessage> response;
    for (const auto &c : cases) {
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        LSipRequest request;
        ASSERT_TRUE(strcmp(c.method, "BYE") == 0 ? request.CreateByeRequest(*call)
                                                 : request.CreateInfoRequest(*call));
        std::string seen;
        int result = Drive(
            [&] { return call->SendRequestAndWaitForResponse(owner, request, response, 2000); },
            [&](const Received &r) {
                seen += r.Name() + " ";
                if (r.Name() == "BYE")
                    peer.Reply(r.message(), 200, "OK");
                else if (r.Name() == "INFO")
                    peer.Send(
                        PeerRequest("BYE", call->GetCallID(), call->GetLocalTag(), peer.Port(), 9));
                return r.message().IsRequest();
            });
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(result, c.result);
        if (c.result == 487) {
            EXPECT_FALSE(call->IsDialogEstablished());
        }
    }
}

// A 2xx to a re-INVITE that was cancelled or given up is acknowledged every
// time it comes (RFC 3261 section 13.2.2.4), and nothing else changes: a
// connected leg goes on, one in the graveyard sends no second BYE.
TEST_F(SipCallDialog, ALate2xxToAReInviteIsAcknowledged)
{
    for (bool buried : {true, false}) {
        SCOPED_TRACE(buried ? "in the graveyard" : "connected");
        LPtr<LSipCall> call = Outgoing();
        call->SetDialogEstablished();
        LSipRequest invite;
        invite.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
        Received r;
        if (buried) {
            LSipAddCallToGraveyard(call);
            ASSERT_TRUE(peer.Next(r, 5000));
            ASSERT_EQ(r.Name(), "BYE");
            peer.Reply(r.message(), 200, "OK");
        }
        for (int repeat = 0; repeat < 2; repeat++) {
            peer.Reply(*ParseSip(invite.GetText()), 200, "OK");
            // Connected, the leg reads it; its repeat is answered from the cache.
            if (!buried && call->WaitSignal(5000)) {
                LPtr<LSipMessage> message = call->WaitMessage(0);
                EXPECT_EQ(!message, repeat == 1);
                EXPECT_TRUE(!message || call->DefaultMessageProcessing(*message));
            }
            ASSERT_TRUE(peer.Next(r, 5000));
            EXPECT_EQ(r.Name(), "ACK");
            EXPECT_EQ(r.message().FindField(LSipFields::CSeq, ""),
                      std::to_string(invite.GetSequence()) + " ACK");
        }
        EXPECT_FALSE(peer.Next(r, 100)) << r.text;
        if (!buried) {
            EXPECT_TRUE(call->IsDialogEstablished());
        }
    }
}

// The 2xx to invite from the phone at <sip:user@...> with tag.
std::string AnswerFrom(const DialogPeer &peer, const LSipRequest &invite, const char *tag,
                       const char *user)
{
    std::string contact =
                    "<sip:" + std::string(user) + "@127.0.0.1:" + std::to_string(peer.Port()) + ">",
                text;
    LSipComposeResponse(text, *ParseSip(invite.GetText()), 200, "OK", tag, contact.c_str(), nullptr,
                        nullptr, false, nullptr);
    return text;
}

// The ACK and then the BYE go into the phone's dialog: its tag, its Contact.
void ExpectAckAndByeIn(DialogPeer &peer, const char *tag, const char *user)
{
    Received r;
    for (const char *method : {"ACK", "BYE"}) {
        ASSERT_TRUE(peer.Next(r, 5000));
        EXPECT_EQ(r.Name(), method);
        EXPECT_NE(
            std::string(r.message().FindField(LSipFields::To, "")).find(";tag=" + std::string(tag)),
            std::string::npos)
            << r.text;
        EXPECT_EQ(
            std::string(r.message().GetRequestURI()).rfind("sip:" + std::string(user) + "@", 0), 0u)
            << r.text;
    }
    peer.Reply(r.message(), 200, "OK");
}

// An outgoing leg whose INVITE has reached the phone.
struct SipCallAnswers : SipCallTest {
    void SetUp() override
    {
        SipCallTest::SetUp();
        invite.CreateNewInviteRequest(*call, nullptr, nullptr, 20, nullptr, false);
        call->SendRequest(invite);
        Received r;
        ASSERT_TRUE(peer.Next(r, 5000));
    }
    // The first phone (tag "first", Contact sip:one@) answers: the call.
    void AnswerFirst()
    {
        peer.Send(AnswerFrom(peer, invite, "first", "one"));
        LPtr<LSipMessage> first = call->WaitMessage(5000);
        ASSERT_TRUE(first);
        call->ApplyDialogEstablishingResponse(*first);
    }
    LPtr<LSipCall> call = Outgoing();
    LSipRequest invite;
};

// A called phone answers just as its INVITE is cancelled (another phone of
// the group was first): the graveyard acknowledges the 2xx and ends the
// dialog it opened, with the phone's tag and at the Contact of its 2xx
// (RFC 3261 sections 12.1.2, 13.2.2.4), or the phone stays off-hook alone.
TEST_F(SipCallAnswers, AnAnswerCrossingTheCancelIsEndedInItsOwnDialog)
{
    Received r;
    LSipAddCallToGraveyard(call, invite, true);
    ASSERT_TRUE(peer.Next(r, 5000));
    ASSERT_EQ(r.Name(), "CANCEL");
    peer.Send(AnswerFrom(peer, invite, "answered", "phone"));
    ExpectAckAndByeIn(peer, "answered", "phone");
    // A second branch of a forking proxy answered too: its own dialog.
    peer.Send(AnswerFrom(peer, invite, "second", "two"));
    ExpectAckAndByeIn(peer, "second", "two");
}

// A forked INVITE answered by two phones: the first answer is the call; the
// second is acknowledged and ended with a BYE in its own dialog, and that
// phone's own BYE is answered there, not by the call.
TEST_F(SipCallAnswers, ASecondBranchsAnswerIsEndedInItsOwnDialog)
{
    Received r;
    ASSERT_NO_FATAL_FAILURE(AnswerFirst());
    peer.Send(AnswerFrom(peer, invite, "peer1", "two")); // PeerRequest's From tag
    LPtr<LSipMessage> second = call->WaitMessage(5000);
    ASSERT_TRUE(second);
    EXPECT_TRUE(call->DefaultMessageProcessing(*second));
    ExpectAckAndByeIn(peer, "peer1", "two");
    peer.Send(PeerRequest("BYE", call->GetCallID(), call->GetLocalTag(), peer.Port(), 9));
    ASSERT_TRUE(peer.Next(r, 5000));
    EXPECT_EQ(r.Name(), "200");
    EXPECT_FALSE(call->WaitMessage(0)); // dispatched before it was answered
    EXPECT_TRUE(call->IsDialogEstablished());
}

// Answers with ever new tags (anyone who knows the Call-ID and our tag can
// send them) open a bounded number of dialogs: each costs a BYE repeated
// until answered; the rest are only acknowledged.
TEST_F(SipCallAnswers, OnlyAFewOtherBranchesGetDialogsOfTheirOwn)
{
    ASSERT_NO_FATAL_FAILURE(AnswerFirst());
    for (int i = 0; i < 7; i++) {
        peer.Send(AnswerFrom(peer, invite, ("b" + std::to_string(i)).c_str(), "two"));
        LPtr<LSipMessage> answer = call->WaitMessage(5000);
        ASSERT_TRUE(answer);
        EXPECT_TRUE(call->DefaultMessageProcessing(*answer));
    }
    int acks = 0, byes = 0;
    Received r;
    while (peer.Next(r, 300)) {
        acks += r.Name() == "ACK";
        byes += r.Name() == "BYE";
        if (r.Name() == "BYE")
            peer.Reply(r.message(), 200, "OK");
    }
    EXPECT_EQ(acks, 7);
    EXPECT_EQ(byes, 4);
}

// The same second answer after the call ended: the leg is in the graveyard,
// whose pass files the new dialog's leg after its messages.
TEST_F(SipCallAnswers, ASecondBranchsAnswerAfterTheHangUpIsEndedInItsOwnDialog)
{
    Received r;
    ASSERT_NO_FATAL_FAILURE(AnswerFirst());
    LSipAddCallToGraveyard(call);
    ASSERT_TRUE(peer.Next(r, 5000));
    ASSERT_EQ(r.Name(), "BYE");
    peer.Reply(r.message(), 200, "OK");
    peer.Send(AnswerFrom(peer, invite, "second", "two"));
    ExpectAckAndByeIn(peer, "second", "two");
    EXPECT_FALSE(peer.Next(r, 700)) << r.text; // neither BYE is repeated once answered
}

// An attended transfer's INVITE with Replaces may arrive while the call
// thread takes the answer that sets the remote tag the Replaces names; the
// receive thread reads that tag under the leg's lock (run under TSan).
TEST_F(SipCallAnswers, AReplacesIsMatchedWhileTheOwnerTakesTheAnswer)
{
    std::thread owner([&] {
        for (int i = 0; i < 50; i++)
            call->ApplyDialogEstablishingResponse(
                *ParseSip(AnswerFrom(peer, invite, ("t" + std::to_string(i)).c_str(), "one")));
    });
    auto replaces = [&](int n) {
        std::string value =
            std::string(call->GetCallID()) + ";to-tag=" + call->GetLocalTag() + ";from-tag=t49";
        peer.Send(PeerRequest("INVITE", "r-" + std::to_string(n), "", peer.Port(), n,
                              "Replaces: " + value + "\r\n"));
    };
    for (int n = 0; n < 50; n++)
        replaces(n);
    owner.join();
    replaces(50);
    bool matched = false;
    while (LPtr<LSipMessage> message = call->WaitMessage(matched ? 0 : 5000))
        matched = matched || strcmp(message->FindField(LSipFields::CallID, ""), "r-50") == 0;
    EXPECT_TRUE(matched);
}

TEST_F(SipCallDialog, StrayInDialogRequestsGetTheirFixedAnswers)
{
    // status 0: no answer
    // clang-format off
    const struct { const char *method; int status; bool continues; } cases[] = {
        {"OPTIONS", 200, true}, {"INFO", 200, true}, {"NOTIFY", 200, true}, {"CANCEL", 200, true}, {"INVITE", 491, true},
        {"REFER", 491, true}, {"PUBLISH", 501, true}, {"ACK", 0, true}, {"BYE", 200, false}};
    // clang-format on
    LPtr<LSipCall> call = Outgoing();
    int cseq = 20;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.method);
        call->SetDialogEstablished();
        peer.Send(
            PeerRequest(c.method, call->GetCallID(), call->GetLocalTag(), peer.Port(), cseq++));
        LPtr<LSipMessage> message = call->WaitMessage(1000);
        ASSERT_TRUE(message);
        EXPECT_EQ(call->DefaultMessageProcessing(*message), c.continues);
        // The answer is sent before DefaultMessageProcessing returns.
        Received r;
        if (!c.status) {
            EXPECT_FALSE(peer.Next(r, 0)) << r.text;
            continue;
        }
        ASSERT_TRUE(peer.Next(r, 5000));
        EXPECT_EQ(r.message().GetResponseStatusCode(), c.status);
        EXPECT_STREQ(r.message().FindField(LSipFields::CallID, ""), call->GetCallID());
        bool contact = r.message().FindField(LSipFields::Contact, nullptr) != nullptr;
        EXPECT_EQ(contact, strcmp(c.method, "OPTIONS") == 0);
    }
    EXPECT_FALSE(call->IsDialogEstablished());
}

// A Replaces takes the dialog only with both its tags (else 481). With the
// dialog's Call-ID and no To tag, the CANCEL is the dialog's; an INVITE from
// another From tag (or none) is no merged request (no 482) but a new dialog,
// which the engine here answers 501 as every new INVITE without a handler.
TEST_F(SipCallDialog, RequestsReachTheDialogOnlyWithItsTags)
{
    LSipMessage invite;
    LPtr<LSipCall> call = Incoming("d-1", invite);
    std::string tag = call->GetLocalTag();
    int n = 0;
    auto replaces = [&](const std::string &value) {
        n++;
        return PeerRequest("INVITE", "new-" + std::to_string(n), "", peer.Port(), n,
                           "Replaces: " + value + "\r\n");
    };
    auto fromTag = [&](const std::string &fromTag, const char *branch) {
        std::string text = PeerRequest("INVITE", "d-1", "", peer.Port(), 1, "", branch);
        return text.replace(text.find(";tag=peer1"), 10, fromTag.empty() ? "" : ";tag=" + fromTag);
    };
    // status 0: the dialog takes it and nothing is answered
    // clang-format off
    const struct { std::string text; int status; } cases[] = {
        {replaces("d-1;to-tag=" + tag + ";from-tag=peer1"), 0}, {replaces("d-1; from-tag=peer1 ;to-tag=" + tag), 0},
        {replaces("d-1"), 481}, {replaces("d-1;to-tag=" + tag), 481},
        {replaces("d-1;to-tag=" + tag + ";from-tag=other"), 481}, {replaces("d-1;to-tag=wrong;from-tag=peer1"), 481},
        {PeerRequest("CANCEL", "d-1", "", peer.Port(), 1), 0}, {fromTag("peer2", "b7"), 501}, {fromTag("", "b8"), 501},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, c.text.find("Contact:")));
        peer.Send(c.text);
        Received r;
        if (!c.status) {
            EXPECT_TRUE(call->WaitMessage(1000));
            EXPECT_FALSE(peer.Next(r, 0)) << r.text;
            continue;
        }
        ASSERT_TRUE(peer.Next(r, 5000));
        EXPECT_EQ(r.message().GetResponseStatusCode(), c.status);
        EXPECT_FALSE(call->WaitMessage(0));
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
    call.ApplyDialogEstablishingResponse(*ParseSip(text));
    EXPECT_EQ(std::string(call.GetRouteSet()), "<sip:" + proxy + ";lr>,<sip:p1.test;lr>");
    ASSERT_TRUE(bye.CreateByeRequest(call));
    call.SendRequest(bye);
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_STREQ(r.message().GetRequestURI(), "sip:300@10.9.9.8");
    EXPECT_STREQ(r.message().FindField(LSipFields::Route, ""), call.GetRouteSet());

    std::string strict =
        "SIP/2.0 200 OK\r\nRecord-Route: <sip:" + proxy + ">\r\nContent-Length: 0\r\n\r\n";
    call.ApplyRouteSetFromResponse(*ParseSip(strict));
    ASSERT_TRUE(bye.CreateByeRequest(call));
    call.SendRequest(bye);
    ASSERT_TRUE(peer.Next(r, 1000));
    EXPECT_EQ(std::string(r.message().GetRequestURI()), "sip:" + proxy);
    EXPECT_STREQ(r.message().FindField(LSipFields::Route, ""), "<sip:300@10.9.9.8>");
}
} // namespace
} // namespace vtest
