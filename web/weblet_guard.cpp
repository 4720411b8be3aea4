#include "web/weblet_guard.h"

#include "platform/hashtable.h"
#include "platform/log.h"
#include "platform/random.h"
#include "web/web_frame.h"
#include "web/web_settings.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

#include <arpa/inet.h>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace
{
constexpr int kTokenLetters = 32;

// The host part of "host[:port]" or "[v6]:port".
std::string HostPart(const std::string &host)
{
    if (!host.empty() && host[0] == '[') {
        size_t end = host.find(']');
        return end == std::string::npos ? std::string() : host.substr(1, end - 1);
    }
    return host.substr(0, host.find(':'));
}

bool IsIpLiteral(const std::string &host)
{
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// "scheme://authority/..." to "authority"; empty when the text has no
// http or https scheme.
std::string Authority(const char *url)
{
    std::string text = url;
    size_t start;
    if (text.compare(0, 7, "http://") == 0)
        start = 7;
    else if (text.compare(0, 8, "https://") == 0)
        start = 8;
    else
        return std::string();
    size_t end = text.find_first_of("/?#", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool SameText(const std::string &a, const std::string &b)
{
    return !a.empty() && WebEqualNoCase(a.c_str(), b.c_str());
}

bool EqualConstantTime(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); i++)
        diff |= (unsigned char)(a[i] ^ b[i]);
    return diff == 0;
}
} // namespace

std::vector<std::string> WebletOwnHostNames()
{
    std::vector<std::string> names;
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) == 0 && *name) {
        names.push_back(name);
        if (const char *dot = strchr(name, '.'))
            names.emplace_back(name, dot - name);
    }
    std::string extra = WebSettingGetString("WebServer", "HostNames", "");
    size_t pos = 0;
    while ((pos = extra.find_first_not_of(", ", pos)) != std::string::npos) {
        size_t end = extra.find_first_of(", ", pos);
        names.push_back(extra.substr(pos, end == std::string::npos ? end : end - pos));
        pos = end;
    }
    return names;
}

bool WebletHostAllowed(const char *host, const std::vector<std::string> &own_names)
{
    std::string name = HostPart(host);
    if (name.empty())
        return false;
    if (IsIpLiteral(name) || WebEqualNoCase(name.c_str(), "localhost"))
        return true;
    for (const std::string &own : own_names)
        if (WebEqualNoCase(name.c_str(), own.c_str()))
            return true;
    return false;
}

bool WebletSameOrigin(const LWebletForm &form)
{
    std::string host = form.GetRequestHost();
    const char *origin = form.GetHTTPHeader("Origin");
    if (*origin)
        return SameText(Authority(origin), host);
    const char *referrer = form.GetReferrer();
    if (*referrer)
        return SameText(Authority(referrer), host);
    return true;
}

void WebletKeepViewFields(LHashTable &fields)
{
    static const char *const kView[] = {"id", "subid", "onok", "oncancel", "iCol", "bAsc", "file"};
    std::vector<std::pair<std::string, std::string>> kept;
    for (LHashTable::Iterator it(fields); it.IsValid(); it.Next())
        for (const char *view : kView)
            if (strcmp(it.GetParm(), view) == 0)
                kept.emplace_back(it.GetParm(), it.GetData());
    fields.Clear();
    // SetParm adds at the front: going backwards keeps the first value of a
    // repeated name, the one lookups found before.
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        fields.SetParm(it->first.c_str(), it->second.c_str());
}

std::string WebletCsrfToken(LWebletSessionData &session)
{
    if (!session.IsOpen())
        return std::string();
    std::string token = session.GetParm(kWebletCsrfField, "");
    if (token.size() == kTokenLetters)
        return token;
    char letters[kTokenLetters + 1];
    LRandomLetters(letters, kTokenLetters);
    session.SetParm(kWebletCsrfField, letters);
    return letters;
}

bool WebletCsrfValid(LWebletForm &form)
{
    if (!form.IsSessionValid())
        return false;
    std::string want = form.session.GetParm(kWebletCsrfField, "");
    return want.size() == kTokenLetters &&
           EqualConstantTime(form.form_data.GetParm(kWebletCsrfField, ""), want);
}

std::string WebletCsrfHiddenField(LWebletForm &form)
{
    if (!form.IsSessionValid())
        return std::string();
    std::string field = "<input type=hidden name=csrf value=\"";
    WebHtmlEncode(field, WebletCsrfToken(form.session).c_str());
    return field + "\">";
}

LWebletGuard WebletGuardScript(LWebletForm &form, const std::string &method,
                               const std::vector<std::string> &own_names, bool needs_token)
{
    if (!WebletHostAllowed(form.GetRequestHost(), own_names))
        return LWebletGuard::ForeignHost;
    if (method != "POST") {
        WebletKeepViewFields(form.form_data);
        return LWebletGuard::Pass;
    }
    if (!WebletSameOrigin(form))
        return LWebletGuard::ForeignOrigin;
    if (needs_token && !WebletCsrfValid(form))
        return LWebletGuard::NoToken;
    return LWebletGuard::Pass;
}

void WebletSendGuardRefusal(LWebletForm &form, LWebletGuard why)
{
    const char *text = "";
    switch (why) {
    case LWebletGuard::ForeignHost:
        LOGWARNTEXT("Web server: refused a request for the host ", form.GetRequestHost());
        wfputs(form, "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Type: text/plain\r\n"
                     "\r\nThis control panel does not answer for that host name.\r\n");
        return;
    case LWebletGuard::ForeignOrigin:
        text = "The request came from a page of another site and was refused. Nothing was "
               "changed.";
        break;
    case LWebletGuard::NoToken:
        text = "This form has expired or did not come from this control panel, so nothing was "
               "changed. Open the page again and repeat the change.";
        break;
    case LWebletGuard::Pass:
        return;
    }
    LOGWARNF("Web server: refused a form post to \"%.100s\" from %.100s", form.GetRequestScript(),
             *form.GetHTTPHeader("Origin") ? form.GetHTTPHeader("Origin") : form.GetReferrer());
    WebletSendNotice(form, "403 Forbidden", text);
}

void WebletSendNotice(LWebletForm &form, const char *status, const char *text)
{
    // The page frame's own header says 200; this page says what it is.
    wfprintf(form, "HTTP/1.1 %s\r\n", status);
    wfputs(form, strchr(kWebHtmlHeader, '\n') + 1);
    wfprintf(form,
             "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Vela</title>"
             "<link rel=\"stylesheet\" type=\"text/css\" href=\"s.css\"></head><body>"
             "<center><br><b>%H</b><p>Click <a href=\"main\">here</a> to go to the main "
             "page.</center></body></html>\r\n",
             text);
}
