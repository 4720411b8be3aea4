#include "sip/siptext.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

// Composed header lines go through a formatter of their own for %s, %d, %u
// and %zu; it must write what printf writes, and leave other conversions to
// printf.
TEST(SipAppendF, WritesWhatPrintfWrites)
{
    std::string out = "x";
    LSipAppendF(out, "|%s|%d|%d|%u|%zu|%zd|%%|", "a", INT_MIN, 0, UINT_MAX, (size_t)SIZE_MAX,
                (ssize_t)-5);
    LSipAppendF(out, "<%5d|%-3s|%x|%.2s|%c>", 42, "b", 255, "xyz", 'q'); // printf's own
    LSipAppendF(out, "%s", std::string(600, 'l').c_str());
    std::string expected = "x|a|-2147483648|0|4294967295|18446744073709551615|-5|%|"
                           "<   42|b  |ff|xy|q>" +
                           std::string(600, 'l');
    EXPECT_EQ(out, expected);
}
