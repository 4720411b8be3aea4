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
#include <memory>
#include <string>
#include <vector>

constexpr uint16_t kSipStatusRequest = 65535;

class LSipMessage : public LListable
{
  public:
    // One header field as stored: its name and value live in the message's
    // text store and stay where they are until the message is loaded again,
    // so a value handed out stays valid when fields are added or removed.
    class LHeaderField
    {
      public:
        bool IsField(const char *name) const { return LSipEqualNoCase(m_Name, name); }
        bool IsField(const char *name, const char *compact) const;
        bool IsField(const LSipHeaderFieldWithCompact &key) const;
        const char *GetFieldName() const { return m_Name; }
        const char *GetFieldData() const { return m_Value; }

      private:
        friend class LSipMessage;
        // No initialisers: the inline table is filled as fields arrive.
        const char *m_Name;
        char *m_Value;
        uint32_t m_Room; // bytes at m_Value, terminator included
        uint32_t m_Tag;  // of the lower-cased name: look-ups compare it first
    };

    struct ContentData {
        char contentType[kSipLongText] = {0};
        std::string body;
    };

    LSipMessage();
    LSipMessage(const LSipMessage &) = delete;
    LSipMessage &operator=(const LSipMessage &) = delete;

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
    // A 2xx whose "CSeq" names an INVITE: it is owed an ACK (RFC 3261
    // section 13.2.2.4) whether or not its INVITE is still awaited.
    bool IsSuccessToInvite() const;
    bool IsResponseToInvite() const;
    // The method named by "CSeq" ("" when it names none).
    const char *GetCSeqMethod() const;
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
    size_t GetFieldCount() const { return m_FieldCount; }
    const LHeaderField &GetFieldAt(size_t index) const { return m_Fields[index]; }

    // Body of the first part whose type equals type (without case); "" if none.
    const char *GetContent(const char *type) const;
    void AddContent(const char *type, const char *body, size_t length);
    size_t GetContentCount() const { return m_Contents.size(); }
    const ContentData &GetContentAt(size_t index) const { return m_Contents[index]; }
    void ClearContents() { m_Contents.clear(); }

  private:
    // Header texts, bump-allocated: an inline block that holds a usual
    // message, then heap blocks. Nothing is moved or freed before Clear, so
    // the texts handed out stay put (and a value may be set from another).
    class LTextStore
    {
      public:
        LTextStore() = default;
        LTextStore(const LTextStore &) = delete;
        LTextStore &operator=(const LTextStore &) = delete;
        // At least size contiguous bytes at the top, not yet taken.
        char *Room(size_t size) { return m_Left >= size ? m_Top : AddBlock(size); }
        void Commit(size_t used) { m_Top += used, m_Left -= used; }
        char *Take(size_t size);
        void Clear();

      private:
        char *AddBlock(size_t size);

        static constexpr size_t kInline = 2048;
        static constexpr size_t kBlock = 4096;
        char m_Inline[kInline];
        char *m_Top = m_Inline;
        size_t m_Left = kInline;
        std::vector<std::unique_ptr<char[]>> m_Blocks;
    };

    bool LoadFirstLine(const char *text, size_t length, size_t &position);
    void LoadHeaders(const char *text, size_t length, size_t &position);
    void LoadBody(const char *text, size_t length, size_t &position);
    const LHeaderField *Find(const char *name, const char *compact) const;
    LHeaderField *FindFirst(const LSipHeaderFieldWithCompact &key);
    void GrowFields();
    LHeaderField &InsertField(size_t index);
    LHeaderField &AppendField()
    {
        if (m_FieldCount == m_FieldRoom)
            GrowFields();
        return m_Fields[m_FieldCount++];
    }
    void AddField(size_t index, const char *name, const char *value);
    void SetValue(LHeaderField &field, const char *value);

    static constexpr size_t kInlineFields = 24;
    LHeaderField m_InlineFields[kInlineFields];
    std::unique_ptr<LHeaderField[]> m_MoreFields;
    LHeaderField *m_Fields = m_InlineFields;
    size_t m_FieldCount = 0;
    size_t m_FieldRoom = kInlineFields;
    LTextStore m_Text;
    LIPAddressWithPort m_Source;
    // Only the terminators are set (by the constructor); the texts are
    // written when a message is loaded or composed.
    char m_Method[kSipShortText];
    char m_RequestURI[kSipMediumText];
    uint16_t m_StatusCode = kSipStatusRequest;
    char m_ReasonPhrase[kSipMediumText];
    std::vector<ContentData> m_Contents;
};
