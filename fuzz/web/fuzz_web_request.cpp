// What a browser (or anyone who reaches the panel's port) sends: a request
// read from a connection, form and cookie texts. Pages must never see a
// path that climbs out of the web folder, and the encoders must undo the
// decoders, or a stored setting changes each time a page saves it.
#include "../fuzz_check.h"
#include "platform/hashtable.h"
#include "web/web_text.h"
#include "web/weblet_request.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{
// The request goes through a pipe, as the server reads a socket.
void FuzzRequest(const uint8_t *data, size_t size)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    bool written = write(fds[1], data, size) == (ssize_t)size;
    close(fds[1]);
    if (written) {
        std::atomic<bool> stop{false};
        LWebletReader reader(fds[0], &stop);
        LWebletRequest request;
        LWebletParse result = WebletReadRequest(reader, request, "panel.test");
        if (result == LWebletParse::Ok) {
            Check(request.method == "GET" || request.method == "POST");
            Check(request.script.find("..") == std::string::npos);
            Check(request.headers.GetCount() <= kWebletMaxHeaderLines + 1);
        }
        Check(result == LWebletParse::Ok || result == LWebletParse::Close ||
              WebletParseAnswer(result)[0] != 0);
    }
    close(fds[0]);
}

void CheckSamePairs(const LHashTable &a, const LHashTable &b)
{
    LHashTable::Iterator i(a), j(b);
    for (; i.IsValid() && j.IsValid(); i.Next(), j.Next()) {
        Check(strcmp(i.GetParm(), j.GetParm()) == 0);
        Check(strcmp(i.GetData(), j.GetData()) == 0);
    }
    Check(!i.IsValid() && !j.IsValid());
}

void FuzzTexts(const std::string &text)
{
    LHashTable form;
    form.LoadHTTPString(text.c_str());
    LStringLong saved;
    form.SaveHTTPString(saved);
    LHashTable again;
    again.LoadHTTPString(saved.GetString());
    CheckSamePairs(form, again);

    std::string encoded;
    WebUrlEncode(encoded, text.c_str());
    Check(WebUrlDecode(encoded.data(), encoded.size()) == text.c_str());

    // Only the encoder's own line-break tags may open a tag.
    std::string html;
    WebHtmlEncode(html, text.c_str());
    for (const char *tag : {"<br>", "<p>"})
        for (size_t at; (at = html.find(tag)) != std::string::npos;)
            html.erase(at, strlen(tag));
    Check(html.find_first_of("<>\"") == std::string::npos);

    LHashTable cookies;
    WebletParseCookies(text.c_str(), cookies);
    for (LHashTable::Iterator i(cookies); i.IsValid(); i.Next())
        Check(i.GetParm()[0] != 0 && !strchr(i.GetParm(), ';'));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 200000)
        return 0;
    FuzzRequest(data, size);
    FuzzTexts(std::string(reinterpret_cast<const char *>(data), size < 4096 ? size : 4096));
    return 0;
}
