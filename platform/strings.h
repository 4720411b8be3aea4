// Texts: a growable text, writers into growable and fixed buffers, a parsing
// cursor, and copies into fixed character arrays that cut instead of
// overflowing. Only the char instantiations exist (strings.cpp).
#pragma once

#include <cstdarg>
#include <cstddef>

#define LPRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))

// Growable text: buffer, length and capacity (characters, without the
// terminator). The buffer is always terminated. Failed allocations leave the
// text as it was and return false.
template <class C> class LStringLongTemplate
{
  public:
    LStringLongTemplate() = default;
    LStringLongTemplate(const C *text) { Append(text); }
    LStringLongTemplate(const LStringLongTemplate &other) { Append(other.GetString()); }
    LStringLongTemplate(LStringLongTemplate &&other);
    ~LStringLongTemplate();
    LStringLongTemplate &operator=(const LStringLongTemplate &other);
    LStringLongTemplate &operator=(LStringLongTemplate &&other);

    const C *GetString() const;
    operator const C *() const { return GetString(); }
    C *GetBuffer() { return m_buffer; } // nullptr until something was allocated
    int GetLength() const { return m_length; }
    int GetCapacity() const { return m_capacity; }
    bool IsEmpty() const { return m_length == 0; }

    bool Append(const C *text);
    bool Append(const C *text, int count);
    bool Append(C ch) { return Append(&ch, 1); }
    bool Set(const C *text);
    void Empty() { SetLength(0); }
    // Replaces the text with the formatted one (like sprintf).
    bool sprintf(const char *format, ...) LPRINTF_LIKE(2, 3);
    // Appends the formatted text.
    bool tsprintfappend(const char *format, ...) LPRINTF_LIKE(2, 3);
    bool vappendf(const char *format, va_list args);
    // Cuts the text, or grows it padding with spaces; the terminator follows.
    bool SetLength(int length);
    // Makes room for at least capacity characters; never shrinks.
    bool GrowToSize(int capacity);

  private:
    C *m_buffer = nullptr;
    int m_length = 0;
    int m_capacity = 0;
};

// Common face of the writers: everything funnels into WriteN.
template <class C> class LStringWriterTemplate
{
  public:
    virtual ~LStringWriterTemplate() = default;
    virtual void WriteN(const C *text, int count) = 0;
    void Write(const C *text);
    void Write(C ch) { WriteN(&ch, 1); }
    void WriteF(const char *format, ...) LPRINTF_LIKE(2, 3);
    void WriteInt(long value);
};

// Appends to an LStringLongTemplate, multiplying its capacity by 4 whenever
// the length reaches it (so long texts grow in few steps).
template <class C> class LStringLongTemplateWriter : public LStringWriterTemplate<C>
{
  public:
    explicit LStringLongTemplateWriter(LStringLongTemplate<C> &target) : m_target(target) {}
    void WriteN(const C *text, int count) override;
    bool Failed() const { return m_failed; } // an allocation failed: text is cut
    LStringLongTemplate<C> &GetTarget() { return m_target; }

  private:
    LStringLongTemplate<C> &m_target;
    bool m_failed = false;
};

// Writes into a fixed buffer of capacity characters (terminator included):
// everything beyond capacity - 1 characters is dropped.
template <class C> class LFixedLengthStringWriterTemplate : public LStringWriterTemplate<C>
{
  public:
    LFixedLengthStringWriterTemplate(C *buffer, int capacity);
    template <size_t N>
    explicit LFixedLengthStringWriterTemplate(C (&buffer)[N])
        : LFixedLengthStringWriterTemplate(buffer, (int)N)
    {
    }
    void WriteN(const C *text, int count) override;
    int GetLength() const { return m_length; }
    bool IsTruncated() const { return m_truncated; }
    const C *GetString() const { return m_buffer; }

  private:
    C *m_buffer;
    int m_capacity;
    int m_length = 0;
    bool m_truncated = false;
};

// A cursor over a terminated text. Get* functions copy into a buffer of
// capacity characters (terminator included), cutting what does not fit, and
// always move the cursor over the whole token.
template <class C> class LStringParserTemplate
{
  public:
    explicit LStringParserTemplate(const C *text);
    LStringParserTemplate(const C *text, int length);

    bool IsEnd() const { return m_pos >= m_end; }
    C Peek() const { return IsEnd() ? C(0) : m_text[m_pos]; }
    const C *GetCurrent() const { return m_text + m_pos; }
    int GetPos() const { return m_pos; }
    void SetPos(int pos) { m_pos = pos < 0 ? 0 : (pos > m_end ? m_end : pos); }
    int Remaining() const { return m_end - m_pos; }

    // Skips one ch if it is next.
    bool SkipChar(C ch);
    // Moves onto the next ch (false and at the end when there is none).
    bool SkipUpTo(C ch);
    // Moves past the next ch.
    bool SkipPast(C ch);
    // Skips spaces and tabs.
    void SkipWhiteSpace();
    // Skips the rest of the line and its CRLF or LF; false at the end.
    bool SkipEndOfLine();
    // Skips text if it comes next (case-sensitive or not).
    bool SkipString(const C *text);
    bool SkipStringNoCase(const C *text);

    // Copies up to (not including) ch; false when ch never comes (then the
    // rest of the text is taken).
    bool GetUpTo(C ch, C *out, int capacity);
    // Copies up to white space or the end.
    int GetToWhiteSpace(C *out, int capacity);
    // Copies the rest of the line and moves past its end.
    int GetLine(C *out, int capacity);
    // Copies up to the text stop; false when it never comes.
    bool GetUpToString(const C *stop, C *out, int capacity);
    // Reads an optionally signed decimal number; false when none is there.
    bool GetInt(long &value);

    template <size_t N> bool GetUpTo(C ch, C (&out)[N]) { return GetUpTo(ch, out, (int)N); }
    template <size_t N> int GetToWhiteSpace(C (&out)[N]) { return GetToWhiteSpace(out, (int)N); }
    template <size_t N> int GetLine(C (&out)[N]) { return GetLine(out, (int)N); }

  private:
    int Copy(int from, int to, C *out, int capacity);
    const C *m_text;
    int m_end;
    int m_pos = 0;
};

using LStringLong = LStringLongTemplate<char>;
using LStringLongWriter = LStringLongTemplateWriter<char>;
using LFixedLengthStringWriter = LFixedLengthStringWriterTemplate<char>;
using LStringParser = LStringParserTemplate<char>;

// Copies src (nullptr counts as "") into dst of capacity characters, cutting
// it to capacity - 1; returns false when it had to cut.
bool LStrCopy(char *dst, size_t capacity, const char *src);
// Same, but copies at most count characters of src.
bool LStrCopyN(char *dst, size_t capacity, const char *src, size_t count);
// Appends src to the text in dst, cutting at capacity - 1.
bool LStrAppend(char *dst, size_t capacity, const char *src);
// snprintf into dst, false when cut.
bool LStrFormat(char *dst, size_t capacity, const char *format, ...) LPRINTF_LIKE(3, 4);

template <size_t N> bool LStrCopy(char (&dst)[N], const char *src)
{
    return LStrCopy(dst, N, src);
}
template <size_t N> bool LStrCopyN(char (&dst)[N], const char *src, size_t count)
{
    return LStrCopyN(dst, N, src, count);
}
template <size_t N> bool LStrAppend(char (&dst)[N], const char *src)
{
    return LStrAppend(dst, N, src);
}
