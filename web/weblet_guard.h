// Checks every request passes before a script sees it. The panel is reached
// by a browser that also visits other sites, so a request is only trusted
// when it names this machine (against DNS rebinding), comes from one of its
// own pages (Origin / Referer), and, to change anything, is a POST carrying
// the session's anti-forgery token.
#pragma once

#include <string>
#include <vector>

class LHashTable;
class LWebletForm;
class LWebletSessionData;

// Form field that carries the token in every form of the panel.
constexpr const char *kWebletCsrfField = "csrf";

// The names this machine answers to besides IP literals and "localhost":
// its host name, the host name's first label, and the names of the setting
// "WebServer" / "HostNames" (separated by commas or spaces).
std::vector<std::string> WebletOwnHostNames();

// A Host header value (with optional ":port") names this machine: an IPv4
// or bracketed IPv6 literal, "localhost", or one of own_names (no case).
bool WebletHostAllowed(const char *host, const std::vector<std::string> &own_names);

// The request's Origin (or, without one, its Referer) is absent or names
// the same scheme-less host and port as the Host header.
bool WebletSameOrigin(const LWebletForm &form);

// A GET only shows: every field except those that pick what to show (record
// keys, return targets, list order, a log file) is dropped, so that no link
// can make a script store or delete anything.
void WebletKeepViewFields(LHashTable &fields);

// The session's token, made (from the kernel's random source) and stored
// in the session when it has none yet. Empty without an open session.
std::string WebletCsrfToken(LWebletSessionData &session);
// The submitted token equals the session's (compared in constant time).
bool WebletCsrfValid(LWebletForm &form);
// "<input type=hidden name=csrf value=...>" for the form's session; empty
// without a session.
std::string WebletCsrfHiddenField(LWebletForm &form);

enum class LWebletGuard {
    Pass,
    ForeignHost,   // Host names another machine
    ForeignOrigin, // Origin / Referer of another site
    NoToken,       // POST without a valid session token
};

// The checks for a script request; scripts that need no session (log-on)
// skip the token. GET requests have their action fields dropped.
LWebletGuard WebletGuardScript(LWebletForm &form, const std::string &method,
                               const std::vector<std::string> &own_names, bool needs_token);

// Writes the refusal page of a failed guard (403 or 421 for a foreign host).
void WebletSendGuardRefusal(LWebletForm &form, LWebletGuard why);
// A page of its own with status ("403 Forbidden") and text, linking to the
// main page.
void WebletSendNotice(LWebletForm &form, const char *status, const char *text);
