#include "sip/sipnameaddr.h"

#include "sip/sipuri.h"

#include <cstring>

LSipNameAddr::LSipNameAddr(const char *text)
{
    text = LSipSkipWhite(text);
    bool quoted = false;
    if (*text == '"') {
        const char *end = strchr(text + 1, '"');
        size_t length = end ? (size_t)(end - text - 1) : strlen(text + 1);
        LSipCopy(m_DisplayName, text + 1, length);
        text += 1 + length + (end ? 1 : 0);
        quoted = true;
    }
    const char *open = strchr(text, '<');
    if (open) {
        if (!quoted)
            LSipCopy(m_DisplayName, text, LSipTrimmedLength(text, (size_t)(open - text)));
        const char *close = strchr(open + 1, '>');
        size_t length = close ? (size_t)(close - open - 1) : strlen(open + 1);
        LSipCopy(m_URI, open + 1, length);
        text = close ? close + 1 : open + 1 + length;
    } else {
        text = LSipSkipWhite(text);
        LSipCopy(m_URI, text, LSipTrimmedLength(text, strlen(text)));
        text = "";
    }
    if (!strchr(m_URI, ':')) {
        std::string withScheme = std::string("sip:") + m_URI;
        LSipCopy(m_URI, withScheme.c_str());
    }
    const char *parameters = strchr(text, ';');
    if (parameters)
        LSipParseParameters(m_Parameters, parameters + 1);
}

void LSipNameAddr::ReconstructWithoutHeaders(std::string &out) const
{
    if (m_DisplayName[0])
        LSipAppendF(out, "\"%s\" <%s>", m_DisplayName, m_URI);
    else
        LSipAppendF(out, "<%s>", m_URI);
}

void LSipNameAddr::Expand(const char *text, const char *host, std::string &out)
{
    if (strchr(text, '<')) {
        out.append(text);
        return;
    }
    std::string target;
    for (; *text; text++) {
        if (*text != ' ')
            target += *text;
    }
    size_t colon = target.find(':');
    size_t at = target.find('@');
    bool hasScheme = colon != std::string::npos && (at == std::string::npos || colon < at);
    const char *prefix = hasScheme ? "" : "sip:";
    if (at != std::string::npos)
        LSipAppendF(out, "<%s%s>", prefix, target.c_str());
    else
        LSipAppendF(out, "<%s%s@%s>", prefix, target.c_str(), host);
}

void LSipNameAddr::PrependCID(const char *prefix)
{
    LSipURI uri(m_URI);
    if (!uri.GetUser()[0])
        return;
    std::string user(prefix);
    user += uri.GetUser();
    uri.SetUser(user.c_str());
    std::string text;
    uri.Reconstruct(text);
    LSipCopy(m_URI, text.c_str());
}
