// The exchange's own media towards a caller: answering an INVITE with the
// player (a queued caller) and moving an established leg to it (a party
// waiting while a transfer rings).
#include "callcontrol/pbx_sip_line.h"

#include "config/folders.h"
#include "platform/log.h"

LPlayerSources LPBXSipLine::Sources() const
{
    char folder[LPathSize];
    return LPlayerSources(LGetFolder(LFolder::SharedData, folder));
}

bool LPBXSipLine::StartPlayerInvite(LPBXPlayer &player, LSipMessage &invite,
                                    const LSoundSource &source)
{
    LSipCall &caller = *m_CallerLeg;
    if (!player.Initialize()) {
        caller.SendResponseAndWaitUntilAck(*this, invite, 500, "Server Internal Error");
        return false;
    }
    const char *offer = invite.GetContent("application/sdp");
    bool lateOffer = !*offer;
    std::string sdp;
    if (lateOffer) {
        player.CreateOfferSDP(sdp);
    } else if (!player.CreateAnswerSDP(sdp, offer)) {
        caller.SendResponseAndWaitUntilAck(*this, invite, 415, "Unsupported Media Type");
        return false;
    }
    caller.SetDialogEstablished(true);
    LPtr<LSipMessage> ack;
    if (caller.SendResponseAndWaitForAck(*this, invite, ack, 200, "OK", sdp.c_str()) != 200 || !ack)
        return false;
    if (lateOffer) {
        const char *answer = ack->GetContent("application/sdp");
        if (!*answer)
            return false;
        // No codec in common: the call stands, silent.
        if (!player.ReceiveAnswerSDP(answer))
            return true;
    }
    player.Start(source);
    return true;
}

bool LPBXSipLine::StartPlayer(LPBXPlayer &player, Slot &leg, Slot &other,
                              const LSoundSource &source)
{
    if (!leg || !player.Initialize())
        return false;
    std::string offer;
    player.CreateOfferSDP(offer);
    LSipRequest reinvite;
    LPtr<LSipMessage> response;
    if (!Reinvite(leg, other, reinvite, response, offer.c_str()))
        return false;
    leg->SendAck(reinvite, *response, nullptr);
    player.ReceiveAnswerSDP(response->GetContent("application/sdp"));
    player.Start(source);
    return true;
}
