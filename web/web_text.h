// Text encodings of the control panel: HTML escaping for page output and the
// URL (form) encoding shared with the settings files' HTTP strings.
#pragma once

#include <cstddef>
#include <string>

// Appends text HTML-encoded: & < > " become entities, a line break (CR, LF,
// CR LF or LF CR) becomes "<br>" and an empty line "<p>".
void WebHtmlEncode(std::string &out, const char *text);

// Appends text URL-encoded: bytes above 0x20 and below 0x80 that are not
// reserved are copied, every other byte becomes %XX (upper-case hex).
void WebUrlEncode(std::string &out, const char *text);

// Decodes len bytes of URL-encoded text: "+" is a space, "%xx" a byte (a
// non-hex digit counts as 0), a "%" without two characters left ends the
// text, and decoded NUL bytes are dropped so they cannot cut later C strings.
std::string WebUrlDecode(const char *text, size_t len);

// Trims spaces, tabs, CR and LF from both ends.
std::string WebTrim(const std::string &text);

bool WebEqualNoCase(const char *a, const char *b);
