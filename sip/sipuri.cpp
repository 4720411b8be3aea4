#include "sip/sipuri.h"

#include "sip/uricoding.h"

#include <cstring>

void LSipURI::SetPort(uint16_t port)
{
    m_Port = port;
    m_PortSpecified = (port != kSipDefaultPort);
}

// "scheme:user:password" or "user:password" before the '@'.
void LSipURI::SplitUserPart(char *text)
{
    char *user = text;
    char *colon = strchr(text, ':');
    if (colon) {
        *colon = 0;
        LSipCopy(m_Scheme, text);
        user = colon + 1;
    }
    char *password = strchr(user, ':');
    if (password) {
        *password++ = 0;
        LSipCopy(m_Password, password);
    }
    LSipCopy(m_User, user);
}

// "host[:port][;parameters][?headers]".
void LSipURI::SplitHostPart(char *text)
{
    char *parameters = strchr(text, ';');
    char *headers = nullptr;
    if (parameters) {
        *parameters++ = 0;
        headers = strchr(parameters, '?');
    } else {
        headers = strchr(text, '?');
        parameters = headers;
    }
    if (headers)
        *headers++ = 0;
    char *port = strchr(text, ':');
    if (port) {
        *port++ = 0;
        unsigned long value = LSipParseDecimal(port, strlen(port), 65536, 0);
        m_Port = (value > 65535) ? 0 : (uint16_t)value;
        m_PortSpecified = true;
    }
    LSipCopy(m_Host, text);
    if (headers)
        m_Headers.LoadHTTPString(headers);
    if (parameters)
        LSipParseParameters(m_Parameters, parameters);
}

void LSipURI::_SetURI(const char *text)
{
    char copy[kSipLongText];
    LSipCopy(copy, text);
    LSipCopy(m_Scheme, "sip");
    m_User[0] = m_Password[0] = m_Host[0] = 0;
    m_PortSpecified = false;
    m_Port = kSipDefaultPort;
    m_Parameters.Clear();
    m_Headers.Clear();
    char *host = strchr(copy, '@');
    if (host) {
        *host++ = 0;
        SplitUserPart(copy);
    } else {
        // Without a user, only a short scheme ("sip", "sips", "tel") counts,
        // so that "10.0.0.1:5070" keeps its port.
        host = copy;
        char *colon = strchr(copy, ':');
        if (colon && colon - copy < 5) {
            *colon = 0;
            LSipCopy(m_Scheme, copy);
            host = colon + 1;
        }
    }
    SplitHostPart(host);
}

void LSipURI::ReconstructWithoutParameters(std::string &out) const
{
    out.append(m_Scheme);
    out += ':';
    if (m_User[0]) {
        out.append(m_User);
        if (m_Password[0]) {
            out += ':';
            out.append(m_Password);
        }
        out += '@';
    }
    out.append(m_Host);
    if (m_PortSpecified)
        LSipAppendF(out, ":%d", m_Port);
}

void LSipURI::Reconstruct(std::string &out) const
{
    ReconstructWithoutParameters(out);
    char coded[kSipLongText];
    for (LHashTable::Iterator it(m_Parameters); it.IsValid(); it.Next()) {
        out += ';';
        out.append(coded, LURIEncode(coded, it.GetParm()));
        if (it.GetData()[0]) {
            out += '=';
            out.append(coded, LURIEncode(coded, it.GetData()));
        }
    }
    if (!m_Headers.IsEmpty()) {
        out += '?';
        LSipSaveHTTPString(m_Headers, out);
    }
}
