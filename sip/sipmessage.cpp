#include "sip/sipmessage.h"

#include "sip/sipmultipart.h"
#include "sip/sipreaders.h"

#include <cstring>

namespace
{
// Continuations that would overflow a value overwrite its tail from here on,
// so that the start of a long value survives.
constexpr size_t kContinuationOverwrite = 244;
constexpr size_t kContinuationMinRoom = 16;
} // namespace

LSipMessage::LHeaderField::LHeaderField(const char *name, const char *value)
{
    LSipCopy(m_Name, name);
    LSipCopy(m_Value, value);
}

bool LSipMessage::LHeaderField::IsField(const char *name, const char *compact) const
{
    // Every look-up walks the message's fields, so most comparisons are
    // misses: the first letter rejects nearly all of them without a call.
    char first = LSipLower(m_Name[0]);
    return (first == LSipLower(name[0]) && LSipEqualNoCase(m_Name, name)) ||
           (compact && first == LSipLower(compact[0]) && LSipEqualNoCase(m_Name, compact));
}

bool LSipMessage::LHeaderField::IsField(const LSipHeaderFieldWithCompact &key) const
{
    return IsField(key.name, key.compact);
}

LSipMessage::LSipMessage()
{
    m_Fields.reserve(16);
}

void LSipMessage::SetRequest(const char *method, const char *uri)
{
    LSipCopy(m_Method, method);
    LSipCopy(m_RequestURI, uri);
    m_StatusCode = kSipStatusRequest;
    m_ReasonPhrase[0] = 0;
}

void LSipMessage::SetResponse(uint16_t status, const char *reason)
{
    m_Method[0] = 0;
    m_RequestURI[0] = 0;
    m_StatusCode = status;
    LSipCopy(m_ReasonPhrase, reason);
}

const char *LSipMessage::FindField(const char *name, const char *compact,
                                   const char *defaultValue) const
{
    for (const LHeaderField &field : m_Fields) {
        if (field.IsField(name, compact))
            return field.m_Value;
    }
    return defaultValue;
}

const char *LSipMessage::FindField(const char *name, const char *defaultValue) const
{
    return FindField(name, nullptr, defaultValue);
}

const char *LSipMessage::FindField(const LSipHeaderFieldWithCompact &key,
                                   const char *defaultValue) const
{
    return FindField(key.name, key.compact, defaultValue);
}

LSipMessage::LHeaderField *LSipMessage::FindFirst(const LSipHeaderFieldWithCompact &key)
{
    for (LHeaderField &field : m_Fields) {
        if (field.IsField(key))
            return &field;
    }
    return nullptr;
}

void LSipMessage::ModifyField(const LSipHeaderFieldWithCompact &key, const char *value)
{
    LHeaderField *field = FindFirst(key);
    if (field)
        field->SetFieldData(value);
    else
        m_Fields.emplace_back(key.name, value);
}

void LSipMessage::AddFieldTop(const LSipHeaderFieldWithCompact &key, const char *value)
{
    m_Fields.emplace(m_Fields.begin(), key.name, value);
}

void LSipMessage::AddFieldBottom(const char *name, const char *value)
{
    m_Fields.emplace_back(name, value);
}

bool LSipMessage::RemoveFieldTop(const LSipHeaderFieldWithCompact &key)
{
    LHeaderField *field = FindFirst(key);
    if (!field)
        return false;
    m_Fields.erase(m_Fields.begin() + (field - m_Fields.data()));
    return true;
}

const char *LSipMessage::GetContent(const char *type) const
{
    for (const ContentData &content : m_Contents) {
        if (LSipEqualNoCase(content.contentType, type))
            return content.body.c_str();
    }
    return "";
}

void LSipMessage::AddContent(const char *type, const char *body, size_t length)
{
    ContentData &content = m_Contents.emplace_back();
    LSipCopy(content.contentType, type);
    content.body.assign(body, length);
}

bool LSipMessage::LoadFirstLine(const char *text, size_t length, size_t &position)
{
    while (!LoadSpaceTerminatedString(text, length, position, m_Method, sizeof(m_Method))) {
        if (position >= length)
            return false;
        position++;
    }
    if (!LoadSpaceTerminatedString(text, length, position, m_RequestURI, sizeof(m_RequestURI))) {
        m_Method[0] = 0;
        return false;
    }
    LoadLineTerminatedString(text, length, position, m_ReasonPhrase, sizeof(m_ReasonPhrase));
    if (LSipStartsNoCase(m_Method, "SIP/")) {
        // A status outside 100..699 (RFC 3261 section 7.2) is not a response;
        // dropping it keeps it from ever being handled as a request.
        unsigned long status =
            LSipParseDecimal(m_RequestURI, strlen(m_RequestURI), kSipStatusRequest, 0);
        if (status < 100 || status > 699)
            return false;
        SetResponse((uint16_t)status, m_ReasonPhrase);
        return true;
    }
    if (!LSipStartsNoCase(m_ReasonPhrase, "SIP/"))
        return false;
    m_StatusCode = kSipStatusRequest;
    m_ReasonPhrase[0] = 0;
    return true;
}

namespace
{
// A folded line (RFC 3261 section 7.3.1) is joined to the value with one
// space, never past the value's capacity.
void AppendContinuation(char *value, size_t capacity, const char *more)
{
    size_t start = strlen(value);
    if (capacity - 1 - start < kContinuationMinRoom)
        start = kContinuationOverwrite;
    // An empty value folded onto the next line gets no leading space.
    if (start > 0)
        value[start++] = ' ';
    LSipCopyText(value + start, capacity - start, more);
}
} // namespace

void LSipMessage::LoadHeaders(const char *text, size_t length, size_t &position)
{
    for (;;) {
        LHeaderField &field = m_Fields.emplace_back();
        if (!LoadColonTerminatedString(text, length, position, field.m_Name,
                                       sizeof(field.m_Name))) {
            m_Fields.pop_back();
            break;
        }
        LoadLineTerminatedString(text, length, position, field.m_Value, sizeof(field.m_Value));
        while (position < length && (text[position] == ' ' || text[position] == '\t')) {
            char more[kSipLongText];
            while (position < length && (text[position] == ' ' || text[position] == '\t'))
                position++;
            LoadLineTerminatedString(text, length, position, more, sizeof(more));
            AppendContinuation(field.m_Value, sizeof(field.m_Value), more);
        }
    }
    SkipLineEnd(text, length, position);
}

void LSipMessage::LoadBody(const char *text, size_t length, size_t &position)
{
    const char *type = FindField(LSipFields::ContentType, "");
    const char *lengthText = FindField(LSipFields::ContentLength, "0");
    // A negative or garbage Content-Length counts as 0, and a length beyond
    // the received bytes takes only what is there: the body never reads past
    // the datagram.
    size_t bodyLength = LSipParseDecimal(lengthText, strlen(lengthText), length, 0);
    if (bodyLength > length - position)
        bodyLength = length - position;
    if (!type[0] || bodyLength == 0)
        return;
    size_t typeLength = strcspn(type, " ;");
    char mediaType[kSipLongText];
    LSipCopy(mediaType, type, typeLength);
    // "Content-Type: ;x" names no type: like a missing one, no body.
    if (!mediaType[0])
        return;
    if (LSipEqualNoCase(mediaType, "multipart/mixed"))
        LSipLoadMultipart(*this, type, text + position, bodyLength);
    else
        AddContent(mediaType, text + position, bodyLength);
    position += bodyLength;
}

bool LSipMessage::LoadPacket(const char *text, size_t length, size_t &position)
{
    m_Fields.clear();
    m_Contents.clear();
    m_Method[0] = m_RequestURI[0] = m_ReasonPhrase[0] = 0;
    m_StatusCode = kSipStatusRequest;
    if (position > length)
        return false;
    if (!LoadFirstLine(text, length, position)) {
        SetRequest("", "");
        return false;
    }
    LoadHeaders(text, length, position);
    LoadBody(text, length, position);
    return true;
}

void LSipMessage::Reconstruct(std::string &out)
{
    out.reserve(out.size() + kSipComposeReserve);
    if (IsResponse())
        LSipAppendF(out, "SIP/2.0 %d %s\r\n", m_StatusCode, m_ReasonPhrase);
    else
        LSipAppendF(out, "%s %s SIP/2.0\r\n", m_Method, m_RequestURI);
    char number[24];
    if (!m_Contents.empty()) {
        snprintf(number, sizeof(number), "%zu", m_Contents.front().body.size());
        ModifyField(LSipFields::ContentLength, number);
        ModifyField(LSipFields::ContentType, m_Contents.front().contentType);
    } else {
        ModifyField(LSipFields::ContentLength, "0");
    }
    for (const LHeaderField &field : m_Fields) {
        out.append(field.m_Name);
        out.append(": ", 2);
        out.append(field.m_Value);
        out.append("\r\n", 2);
    }
    out.append("\r\n", 2);
    if (!m_Contents.empty()) {
        out.append(m_Contents.front().body);
        out.append("\r\n", 2);
    }
}
