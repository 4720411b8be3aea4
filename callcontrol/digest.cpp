#include "callcontrol/digest.h"

#include "platform/md5.h"
#include "platform/random.h"
#include "sip/sipuri.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
const char *SkipSpace(const char *p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        p++;
    return p;
}

// Reads one name=value pair from p; returns the position after its comma.
const char *ReadPair(const char *p, std::string &name, std::string &value)
{
    name.clear();
    value.clear();
    p = SkipSpace(p);
    while (*p && *p != '=' && *p != ',')
        name += (char)tolower((unsigned char)*p++);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    if (*p == '=') {
        p = SkipSpace(p + 1);
        if (*p == '"') {
            for (p++; *p && *p != '"'; p++) {
                if (*p == '\\' && p[1])
                    p++;
                value += *p;
            }
            if (*p == '"')
                p++;
        }
        while (*p && *p != ',')
            value += *p++;
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
    }
    return *p == ',' ? p + 1 : p;
}

bool NonceExpired(int nonceTime, int64_t now)
{
    return nonceTime > now || now - nonceTime > kNonceLifetimeSeconds;
}

void LowerText(char *text)
{
    for (; *text; text++)
        *text = (char)tolower((unsigned char)*text);
}
} // namespace

bool LSipAuthenticationDecodeDigest(const char *value, LHashTable &table)
{
    const char *p = SkipSpace(value);
    if (strncasecmp(p, "Digest", 6) != 0 || (p[6] && p[6] != ' ' && p[6] != '\t'))
        return false;
    p += 6;
    std::string name, text;
    while (*p) {
        p = ReadPair(p, name, text);
        if (!name.empty())
            table.SetParm(name.c_str(), text.c_str());
    }
    return true;
}

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

void LSipMakeNonce(char *out, size_t capacity)
{
    snprintf(out, capacity, "v%dqaq%dw", (int)LRandomBelow(100000), (int)LRandomBelow(100000));
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

bool LSipCheckDigest(const LSipMessage &request, const char *fieldName, const char *method,
                     const LDigestAccount &account, int64_t now, bool &stale)
{
    const char *header = request.FindField(fieldName, "");
    LHashTable digest;
    if (!header[0] || !LSipAuthenticationDecodeDigest(header, digest))
        return false;
    char realm[260], nonce[260];
    LSipGetLocalRealm(realm);
    account.record->GetNonce(nonce);
    if (strcmp(digest.GetParm("realm"), realm) != 0 || !nonce[0] ||
        strcmp(digest.GetParm("nonce"), nonce) != 0 || digest.GetParm("opaque")[0]) {
        stale = true;
        return false;
    }
    if (NonceExpired(account.record->GetNonceTime(), now)) {
        stale = true;
        return false;
    }
    // RFC 2617 section 3.2.2.5: the credentials must be for this request's
    // target, or an answer captured for one URI would open another.
    const char *uri = digest.GetParm("uri", request.GetRequestURI());
    if (!LSipSameURI(uri, request.GetRequestURI()))
        return false;
    char expected[LMD5::HexSize];
    LSipCreateAuthenticationResponse(account.digestUser, realm, account.password, method, uri,
                                     nonce, expected);
    return strcmp(expected, digest.GetParm("response")) == 0;
}

void LSipMakeChallenge(const char *fieldName, const LDigestAccount &account, int64_t now,
                       bool stale, char *out, size_t capacity)
{
    char realm[260], nonce[260];
    LSipGetLocalRealm(realm);
    account.record->GetNonce(nonce);
    if (!nonce[0] || NonceExpired(account.record->GetNonceTime(), now)) {
        LSipMakeNonce(nonce, 32);
        account.record->SetNonceState(nonce, (int)now);
        stale = true;
    }
    snprintf(out, capacity,
             "%s: Digest realm=\"%s\",nonce=\"%s\",opaque=\"\",stale=%s,algorithm=MD5\r\n",
             fieldName, realm, nonce, stale ? "TRUE" : "FALSE");
}
