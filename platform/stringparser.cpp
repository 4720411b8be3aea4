#include "platform/strings.h"

#include <cctype>
#include <climits>
#include <cstring>

template <class C> LStringParserTemplate<C>::LStringParserTemplate(const C *text) : m_text(text)
{
    int length = 0;
    while (text && text[length])
        length++;
    m_end = length;
}

template <class C>
LStringParserTemplate<C>::LStringParserTemplate(const C *text, int length)
    : m_text(text), m_end(text && length > 0 ? length : 0)
{
}

namespace
{
template <class C> bool IsBlank(C ch)
{
    return ch == C(' ') || ch == C('\t');
}
template <class C> C Lower(C ch)
{
    return (ch >= C('A') && ch <= C('Z')) ? C(ch - 'A' + 'a') : ch;
}
} // namespace

template <class C> bool LStringParserTemplate<C>::SkipChar(C ch)
{
    if (IsEnd() || m_text[m_pos] != ch)
        return false;
    m_pos++;
    return true;
}

template <class C> bool LStringParserTemplate<C>::SkipUpTo(C ch)
{
    while (!IsEnd() && m_text[m_pos] != ch)
        m_pos++;
    return !IsEnd();
}

template <class C> bool LStringParserTemplate<C>::SkipPast(C ch)
{
    if (!SkipUpTo(ch))
        return false;
    m_pos++;
    return true;
}

template <class C> void LStringParserTemplate<C>::SkipWhiteSpace()
{
    while (!IsEnd() && IsBlank(m_text[m_pos]))
        m_pos++;
}

template <class C> bool LStringParserTemplate<C>::SkipEndOfLine()
{
    while (!IsEnd() && m_text[m_pos] != C('\r') && m_text[m_pos] != C('\n'))
        m_pos++;
    if (IsEnd())
        return false;
    if (m_text[m_pos] == C('\r'))
        m_pos++;
    if (!IsEnd() && m_text[m_pos] == C('\n'))
        m_pos++;
    return true;
}

template <class C> bool LStringParserTemplate<C>::SkipString(const C *text)
{
    int i = 0;
    for (; text[i]; i++)
        if (m_pos + i >= m_end || m_text[m_pos + i] != text[i])
            return false;
    m_pos += i;
    return true;
}

template <class C> bool LStringParserTemplate<C>::SkipStringNoCase(const C *text)
{
    int i = 0;
    for (; text[i]; i++)
        if (m_pos + i >= m_end || Lower(m_text[m_pos + i]) != Lower(text[i]))
            return false;
    m_pos += i;
    return true;
}

template <class C> int LStringParserTemplate<C>::Copy(int from, int to, C *out, int capacity)
{
    if (!out || capacity <= 0)
        return 0;
    int count = to - from;
    if (count > capacity - 1)
        count = capacity - 1;
    for (int i = 0; i < count; i++)
        out[i] = m_text[from + i];
    out[count] = 0;
    return count;
}

template <class C> bool LStringParserTemplate<C>::GetUpTo(C ch, C *out, int capacity)
{
    int start = m_pos;
    bool found = SkipUpTo(ch);
    Copy(start, m_pos, out, capacity);
    return found;
}

template <class C> int LStringParserTemplate<C>::GetToWhiteSpace(C *out, int capacity)
{
    int start = m_pos;
    while (!IsEnd() && !IsBlank(m_text[m_pos]) && m_text[m_pos] != C('\r') &&
           m_text[m_pos] != C('\n'))
        m_pos++;
    return Copy(start, m_pos, out, capacity);
}

template <class C> int LStringParserTemplate<C>::GetLine(C *out, int capacity)
{
    int start = m_pos;
    while (!IsEnd() && m_text[m_pos] != C('\r') && m_text[m_pos] != C('\n'))
        m_pos++;
    int copied = Copy(start, m_pos, out, capacity);
    SkipEndOfLine();
    return copied;
}

template <class C> bool LStringParserTemplate<C>::GetUpToString(const C *stop, C *out, int capacity)
{
    int start = m_pos;
    for (; !IsEnd(); m_pos++) {
        int save = m_pos;
        if (SkipString(stop)) {
            m_pos = save;
            Copy(start, m_pos, out, capacity);
            return true;
        }
    }
    Copy(start, m_pos, out, capacity);
    return false;
}

template <class C> bool LStringParserTemplate<C>::GetInt(long &value)
{
    int pos = m_pos;
    bool negative = false;
    if (pos < m_end && (m_text[pos] == C('-') || m_text[pos] == C('+')))
        negative = m_text[pos++] == C('-');
    if (pos >= m_end || m_text[pos] < C('0') || m_text[pos] > C('9'))
        return false;
    long result = 0;
    for (; pos < m_end && m_text[pos] >= C('0') && m_text[pos] <= C('9'); pos++) {
        int digit = (int)(m_text[pos] - C('0'));
        // Saturate instead of overflowing on hostile digit runs.
        result = result > (LONG_MAX - digit) / 10 ? LONG_MAX : result * 10 + digit;
    }
    value = negative ? -result : result;
    m_pos = pos;
    return true;
}

template class LStringParserTemplate<char>;
