#include "platform/strings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

// ---- LStringLongTemplate

template <class C>
LStringLongTemplate<C>::LStringLongTemplate(LStringLongTemplate &&other)
    : m_buffer(other.m_buffer), m_length(other.m_length), m_capacity(other.m_capacity)
{
    other.m_buffer = nullptr;
    other.m_length = other.m_capacity = 0;
}

template <class C> LStringLongTemplate<C>::~LStringLongTemplate()
{
    free(m_buffer);
}

template <class C>
LStringLongTemplate<C> &LStringLongTemplate<C>::operator=(const LStringLongTemplate &other)
{
    if (&other != this)
        Set(other.GetString());
    return *this;
}

template <class C>
LStringLongTemplate<C> &LStringLongTemplate<C>::operator=(LStringLongTemplate &&other)
{
    if (&other != this) {
        free(m_buffer);
        m_buffer = other.m_buffer;
        m_length = other.m_length;
        m_capacity = other.m_capacity;
        other.m_buffer = nullptr;
        other.m_length = other.m_capacity = 0;
    }
    return *this;
}

template <class C> const C *LStringLongTemplate<C>::GetString() const
{
    static const C empty[1] = {0};
    return m_buffer ? m_buffer : empty;
}

template <class C> bool LStringLongTemplate<C>::GrowToSize(int capacity)
{
    if (capacity <= m_capacity)
        return true;
    C *grown = (C *)realloc(m_buffer, ((size_t)capacity + 1) * sizeof(C));
    if (!grown)
        return false;
    if (!m_buffer)
        grown[0] = 0;
    m_buffer = grown;
    m_capacity = capacity;
    return true;
}

template <class C> bool LStringLongTemplate<C>::Append(const C *text, int count)
{
    if (!text || count <= 0)
        return true;
    if (count > 0x3FFFFFFF - m_length)
        return false;
    // text may point into our own buffer, which GrowToSize may move.
    uintptr_t at = (uintptr_t)text, base = (uintptr_t)m_buffer;
    bool inside = m_buffer && at >= base && at <= base + (uintptr_t)m_length * sizeof(C);
    size_t offset = inside ? (at - base) / sizeof(C) : 0;
    // Grow geometrically so that appending piece by piece stays linear.
    int need = m_length + count;
    int target = need <= 0x3FFFFFFF / 3 * 2 ? need + need / 2 : need;
    if (need > m_capacity && !GrowToSize(target))
        return false;
    if (inside)
        text = m_buffer + offset;
    memmove(m_buffer + m_length, text, (size_t)count * sizeof(C));
    m_length += count;
    m_buffer[m_length] = 0;
    return true;
}

template <class C> bool LStringLongTemplate<C>::Append(const C *text)
{
    if (!text)
        return true;
    int count = 0;
    while (text[count])
        count++;
    return Append(text, count);
}

template <class C> bool LStringLongTemplate<C>::Set(const C *text)
{
    if (text == m_buffer && text)
        return true;
    SetLength(0);
    return Append(text);
}

template <class C> bool LStringLongTemplate<C>::SetLength(int length)
{
    if (length < 0)
        length = 0;
    if (!GrowToSize(length))
        return false;
    if (!m_buffer)
        return true; // length 0 on an empty text
    for (int i = m_length; i < length; i++)
        m_buffer[i] = C(' ');
    m_length = length;
    m_buffer[m_length] = 0;
    return true;
}

template <class C> bool LStringLongTemplate<C>::vappendf(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int need = vsnprintf(nullptr, 0, format, again);
    va_end(again);
    if (need < 0 || !GrowToSize(m_length + need))
        return false;
    vsnprintf(m_buffer + m_length, (size_t)need + 1, format, args);
    m_length += need;
    return true;
}

template <class C> bool LStringLongTemplate<C>::sprintf(const char *format, ...)
{
    SetLength(0);
    va_list args;
    va_start(args, format);
    bool ok = vappendf(format, args);
    va_end(args);
    return ok;
}

template <class C> bool LStringLongTemplate<C>::tsprintfappend(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = vappendf(format, args);
    va_end(args);
    return ok;
}

// ---- writers

template <class C> void LStringWriterTemplate<C>::Write(const C *text)
{
    if (!text)
        return;
    int count = 0;
    while (text[count])
        count++;
    WriteN(text, count);
}

template <class C> void LStringWriterTemplate<C>::WriteF(const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int need = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (need < 0)
        return;
    if (need < (int)sizeof line) {
        WriteN(line, need);
        return;
    }
    LStringLongTemplate<char> longer;
    va_start(args, format);
    longer.vappendf(format, args);
    va_end(args);
    WriteN(longer.GetString(), longer.GetLength());
}

template <class C> void LStringWriterTemplate<C>::WriteInt(long value)
{
    WriteF("%ld", value);
}

template <class C> void LStringLongTemplateWriter<C>::WriteN(const C *text, int count)
{
    int done = 0;
    while (done < count) {
        int capacity = m_target.GetCapacity();
        if (m_target.GetLength() >= capacity &&
            !m_target.GrowToSize(capacity < 4 ? 16 : capacity * 4)) {
            m_failed = true;
            return;
        }
        int room = m_target.GetCapacity() - m_target.GetLength();
        int take = count - done < room ? count - done : room;
        m_target.Append(text + done, take); // within capacity: no reallocation
        done += take;
    }
}

template <class C>
LFixedLengthStringWriterTemplate<C>::LFixedLengthStringWriterTemplate(C *buffer, int capacity)
    : m_buffer(buffer), m_capacity(capacity)
{
    if (m_buffer && m_capacity > 0)
        m_buffer[0] = 0;
}

template <class C> void LFixedLengthStringWriterTemplate<C>::WriteN(const C *text, int count)
{
    if (!m_buffer || m_capacity <= 0 || count <= 0)
        return;
    int room = m_capacity - 1 - m_length;
    if (count > room) {
        m_truncated = true;
        count = room;
    }
    memcpy(m_buffer + m_length, text, (size_t)count * sizeof(C));
    m_length += count;
    m_buffer[m_length] = 0;
}

template class LStringLongTemplate<char>;
template class LStringWriterTemplate<char>;
template class LStringLongTemplateWriter<char>;
template class LFixedLengthStringWriterTemplate<char>;

// ---- fixed array helpers

bool LStrCopyN(char *dst, size_t capacity, const char *src, size_t count)
{
    if (!dst || capacity == 0)
        return false;
    if (!src)
        src = "";
    size_t length = strnlen(src, count);
    bool whole = length < capacity;
    if (!whole)
        length = capacity - 1;
    memmove(dst, src, length);
    dst[length] = 0;
    return whole;
}

bool LStrCopy(char *dst, size_t capacity, const char *src)
{
    return LStrCopyN(dst, capacity, src, (size_t)-1);
}

bool LStrAppend(char *dst, size_t capacity, const char *src)
{
    if (!dst || capacity == 0)
        return false;
    size_t used = strnlen(dst, capacity - 1);
    return LStrCopy(dst + used, capacity - used, src);
}

bool LStrFormat(char *dst, size_t capacity, const char *format, ...)
{
    if (!dst || capacity == 0)
        return false;
    va_list args;
    va_start(args, format);
    int need = vsnprintf(dst, capacity, format, args);
    va_end(args);
    return need >= 0 && (size_t)need < capacity;
}
