// Ordered table of name/value texts (web forms, cookies, request headers,
// session data, URI and header parameters). Names compare with case; there is
// no hashing, lookups walk the list. SetParm puts a new name at the front, so
// iteration runs newest first; LoadHTTPString appends in text order.
#pragma once

#include "platform/list.h"
#include "platform/strings.h"

class LHashTable
{
  public:
    // Name and value live in the node's own allocation, behind it: URI,
    // header and digest parameters are parsed many times per call, and one
    // allocation per pair instead of three showed in the call profile. A
    // longer value set later goes to a heap copy of its own.
    class LHashNode : public LListable
    {
      public:
        ~LHashNode() override;
        const char *GetParm() const { return m_name; }
        const char *GetData() const { return m_value; }
        static void operator delete(void *memory) { ::operator delete(memory); }

      private:
        friend class LHashTable;
        LHashNode() = default;
        bool SetValue(const char *value, size_t length);
        char *m_name = nullptr;
        char *m_value = nullptr;
        size_t m_valueRoom = 0; // bytes behind the name kept for the value
        bool m_valueOnHeap = false;
    };

    class Iterator
    {
      public:
        explicit Iterator(const LHashTable &table) : m_node(table.First()) {}
        bool IsValid() const { return m_node != nullptr; }
        void Next() { m_node = m_node ? LListNext(m_node) : nullptr; }
        const char *GetParm() const { return m_node->GetParm(); }
        const char *GetData() const { return m_node->GetData(); }

      private:
        const LHashNode *m_node;
    };

    LHashTable() = default;
    LHashTable(const LHashTable &other) { CopyFrom(other); }
    LHashTable &operator=(const LHashTable &other);

    // The stored value, or def when the name is absent.
    const char *GetParm(const char *name, const char *def = "") const;
    // As GetParm, but trims spaces around a found value in place first.
    const char *GetParmTrim(const char *name, const char *def = "");
    // Copies the value or def into out, cut to 259 characters.
    void GetString(const char *name, const char *def, char (&out)[260]) const;
    // "0" is false, "1" true; anything else (absent, empty) gives def.
    bool GetBool(const char *name, bool def) const;
    // Empty or absent: def; else the leading decimal number (atoi rules).
    int GetInt(const char *name, int def) const;

    // Replaces the value of an existing name or adds the pair at the front.
    // False only when memory runs out (the table is unchanged then).
    bool SetParm(const char *name, const char *value);
    bool SetInt(const char *name, int value);
    bool SetBool(const char *name, bool value) { return SetParm(name, value ? "1" : "0"); }
    bool TestExists(const char *name) const { return Find(name) != nullptr; }
    bool DeleteParm(const char *name);
    void Clear() { m_nodes.DeleteAll(); }
    bool IsEmpty() const { return m_nodes.IsEmpty(); }
    int GetCount() const { return m_nodes.GetCount(); }

    // Parses "name=value&..." (percent and "+" decoding) and appends the
    // pairs after those already there. Pairs with an empty name are skipped.
    void LoadHTTPString(const char *text);
    // Appends all pairs in list order, both sides percent-encoded.
    void SaveHTTPString(LStringLong &out) const;

  private:
    const LHashNode *First() const { return static_cast<const LHashNode *>(m_nodes.GetFirst()); }
    LHashNode *Find(const char *name) const;
    static LHashNode *NewNode(const char *name, int nameLength, const char *value, int valueLength);
    void CopyFrom(const LHashTable &other);
    LList m_nodes;
};

// Percent coding as the tables use it (also for URI parts): every byte that
// is a control byte (DEL included), space, 8-bit or one of %:/?#[]@!$&'()*+,;= becomes
// "%XX" with upper-case digits.
void LHTTPEncode(const char *text, int length, LStringLong &out);
// Decodes "+" to space and "%XX" (a non-hex digit counts as 0); a "%" with
// fewer than two characters left ends the text; decoded zero bytes are
// dropped.
void LHTTPDecode(const char *text, int length, LStringLong &out);
