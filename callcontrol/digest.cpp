#include "callcontrol/digest.h"

#include "platform/md5.h"
#include "sip/sipuri.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
void LowerText(char *text)
{
    for (; *text; text++)
        *text = (char)tolower((unsigned char)*text);
}
} // namespace

const char *LSipGetLocalRealm(char *out)
{
    char host[261] = {0};
    if (gethostname(host, sizeof(host) - 1) != 0)
        host[0] = 0;
    // "Vela@" and at most 254 characters of the host name fill the 260.
    snprintf(out, 260, "Vela@%.254s", host);
    LowerText(out);
    return out;
}

bool LSipSameURI(const char *a, const char *b)
{
    LSipURI left(a), right(b);
    char hostLeft[kSipLongText], hostRight[kSipLongText];
    LSipCopy(hostLeft, left.GetHost());
    LSipCopy(hostRight, right.GetHost());
    LowerText(hostLeft);
    LowerText(hostRight);
    left.SetHost(hostLeft);
    right.SetHost(hostRight);
    std::string textLeft, textRight;
    left.Reconstruct(textLeft);
    right.Reconstruct(textRight);
    // The scheme is compared without case; the rest of the text as written.
    size_t colonLeft = textLeft.find(':'), colonRight = textRight.find(':');
    return LSipEqualNoCase(left.GetScheme(), right.GetScheme()) &&
           textLeft.compare(colonLeft, std::string::npos, textRight, colonRight) == 0 &&
           left.IsPortSpecified() == right.IsPortSpecified();
}

void LSipDigestResponse(const char *user, const char *realm, const char *password,
                        const char *method, const char *uri, const char *nonce, const char *nc,
                        const char *cnonce, const char *qop, char out[33])
{
    if (!qop[0]) {
        LSipCreateAuthenticationResponse(user, realm, password, method, uri, nonce, out);
        return;
    }
    char ha1[LMD5::HexSize], ha2[LMD5::HexSize];
    LMD5::HexOf((std::string(user) + ":" + realm + ":" + password).c_str(), ha1);
    LMD5::HexOf((std::string(method) + ":" + uri).c_str(), ha2);
    LMD5::HexOf(
        (std::string(ha1) + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2).c_str(),
        out);
}

LDigestResult LSipCheckDigest(const LSipMessage &request, const char *fieldName, const char *method,
                              const LDigestAccount &account, const char *realm,
                              LDigestNonces &nonces, int64_t now)
{
    const char *header = request.FindField(fieldName, "");
    LHashTable digest;
    if (!header[0] || !LSipAuthenticationDecodeDigest(header, digest))
        return LDigestResult::Missing;
    const char *nonce = digest.GetParm("nonce");
    if (strcmp(digest.GetParm("realm"), realm) != 0 || digest.GetParm("opaque")[0])
        return LDigestResult::Stale;
    // Only "auth" is offered; auth-int and unknown kinds are not answers.
    const char *qop = digest.GetParm("qop");
    if (!account.password || (qop[0] && strcmp(qop, "auth") != 0))
        return LDigestResult::Failed;
    // RFC 2617 section 3.2.2.5: the credentials must be for this request's
    // target, or an answer captured for one URI would open another.
    const char *uri = digest.GetParm("uri", request.GetRequestURI());
    if (!LSipSameURI(uri, request.GetRequestURI()))
        return LDigestResult::Failed;
    char expected[LMD5::HexSize];
    LSipDigestResponse(account.digestUser, realm, account.password, method, uri, nonce,
                       digest.GetParm("nc"), digest.GetParm("cnonce"), qop, expected);
    if (strcmp(expected, digest.GetParm("response")) != 0)
        return LDigestResult::Failed;
    if (!nonces.IsValid(nonce, account.name, now) ||
        !nonces.Consume(nonce, qop[0] != 0, digest.GetParm("nc"), request.GetSource(), now))
        return LDigestResult::Stale;
    return LDigestResult::Accepted;
}

void LSipMakeChallenge(const char *fieldName, const LDigestAccount &account, const char *realm,
                       LDigestNonces &nonces, int64_t now, bool stale, char *out, size_t capacity)
{
    std::string nonce = nonces.Issue(account.name, now);
    snprintf(out, capacity,
             "%s: Digest realm=\"%s\",nonce=\"%s\",opaque=\"\",stale=%s,algorithm=MD5,"
             "qop=\"auth\"\r\n",
             fieldName, realm, nonce.c_str(), stale ? "TRUE" : "FALSE");
}
