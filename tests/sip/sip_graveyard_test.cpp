// Graveyard timing on the controllable clock: each pass tells how long to
// wait, the test moves the clock by exactly that and records what was sent.
// Repeats follow RFC 3261 timer E doubling from 500 ms.
#include "platform/clock.h"
#include "sip/sip_graveyard.h"
#include "support/sip_parse.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{
struct Sent {
    uint32_t at;
    char what; // 'I'nvite, 'C'ancel, 'B'ye, 'A'ck, 'R'esponse
    int detail;
};

class FakeLeg : public LSipGraveyardLeg
{
  public:
    FakeLeg(const LClock &clock, std::vector<Sent> &log, bool established)
        : m_clock(clock), m_log(log), m_established(established)
    {
    }
    bool WatchQueue(LSipGraveyard *graveyard) override
    {
        m_graveyard = graveyard;
        return !m_queue.empty();
    }
    LPtr<LSipMessage> GetNextMessage() override
    {
        if (m_queue.empty())
            return LPtr<LSipMessage>();
        LPtr<LSipMessage> next(m_queue.front());
        m_queue.erase(m_queue.begin());
        return next;
    }
    bool IsDialogEstablished() override { return m_established; }
    void CreateBye() override { m_byeSequence++; }
    void CreateCancel() override {}
    void Send(Request request) override
    {
        m_log.push_back({m_clock.Tick(),
                         request == Bye      ? 'B'
                         : request == Cancel ? 'C'
                                             : 'I',
                         request == Bye ? m_byeSequence : 0});
    }
    bool IsResponseTo(const LSipMessage &response, Request request) override
    {
        std::string cseq = response.FindField(LSipFields::CSeq, "");
        const char *method = request == Bye ? "BYE" : request == Cancel ? "CANCEL" : "INVITE";
        return cseq.find(method) != std::string::npos;
    }
    void Acknowledge(const LSipMessage &response) override
    {
        m_log.push_back({m_clock.Tick(), 'A', response.GetResponseStatusCode()});
        if (!m_handOverTo)
            return;
        // As a second branch's answer does: a leg of its own, whose BYE
        // sequence numbers start at 101.
        FakeLeg *other = new FakeLeg(m_clock, m_log, true);
        other->m_byeSequence = 100;
        LPtr<LSipGraveyardLeg> owner(other);
        std::exchange(m_handOverTo, nullptr)->AddCall(owner);
    }
    void AuthenticateBye(const LSipMessage &) override { m_authenticated = true; }
    void Respond(const LSipMessage &, int status, const char *) override
    {
        m_log.push_back({m_clock.Tick(), 'R', status});
    }
    // noted false: queued, but the receive thread has not reported it yet.
    void Queue(const std::string &text, bool noted = true)
    {
        m_queue.push_back(vtest::ParseSip(text).release());
        if (m_graveyard && noted)
            m_graveyard->NoteMessage(this, LSipGraveyard::CanWaitForTimer(*m_queue.back()));
    }
    ~FakeLeg() override
    {
        for (LSipMessage *message : m_queue)
            delete message;
        if (m_released)
            m_released->fetch_add(1);
    }
    bool m_authenticated = false;
    std::atomic<int> *m_released = nullptr;
    LSipGraveyard *m_handOverTo = nullptr; // at the next Acknowledge

  private:
    const LClock &m_clock;
    std::vector<Sent> &m_log;
    bool m_established;
    int m_byeSequence = 0;
    LSipGraveyard *m_graveyard = nullptr;
    std::vector<LSipMessage *> m_queue;
};

std::string Response(int status, const char *method)
{
    return "SIP/2.0 " + std::to_string(status) + " X\r\nCall-ID: c\r\nCSeq: 1 " + method +
           "\r\n\r\n";
}

std::string Request(const char *method)
{
    return std::string(method) + " sip:x@h SIP/2.0\r\nCall-ID: c\r\nCSeq: 9 " + method + "\r\n\r\n";
}

class GraveyardTiming : public ::testing::Test
{
  protected:
    // The leg may be gone on return when the graveyard refused it.
    FakeLeg *Add(bool established, bool invite, bool cancelNow,
                 std::atomic<int> *released = nullptr)
    {
        FakeLeg *leg = new FakeLeg(clock, log, established);
        leg->m_released = released;
        LPtr<LSipGraveyardLeg> owner(leg);
        if (invite)
            graveyard.AddCall(owner, cancelNow);
        else
            graveyard.AddCall(owner);
        EXPECT_FALSE(owner);
        return leg;
    }
    // Runs passes until the clock reaches until, moving it by each wait.
    void RunUntil(uint32_t until)
    {
        while (LTickDiff(clock.Tick(), kStart + until) < 0) {
            uint32_t wait = graveyard.RunPass(group);
            clock.Advance(std::min(wait, kStart + until - clock.Tick()));
        }
        graveyard.RunPass(group);
    }
    std::vector<uint32_t> Times(char what)
    {
        std::vector<uint32_t> times;
        for (const Sent &s : log)
            if (s.what == what)
                times.push_back(s.at - kStart);
        return times;
    }
    // Close to the tick wrap, so every interval crosses it.
    static constexpr uint32_t kStart = 0xFFFFF000u;
    LManualClock clock{kStart};
    LSipGraveyard graveyard{clock};
    LSignalObjectGroup group;
    std::vector<Sent> log;
};

// Nothing answers: a BYE is given up after 25 s and kept 5 s more; a CANCEL
// turns into a BYE after 15 s; an INVITE never answered (its CANCEL held
// back) goes after five minutes without a word. kept, gone: the leg is still
// there, and gone (0: not checked).
TEST_F(GraveyardTiming, UnansweredTeardownRepeatsThenGivesUp)
{
    using T = std::vector<uint32_t>;
    // clang-format off
    const struct { bool established, invite, cancelNow; T cancels, byes; uint32_t kept, gone; } cases[] = {
        {true,  false, false, {},                          {0, 500, 1500, 3500, 7500, 15500},    30000,  30003},
        {false, true,  false, {},                          {},                                   299000, 300001},
        {false, true,  true,  {0, 500, 1500, 3500, 7500}, {15001, 15501, 16501, 18501, 22501}, 0,      0},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.byes.size());
        log.clear();
        clock.SetTick(kStart); // the row before left an empty graveyard
        Add(c.established, c.invite, c.cancelNow);
        RunUntil(c.kept ? c.kept : 40000);
        EXPECT_EQ(Times('C'), c.cancels);
        EXPECT_EQ(Times('B'), c.byes);
        if (!c.kept)
            continue;
        EXPECT_TRUE(graveyard.GetIdleSignal().IsSignaled());
        EXPECT_EQ(graveyard.GetCount(), 1u);
        RunUntil(c.gone);
        EXPECT_EQ(graveyard.GetCount(), 0u);
    }
}

// A held-back CANCEL goes with the first provisional response, and its
// repeats are timed from then.
TEST_F(GraveyardTiming, HeldBackCancelWaitsForTheFirstProvisionalResponse)
{
    FakeLeg *leg = Add(false, true, false);
    RunUntil(2000);
    leg->Queue(Response(180, "INVITE"));
    RunUntil(2550);
    EXPECT_EQ(Times('C'), (std::vector<uint32_t>{2000, 2500}));
}

TEST_F(GraveyardTiming, AnswerToTheCancelledInviteDecidesTheBye)
{
    struct Case {
        int status;
        bool established;
        bool bye;
    } cases[] = {{200, false, true}, {486, false, false}, {486, true, true}, {603, false, false}};
    for (const Case &c : cases) {
        log.clear();
        FakeLeg *leg = Add(c.established, true, true);
        leg->Queue(Response(c.status, "INVITE"));
        RunUntil(clock.Tick() - kStart + 10);
        ASSERT_EQ(Times('A').size(), 1u) << c.status;
        EXPECT_EQ(!Times('B').empty(), c.bye) << c.status << " " << c.established;
        EXPECT_EQ(Times('C').size(), 1u); // no more CANCEL once the INVITE is final
        RunUntil(clock.Tick() - kStart + 30000);
        EXPECT_EQ(Times('C').size(), 1u);
    }
}

TEST_F(GraveyardTiming, ResponsesToTheByeStopOrRestartIt)
{
    struct Case {
        int status;
        int extraByes;    // BYEs after the response within 1000 ms
        int lastSequence; // sequence number of the last BYE sent
        bool auth;
    } cases[] = {{200, 0, 1, false}, {481, 0, 1, false}, {100, 1, 1, false},
                 {491, 1, 2, false}, {407, 2, 1, true},  {401, 2, 1, true}};
    for (const Case &c : cases) {
        log.clear();
        FakeLeg *leg = Add(true, false, false);
        leg->Queue(Response(c.status, "BYE"));
        RunUntil(clock.Tick() - kStart + 1000);
        EXPECT_EQ((int)Times('B').size() - 1, c.extraByes) << c.status;
        EXPECT_EQ(log.back().what == 'B' ? log.back().detail : 1, c.lastSequence) << c.status;
        EXPECT_EQ(leg->m_authenticated, c.auth) << c.status;
        RunUntil(clock.Tick() - kStart + 31000); // every repeat given up, the leg gone
    }
}

// The far end's requests are answered whether or not the leg has a dialog.
// Their BYE ended the dialog: ours is not repeated, and a leg without one
// (the caller was refused) sends none at all; either goes after the linger.
TEST_F(GraveyardTiming, RequestsFromTheFarEndAreAnswered)
{
    for (bool established : {true, false}) {
        SCOPED_TRACE(established);
        log.clear();
        clock.SetTick(kStart); // the row before left an empty graveyard
        FakeLeg *leg = Add(established, false, false);
        for (const char *method : {"BYE", "CANCEL", "ACK", "INFO", "INVITE"})
            leg->Queue(Request(method));
        RunUntil(4000);
        std::vector<int> statuses;
        for (const Sent &s : log)
            if (s.what == 'R')
                statuses.push_back(s.detail);
        EXPECT_EQ(statuses, (std::vector<int>{200, 200, 487, 487}));
        EXPECT_EQ(Times('B').size(), established ? 1u : 0u);
        EXPECT_EQ(graveyard.GetCount(), 1u);
        RunUntil(5100);
        EXPECT_EQ(graveyard.GetCount(), 0u);
    }
}

// A finished teardown keeps the leg 5 s for repeats of the final responses:
// they are absorbed without a new BYE, ACK or answer; then the leg goes.
TEST_F(GraveyardTiming, FinishedLegAbsorbsRepeatsThenGoesAfterFiveSeconds)
{
    struct Case {
        bool invite;
        std::vector<std::string> finish;
        std::vector<std::string> repeats;
    } cases[] = {
        {false, {Response(200, "BYE")}, {Response(200, "BYE"), Response(481, "BYE")}},
        {true,
         {Response(180, "INVITE"), Response(200, "CANCEL"), Response(487, "INVITE")},
         {Response(200, "CANCEL"), Response(180, "INVITE")}},
    };
    for (const Case &c : cases) {
        log.clear();
        FakeLeg *leg = Add(!c.invite, c.invite, false);
        for (const std::string &text : c.finish)
            leg->Queue(text);
        RunUntil(clock.Tick() - kStart + 4000);
        size_t sent = log.size();
        for (const std::string &text : c.repeats)
            leg->Queue(text);
        RunUntil(clock.Tick() - kStart + 500);
        EXPECT_EQ(log.size(), sent) << c.invite;
        EXPECT_EQ(graveyard.GetCount(), 1u) << c.invite;
        RunUntil(clock.Tick() - kStart + 600);
        EXPECT_EQ(graveyard.GetCount(), 0u) << c.invite;
        EXPECT_TRUE(graveyard.GetIdleSignal().IsSignaled());
    }
}

// Legs report their messages: the 300th leg is served at once, and one that
// had a message before it was handed over is served by the first pass.
TEST_F(GraveyardTiming, EveryLegIsServedWhateverTheirNumber)
{
    for (int i = 0; i < 299; i++)
        Add(false, true, false);
    FakeLeg *last = Add(false, true, false);
    RunUntil(100);
    EXPECT_TRUE(log.empty());
    last->Queue(Response(180, "INVITE"));
    graveyard.RunPass(group);
    ASSERT_EQ(Times('C').size(), 1u);
    EXPECT_EQ(Times('C')[0], 100u);
    EXPECT_EQ(group.GetCount(), 1); // the wake signal only

    FakeLeg *early = new FakeLeg(clock, log, true);
    early->Queue(Response(200, "BYE"));
    LPtr<LSipGraveyardLeg> owner(early);
    graveyard.AddCall(owner);
    graveyard.RunPass(group);
    EXPECT_EQ(Times('B').size(), 1u);
    RunUntil(clock.Tick() - kStart + 5001);
    EXPECT_EQ(Times('B').size(), 1u); // answered: never repeated
    EXPECT_EQ(graveyard.GetCount(), 300u);
}

// Only what is due before the thread's planned pass wakes it: a new leg's
// first repeat, a request, a challenge. A final response to our BYE waits
// for the pass that would repeat the BYE, which takes it first.
TEST_F(GraveyardTiming, WakesOnlyForWhatCannotWaitForThePlannedPass)
{
    auto woken = [&] { return group.Get(0).IsSignaled(); };
    EXPECT_EQ(graveyard.RunPass(group), LSipGraveyard::kIdleWaitMs);
    FakeLeg *finished = Add(false, false, false); // lingers past 5 s
    EXPECT_TRUE(woken());
    EXPECT_EQ(graveyard.RunPass(group), 5251u); // the linger and its slack
    Add(false, false, false);
    EXPECT_FALSE(woken());
    FakeLeg *first = Add(true, false, false); // BYE at 0, its repeat due at 500
    EXPECT_TRUE(woken());
    EXPECT_EQ(graveyard.RunPass(group), 500u);
    clock.Advance(200);
    Add(true, false, false); // the pass at 500 plans its repeat at 700
    EXPECT_FALSE(woken());
    first->Queue(Response(200, "BYE"));
    EXPECT_FALSE(woken());
    finished->Queue(Request("INFO"));
    EXPECT_TRUE(woken());
    RunUntil(1200);
    EXPECT_EQ(Times('B'), (std::vector<uint32_t>{0, 200, 700})); // the first BYE's answer came
}

// The answer to our CANCEL or BYE is in the leg's queue when the repeat
// falls due, but not yet reported: it is not repeated.
TEST_F(GraveyardTiming, AnAnswerQueuedButNotYetReportedStopsTheRepeat)
{
    for (bool established : {false, true}) {
        log.clear();
        clock.SetTick(kStart);
        FakeLeg *leg = Add(established, !established, true);
        RunUntil(300);
        leg->Queue(Response(200, established ? "BYE" : "CANCEL"), false);
        RunUntil(1000);
        EXPECT_EQ(Times(established ? 'B' : 'C'), std::vector<uint32_t>{0}) << established;
    }
}

// A leg may hand over another while the pass handles its messages: from a
// reported message, or from an answer taken just before a repeat. The new
// leg is filed by that pass (which holds the list) and its BYE repeated.
TEST_F(GraveyardTiming, ALegHandedOverInsideAPassIsFiledByIt)
{
    for (bool noted : {true, false}) {
        log.clear();
        clock.SetTick(kStart);
        FakeLeg *leg = Add(true, false, false);
        leg->m_handOverTo = &graveyard;
        RunUntil(300);
        leg->Queue(Response(200, "INVITE"), noted);
        // Run where a deadlock cannot hang the whole test program.
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        std::thread passes([&] {
            RunUntil(1200);
            done.set_value();
        });
        if (finished.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            fprintf(stderr, "the graveyard's pass locked itself\n");
            std::_Exit(1);
        }
        passes.join();
        std::vector<uint32_t> handedOver;
        for (const Sent &s : log)
            if (s.what == 'B' && s.detail > 100)
                handedOver.push_back(s.at - kStart);
        std::vector<uint32_t> expected =
            noted ? std::vector<uint32_t>{300, 800} : std::vector<uint32_t>{500, 1000};
        EXPECT_EQ(handedOver, expected) << noted;
    }
}

TEST(Graveyard, OnlyAnswersToOurByeOrCancelWaitForTheTimer)
{
    // clang-format off
    const struct { std::string text; bool canWait; } rows[] = {
        {Response(200, "BYE"),    true},  {Response(100, "BYE"), true},
        {Response(481, "CANCEL"), true},  {Response(407, "BYE"), false},
        {Response(401, "BYE"),    false}, {Response(200, "INVITE"), false},
        {Response(180, "INVITE"), false}, {Request("BYE"), false},
    };
    // clang-format on
    for (const auto &row : rows)
        EXPECT_EQ(LSipGraveyard::CanWaitForTimer(*vtest::ParseSip(row.text)), row.canWait)
            << row.text;
}

TEST_F(GraveyardTiming, NullLegIsIgnored)
{
    LPtr<LSipGraveyardLeg> none;
    graveyard.AddCall(none);
    graveyard.AddCall(none, true);
    EXPECT_EQ(graveyard.GetCount(), 0u);
}

// A call thread may end its call while the engine stops the graveyard: the
// leg is released at once instead of sitting in a stopped graveyard that
// nobody will run or release again. (Legs without a dialog: with nothing to
// repeat, the stop does not wait 1.5 s for the repeats to end.)
TEST_F(GraveyardTiming, LegsHandedOverWhileTheGraveyardStopsAreReleased)
{
    std::atomic<int> added{0}, released{0};
    std::atomic<bool> done{false};
    graveyard.StartGraveyard(LThread::StartNormal);
    std::thread adder([&] {
        while (!done.load()) {
            Add(false, false, false, &released);
            added++;
        }
    });
    auto addMore = [&](int n) {
        for (int target = added.load() + n; added.load() < target && !HasFailure();)
            std::this_thread::yield();
    };
    addMore(20);
    graveyard.StopGraveyard();
    EXPECT_EQ(graveyard.GetCount(), 0u);
    addMore(20);
    done = true;
    adder.join();
    EXPECT_EQ(graveyard.GetCount(), 0u);
    EXPECT_EQ(released.load(), added.load());
    graveyard.StartGraveyard(LThread::StartNormal);
    Add(true, false, false);
    EXPECT_EQ(graveyard.GetCount(), 1u); // taken again after a new start
}
} // namespace
