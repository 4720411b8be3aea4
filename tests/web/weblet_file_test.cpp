#include "web/weblet_file.h"

#include <gtest/gtest.h>

// The common names are the web server interop test's; here their edges.
TEST(WebletFile, ContentTypesByLowerCasedExtension)
{
    // clang-format off
    struct Case { const char *path; const char *type; } cases[] = {
        {"/r/S.CSS", "text/css"},
        {"/r/a.JPG", "image/jpeg"},
        {"/r/a.htm", "application/octet-stream"},
        {"/r.d/noext", "application/octet-stream"},
        {"/r/a.gif.txt", "application/octet-stream"},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_STREQ(WebletContentType(c.path), c.type) << c.path;
}

TEST(WebletFile, DatesInGmtWithTheWholeYear)
{
    EXPECT_EQ(WebletHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(WebletHttpDate(1796584249), "Sun, 06 Dec 2026 19:10:49 GMT");
    EXPECT_EQ(WebletHttpDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
}
