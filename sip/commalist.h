// Iterates the items of a comma-separated header value such as a Contact
// list. An item is the text up to the next ','; when a '"' is met, the item
// is the quoted text instead (a doubled '"' stands for one) and the rest up
// to the next ',' is skipped. Items are held in 260 characters.
#pragma once

#include <cstddef>

template <typename C> class LCommaSeparatedListIteratorTemplate
{
  public:
    static constexpr size_t kItemCapacity = 260;

    explicit LCommaSeparatedListIteratorTemplate(const C *text) : m_Next(text) { m_Item[0] = 0; }

    // Moves to the next item; false when the text is used up.
    bool Next()
    {
        SkipWhite();
        if (!*m_Next)
            return false;
        m_Length = 0;
        while (*m_Next && *m_Next != ',' && *m_Next != '"')
            Put(*m_Next++);
        if (*m_Next == '"')
            ReadQuoted();
        if (*m_Next == ',')
            m_Next++;
        m_Item[m_Length] = 0;
        return true;
    }

    const C *GetItem() const { return m_Item; }

  private:
    void SkipWhite()
    {
        while (*m_Next == ' ' || *m_Next == '\t' || *m_Next == '\r' || *m_Next == '\n')
            m_Next++;
    }

    void Put(C c)
    {
        if (m_Length + 1 < kItemCapacity)
            m_Item[m_Length++] = c;
    }

    void ReadQuoted()
    {
        m_Length = 0;
        m_Next++;
        while (*m_Next) {
            if (*m_Next == '"' && m_Next[1] != '"')
                break;
            if (*m_Next == '"')
                m_Next++;
            Put(*m_Next++);
        }
        while (*m_Next && *m_Next != ',')
            m_Next++;
    }

    const C *m_Next;
    C m_Item[kItemCapacity];
    size_t m_Length = 0;
};
