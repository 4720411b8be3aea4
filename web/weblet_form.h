// The request object handed to a script: form fields, cookies, headers and
// session of one request, plus the socket the script writes its answer to.
#pragma once

#include "config/settingsfile.h"
#include "platform/hashtable.h"
#include "web/weblet_session.h"

#include <atomic>
#include <cstdint>
#include <string>

using LWebletFormData = LHashTable;
using LWebletCookieData = LHashTable;
struct LWebPageContext;

class LWebLogonThrottle;

class LWebletForm
{
    int fd;
    const std::atomic<bool> *stop;

  public:
    LWebletForm(int fd, const std::atomic<bool> *stop, const std::string &session_folder)
        : fd(fd), stop(stop), session(session_folder)
    {
    }

    LWebletFormData form_data;
    LWebletCookieData cookie_data;
    LWebletSessionData session;
    LHashTable headers;

    int GetSocket() const { return fd; }
    const std::atomic<bool> *GetStop() const { return stop; }

    const char *GetParm(const char *name, const char *def = "") const
    {
        return form_data.GetParm(name, def);
    }
    std::string GetParmTrim(const char *name, const char *def = "") const;
    int GetInt(const char *name, int def) const { return form_data.GetInt(name, def); }
    bool GetBool(const char *name, bool def) const { return form_data.GetBool(name, def); }

    // Header names are stored in their canonical case ("Content-Length"),
    // whatever case the client sent.
    const char *GetHTTPHeader(const char *name) const { return headers.GetParm(name, ""); }
    const char *GetRequestHost() const { return GetHTTPHeader("Host"); }
    const char *GetReferrer() const { return GetHTTPHeader("Referer"); }
    const char *GetRequestScript() const { return request_script.c_str(); }
    void SetRequestScript(const std::string &script) { request_script = script; }

    // Client's IPv4 address in host byte order (0 when unknown).
    uint32_t GetClientAddress() const { return client_address; }
    void SetClientAddress(uint32_t address) { client_address = address; }
    bool IsClientLoopback() const { return (client_address >> 24) == 127; }

    // What the engine lets the pages read; null when no engine runs.
    const LWebPageContext *GetPageContext() const { return page_context; }
    void SetPageContext(const LWebPageContext *context) { page_context = context; }

    bool IsSessionValid() const { return session.IsOpen(); }
    bool CreateNewSession(bool remember) { return session.CreateNewSession(remember); }
    void DeleteSession() { session.DeleteSession(); }

    // 302 with the session cookie (kept until 2038 when remembered).
    void SetSessionCookieAndRedirect(const char *location, bool remember);
    // The answer of every form whose change was stored. When a settings
    // write failed while this request ran, it says so instead (500).
    void Redirect(const char *location);
    void ServeFile(const char *path);

    // The server's log-on throttle (null when none is kept, as in tests).
    LWebLogonThrottle *GetLogonThrottle() const { return logon_throttle; }
    void SetLogonThrottle(LWebLogonThrottle *throttle) { logon_throttle = throttle; }

  private:
    unsigned failed_writes = LSettingsFailedWrites();
    LWebLogonThrottle *logon_throttle = nullptr;
    std::string request_script;
    uint32_t client_address = 0;
    const LWebPageContext *page_context = nullptr;
};

// Sends text as it is (20000 ms); false when the client is gone.
bool wfputs(LWebletForm &form, const char *text);
// printf-style, plus "%H" (HTML-encoded string) and "%U" (URL-encoded
// string); one send with 20000 ms plus one millisecond per byte.
bool wfprintf(LWebletForm &form, const char *format, ...);
