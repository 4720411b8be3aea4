#include "media/pbx_player.h"

LPBXPlayer::LPBXPlayer(LSDPSettings &sdpSettings, const LClock &clock,
                       LRtpPublicAddressFunction publicAddress)
    : engine(
          *this, sdpSettings, clock,
          publicAddress ? std::move(publicAddress) : [&sdpSettings](LRtpPublicAddressQuery &query) {
              // Behind NAT the caller must be sent the public
              // address, found the way relays find theirs.
              sdpSettings.ResolvePublicAddress(query);
          })
{
}

LPBXPlayer::~LPBXPlayer()
{
    Stop();
}

bool LPBXPlayer::Initialize()
{
    return engine.Initialize();
}

void LPBXPlayer::CreateOfferSDP(std::string &out)
{
    engine.CreateOfferSDP(out, true);
}

bool LPBXPlayer::CreateAnswerSDP(std::string &out, std::string_view offerText)
{
    return engine.CreateAnswerSDP(out, offerText, true);
}

bool LPBXPlayer::ReceiveAnswerSDP(std::string_view answerText)
{
    return engine.ReceiveAnswerSDP(answerText);
}

bool LPBXPlayer::Start(const LSoundSource &source)
{
    // A restart keeps the engine, its port and its RTP stream.
    streamPlayer.Stop();
    if (!playing)
        engine.Start();
    playing = true;
    return streamPlayer.Start(source, engine.OpenSoundSink(false));
}

void LPBXPlayer::Stop()
{
    if (!playing)
        return;
    streamPlayer.Stop();
    engine.Stop();
    playing = false;
}
