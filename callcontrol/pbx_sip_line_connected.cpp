// The connected phase of a call: both legs are watched, each request of one
// leg is passed to the other or answered locally, another call thread may
// put a dialog into a slot (attended transfer), and quiet legs are polled.
#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_incall.h"
#include "config/settingssections.h"
#include "platform/log.h"

#include <cstring>

namespace
{
uint32_t SettingMs(const char *key, uint32_t def)
{
    return LPBXInCallMs(LSettingGetInt("SIP", key, (int)def));
}
} // namespace

uint32_t LPBXInCallMs(int ms)
{
    return ms < 1000 ? 1000 : (uint32_t)ms;
}

uint32_t LPBXActivityPollInterval()
{
    return SettingMs(kPBXActivityPollKey, kPBXInCallTiming.pollAfterMs);
}

uint32_t LPBXAttendedTransferGiveUp()
{
    return SettingMs("AttendedTransferGiveUp", kPBXInCallTiming.swapGiveUpMs);
}

uint32_t LPBXGlareWaitMs(bool openedByFarEnd, uint32_t tick)
{
    const LPBXInCallTiming &t = kPBXInCallTiming;
    return tick % t.glareRandomMs + (openedByFarEnd ? t.glareReceivedBaseMs : t.glareOpenedBaseMs);
}

void LPBXSipLine::RunCall()
{
    uint32_t pollAfterMs = m_PollAfterMs ? m_PollAfterMs : LPBXActivityPollInterval();
    while (!IsToStop()) {
        if (!RunCallTestForMessages(m_CallerLeg, m_AnsweredLeg) ||
            !RunCallTestForMessages(m_AnsweredLeg, m_CallerLeg))
            return;
        LSignalObjectGroup group;
        group.Add(*m_CallerLeg);
        group.Add(*m_AnsweredLeg);
        group.Add(m_SwapSignal);
        EnableSwapCalls();
        LProcessResult result = ProcessWaitSignalObjectGroup(group, pollAfterMs);
        DisableSwapCalls();
        if (m_SwapSignal.IsSignaled()) {
            m_SwapSignal.Reset();
            if (!CrossInvite(false))
                return;
            continue;
        }
        if (result == LProcessFailed &&
            (!m_CallerLeg->PollActive(*this) || !m_AnsweredLeg->PollActive(*this))) {
            LOGF("Call %s -> %s: no answer to polling", m_Caller, m_Target);
            return;
        }
    }
}

// At most one queued message of a leg; a leg with more keeps its signal
// set, so the next wait returns at once.
bool LPBXSipLine::RunCallTestForMessages(Slot &leg, Slot &other)
{
    if (!leg || !leg->IsDialogEstablished())
        return false;
    LPtr<LSipMessage> message = leg->GetNextMessage();
    if (!message)
        return true;
    return RunCallMessageProcessing(*message, leg, other);
}

// BYE, NOTIFY, CANCEL and ACK are answered on their own leg and not passed
// on; a BYE ends the call.
bool LPBXSipLine::RunCallMessageProcessing(LSipMessage &message, Slot &leg, Slot &other)
{
    if (message.IsRequest() && other) {
        const char *method = message.GetRequest();
        if (strcmp(method, "INVITE") == 0)
            return PassInvite(message, leg, other);
        if (strcmp(method, "REFER") == 0)
            return HandleRefer(message, leg, other);
        if (strcmp(method, "OPTIONS") == 0)
            return PassOptions(message, *leg, *other);
        if (strcmp(method, "INFO") == 0)
            return PassInfo(message, *leg, *other);
    }
    return leg->DefaultMessageProcessing(message);
}

namespace
{
// Answers request on leg as the other side answered it when passed on.
void AnswerAsTheOtherSide(const LSipMessage &request, LSipCall &leg, int status,
                          const LPtr<LSipMessage> &response)
{
    if (!response || status == 408)
        leg.SendResponse(request, 408, "Request Timeout");
    else if (status == 487)
        leg.SendResponse(request, 487, "Request Terminated");
    else
        leg.SendResponse(request, status, response->GetResponseReasonPhrase());
}
} // namespace

bool LPBXSipLine::PassOptions(LSipMessage &options, LSipCall &leg, LSipCall &other)
{
    LPtr<LSipMessage> response;
    int status = other.SendOptions(*this, response);
    if (response && status == 200)
        leg.SendResponseWithContact(options, 200, "OK", "application/sdp",
                                    response->GetContent("application/sdp"));
    else
        AnswerAsTheOtherSide(options, leg, status, response);
    return true;
}

// An INFO (a DTMF digit of a phone set to send them so, RFC 6086) goes to
// the other side: answered here and dropped, the digit was lost while the
// phone was told it had arrived.
bool LPBXSipLine::PassInfo(LSipMessage &info, LSipCall &leg, LSipCall &other)
{
    LPtr<LSipMessage> response;
    int status = other.SendInfo(*this, info, response);
    AnswerAsTheOtherSide(info, leg, status, response);
    return true;
}
