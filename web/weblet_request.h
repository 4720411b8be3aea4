// Reading one HTTP/1.x request of the control panel: request line, headers,
// cookies and the form fields of query string and body.
#pragma once

#include "platform/hashtable.h"
#include "web/weblet_io.h"

#include <string>

// Bounds on what one client may make the server hold for a request head.
constexpr int kWebletMaxHeaderLines = 100;
constexpr size_t kWebletMaxHeadBytes = 32 * 1024;
constexpr long kWebletMaxBody = 1000000;

enum class LWebletParse {
    Ok,
    Close,           // time-out, closed or broken connection: end silently
    NotImplemented,  // 501 (also for Transfer-Encoding)
    BadRequest,      // 400: repeated or malformed Content-Length, repeated Host
    NotFound,        // 404
    HeadersTooLarge, // 431
    BodyTooLong,     // 500
};

struct LWebletRequest {
    std::string method;
    double version = 0;
    std::string script; // decoded path without its leading "/"
    LHashTable headers;
    LHashTable form;
    LHashTable cookies;
    bool keep_alive = false;
};

// Splits "METHOD URI HTTP/x.y"; fills method, version, script and the
// query-string fields. Answers Ok, NotImplemented or NotFound.
LWebletParse WebletParseRequestLine(const std::string &line, LWebletRequest &request);

// Splits a header line at its first ":" and skips the spaces after it.
// False for a line without ":".
bool WebletSplitHeader(const std::string &line, std::string &name, std::string &value);

// Cookie header: pairs separated by ";", values URL-decoded, empty names
// dropped.
void WebletParseCookies(const char *text, LHashTable &cookies);

// Reads a whole request from the connection (line, headers, body).
// host_fallback is stored as "Host" when the client sent none.
LWebletParse WebletReadRequest(LWebletReader &reader, LWebletRequest &request,
                               const char *host_fallback);

// The canned answer for a failed parse (empty for Ok and Close).
const char *WebletParseAnswer(LWebletParse result);
