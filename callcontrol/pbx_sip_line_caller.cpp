// The caller's side of a ringing call: the ringing indication and whatever
// the caller sends while it waits.
#include "callcontrol/pbx_sip_line_setup.h"

#include "platform/tick.h"

#include <algorithm>
#include <cstring>
#include <string>

// Early media of the targets is not passed on; the caller hears its own
// ringback, refreshed every two seconds.
void LPBXCallSetup::SendRinging(uint32_t tick)
{
    if (!m_AnyResponse || !m_Invite)
        return;
    uint32_t elapsed = LTickInterval(tick, m_LastRinging);
    if (elapsed + kRingingSlackMs >= kRingingIntervalMs) {
        m_Caller.SendResponse(*m_Invite, 180, "Ringing");
        m_LastRinging = tick;
        elapsed = 0;
    }
    m_Wait = std::min(m_Wait, kRingingIntervalMs - elapsed);
}

void LPBXCallSetup::DrainCaller()
{
    while (m_End == End::None) {
        LPtr<LSipMessage> message = m_Caller.GetNextMessage();
        if (!message)
            return;
        if (message->IsResponse())
            continue;
        const char *method = message->GetRequest();
        if (m_Invite && strcmp(method, "CANCEL") == 0) {
            m_Caller.SendResponse(*message, 200, "OK");
            m_End = End::Cancelled;
        } else if (strcmp(method, "INVITE") == 0) {
            // Only a caller already connected to the exchange's own media
            // could offer anything new here.
            if (m_Player)
                AnswerWithPlayer(*message);
            else
                m_Caller.SendResponse(*message, 500, "Server Internal Error");
        } else if (!m_Caller.DefaultMessageProcessing(*message)) {
            m_End = End::CallerGone;
        }
    }
}

// A caller connected to the player changes its media (hold, a new codec):
// the player answers its offer, or offers when it sent none and takes the
// answer from the ACK.
void LPBXCallSetup::AnswerWithPlayer(LSipMessage &invite)
{
    const char *offer = invite.GetContent("application/sdp");
    std::string sdp;
    if (*offer && !m_Player->CreateAnswerSDP(sdp, offer)) {
        m_Caller.SendResponse(invite, 415, "Unsupported Media Type");
        return;
    }
    if (!*offer)
        m_Player->CreateOfferSDP(sdp);
    LPtr<LSipMessage> ack;
    int status = m_Caller.SendResponseAndWaitForAck(m_Line, invite, ack, 200, "OK", sdp.c_str());
    if (status != 200 || !ack) {
        m_End = End::CallerGone;
        return;
    }
    if (!*offer)
        m_Player->ReceiveAnswerSDP(ack->GetContent("application/sdp"));
}
