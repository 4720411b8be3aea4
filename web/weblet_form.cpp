#include "web/weblet_form.h"

#include "web/web_format.h"
#include "web/web_text.h"
#include "web/weblet_file.h"
#include "web/weblet_guard.h"
#include "web/weblet_io.h"
#include "web/weblet_redirect.h"

#include <cstring>

namespace
{
constexpr int kSendTimeoutMs = 20000;
}

bool wfputs(LWebletForm &form, const char *text)
{
    return WebletSendAll(form.GetSocket(), text, strlen(text), kSendTimeoutMs, form.GetStop());
}

bool wfprintf(LWebletForm &form, const char *format, ...)
{
    std::string out;
    out.reserve(8192);
    va_list args;
    va_start(args, format);
    WebFormatV(out, format, args);
    va_end(args);
    return WebletSendAll(form.GetSocket(), out.data(), out.size(), kSendTimeoutMs + (int)out.size(),
                         form.GetStop());
}

void LWebletForm::Redirect(const char *location)
{
    // A full disk must not let a change look done that was not stored.
    if (LSettingsFailedWrites() != failed_writes) {
        WebletSendNotice(*this, "500 Internal Server Error",
                         "The change could not be stored completely: the settings could not be "
                         "written (the program log says why, for example a full disk). Open the "
                         "page again to see what was stored.");
        return;
    }
    wfprintf(*this, "HTTP/1.0 302 OK\r\nLocation: %s\r\n\r\n",
             WebletSafeLocation(location).c_str());
}

void LWebletForm::SetSessionCookieAndRedirect(const char *location, bool remember)
{
    // Scripts of the page cannot read the cookie, and no other site's page
    // can make the browser send it (RFC 6265bis SameSite).
    wfprintf(*this,
             "HTTP/1.0 302 OK\r\nSet-Cookie: sess=%s%s; HttpOnly; SameSite=Strict\r\nLocation: "
             "%s\r\n\r\n",
             session.GetID(), remember ? "; expires=Sunday, 17-Jan-2038 19:14:07 GMT" : "",
             WebletSafeLocation(location).c_str());
}

void LWebletForm::ServeFile(const char *path)
{
    LWebletServeFile(fd, stop, path, GetHTTPHeader("If-None-Match"),
                     GetHTTPHeader("If-Modified-Since"));
}

std::string LWebletForm::GetParmTrim(const char *name, const char *def) const
{
    return WebTrim(form_data.GetParm(name, def));
}
