#include "platform/strings.h"
#include "platform/types.h"

#include <gtest/gtest.h>

#include <string>

TEST(Strings, FixedArrayCopyCutsAtCapacityMinusOne)
{
    // clang-format off
    const struct Case { std::string source; bool whole; std::string stored; } cases[] = {
        {"", true, ""}, {std::string(31, 'x'), true, std::string(31, 'x')},
        {std::string(32, 'y'), false, std::string(31, 'y')},
        {std::string(5000, 'z'), false, std::string(31, 'z')},
    };
    // clang-format on
    for (const auto &c : cases) {
        char buffer[LShortTextSize + 1];
        buffer[LShortTextSize] = '#'; // guard byte just past the array we pass
        char(&text)[LShortTextSize] = *reinterpret_cast<char(*)[LShortTextSize]>(buffer);
        EXPECT_EQ(c.whole, LStrCopy(text, c.source.c_str()));
        EXPECT_EQ(c.stored, text);
        EXPECT_EQ('#', buffer[LShortTextSize]);
    }
    char small[8];
    EXPECT_TRUE(LStrCopy(small, nullptr));
    EXPECT_STREQ("", small);
    EXPECT_TRUE(LStrCopy(small, "abc"));
    EXPECT_FALSE(LStrAppend(small, "defghij"));
    EXPECT_STREQ("abcdefg", small);
    EXPECT_FALSE(LStrCopyN(small, "0123456789", 9));
    EXPECT_TRUE(LStrCopyN(small, "0123456789", 3));
    EXPECT_STREQ("012", small);
    EXPECT_FALSE(LStrFormat(small, sizeof small, "%d", 123456789));
    EXPECT_STREQ("1234567", small);
}

TEST(Strings, FixedWriterDropsEverythingBeyondCapacity)
{
    char buffer[10];
    LFixedLengthStringWriter writer(buffer);
    writer.Write("abc");
    writer.Write('d');
    EXPECT_FALSE(writer.IsTruncated());
    writer.WriteF("%d-%s", 42, "long tail");
    EXPECT_TRUE(writer.IsTruncated());
    EXPECT_EQ(9, writer.GetLength());
    EXPECT_STREQ("abcd42-lo", buffer);
    writer.Write("more");
    EXPECT_STREQ("abcd42-lo", buffer);
}

TEST(Strings, LongTextGrowsFormatsAndCuts)
{
    LStringLong text;
    EXPECT_STREQ("", text.GetString());
    EXPECT_TRUE(text.sprintf("%s=%d", "port", 5060));
    EXPECT_STREQ("port=5060", text.GetString());
    EXPECT_TRUE(text.tsprintfappend(";%s", std::string(3000, 'k').c_str()));
    EXPECT_EQ(9 + 1 + 3000, text.GetLength());
    EXPECT_TRUE(text.SetLength(4));
    EXPECT_STREQ("port", text.GetString());
    EXPECT_TRUE(text.SetLength(6)); // grows with spaces
    EXPECT_STREQ("port  ", text.GetString());
    EXPECT_TRUE(text.Append(text.GetString(), 4)); // appending from itself
    EXPECT_STREQ("port  port", text.GetString());
    int capacity = text.GetCapacity();
    EXPECT_TRUE(text.GrowToSize(capacity - 1)); // never shrinks
    EXPECT_EQ(capacity, text.GetCapacity());
    LStringLong copy(text);
    text.Empty();
    EXPECT_STREQ("port  port", copy.GetString());
    EXPECT_TRUE(text.IsEmpty());
    // One reallocation per byte would make decoding a large form quadratic.
    int growths = 0, last = text.GetCapacity();
    for (int i = 0; i < 100000; i++) {
        ASSERT_TRUE(text.Append("x", 1));
        growths += text.GetCapacity() != last;
        last = text.GetCapacity();
    }
    EXPECT_EQ(100000, text.GetLength());
    EXPECT_LT(growths, 40);
}

TEST(Strings, ParserSkipsAndGetsTokens)
{
    LStringParser p("INVITE sip:100@pbx SIP/2.0\r\nVia: x;branch=z9\nTo:  <sip:a>\r\n-12x");
    char token[8];
    EXPECT_EQ(6, p.GetToWhiteSpace(token));
    EXPECT_STREQ("INVITE", token);
    p.SkipWhiteSpace();
    EXPECT_TRUE(p.SkipStringNoCase("SIP:"));
    EXPECT_TRUE(p.GetUpTo('@', token));
    EXPECT_STREQ("100", token);
    EXPECT_TRUE(p.SkipChar('@'));
    char line[64];
    p.GetLine(line);
    EXPECT_STREQ("pbx SIP/2.0", line);
    EXPECT_TRUE(p.SkipString("Via:"));
    char cut[4];
    EXPECT_TRUE(p.GetUpToString(";branch", cut, sizeof cut)); // cut at 3
    EXPECT_STREQ(" x", cut);
    EXPECT_TRUE(p.SkipEndOfLine()); // LF only
    EXPECT_FALSE(p.SkipString("to:"));
    EXPECT_TRUE(p.SkipPast(':'));
    p.SkipWhiteSpace();
    EXPECT_EQ('<', p.Peek());
    EXPECT_TRUE(p.SkipEndOfLine());
    long value = 0;
    EXPECT_TRUE(p.GetInt(value));
    EXPECT_EQ(-12, value);
    EXPECT_FALSE(p.GetInt(value));
    EXPECT_FALSE(p.GetUpTo('@', token)); // takes the rest
    EXPECT_STREQ("x", token);
    EXPECT_TRUE(p.IsEnd());
    EXPECT_EQ(0, p.Peek());
}

TEST(Strings, ParserSurvivesHostileNumbersAndLengths)
{
    LStringParser digits("99999999999999999999999999");
    long value = 0;
    EXPECT_TRUE(digits.GetInt(value));
    EXPECT_EQ(LONG_MAX, value);
    const char bytes[] = {'a', 'b', 0, 'c'};
    LStringParser bounded(bytes, 2); // stops at its length, not at a terminator
    char out[8];
    EXPECT_FALSE(bounded.GetUpTo('c', out));
    EXPECT_STREQ("ab", out);
    LStringParser none(nullptr);
    EXPECT_TRUE(none.IsEnd());
    EXPECT_FALSE(none.SkipEndOfLine());
}
