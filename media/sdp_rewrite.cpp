#include "media/sdp_rewrite.h"

#include <cstdio>
#include <string>

#include "media/sdp_text.h"

namespace
{
struct AllowedPayloads {
    uint8_t te, g726, cn;
    bool Contains(long type) const
    {
        return type == 0 || type == 3 || type == 8 || type == 13 || type == te || type == g726 ||
               type == cn;
    }
};

std::string FilterPayloads(std::string_view list, const AllowedPayloads &allowed)
{
    std::string kept;
    LSDPCursor cursor(list);
    while (true) {
        cursor.SkipWhite();
        std::string_view token = cursor.GetToken();
        if (token.empty())
            break;
        long type = 0;
        // A token that is not a payload number is dropped: it must not be
        // read as 0 and offer PCMU that the phone never listed.
        if (!LSDPParseInt(token, type) || type < 0 || type > 127 || !allowed.Contains(type))
            continue;
        if (!kept.empty())
            kept += ' ';
        kept += std::to_string(type);
    }
    return kept;
}

// Returns the new audio line value, or false when the line is not audio.
bool RewriteMedia(std::string_view value, uint16_t port, const AllowedPayloads *filter,
                  std::string &out)
{
    LSDPCursor cursor(value);
    if (cursor.GetToken() != "audio")
        return false;
    for (int skipped = 0; skipped < 2; ++skipped) {
        cursor.SkipWhite();
        cursor.GetToken();
    }
    cursor.SkipWhite();
    std::string_view list = cursor.GetRest();
    // Secure RTP cannot pass a relay that does not hold its keys; the
    // rewritten line always offers plain RTP.
    out = "audio " + std::to_string(port) + " RTP/AVP ";
    out += filter != nullptr ? FilterPayloads(list, *filter) : std::string(list);
    return true;
}

bool IsOwnAttribute(std::string_view value)
{
    std::string_view name = LSDPAttributeName(value);
    return name == "direction" || name == "local" || name == "domain";
}
} // namespace

void LSDPRewrite(LSDP &sdp, const LSDPDecoder &decoder, std::string_view address, uint16_t port,
                 bool directionActive, std::string_view privateAddress, uint16_t privatePort,
                 std::string_view domain, bool filterCodecs)
{
    const AllowedPayloads allowed{decoder.GetRtpMap("telephone-event", 13),
                                  decoder.GetRtpMap("G726-32", 2), decoder.GetRtpMap("CN", 2)};
    const std::string connection = "IN IP4 " + std::string(address);
    std::vector<LSDP::LSDPItem> &items = sdp.Items();
    std::vector<LSDP::LSDPItem> kept;
    kept.reserve(items.size() + 3);
    std::string media;
    for (LSDP::LSDPItem &item : items) {
        const std::string &key = item.GetKey();
        if (key == "a" && IsOwnAttribute(item.GetValue()))
            continue;
        if (key == "m" &&
            RewriteMedia(item.GetValue(), port, filterCodecs ? &allowed : nullptr, media))
            item.SetValue(media);
        else if (key == "c")
            item.SetValue(connection);
        kept.push_back(std::move(item));
    }
    items = std::move(kept);
    if (directionActive)
        sdp.AddField("a", "direction:active");
    if (!privateAddress.empty()) {
        sdp.AddField("a", "domain:" + std::string(domain));
        if (privatePort != 0)
            sdp.AddField("a", "local:" + std::string(privateAddress) + " " +
                                  std::to_string(privatePort));
    }
}

std::string LSDPRewriteText(std::string_view text, std::string_view address, uint16_t port,
                            bool directionActive, std::string_view privateAddress,
                            uint16_t privatePort, std::string_view domain, bool filterCodecs)
{
    LSDP sdp(text);
    LSDPDecoder decoder(sdp);
    LSDPRewrite(sdp, decoder, address, port, directionActive, privateAddress, privatePort, domain,
                filterCodecs);
    std::string out;
    sdp.Save(out);
    return out;
}
