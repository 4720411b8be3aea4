// HTTP digest authentication (RFC 2617): the parameter decoder both the
// registrar and the client use, and the client's answer to a 401
// (WWW-Authenticate) or 407 (Proxy-Authenticate) challenge.
#include "platform/log.h"
#include "platform/md5.h"
#include "sip/sip_call.h"
#include "sip/sipmessage.h"

#include <cstring>
#include <iterator>
#include <string>

namespace
{
bool IsWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const char *SkipAllWhite(const char *text)
{
    while (IsWhite(*text))
        text++;
    return text;
}

// Spaces and tabs at the end, down to keep characters.
void TrimEnd(std::string &text, size_t keep = 0)
{
    while (text.size() > keep && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
}

// One auth-param, name "=" (token / quoted-string), with whitespace allowed
// around "=" (RFC 3261 section 25.1, EQUAL); returns where the next starts.
// A name without "=" keeps an empty value: a bare "uri" must not count as
// absent, which would let the server fall back to the request's own URI.
const char *ReadParameter(const char *p, std::string &name, std::string &value)
{
    name.clear();
    value.clear();
    // Names compare without case (RFC 7235 section 2.1).
    for (p = SkipAllWhite(p); *p && *p != '=' && *p != ','; p++)
        name += LSipLower(*p);
    TrimEnd(name);
    if (*p != '=')
        return *p ? p + 1 : p;
    p = SkipAllWhite(p + 1);
    size_t quoted = 0;
    if (*p == '"') {
        // quoted-pair keeps the next character, so \" and commas stay in
        // the value; an unterminated quote takes the rest of the header.
        for (p++; *p && *p != '"'; p++) {
            if (*p == '\\' && p[1])
                p++;
            value += *p;
        }
        if (*p == '"')
            p++;
        quoted = value.size();
    }
    while (*p && *p != ',')
        value += *p++;
    // Spaces inside the quotes are the value's own: a nonce or realm cut
    // short gives a digest the other side cannot match.
    TrimEnd(value, quoted);
    return *p ? p + 1 : p;
}

// Appends name="text": the decoder undid the challenge's quoted-pairs, so
// '"' and '\\' get theirs back (RFC 3261 section 25.1, quoted-string).
void AppendQuoted(std::string &out, const char *format, const char *name, const char *text)
{
    LSipAppendF(out, format, name);
    for (; *text; text++) {
        if (*text == '"' || *text == '\\')
            out += '\\';
        out += *text;
    }
    out += '"';
}

void HexOfFormat(char out[LMD5::HexSize], const char *a, const char *b, const char *c)
{
    LMD5 md5;
    md5.Update(a);
    md5.Update(":");
    md5.Update(b);
    if (c) {
        md5.Update(":");
        md5.Update(c);
    }
    md5.FinalHex(out);
}
} // namespace

bool LSipAuthenticationDecodeDigest(const char *value, LHashTable &parameters)
{
    const char *p = SkipAllWhite(value);
    if (!LSipStartsNoCase(p, "Digest") || (p[6] && !IsWhite(p[6])))
        return false;
    std::string name, text;
    for (p += 6; *p;) {
        p = ReadParameter(p, name, text);
        if (!name.empty())
            parameters.SetParm(name.c_str(), text.c_str());
    }
    return true;
}

bool LSipDigestIsStale(const LHashTable &parameters)
{
    return LSipEqualNoCase(parameters.GetParm("stale"), "true");
}

bool LSipDecodeDigestChallenge(const LSipMessage &response, LHashTable &parameters)
{
    const char *name = response.GetResponseStatusCode() == 401 ? LSipFields::WWWAuthenticate.name
                                                               : LSipFields::ProxyAuthenticate.name;
    bool first = true;
    for (size_t i = 0; i < response.GetFieldCount(); i++) {
        const LSipMessage::LHeaderField &field = response.GetFieldAt(i);
        if (!field.IsField(name))
            continue;
        LHashTable decoded;
        if (!LSipAuthenticationDecodeDigest(field.GetFieldData(), decoded))
            continue;
        // Without an algorithm the digest is MD5 (RFC 2617 section 3.2.1).
        const char *algorithm = decoded.GetParm("algorithm", "MD5");
        if (first || LSipEqualNoCase(algorithm, "MD5"))
            parameters = decoded;
        first = false;
        if (LSipEqualNoCase(algorithm, "MD5"))
            return true;
    }
    return false;
}

void LSipCreateAuthenticationResponse(const char *authID, const char *realm, const char *password,
                                      const char *method, const char *uri, const char *nonce,
                                      char out[33])
{
    char ha1[LMD5::HexSize];
    char ha2[LMD5::HexSize];
    HexOfFormat(ha1, authID, realm, password);
    HexOfFormat(ha2, method, uri, nullptr);
    HexOfFormat(out, ha1, nonce, ha2);
}

std::string LSipDigestAnswer(const LHashTable &challenge, const char *authID, const char *password,
                             const char *method, const char *uri)
{
    const char *realm = challenge.GetParm("realm"), *nonce = challenge.GetParm("nonce");
    char digest[LMD5::HexSize];
    LSipCreateAuthenticationResponse(authID, realm, password, method, uri, nonce, digest);
    std::string value = "Digest";
    const char *names[] = {"username", "realm", "nonce", "uri", "response", "opaque"};
    const char *values[] = {authID, realm, nonce, uri, digest, challenge.GetParm("opaque")};
    for (size_t i = 0; i < std::size(names); i++)
        AppendQuoted(value, i ? ",%s=\"" : " %s=\"", names[i], values[i]);
    return value + ",algorithm=MD5";
}

bool LSipRequest::SetAuthentication(LSipCall &call, const LSipMessage &response)
{
    if (!call.GetLocalPassword()[0]) {
        LOGERROR("Password is being requested when none is available!");
        return false;
    }
    bool proxy = response.GetResponseStatusCode() != 401;
    LHashTable parameters;
    if (!LSipDecodeDigestChallenge(response, parameters)) {
        LOGERRORF("No MD5 digest challenge to answer (algorithm \"%.40s\")",
                  parameters.GetParm("algorithm", "none"));
        return false;
    }
    bool stale = LSipDigestIsStale(parameters);
    std::string value = LSipDigestAnswer(parameters, call.GetLocalAuthID(), call.GetLocalPassword(),
                                         m_Method, m_RequestURI);
    // A second challenge of the same kind without "stale" refuses the
    // credentials we sent (RFC 2617 section 3.2.1), whether or not the
    // server chose a new nonce: sending them again only loops.
    bool alreadySent = !m_Authorization.empty() && m_ProxyAuthorization == proxy;
    if ((value == m_Authorization || alreadySent) && !stale) {
        LOGERROR("Authorisation failed for server");
        LOGERRORTEXT("Error message was: ", response.GetResponseReasonPhrase());
        LOGERROR("Check username or password for the proxy server.");
        LOGERROR("Perhaps calls to this number are not allowed by this server.");
        return false;
    }
    m_Authorization = value;
    m_ProxyAuthorization = proxy;
    return true;
}

bool LSipCall::AuthenticateInvite(const LSipMessage &response, LSipRequest &request,
                                  const char *sdp, const char *replaces, const LSipMessage *message,
                                  bool autoAnswer)
{
    if (!request.SetAuthentication(*this, response))
        return false;
    return request.RebuildInvite(*this, sdp, replaces, 20, message, autoAnswer);
}
