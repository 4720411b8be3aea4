#include "sip/sipmessage.h"

#include "sip/sipmultipart.h"
#include "sip/sipreaders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
// Continuations that would overflow a value overwrite its tail from here on,
// so that the start of a long value survives.
constexpr size_t kContinuationOverwrite = 244;
constexpr size_t kContinuationMinRoom = 16;

// FNV-1a over the lower-cased name. Names equal without case have equal
// tags, so a look-up compares names only where the tags agree: about 130
// look-ups per call, each walking a dozen fields, most of them misses.
uint32_t NameTag(const char *name)
{
    uint32_t tag = 2166136261u;
    for (; *name; name++)
        tag = (tag ^ (uint8_t)LSipLower(*name)) * 16777619u;
    return tag;
}
} // namespace

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
    m_Method[0] = m_RequestURI[0] = m_ReasonPhrase[0] = 0;
}

char *LSipMessage::LTextStore::AddBlock(size_t size)
{
    size_t block = size > kBlock ? size : kBlock;
    m_Blocks.emplace_back(new char[block]);
    m_Top = m_Blocks.back().get();
    m_Left = block;
    return m_Top;
}

char *LSipMessage::LTextStore::Take(size_t size)
{
    char *text = Room(size);
    Commit(size);
    return text;
}

void LSipMessage::LTextStore::Clear()
{
    m_Blocks.clear();
    m_Top = m_Inline;
    m_Left = kInline;
}

void LSipMessage::SetRequest(const char *method, const char *uri)
{
    LSipCopy(m_Method, method);
    LSipCopy(m_RequestURI, uri);
    m_StatusCode = kSipStatusRequest;
    m_ReasonPhrase[0] = 0;
}

bool LSipMessage::IsSuccessToInvite() const
{
    return m_StatusCode >= 200 && m_StatusCode <= 299 && IsResponseToInvite();
}

bool LSipMessage::IsResponseToInvite() const
{
    return IsResponse() && strcmp(GetCSeqMethod(), "INVITE") == 0;
}

const char *LSipMessage::GetCSeqMethod() const
{
    const char *cseq = FindField(LSipFields::CSeq, "");
    char *method = nullptr;
    strtoul(cseq, &method, 10);
    return method != cseq ? LSipSkipWhite(method) : "";
}

void LSipMessage::SetResponse(uint16_t status, const char *reason)
{
    m_Method[0] = 0;
    m_RequestURI[0] = 0;
    m_StatusCode = status;
    LSipCopy(m_ReasonPhrase, reason);
}

const LSipMessage::LHeaderField *LSipMessage::Find(const char *name, const char *compact) const
{
    uint32_t nameTag = NameTag(name);
    uint32_t compactTag = compact ? NameTag(compact) : 0;
    // The end is taken once: the compiler cannot tell that the comparisons
    // leave the table alone.
    for (const LHeaderField *field = m_Fields, *end = m_Fields + m_FieldCount; field != end;
         field++) {
        if ((field->m_Tag == nameTag && LSipEqualNoCase(field->m_Name, name)) ||
            (compact && field->m_Tag == compactTag && LSipEqualNoCase(field->m_Name, compact)))
            return field;
    }
    return nullptr;
}

const char *LSipMessage::FindField(const char *name, const char *compact,
                                   const char *defaultValue) const
{
    const LHeaderField *field = Find(name, compact);
    return field ? field->m_Value : defaultValue;
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
    return const_cast<LHeaderField *>(Find(key.name, key.compact));
}

void LSipMessage::GrowFields()
{
    // Only the small entries move; their texts stay where they are.
    size_t room = m_FieldRoom * 2;
    std::unique_ptr<LHeaderField[]> more(new LHeaderField[room]);
    std::copy(m_Fields, m_Fields + m_FieldCount, more.get());
    m_MoreFields = std::move(more);
    m_Fields = m_MoreFields.get();
    m_FieldRoom = room;
}

LSipMessage::LHeaderField &LSipMessage::InsertField(size_t index)
{
    if (m_FieldCount == m_FieldRoom)
        GrowFields();
    std::copy_backward(m_Fields + index, m_Fields + m_FieldCount, m_Fields + m_FieldCount + 1);
    m_FieldCount++;
    return m_Fields[index];
}

void LSipMessage::AddField(size_t index, const char *name, const char *value)
{
    size_t nameLength = strnlen(name, kSipShortText - 1);
    char *nameText = m_Text.Take(nameLength + 1);
    memcpy(nameText, name, nameLength);
    nameText[nameLength] = 0;
    size_t valueLength = strnlen(value, kSipLongText - 1);
    LHeaderField &field = InsertField(index);
    field.m_Name = nameText;
    field.m_Tag = NameTag(nameText);
    field.m_Value = m_Text.Take(valueLength + 1);
    field.m_Room = (uint32_t)valueLength + 1;
    memcpy(field.m_Value, value, valueLength);
    field.m_Value[valueLength] = 0;
}

void LSipMessage::SetValue(LHeaderField &field, const char *value)
{
    // A longer value gets the full capacity at once, so a field that keeps
    // growing takes new room at most once. The old text stays in the store:
    // value may point into it.
    size_t length = strnlen(value, kSipLongText - 1);
    if (length >= field.m_Room) {
        char *room = m_Text.Take(kSipLongText);
        memcpy(room, value, length);
        field.m_Value = room;
        field.m_Room = kSipLongText;
    } else {
        memmove(field.m_Value, value, length);
    }
    field.m_Value[length] = 0;
}

void LSipMessage::ModifyField(const LSipHeaderFieldWithCompact &key, const char *value)
{
    LHeaderField *field = FindFirst(key);
    if (field)
        SetValue(*field, value);
    else
        AddField(m_FieldCount, key.name, value);
}

void LSipMessage::AddFieldTop(const LSipHeaderFieldWithCompact &key, const char *value)
{
    AddField(0, key.name, value);
}

void LSipMessage::AddFieldBottom(const char *name, const char *value)
{
    AddField(m_FieldCount, name, value);
}

bool LSipMessage::RemoveFieldTop(const LSipHeaderFieldWithCompact &key)
{
    LHeaderField *field = FindFirst(key);
    if (!field)
        return false;
    std::copy(field + 1, m_Fields + m_FieldCount, field);
    m_FieldCount--;
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
// space, never past the value's capacity. Returns the value's new length.
size_t AppendContinuation(char *value, size_t start, size_t capacity, const char *more)
{
    if (capacity - 1 - start < kContinuationMinRoom)
        start = kContinuationOverwrite;
    // An empty value folded onto the next line gets no leading space.
    if (start > 0)
        value[start++] = ' ';
    LSipCopyText(value + start, capacity - start, more);
    return start + strlen(value + start);
}
} // namespace

void LSipMessage::LoadHeaders(const char *text, size_t length, size_t &position)
{
    for (;;) {
        // The name and the value are read into the store's top at their full
        // capacities; only what they hold is kept.
        char *name = m_Text.Room(kSipShortText + kSipLongText);
        size_t nameLength = LoadColonTerminatedString(text, length, position, name, kSipShortText);
        if (nameLength == 0)
            break;
        char *value = name + nameLength + 1;
        size_t valueLength = LoadLineTerminatedString(text, length, position, value, kSipLongText);
        while (position < length && (text[position] == ' ' || text[position] == '\t')) {
            char more[kSipLongText];
            while (position < length && (text[position] == ' ' || text[position] == '\t'))
                position++;
            LoadLineTerminatedString(text, length, position, more, sizeof(more));
            // After the text as seen: a value may hold a NUL byte.
            valueLength = AppendContinuation(value, strlen(value), kSipLongText, more);
        }
        m_Text.Commit(value + valueLength + 1 - name);
        LHeaderField &field = AppendField();
        field.m_Name = name;
        field.m_Tag = NameTag(name);
        field.m_Value = value;
        field.m_Room = (uint32_t)valueLength + 1;
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
    m_FieldCount = 0;
    m_Text.Clear();
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
    for (size_t i = 0; i < m_FieldCount; i++) {
        const LHeaderField &field = m_Fields[i];
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
