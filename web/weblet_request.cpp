#include "web/weblet_request.h"

#include "web/web_text.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr int kRequestLineTimeoutMs = 30000;
constexpr int kHeaderTimeoutMs = 20000;

std::string NextWord(const std::string &line, size_t &pos)
{
    while (pos < line.size() && line[pos] == ' ')
        pos++;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ')
        pos++;
    return line.substr(start, pos - start);
}

// Header names compare without case (RFC 9110 5.1): they are stored as
// "Content-Length" whatever the client sent, so lookups find them.
std::string CanonicalName(const std::string &name)
{
    std::string out = name;
    bool start = true;
    for (char &c : out) {
        c = start ? (char)toupper((unsigned char)c) : (char)tolower((unsigned char)c);
        start = c == '-';
    }
    return out;
}

// A header that must appear once: a second one, even with the same value,
// makes the message's framing ambiguous to whatever sits in front of us.
bool IsSingleton(const std::string &name)
{
    return name == "Content-Length" || name == "Host";
}

LWebletParse ReadHeaders(LWebletReader &reader, LWebletRequest &request, size_t &budget)
{
    std::string line, name, value;
    for (int count = 0;; count++) {
        LWebletRead r = reader.ReadLine(line, kHeaderTimeoutMs, budget);
        if (r == LWebletRead::TooLong)
            return LWebletParse::HeadersTooLarge;
        if (r != LWebletRead::Ok)
            return LWebletParse::Close;
        if (line.empty())
            return LWebletParse::Ok;
        if (count >= kWebletMaxHeaderLines)
            return LWebletParse::HeadersTooLarge;
        if (!WebletSplitHeader(line, name, value))
            continue;
        name = CanonicalName(name);
        if (IsSingleton(name) && request.headers.TestExists(name.c_str()))
            return LWebletParse::BadRequest;
        request.headers.SetParm(name.c_str(), value.c_str());
    }
}

// The body is read for every method: a GET's body is dropped, never left
// to be read as the next request of the connection.
LWebletParse ReadBody(LWebletReader &reader, LWebletRequest &request)
{
    std::string length_text = WebTrim(request.headers.GetParm("Content-Length", "0"));
    if (length_text.empty() || length_text.size() > 9 ||
        length_text.find_first_not_of("0123456789") != std::string::npos)
        return LWebletParse::BadRequest;
    long length = strtol(length_text.c_str(), nullptr, 10);
    if (length > kWebletMaxBody)
        return LWebletParse::BodyTooLong;
    std::string body;
    if (reader.ReadBytes(body, (size_t)length, kHeaderTimeoutMs + (int)length) != LWebletRead::Ok)
        return LWebletParse::Close;
    if (request.method == "POST")
        request.form.LoadHTTPString(body.c_str());
    return LWebletParse::Ok;
}
} // namespace

LWebletParse WebletParseRequestLine(const std::string &line, LWebletRequest &request)
{
    size_t pos = 0;
    request.method = NextWord(line, pos);
    std::string uri = NextWord(line, pos);
    std::string version = NextWord(line, pos);
    if (request.method != "GET" && request.method != "POST")
        return LWebletParse::NotImplemented;
    request.version = version.compare(0, 5, "HTTP/") == 0 ? atof(version.c_str() + 5) : 0;
    size_t question = uri.find('?');
    if (question != std::string::npos) {
        request.form.LoadHTTPString(uri.c_str() + question + 1);
        uri.resize(question);
    }
    std::string path = WebUrlDecode(uri.data(), uri.size());
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos)
        return LWebletParse::NotFound;
    request.script = path.substr(1);
    return LWebletParse::Ok;
}

bool WebletSplitHeader(const std::string &line, std::string &name, std::string &value)
{
    size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    name = line.substr(0, colon);
    size_t start = line.find_first_not_of(' ', colon + 1);
    value = start == std::string::npos ? std::string() : line.substr(start);
    return true;
}

void WebletParseCookies(const char *text, LHashTable &cookies)
{
    const char *p = text;
    while (*p) {
        while (*p == ' ')
            p++;
        size_t name_len = strcspn(p, "=;");
        std::string name(p, name_len);
        p += name_len;
        std::string value;
        if (*p == '=') {
            p++;
            size_t value_len = strcspn(p, ";");
            value = WebUrlDecode(p, value_len);
            p += value_len;
        }
        if (*p == ';')
            p++;
        if (!name.empty())
            cookies.SetParm(name.c_str(), value.c_str());
    }
}

LWebletParse WebletReadRequest(LWebletReader &reader, LWebletRequest &request,
                               const char *host_fallback)
{
    size_t budget = kWebletMaxHeadBytes;
    std::string line;
    LWebletRead r = reader.ReadLine(line, kRequestLineTimeoutMs, budget);
    if (r == LWebletRead::TooLong)
        return LWebletParse::HeadersTooLarge;
    if (r != LWebletRead::Ok)
        return LWebletParse::Close;
    LWebletParse result = WebletParseRequestLine(line, request);
    if (result != LWebletParse::Ok)
        return result;
    result = ReadHeaders(reader, request, budget);
    if (result != LWebletParse::Ok)
        return result;
    // Chunked bodies are not read here; refusing them keeps a proxy in
    // front from seeing a different request boundary (RFC 9112 6.1).
    if (request.headers.TestExists("Transfer-Encoding"))
        return LWebletParse::NotImplemented;
    if (!request.headers.TestExists("Host"))
        request.headers.SetParm("Host", host_fallback);
    request.keep_alive = request.method == "GET" && request.version >= 1.1 &&
                         !strstr(request.headers.GetParm("Connection"), "close");
    WebletParseCookies(request.headers.GetParm("Cookie"), request.cookies);
    return ReadBody(reader, request);
}

const char *WebletParseAnswer(LWebletParse result)
{
    switch (result) {
    case LWebletParse::NotImplemented:
        return "HTTP/1.1 501 Not Implemented\r\nConnection: close\r\n\r\n";
    case LWebletParse::BadRequest:
        return "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n";
    case LWebletParse::NotFound:
        return "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";
    case LWebletParse::HeadersTooLarge:
        return "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n\r\n";
    case LWebletParse::BodyTooLong:
        return "HTTP/1.1 500 Content Length Too Long\r\nConnection: close\r\n\r\n";
    default:
        return "";
    }
}
