// One received or composed SIP message: the first line, the header fields in
// arrival order and the body parts. Fixed-capacity texts; over-long input is
// cut, and a datagram is rejected only when its first line is not SIP. A
// message is a list element so that it can wait in a call's queue.
#pragma once

#include "platform/ipaddress.h"
#include "platform/list.h"
#include "sip/sipfields.h"
#include "sip/siptext.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t kSipStatusRequest = 65535;

class LSipMessage : public LListable
{
  public:
    class LHeaderField
    {
      public:
        // Only the terminators are set: the parser fills fields in place.
        LHeaderField() { m_Name[0] = m_Value[0] = 0; }
        LHeaderField(const char *name, const char *value);
        bool IsField(const char *name) const { return LSipEqualNoCase(m_Name, name); }
        bool IsField(const char *name, const char *compact) const;
        bool IsField(const LSipHeaderFieldWithCompact &key) const;
        const char *GetFieldName() const { return m_Name; }
        const char *GetFieldData() const { return m_Value; }
        void SetFieldData(const char *value) { LSipCopy(m_Value, value); }

      private:
        friend class LSipMessage;
        char m_Name[kSipShortText];
        char m_Value[kSipLongText];
    };

    struct ContentData {
        char contentType[kSipLongText] = {0};
        std::string body;
    };

    LSipMessage();

    // Parses one message from text[position..length) and advances position.
    bool LoadPacket(const char *text, size_t length, size_t &position);
    // Writes the message as text; sets Content-Length (and Content-Type from
    // the first body part) in the stored fields first.
    void Reconstruct(std::string &out);

    bool IsRequest() const { return m_Method[0] != 0; }
    bool IsResponse() const { return m_StatusCode < kSipStatusRequest; }
    const char *GetRequest() const { return m_Method; }
    const char *GetRequestURI() const { return m_RequestURI; }
    void SetRequestURI(const char *uri) { LSipCopy(m_RequestURI, uri); }
    uint16_t GetResponseStatusCode() const { return m_StatusCode; }
    const char *GetResponseReasonPhrase() const { return m_ReasonPhrase; }
    void SetRequest(const char *method, const char *uri);
    void SetResponse(uint16_t status, const char *reason);

    // Where the datagram came from; responses go back there.
    const LIPAddressWithPort &GetSource() const { return m_Source; }
    void SetSource(const LIPAddressWithPort &source) { m_Source = source; }
    void SetSource(const sockaddr_in &source) { m_Source = LIPAddressWithPort(source); }

    const char *FindField(const char *name, const char *compact, const char *defaultValue) const;
    const char *FindField(const char *name, const char *defaultValue) const;
    const char *FindField(const LSipHeaderFieldWithCompact &key, const char *defaultValue) const;
    void ModifyField(const LSipHeaderFieldWithCompact &key, const char *value);
    void AddFieldTop(const LSipHeaderFieldWithCompact &key, const char *value);
    void AddFieldBottom(const char *name, const char *value);
    bool RemoveFieldTop(const LSipHeaderFieldWithCompact &key);
    size_t GetFieldCount() const { return m_Fields.size(); }
    const LHeaderField &GetFieldAt(size_t index) const { return m_Fields[index]; }

    // Body of the first part whose type equals type (without case); "" if none.
    const char *GetContent(const char *type) const;
    void AddContent(const char *type, const char *body, size_t length);
    size_t GetContentCount() const { return m_Contents.size(); }
    const ContentData &GetContentAt(size_t index) const { return m_Contents[index]; }
    void ClearContents() { m_Contents.clear(); }

  private:
    bool LoadFirstLine(const char *text, size_t length, size_t &position);
    void LoadHeaders(const char *text, size_t length, size_t &position);
    void LoadBody(const char *text, size_t length, size_t &position);
    LHeaderField *FindFirst(const LSipHeaderFieldWithCompact &key);

    std::vector<LHeaderField> m_Fields;
    LIPAddressWithPort m_Source;
    char m_Method[kSipShortText] = {0};
    char m_RequestURI[kSipMediumText] = {0};
    uint16_t m_StatusCode = kSipStatusRequest;
    char m_ReasonPhrase[kSipMediumText] = {0};
    std::vector<ContentData> m_Contents;
};
