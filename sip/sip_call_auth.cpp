// Client side of HTTP digest authentication (RFC 2617) for the requests of
// a dialog: the answer to a 401 (WWW-Authenticate) or 407
// (Proxy-Authenticate) challenge.
#include "platform/log.h"
#include "platform/md5.h"
#include "sip/sip_call.h"
#include "sip/sipmessage.h"

#include <cstring>
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

// One "name=value" item; returns where the next item starts.
const char *ReadParameter(const char *cursor, LHashTable &parameters)
{
    const char *name = cursor;
    size_t nameLength = strcspn(name, "=, \r\n");
    cursor = name + nameLength;
    if (*cursor != '=')
        return *cursor ? cursor + 1 : cursor;
    cursor = SkipAllWhite(cursor + 1);
    size_t itemLength = strcspn(cursor, ",");
    std::string item(cursor, itemLength);
    std::string value;
    if (!item.empty() && item[0] == '"') {
        size_t close = item.find('"', 1);
        value = item.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else
        value = item.substr(0, item.find_first_of("\" "));
    std::string key(name, nameLength);
    parameters.SetParm(key.c_str(), value.c_str());
    cursor += itemLength;
    return *cursor ? cursor + 1 : cursor;
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

bool LSipAuthenticationDecodeDigest(const char *challenge, LHashTable &parameters, bool &stale)
{
    const char *cursor = LSipSkipWhite(challenge);
    size_t word = strcspn(cursor, " \t\r\n");
    if (!LSipEqualNoCase(cursor, word, "Digest"))
        return false;
    cursor += word;
    while (*(cursor = SkipAllWhite(cursor)))
        cursor = ReadParameter(cursor, parameters);
    stale = LSipEqualNoCase(parameters.GetParm("stale", ""), "true");
    return true;
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

bool LSipRequest::SetAuthentication(LSipCall &call, const LSipMessage &response)
{
    if (!call.GetLocalPassword()[0]) {
        LOGERROR("Password is being requested when none is available!");
        return false;
    }
    bool proxy = response.GetResponseStatusCode() != 401;
    const char *challenge = response.FindField(
        proxy ? LSipFields::ProxyAuthenticate : LSipFields::WWWAuthenticate, "-");
    LHashTable parameters;
    bool stale = false;
    if (!LSipAuthenticationDecodeDigest(challenge, parameters, stale))
        return false;
    const char *realm = parameters.GetParm("realm", "");
    const char *nonce = parameters.GetParm("nonce", "");
    char digest[LMD5::HexSize];
    LSipCreateAuthenticationResponse(call.GetLocalAuthID(), realm, call.GetLocalPassword(),
                                     m_Method, m_RequestURI, nonce, digest);
    std::string value;
    LSipAppendF(value,
                "Digest username=\"%s\",realm=\"%s\",nonce=\"%s\",uri=\"%s\",response=\"%s\","
                "opaque=\"%s\",algorithm=MD5",
                call.GetLocalAuthID(), realm, nonce, m_RequestURI, digest,
                parameters.GetParm("opaque", ""));
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
