// The standard frame every control panel page is drawn in.
#pragma once

class LWebletForm;

// No other site may frame a page (clickjacking); X-Frame-Options for
// browsers that predate frame-ancestors.
#define VELA_WEB_NO_FRAMING                                                                        \
    "Content-Security-Policy: frame-ancestors 'none'\r\nX-Frame-Options: DENY\r\n"
constexpr const char *kWebHtmlHeader =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: "
    "no-cache\r\n" VELA_WEB_NO_FRAMING "Content-Type: text/html; charset=utf-8\r\n\r\n";

void WLStandardHeader(LWebletForm &form, const char *links);
// The frame of dialogs (content centred).
void WLStandardHeaderCenter(LWebletForm &form, const char *links);
void WLStandardHeaderWithJsScript(LWebletForm &form, const char *links, const char *script);
void WLStandardFooter(LWebletForm &form);

// "Main | Log Off | Help" of the free-function pages.
void VWPrintTopNavLinks(LWebletForm &form);
const char *VWTopNavLinks();

// True with a valid session; otherwise writes the session-expired page.
bool WLValidateSession(LWebletForm &form);
// Sets "onok" / "oncancel" where the request left them empty.
void WLSetOkCancelPage(LWebletForm &form, const char *onok, const char *oncancel);
