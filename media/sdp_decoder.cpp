#include "media/sdp_decoder.h"

#include "media/sdp_text.h"

// rtpmap entries kept per SDP: a real offer has a dozen; a hostile one must
// not make every lookup walk thousands.
static constexpr size_t kMaxRtpMaps = 128;

LSDPDecoder::LSDPDecoder(std::string_view text)
{
    LSDP sdp(text);
    Decode(sdp);
}

std::string_view LSDPAttributeName(std::string_view value, std::string_view *rest)
{
    LSDPCursor cursor(value);
    std::string_view name = cursor.GetUpTo(" :");
    if (rest != nullptr) {
        cursor.SkipAny(" :");
        *rest = cursor.GetRest();
    }
    return name;
}

void LSDPDecoder::Decode(const LSDP &sdp)
{
    *this = LSDPDecoder();
    for (const LSDP::LSDPItem &item : sdp.Items()) {
        const std::string &key = item.GetKey();
        if (key == "a")
            DecodeAttribute(item.GetValue());
        else if (key == "m")
            DecodeMedia(item.GetValue());
        else if (key == "c")
            DecodeConnection(item.GetValue());
    }
}

void LSDPDecoder::DecodeAttribute(std::string_view value)
{
    std::string_view rest;
    std::string_view name = LSDPAttributeName(value, &rest);
    LSDPCursor cursor(rest);
    if (name == "rtpmap") {
        DecodeRtpMap(rest);
    } else if (name == "direction") {
        if (LSDPEqualNoCase(cursor.GetUpTo(" "), "active"))
            remoteDirectionActive_ = true;
    } else if (name == "sendonly") {
        remoteHold_ = true;
    } else if (name == "local") {
        remoteHostPrivate_ = LSDPFieldText(cursor.GetUpTo(" "));
        cursor.SkipAny(" ");
        remoteRTPAudioPortPrivate_ = LSDPParsePort(cursor.GetUpTo(" "));
    } else if (name == "domain") {
        remoteHostPrivateDomain_ = LSDPFieldText(cursor.GetRest());
    }
}

void LSDPDecoder::DecodeRtpMap(std::string_view rest)
{
    long number = -1;
    if (!LSDPParseInt(rest, number) || number < 0)
        return;
    LSDPCursor cursor(rest);
    cursor.GetUpTo(" /");
    cursor.SkipAny(" ");
    RtpMap map;
    map.encodingName = LSDPFieldText(cursor.GetUpTo(" /"));
    map.payloadType = uint8_t(number & 0xFF);
    if (rtpMaps_.size() >= kMaxRtpMaps)
        rtpMaps_.pop_back();
    rtpMaps_.insert(rtpMaps_.begin(), std::move(map));
}

void LSDPDecoder::DecodeMedia(std::string_view value)
{
    LSDPCursor cursor(value);
    if (cursor.GetToken() != "audio")
        return;
    cursor.SkipWhite();
    remoteRTPAudioPort_ = LSDPParsePort(cursor.GetToken());
    cursor.SkipWhite();
    cursor.GetToken();
    cursor.SkipWhite();
    remotePayLoadTypes_ = LSDPFieldText(cursor.GetRest());
}

void LSDPDecoder::DecodeConnection(std::string_view value)
{
    LSDPCursor cursor(value);
    for (int skipped = 0; skipped < 2; ++skipped) {
        cursor.SkipWhite();
        cursor.GetToken();
    }
    cursor.SkipWhite();
    remoteHost_ = LSDPFieldText(cursor.GetToken());
}

uint8_t LSDPDecoder::GetRtpMap(std::string_view name, uint8_t defaultType) const
{
    for (const RtpMap &map : rtpMaps_) {
        if (LSDPEqualNoCase(map.encodingName, name))
            return map.payloadType;
    }
    return defaultType;
}
